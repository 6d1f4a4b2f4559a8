// PeiSetupLib linked into the test and called on the simulated board's boot
// processor: the table and its lookup, the reader's pages, its failures and
// the first-boot override of "SocketIioConfig".
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <Guid/SetupVariable.h>
#include <Library/SetupLib.h>
#include <OemPcdTokens.h>
#include <SetupVariableLayout.h>

#include "Board/Board.h"
#include "Board/GuidText.h"

namespace {

using board::Board;
using board::BoardOptions;

constexpr uint64_t kPage = 4096;
constexpr uint8_t kStale = 0xAF;

BoardOptions Verbose(BoardOptions options = {}) {
  options.scratchRegister = 0x02;  // Normal: information and error messages print
  return options;
}

EFI_GUID Guid(const char* text) {
  auto guid = board::ParseGuid(text);
  EXPECT_TRUE(guid.has_value()) << text;
  return guid.value_or(EFI_GUID{});
}

// A name in a heap block of exactly its own size, so that a read past its
// terminator is caught under AddressSanitizer.
std::unique_ptr<char16_t[]> ExactName(const std::u16string& text) {
  auto name = std::make_unique<char16_t[]>(text.size() + 1);
  std::memcpy(name.get(), text.c_str(), (text.size() + 1) * sizeof(char16_t));
  return name;
}

std::vector<uint8_t> Pattern(size_t size, uint8_t seed) {
  std::vector<uint8_t> bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(seed + i * 7);
  return bytes;
}

// Fills the board's free memory, where fresh pages come from, as if earlier
// code had left data there.
void LeaveStaleMemory(Board& board) {
  const auto& phit = board.Hobs().Phit();
  uint64_t bottom = phit.EfiFreeMemoryBottom;
  uint64_t size = phit.EfiFreeMemoryTop - bottom;
  std::memset(board.Memory().At(bottom, size), kStale, size);
}

void* Read(Board& board, const EFI_GUID& guid, const char16_t* name, uint32_t size) {
  void* buffer = nullptr;
  board.RunAs("TraceGate", [&] { buffer = ReadSetupVariable(&guid, name, size); });
  return buffer;
}

std::vector<uint8_t> Bytes(const void* buffer, size_t size) {
  auto* bytes = static_cast<const uint8_t*>(buffer);
  return {bytes, bytes + size};
}

// The memory allocation HOB that describes the pages at buffer.
const EFI_HOB_MEMORY_ALLOCATION* AllocationOf(Board& board, const void* buffer) {
  for (const auto& hob : board.Hobs().Walk()) {
    if (hob.type != EFI_HOB_TYPE_MEMORY_ALLOCATION) continue;
    auto* allocation = reinterpret_cast<const EFI_HOB_MEMORY_ALLOCATION*>(hob.bytes);
    if (allocation->AllocDescriptor.MemoryBaseAddress == board::ToPhysical32(buffer)) return allocation;
  }
  return nullptr;
}

// The first offset where two buffers differ, for a readable failure.
std::string FirstDifference(const std::vector<uint8_t>& actual, const std::vector<uint8_t>& expected) {
  if (actual.size() != expected.size()) return "sizes differ";
  for (size_t i = 0; i < actual.size(); ++i) {
    if (actual[i] != expected[i]) {
      char text[80];
      std::snprintf(text, sizeof text, "offset 0x%zX: 0x%02X, expected 0x%02X", i, actual[i], expected[i]);
      return text;
    }
  }
  return "none";
}

struct Row {
  std::u16string name;
  const char* guid;
  uint32_t size;
  uint64_t pages;
};

const Row kRows[] = {
    {u"SocketIioConfig", "DD84017E-7F52-48F9-B16E-50ED9E0DBE27", 4837, 2},
    {u"SocketCommonRcConfig", "4402CA38-808F-4279-BCEC-5BAF8D59092F", 60, 1},
    {u"SocketMpLinkConfig", "2B9B22DE-2AD4-4ABC-957D-5F18C504A05C", 127, 1},
    {u"SocketMemoryConfig", "98CF19ED-4109-4681-B79D-9196757C7824", 749, 1},
    {u"SocketPowerManagementConfig", "A1047342-BDBA-4DAE-A67A-40979B65C7F8", 314, 1},
    {u"SocketProcessorCoreConfig", "07013588-C789-4E12-A7C3-88FAFAE79F7C", 278, 1},
    {u"IntelSetup", "EC87D643-EBA4-4BB5-A1E5-3F3E36B20DA9", 543, 1},
    {u"PchSetup", "4570B7F1-ADE8-4943-8DC3-406472842384", 1315, 1},
    {u"MemBootHealthConfig", "ACD56900-DEFC-4127-DE12-32A0D269462F", 19, 1},
    {u"MeRcConfiguration", "2B26358D-F899-41C4-9BC2-82A338B993D8", 85, 1},
    {u"FpgaSocketConfig", "75839B0B-0A99-4233-8AA4-3866F6CEF4B3", 21, 1},
};

TEST(SetupVariableTable, ElevenRowsThenATerminatorAndEachGuidFindsItsRow) {
  static_assert(ARRAY_SIZE(gSetupVariableTable) == 12);
  Board board(Verbose());
  for (size_t i = 0; i < std::size(kRows); ++i) {
    const auto& entry = gSetupVariableTable[i];
    const auto& row = kRows[i];
    ASSERT_NE(entry.VendorGuid, nullptr) << i;
    ASSERT_NE(entry.VariableName, nullptr) << i;
    EXPECT_EQ(std::u16string(entry.VariableName), row.name) << i;
    EXPECT_EQ(board::GuidToString(*entry.VendorGuid), row.guid) << i;
    EXPECT_EQ(entry.VariableSize, row.size) << i;

    // A GUID of equal value held elsewhere finds the same row.
    const EFI_GUID copy = Guid(row.guid);
    INT32 found = -2;
    board.RunAs("TraceGate", [&] { found = FindSetupVariableRow(&copy); });
    EXPECT_EQ(found, static_cast<INT32>(i)) << row.guid;
  }
  const auto& end = gSetupVariableTable[SETUP_VARIABLE_ROW_COUNT];
  EXPECT_EQ(end.VendorGuid, nullptr);
  EXPECT_EQ(end.VariableName, nullptr);
  EXPECT_EQ(end.VariableSize, 0u);
}

TEST(SetupVariableTable, LookupByValueReturnsTheRowOrMinusOne) {
  EFI_GUID nearIntelSetup = gIntelSetupGuid;
  nearIntelSetup.Data4[7] ^= 1;
  const EFI_GUID setupCopy = Guid("EC87D643-EBA4-4BB5-A1E5-3F3E36B20DA9");  // the vendor GUID of "Setup" too
  const EFI_GUID zero = {};
  const EFI_GUID unknown = Guid("12345678-9ABC-DEF0-1234-56789ABCDEF0");
  struct Case {
    const char* what;
    const EFI_GUID* guid;
    INT32 row;
  };
  const Case cases[] = {
      {"IntelSetup", &gIntelSetupGuid, 6},
      {"IntelSetup, a copy", &setupCopy, 6},
      {"SocketIioConfig", &gSocketIioConfigGuid, 0},
      {"FpgaSocketConfig, the last row", &gFpgaSocketConfigGuid, 10},
      {"IntelSetup with its last byte changed", &nearIntelSetup, -1},
      {"all zeros, like the terminating row", &zero, -1},
      {"not in the table", &unknown, -1},
      {"no GUID", nullptr, -1},
  };
  Board board(Verbose());
  for (const auto& c : cases) {
    INT32 found = -2;
    board.RunAs("TraceGate", [&] { found = FindSetupVariableRow(c.guid); });
    EXPECT_EQ(found, c.row) << c.what;
  }
}

TEST(ReadSetupVariable, AllocatesWholeBootServicesPagesForTheSize) {
  const EFI_GUID guid = Guid("0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0");
  const std::pair<uint32_t, uint64_t> sizes[] = {{1, 1}, {4095, 1}, {4096, 1}, {4097, 2}, {8192, 2}, {8193, 3}};
  for (auto [size, pages] : sizes) {
    Board board(Verbose());
    auto name = ExactName(u"PageTest");
    board.Variables().Set(u"PageTest", guid, Pattern(size, 1));
    void* buffer = Read(board, guid, name.get(), size);
    ASSERT_NE(buffer, nullptr) << size;
    const auto* allocation = AllocationOf(board, buffer);
    ASSERT_NE(allocation, nullptr) << size;
    EXPECT_EQ(allocation->AllocDescriptor.MemoryLength, pages * kPage) << size;
    EXPECT_EQ(allocation->AllocDescriptor.MemoryType, EfiBootServicesData) << size;
    ASSERT_EQ(board.Variables().Reads().size(), 1u) << size;
    EXPECT_EQ(board.Variables().Reads()[0].sizeOffered, size);
    EXPECT_EQ(board.Variables().Reads()[0].status, EFI_SUCCESS);
  }
}

TEST(ReadSetupVariable, EveryRowReadsIntoItsPagesAsStored) {
  for (size_t i = 0; i < std::size(kRows); ++i) {
    const auto& row = kRows[i];
    const auto& entry = gSetupVariableTable[i];
    Board board(Verbose());
    const auto stored = Pattern(row.size, static_cast<uint8_t>(i + 1));
    board.Variables().Set(row.name, Guid(row.guid), stored);

    void* buffer = Read(board, *entry.VendorGuid, entry.VariableName, entry.VariableSize);

    ASSERT_NE(buffer, nullptr) << i;
    const auto* allocation = AllocationOf(board, buffer);
    ASSERT_NE(allocation, nullptr) << i;
    EXPECT_EQ(allocation->AllocDescriptor.MemoryLength, row.pages * kPage) << i;
    EXPECT_EQ(Bytes(buffer, row.size), stored) << i;
    EXPECT_TRUE(board.Console().Assertions().empty()) << i;
  }
}

TEST(ReadSetupVariable, WithoutPagesOrVariableServiceItReturnsNullAndDoesNothingElse) {
  struct Case {
    const char* what;
    uint32_t size;
    bool allocationFails;
    bool variablePpi;
    unsigned allocateCalls;
  };
  const Case cases[] = {
      {"size 0: no pages to ask for", 0, false, true, 0},
      {"AllocatePages fails", INTEL_SETUP_VARIABLE_SIZE, true, true, 1},
      {"no read-only variable PPI", INTEL_SETUP_VARIABLE_SIZE, false, false, 0},
  };
  for (const auto& c : cases) {
    BoardOptions options = Verbose();
    if (!c.variablePpi) options.absent.insert(board::PlatformPpi::ReadOnlyVariable);
    Board board(options);
    if (c.allocationFails) board.Faults().Add({board::Service::AllocatePages, EFI_OUT_OF_RESOURCES});
    board.Pcd().Define(_PCD_TOKEN_PcdOemIsFirstBoot, board::PcdType::Boolean, 1);
    board.Variables().Set(u"IntelSetup", gIntelSetupGuid, Pattern(INTEL_SETUP_VARIABLE_SIZE, 3));
    auto hobsBefore = board.Hobs().Walk().size();

    void* buffer = Read(board, gIntelSetupGuid, INTEL_SETUP_VARIABLE_NAME, c.size);

    EXPECT_EQ(buffer, nullptr) << c.what;
    EXPECT_EQ(board.Faults().Calls(board::Service::AllocatePages), c.allocateCalls) << c.what;
    EXPECT_EQ(board.Hobs().Walk().size(), hobsBefore) << c.what;
    EXPECT_TRUE(board.Variables().Reads().empty()) << c.what;
    EXPECT_TRUE(board.Console().Entries().empty()) << c.what;
  }
}

TEST(ReadSetupVariable, IntelSetupComesBackExactlyAsStoredOnAFirstBoot) {
  Board board(Verbose());
  LeaveStaleMemory(board);
  board.Pcd().Define(_PCD_TOKEN_PcdOemIsFirstBoot, board::PcdType::Boolean, 1);
  board.Pcd().Define(_PCD_TOKEN_PcdIioPresetSelector, board::PcdType::Uint16, IIO_PRESET_SELECTOR_GEN3);
  board.Pcd().Define(_PCD_TOKEN_PcdIioPortValueFlagClear, board::PcdType::Uint8, 0x11);
  board.Pcd().Define(_PCD_TOKEN_PcdIioPortValueFlagSet, board::PcdType::Uint8, 0x22);
  const auto stored = Pattern(INTEL_SETUP_VARIABLE_SIZE, 0x40);
  board.Variables().Set(u"IntelSetup", gIntelSetupGuid, stored);
  auto name = ExactName(u"IntelSetup");

  void* buffer = Read(board, gIntelSetupGuid, name.get(), INTEL_SETUP_VARIABLE_SIZE);

  ASSERT_NE(buffer, nullptr);
  auto expected = stored;
  expected.resize(kPage, 0);  // the rest of the page: cleared, not what was there
  auto actual = Bytes(buffer, kPage);
  EXPECT_EQ(actual, expected) << FirstDifference(actual, expected);
  EXPECT_EQ(actual[INTEL_SETUP_RAS_LOG_LEVEL_OFFSET], stored[0x78]);
  EXPECT_EQ(board.Console().Text(), "Get OemIsFirstBoot 1\n");
  ASSERT_EQ(board.Variables().Reads().size(), 1u);
  const auto& read = board.Variables().Reads()[0];
  EXPECT_EQ(read.key.name, u"IntelSetup");
  EXPECT_TRUE(board::SameGuid(read.key.guid, gIntelSetupGuid));
  EXPECT_EQ(read.sizeOffered, INTEL_SETUP_VARIABLE_SIZE);
}

// Offsets below are written out rather than taken from the layout header, so
// that a wrong offset there shows up as a difference.

// "SocketIioConfig" as the platform's Setup left it: port flags 0, 1, 0xFF
// in turn, port values that are none of the first-boot values, and preset
// bytes that are none of the presets.
std::vector<uint8_t> StoredSocketIioConfig() {
  auto bytes = Pattern(SOCKET_IIO_CONFIG_VARIABLE_SIZE, 0x80);
  const uint8_t flags[] = {0x00, 0x01, 0xFF};
  for (unsigned port = 0; port < 42; ++port) {
    bytes[0x07D + port] = flags[port % 3];
    bytes[0x180 + port] = 0x5A;
  }
  return bytes;
}

constexpr uint8_t kFlagClearValue = 0x11;
constexpr uint8_t kFlagSetValue = 0x22;

const std::pair<unsigned, uint8_t> kPresets[] = {
    {0xE8D, 6}, {0xEB7, 45}, {0xEE1, 12}, {0xF0B, 11}, {0xF35, 41}, {0xF5F, 11},
};

const std::string kPresetLines =
    "DfxGen3ManualPh2_Precursor[0]: 6 \n"
    "DfxGen3ManualPh2_Cursor[0]: 45 \n"
    "DfxGen3ManualPh2_Postcursor[0]: 12 \n"
    "DfxGen3ManualPh3_Precursor[0]: 11 \n"
    "DfxGen3ManualPh3_Cursor[0]: 41 \n"
    "DfxGen3ManualPh3_Postcursor[0]: 11 \n";

void ApplyExpectedOverride(std::vector<uint8_t>& bytes, bool presets) {
  if (presets)
    for (auto [offset, value] : kPresets) bytes[offset] = value;
  for (unsigned port = 0; port < 42; ++port)
    bytes[0x180 + port] = bytes[0x07D + port] != 0 ? kFlagSetValue : kFlagClearValue;
}

TEST(ReadSetupVariable, SocketIioConfigGetsItsFirstBootValuesOnlyOnAFirstBootAndByExactName) {
  struct Case {
    const char* what;
    std::u16string name;
    bool firstBoot;
    uint16_t selector;
    bool override;
    bool presets;
  };
  const Case cases[] = {
      {"first boot, presets selected", u"SocketIioConfig", true, 0x00A0, true, true},
      {"first boot, other selector", u"SocketIioConfig", true, 0x00A1, true, false},
      {"first boot, selector 0x01A0 (a 16-bit value)", u"SocketIioConfig", true, 0x01A0, true, false},
      {"not a first boot", u"SocketIioConfig", false, 0x00A0, false, false},
      {"name with a suffix", u"SocketIioConfig2", true, 0x00A0, false, false},
      {"name with a long suffix", u"SocketIioConfigBackupCopyOfTheSettings", true, 0x00A0, false, false},
      {"name that is a prefix", u"SocketIio", true, 0x00A0, false, false},
      {"name that differs in case", u"socketIioConfig", true, 0x00A0, false, false},
  };
  for (const auto& c : cases) {
    Board board(Verbose());
    board.Pcd().Define(_PCD_TOKEN_PcdOemIsFirstBoot, board::PcdType::Boolean, c.firstBoot ? 1 : 0);
    board.Pcd().Define(_PCD_TOKEN_PcdIioPresetSelector, board::PcdType::Uint16, c.selector);
    board.Pcd().Define(_PCD_TOKEN_PcdIioPortValueFlagClear, board::PcdType::Uint8, kFlagClearValue);
    board.Pcd().Define(_PCD_TOKEN_PcdIioPortValueFlagSet, board::PcdType::Uint8, kFlagSetValue);
    const auto stored = StoredSocketIioConfig();
    board.Variables().Set(c.name, gSocketIioConfigGuid, stored);
    auto name = ExactName(c.name);

    void* buffer = Read(board, gSocketIioConfigGuid, name.get(), SOCKET_IIO_CONFIG_VARIABLE_SIZE);

    ASSERT_NE(buffer, nullptr) << c.what;
    auto expected = stored;
    if (c.override) ApplyExpectedOverride(expected, c.presets);
    expected.resize(2 * kPage, 0);
    auto actual = Bytes(buffer, 2 * kPage);
    EXPECT_EQ(actual, expected) << c.what << ": " << FirstDifference(actual, expected);
    for (unsigned port = 0; port < 42; ++port) {
      uint8_t want = !c.override ? 0x5A : (port % 3 == 0 ? kFlagClearValue : kFlagSetValue);
      EXPECT_EQ(actual[0x180 + port], want) << c.what << ", port " << port;
    }
    EXPECT_EQ(board.Console().Text(),
              std::string("Get OemIsFirstBoot ") + (c.firstBoot ? "1" : "0") + "\n" + (c.presets ? kPresetLines : ""))
        << c.what;
    EXPECT_TRUE(board.Console().Assertions().empty()) << c.what;
    // The override is in the caller's copy only.
    EXPECT_EQ(*board.Variables().Find(c.name, gSocketIioConfigGuid), stored) << c.what;
  }
}

TEST(ReadSetupVariable, FailedReadIsAssertedAndLeavesZerosWhereStaleMemoryWas) {
  struct Case {
    const char* what;
    std::u16string name;
    const EFI_GUID* guid;
    uint32_t size;
    std::optional<size_t> storedSize;  // none: no such variable
    std::optional<EFI_STATUS> failure;
    const char* statusText;            // nullptr: the read succeeds
    bool firstBoot;
  };
  const Case cases[] = {
      {"IntelSetup missing", u"IntelSetup", &gIntelSetupGuid, 543, std::nullopt, std::nullopt, "Not Found", false},
      {"IntelSetup longer than its row", u"IntelSetup", &gIntelSetupGuid, 543, 600, std::nullopt, "Buffer Too Small",
       true},
      {"IntelSetup unreadable", u"IntelSetup", &gIntelSetupGuid, 543, 543, EFI_DEVICE_ERROR, "Device Error", false},
      {"SocketIioConfig missing on a first boot", u"SocketIioConfig", &gSocketIioConfigGuid, 4837, std::nullopt,
       std::nullopt, "Not Found", true},
      {"IntelSetup shorter than its row", u"IntelSetup", &gIntelSetupGuid, 543, 100, std::nullopt, nullptr, false},
  };
  for (const auto& c : cases) {
    Board board(Verbose());
    LeaveStaleMemory(board);
    board.Pcd().Define(_PCD_TOKEN_PcdOemIsFirstBoot, board::PcdType::Boolean, c.firstBoot ? 1 : 0);
    board.Pcd().Define(_PCD_TOKEN_PcdIioPresetSelector, board::PcdType::Uint16, IIO_PRESET_SELECTOR_GEN3);
    board.Pcd().Define(_PCD_TOKEN_PcdIioPortValueFlagClear, board::PcdType::Uint8, kFlagClearValue);
    board.Pcd().Define(_PCD_TOKEN_PcdIioPortValueFlagSet, board::PcdType::Uint8, kFlagSetValue);
    std::vector<uint8_t> stored;
    if (c.storedSize) {
      stored = Pattern(*c.storedSize, 0x20);
      board.Variables().Set(c.name, *c.guid, stored);
    }
    if (c.failure) board.Variables().FailReads(c.name, *c.guid, *c.failure);
    auto name = ExactName(c.name);

    void* buffer = Read(board, *c.guid, name.get(), c.size);

    ASSERT_NE(buffer, nullptr) << c.what;
    const uint64_t bytes = (c.size + kPage - 1) / kPage * kPage;
    std::vector<uint8_t> expected(bytes, 0);
    if (c.statusText == nullptr) std::copy(stored.begin(), stored.end(), expected.begin());
    if (c.firstBoot && c.name == u"SocketIioConfig") ApplyExpectedOverride(expected, true);
    auto actual = Bytes(buffer, bytes);
    EXPECT_EQ(actual, expected) << c.what << ": " << FirstDifference(actual, expected);

    const std::string firstBootLine = std::string("Get OemIsFirstBoot ") + (c.firstBoot ? "1" : "0") + "\n";
    const auto& entries = board.Console().Entries();
    if (c.statusText == nullptr) {
      EXPECT_EQ(board.Console().Text(), firstBootLine) << c.what;
      EXPECT_TRUE(board.Console().Assertions().empty()) << c.what;
      continue;
    }
    ASSERT_GE(entries.size(), 3u) << c.what;
    EXPECT_EQ(entries[0].kind, board::ConsoleEntry::Kind::Message);
    EXPECT_EQ(entries[0].level, 0x80000000u) << c.what;
    EXPECT_EQ(entries[0].text, std::string("\nASSERT_EFI_ERROR (Status = ") + c.statusText + ")\n") << c.what;
    EXPECT_EQ(entries[1].kind, board::ConsoleEntry::Kind::Assertion);
    EXPECT_EQ(entries[1].text, "!EFI_ERROR (Status)") << c.what;
    EXPECT_TRUE(entries[1].file.ends_with("PeiSetupLib.cpp")) << entries[1].file;
    EXPECT_EQ(entries[2].level, 0x40u) << c.what;
    EXPECT_EQ(entries[2].text, firstBootLine) << c.what;
    EXPECT_EQ(board.Console().Assertions().size(), 1u) << c.what;
  }
}

}  // namespace

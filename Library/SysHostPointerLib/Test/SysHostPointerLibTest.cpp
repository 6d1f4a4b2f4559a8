// The static pointer table library, linked in and run as TraceGate runs it:
// the constructor inside the module, the notifications when the board installs
// permanent memory and the MP services PPI.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include <Guid/StaticPointerTableHob.h>
#include <Ppi/MemoryDiscovered.h>
#include <Ppi/MpServices.h>

#include "../SysHostPointerLibMm7.h"
#include "Board/Board.h"
#include "Board/GuidText.h"

namespace {

using board::Board;
using board::BoardOptions;
using board::Service;

constexpr const char* kModule = "TraceGate";
constexpr uint16_t kTableHobLength = 304;

BoardOptions Options(unsigned applicationProcessors = 0) {
  BoardOptions options;
  options.applicationProcessors = applicationProcessors;
  options.scratchRegister = 0x02;  // Normal: the information messages print
  return options;
}

std::string Hex(uint64_t value) {
  std::ostringstream out;
  out << std::hex << value;
  return out.str();
}

struct ConstructorRun {
  bool returned = false;  // false: a dead loop ended the run
  EFI_STATUS status = EFI_LOAD_ERROR;
};

ConstructorRun RunConstructor(Board& board) {
  ConstructorRun run;
  board.RunAs(kModule, [&] {
    run.status = SysHostPointerLibConstructor();
    run.returned = true;
  });
  return run;
}

// The table HOB as the board's HOB list holds it, wherever the list is now.
STATIC_POINTER_TABLE_HOB* FindTableHob(Board& board) {
  for (const auto& hob : board.Hobs().Walk()) {
    auto* guidHob = reinterpret_cast<const EFI_HOB_GUID_TYPE*>(hob.bytes);
    if (hob.type == EFI_HOB_TYPE_GUID_EXTENSION && board::SameGuid(guidHob->Name, gStaticPointerTableHobGuid))
      return reinterpret_cast<STATIC_POINTER_TABLE_HOB*>(const_cast<uint8_t*>(hob.bytes));
  }
  return nullptr;
}

uint64_t TableAddress(const STATIC_POINTER_TABLE_HOB* hob) { return board::ToPhysical32(&hob->Table); }

// A table HOB that an earlier module left, built straight into the HOB list.
STATIC_POINTER_TABLE_HOB* BuildTableHob(Board& board, uint16_t length, const EFI_GUID& name) {
  void* hob = nullptr;
  EXPECT_EQ(board.Hobs().Create(EFI_HOB_TYPE_GUID_EXTENSION, length, &hob), EFI_SUCCESS);
  auto* table = static_cast<STATIC_POINTER_TABLE_HOB*>(hob);
  table->Header.Name = name;
  auto* data = reinterpret_cast<uint8_t*>(&table->Table);
  for (size_t i = 0; i + sizeof(EFI_HOB_GUID_TYPE) < length; ++i) data[i] = static_cast<uint8_t>(0x11 + i);
  return table;
}

// Cuts the table HOB to 296 bytes and fills the rest with an unused HOB, so
// the list still walks but the table HOB has the wrong length.
void ShortenTableHob(STATIC_POINTER_TABLE_HOB* hob) {
  hob->Header.Header.HobLength = 296;
  auto* filler = reinterpret_cast<EFI_HOB_GENERIC_HEADER*>(reinterpret_cast<uint8_t*>(hob) + 296);
  *filler = {EFI_HOB_TYPE_UNUSED, 8, 0};
}

std::vector<const EFI_PEI_NOTIFY_DESCRIPTOR*> RegisteredBy(Board& board, const std::string& module) {
  std::vector<const EFI_PEI_NOTIFY_DESCRIPTOR*> lists;
  for (const auto& notification : board.Ppis().Notifications())
    if (notification.owner == module) lists.push_back(notification.descriptor);
  return lists;
}

const board::NotificationRecord* NotificationRun(Board& board, const EFI_GUID& ppi) {
  for (const auto& run : board.NotificationRuns())
    if (run.module == kModule && board::SameGuid(run.ppi, ppi)) return &run;
  return nullptr;
}

EFI_PEI_MP_SERVICES_PPI* LocateMpServices(Board& board) {
  void* ppi = nullptr;
  EXPECT_EQ(board.Ppis().Locate(&gEfiPeiMpServicesPpiGuid, 0, nullptr, &ppi), EFI_SUCCESS);
  return static_cast<EFI_PEI_MP_SERVICES_PPI*>(ppi);
}

EFI_PEI_SERVICES** Services(Board& board) { return const_cast<EFI_PEI_SERVICES**>(board.Services()); }

std::vector<std::string> AssertionTexts(const Board& board) {
  std::vector<std::string> texts;
  for (const auto& entry : board.Console().Assertions()) texts.push_back(entry.text);
  return texts;
}

TEST(StaticPointerTable, ConstructorCreatesAZeroedTableAndPublishesItInMm7) {
  Board board(Options());
  board.Hobs().SetNewHobFill(0xCC);  // stale temporary RAM under the new HOB
  board.Bsp().mm7 = ~0ull;

  ConstructorRun run = RunConstructor(board);

  EXPECT_TRUE(run.returned);
  EXPECT_EQ(run.status, EFI_SUCCESS);
  STATIC_POINTER_TABLE_HOB* hob = FindTableHob(board);
  ASSERT_NE(hob, nullptr);
  EXPECT_EQ(hob->Header.Header.HobLength, kTableHobLength);
  const auto* data = reinterpret_cast<const uint8_t*>(&hob->Table);
  EXPECT_EQ(std::count(data, data + sizeof(STATIC_POINTER_TABLE), 0), 280);
  EXPECT_EQ(board.Bsp().mm7, TableAddress(hob));  // the high half is 0
  EXPECT_TRUE(board.Options().memory.temporaryRam.Contains(board.Bsp().mm7));
  EXPECT_FALSE(board.Bsp().mmxStateActive);
  EXPECT_EQ(RegisteredBy(board, kModule), std::vector{&mMemoryDiscoveredNotifyList});
  EXPECT_EQ(mMemoryDiscoveredNotifyList.Flags, 0x80000020u);  // a callback, the list's only entry
  EXPECT_TRUE(board.Console().Assertions().empty());
}

TEST(StaticPointerTable, ConstructorAdoptsAValidTableUnchangedAndRegistersNothing) {
  Board board(Options());
  STATIC_POINTER_TABLE_HOB* hob = BuildTableHob(board, kTableHobLength, gStaticPointerTableHobGuid);
  std::vector<uint8_t> before(reinterpret_cast<uint8_t*>(hob), reinterpret_cast<uint8_t*>(hob) + kTableHobLength);
  const size_t hobCount = board.Hobs().Walk().size();

  ConstructorRun run = RunConstructor(board);

  EXPECT_EQ(run.status, EFI_SUCCESS);
  EXPECT_EQ(std::memcmp(before.data(), hob, kTableHobLength), 0);
  EXPECT_EQ(board.Hobs().Walk().size(), hobCount);  // no second table
  EXPECT_EQ(board.Bsp().mm7, TableAddress(hob));
  EXPECT_FALSE(board.Bsp().mmxStateActive);
  EXPECT_TRUE(RegisteredBy(board, kModule).empty());
  EXPECT_EQ(board.Faults().Calls(Service::NotifyPpi), 0u);
}

TEST(StaticPointerTable, ValidationHaltsOnTheFirstFailedCheck) {
  struct Case {
    const char* what;
    std::function<STATIC_POINTER_TABLE*(Board&)> table;
    const char* expression;  // nullptr: the table passes
  };
  auto hobTable = [](uint16_t length, EFI_GUID name) {
    return [=](Board& board) { return &BuildTableHob(board, length, name)->Table; };
  };
  const EFI_GUID otherName = {0xA6A8D25B, 0xFAB2, 0x411A, {0x98, 0x77, 0xFE, 0x9F, 0xE4, 0x07, 0xC7, 0xBB}};
  const Case cases[] = {
      {"null table", [](Board&) { return static_cast<STATIC_POINTER_TABLE*>(nullptr); },
       "StaticPointerTable != ((void *) 0)"},
      {"HOB at 0", [](Board&) { return reinterpret_cast<STATIC_POINTER_TABLE*>(24); },
       "StaticPointerTableHob != ((void *) 0)"},
      {"no room for a HOB below the table", [](Board&) { return reinterpret_cast<STATIC_POINTER_TABLE*>(8); },
       "StaticPointerTableHob != ((void *) 0)"},
      {"other name", hobTable(kTableHobLength, otherName), "DoesGuidMatch && DoesSizeMatch"},
      {"296 bytes", hobTable(296, gStaticPointerTableHobGuid), "DoesGuidMatch && DoesSizeMatch"},
      {"312 bytes", hobTable(312, gStaticPointerTableHobGuid), "DoesGuidMatch && DoesSizeMatch"},
      {"valid", hobTable(kTableHobLength, gStaticPointerTableHobGuid), nullptr},
  };
  for (const auto& c : cases) {
    Board board(Options());
    STATIC_POINTER_TABLE* table = c.table(board);
    bool returned = false;
    board.RunAs(kModule, [&] {
      ValidateStaticPointerTable(table);
      returned = true;
    });

    EXPECT_EQ(returned, c.expression == nullptr) << c.what;
    EXPECT_EQ(board.Halted(), c.expression != nullptr) << c.what;
    if (c.expression == nullptr) {
      EXPECT_TRUE(board.Console().Assertions().empty()) << c.what;
      continue;
    }
    EXPECT_EQ(AssertionTexts(board), std::vector<std::string>{c.expression}) << c.what;
    EXPECT_EQ(board.Halt()->module, kModule) << c.what;
    EXPECT_EQ(board.Halt()->processor, 0u) << c.what;
  }
}

TEST(StaticPointerTable, AdoptedTableOfTheWrongLengthHaltsBeforeMm7) {
  Board board(Options());
  BuildTableHob(board, 296, gStaticPointerTableHobGuid);

  ConstructorRun run = RunConstructor(board);

  EXPECT_FALSE(run.returned);
  ASSERT_TRUE(board.Halted());
  EXPECT_EQ(board.Halt()->module, kModule);
  EXPECT_EQ(AssertionTexts(board), std::vector<std::string>{"DoesGuidMatch && DoesSizeMatch"});
  EXPECT_EQ(board.Console().Entries().back().text, "DoesGuidMatch && DoesSizeMatch");
  EXPECT_EQ(board.Bsp().mm7Accesses, 0u);
  EXPECT_TRUE(RegisteredBy(board, kModule).empty());
  // A halted board runs nothing more.
  EXPECT_FALSE(RunConstructor(board).returned);
}

TEST(StaticPointerTable, FailedHobCreationReportsAndReturnsOutOfResources) {
  Board board(Options());
  board.Faults().Add({Service::CreateHob, EFI_OUT_OF_RESOURCES});

  ConstructorRun run = RunConstructor(board);

  EXPECT_EQ(run.status, EFI_OUT_OF_RESOURCES);
  EXPECT_EQ(FindTableHob(board), nullptr);
  ASSERT_FALSE(board.Console().Assertions().empty());
  EXPECT_EQ(board.Console().Assertions().back().text, "StaticPointerTable != ((void *) 0)");
  EXPECT_EQ(board.Bsp().mm7Accesses, 0u);
  EXPECT_TRUE(RegisteredBy(board, kModule).empty());
}

// A failed registration, in the constructor (the first NotifyPpi) or in the
// memory-discovered notification (the second), is reported and passed over.
TEST(StaticPointerTable, FailedNotifyPpiIsReportedAndTheWorkGoesOn) {
  for (unsigned failingCall : {0u, 1u}) {
    Board board(Options());
    board.Faults().Add({Service::NotifyPpi, EFI_OUT_OF_RESOURCES, failingCall, 1});

    ConstructorRun run = RunConstructor(board);
    const uint64_t preMemory = board.Bsp().mm7;
    board.InstallPermanentMemory();

    EXPECT_EQ(run.status, EFI_SUCCESS) << failingCall;
    const auto& entries = board.Console().Entries();
    auto report = std::find_if(entries.begin(), entries.end(), [](const board::ConsoleEntry& e) {
      return e.text == "\nASSERT_EFI_ERROR (Status = Out of Resources)\n";
    });
    ASSERT_NE(report, entries.end()) << failingCall;
    EXPECT_EQ(report->level, 0x80000000u);
    ASSERT_NE(report + 1, entries.end());
    EXPECT_EQ(report[1].kind, board::ConsoleEntry::Kind::Assertion);
    EXPECT_EQ(report[1].text, "!EFI_ERROR (Status)");
    EXPECT_EQ(AssertionTexts(board).size(), 1u) << failingCall;

    STATIC_POINTER_TABLE_HOB* hob = FindTableHob(board);
    ASSERT_NE(hob, nullptr);
    if (failingCall == 0) {
      // Nothing is registered, so the table is never relocated.
      EXPECT_TRUE(RegisteredBy(board, kModule).empty());
      EXPECT_EQ(board.Bsp().mm7, preMemory);
      EXPECT_NE(preMemory, TableAddress(hob));
    } else {
      const board::NotificationRecord* memory = NotificationRun(board, gEfiPeiMemoryDiscoveredPpiGuid);
      ASSERT_NE(memory, nullptr);
      EXPECT_EQ(memory->status, EFI_SUCCESS);
      EXPECT_EQ(board.Bsp().mm7, TableAddress(hob));
      EXPECT_EQ(RegisteredBy(board, kModule), std::vector{&mMemoryDiscoveredNotifyList});
    }
  }
}

TEST(StaticPointerTable, PermanentMemoryReloadsMm7WithTheMovedTable) {
  Board board(Options());
  RunConstructor(board);
  const uint64_t oldAddress = board.Bsp().mm7;

  board.InstallPermanentMemory();

  STATIC_POINTER_TABLE_HOB* hob = FindTableHob(board);
  ASSERT_NE(hob, nullptr);
  const uint64_t newAddress = TableAddress(hob);
  EXPECT_NE(newAddress, oldAddress);
  EXPECT_TRUE(board.Options().memory.permanentMemory.Contains(newAddress));
  EXPECT_EQ(board.Bsp().mm7, newAddress);
  EXPECT_FALSE(board.Bsp().mmxStateActive);
  EXPECT_EQ(board.Console().TextOf(kModule),
            "Reload MM7 with new pointer: " + Hex(oldAddress) + " => " + Hex(newAddress) + "\n");
  const board::NotificationRecord* memory = NotificationRun(board, gEfiPeiMemoryDiscoveredPpiGuid);
  ASSERT_NE(memory, nullptr);
  EXPECT_EQ(memory->status, EFI_SUCCESS);
  // No MP services yet: the library waits for them.
  EXPECT_EQ(RegisteredBy(board, kModule), (std::vector{&mMemoryDiscoveredNotifyList, &mMpServicesNotifyList}));
  EXPECT_EQ(mMpServicesNotifyList.Flags, 0x80000020u);
}

TEST(StaticPointerTable, EverySetPointerTakesItsNewAddress) {
  struct Pointer {
    unsigned type;
    uint64_t value;
    uint32_t newAddress;
  };
  struct Case {
    const char* what;
    std::vector<Pointer> set;
  };
  const Case cases[] = {
      {"type 3 only", {{3, 0x7E004000, 0x40804000}}},
      {"high half only, and a new address of 0",
       {{0, 0x0000000500000000, 0x40001000}, {13, 0xFFFFFFFF00000000, 0x40002000}, {7, 0x7E00A000, 0}}},
  };
  for (const auto& c : cases) {
    Board board(Options());
    RunConstructor(board);
    STATIC_POINTER_TABLE& table = FindTableHob(board)->Table;
    // Unset pointers have new addresses too; they must stay 0.
    for (unsigned i = 0; i < STATIC_POINTER_TYPE_COUNT; ++i) {
      table.Migration[i].NewAddress = 0x4F000000 + i;
      std::memset(table.Migration[i].Reserved, static_cast<int>(0xA0 + i), sizeof table.Migration[i].Reserved);
    }
    for (const auto& p : c.set) {
      table.Pointer[p.type] = p.value;
      table.Migration[p.type].NewAddress = p.newAddress;
    }
    STATIC_POINTER_TABLE before = table;
    board.InstallPermanentMemory();

    const STATIC_POINTER_TABLE& moved = FindTableHob(board)->Table;
    std::string expectedText;
    for (unsigned i = 0; i < STATIC_POINTER_TYPE_COUNT; ++i) {
      auto set = std::find_if(c.set.begin(), c.set.end(), [&](const Pointer& p) { return p.type == i; });
      EXPECT_EQ(moved.Pointer[i], set == c.set.end() ? 0 : uint64_t{set->newAddress}) << c.what << " type " << i;
      EXPECT_EQ(std::memcmp(&moved.Migration[i], &before.Migration[i], sizeof moved.Migration[i]), 0)
          << c.what << " type " << i;
      if (set != c.set.end())
        expectedText += "Migration pointer type " + Hex(i) + ": " + Hex(static_cast<uint32_t>(set->value)) + " => " +
                        Hex(set->newAddress) + "\n";
    }
    std::string migrationText;
    for (const auto& message : board.Console().Messages())
      if (message.text.starts_with("Migration")) {
        migrationText += message.text;
        EXPECT_EQ(message.level, 0x40u);
      }
    EXPECT_EQ(migrationText, expectedText) << c.what;
  }
}

TEST(StaticPointerTable, MissingTableHobAtPermanentMemoryChangesNothing) {
  Board board(Options(2));
  board.InstallMpServices();
  RunConstructor(board);
  const uint64_t oldMm7 = board.Bsp().mm7;
  FindTableHob(board)->Header.Header.HobType = EFI_HOB_TYPE_UNUSED;  // the table HOB is gone

  board.InstallPermanentMemory();

  const board::NotificationRecord* memory = NotificationRun(board, gEfiPeiMemoryDiscoveredPpiGuid);
  ASSERT_NE(memory, nullptr);
  EXPECT_EQ(memory->status, EFI_INVALID_PARAMETER);
  EXPECT_EQ(AssertionTexts(board), std::vector<std::string>{"GuidHob != ((void *) 0)"});
  EXPECT_EQ(board.Bsp().mm7, oldMm7);
  EXPECT_EQ(board.Bsp().mm7Accesses, 1u);  // the constructor's load only
  EXPECT_EQ(board.Faults().Calls(Service::StartupAllAPs), 0u);
  for (size_t i = 1; i < board.Processors().size(); ++i) EXPECT_EQ(board.Processors()[i].mm7Accesses, 0u) << i;
  EXPECT_EQ(board.Console().TextOf(kModule), "");
  EXPECT_EQ(RegisteredBy(board, kModule), std::vector{&mMemoryDiscoveredNotifyList});
}

TEST(StaticPointerTable, RelocatedTableOfTheWrongLengthHaltsTheNotification) {
  Board board(Options(2));
  board.InstallMpServices();
  RunConstructor(board);
  const uint64_t oldMm7 = board.Bsp().mm7;
  STATIC_POINTER_TABLE_HOB* hob = FindTableHob(board);
  hob->Table.Pointer[3] = 0x7E004000;
  hob->Table.Migration[3].NewAddress = 0x40804000;
  ShortenTableHob(hob);

  board.InstallPermanentMemory();

  ASSERT_TRUE(board.Halted());
  EXPECT_EQ(board.Halt()->module, kModule);
  EXPECT_EQ(AssertionTexts(board), std::vector<std::string>{"DoesGuidMatch && DoesSizeMatch"});
  EXPECT_EQ(board.Console().Entries().back().text, "DoesGuidMatch && DoesSizeMatch");
  EXPECT_EQ(NotificationRun(board, gEfiPeiMemoryDiscoveredPpiGuid), nullptr);  // never returned
  EXPECT_EQ(board.Bsp().mm7, oldMm7);
  EXPECT_EQ(FindTableHob(board)->Table.Pointer[3], 0x7E004000u);
  EXPECT_EQ(board.Faults().Calls(Service::StartupAllAPs), 0u);
}

// The APs' MM7. These tests run under ThreadSanitizer in CI: the APs are real
// threads running ApLoadMm7 at once.
TEST(StaticPointerTableAps, EveryApTakesTheBootProcessorsMm7BitForBit) {
  constexpr unsigned kAps = 10;
  Board board(Options(kAps));
  board.InstallMpServices();
  const uint64_t value = 0xA5C3F00D7E001018;  // both halves, so a truncation shows
  board.Bsp().mm7 = value;

  EFI_STATUS status = EFI_LOAD_ERROR;
  board.RunAs(kModule, [&] { status = MpServicesNotify(Services(board), nullptr, LocateMpServices(board)); });

  EXPECT_EQ(status, EFI_SUCCESS);
  EXPECT_EQ(board.PeakConcurrentAps(), kAps);
  EXPECT_EQ(board.Bsp().mm7, value);
  EXPECT_FALSE(board.Bsp().mmxStateActive);
  for (unsigned i = 1; i <= kAps; ++i) {
    const board::Processor& ap = board.Processors()[i];
    EXPECT_EQ(ap.mm7, value) << "AP " << i;
    EXPECT_EQ(ap.mm7Accesses, 1u) << "AP " << i;
    EXPECT_FALSE(ap.mmxStateActive) << "AP " << i;
  }
  EXPECT_EQ(board.Console().TextOf(kModule), "Sync MM7: 7e001018\n");
}

// MP services before the constructor, between it and permanent memory, or
// after: the APs get the relocated address exactly once, never the old one.
TEST(StaticPointerTableAps, ApsReceiveOnlyTheRelocatedAddress) {
  enum class MpServices { BeforeConstructor, BeforeMemory, AfterMemory };
  constexpr unsigned kAps = 8;
  for (MpServices when : {MpServices::BeforeConstructor, MpServices::BeforeMemory, MpServices::AfterMemory}) {
    const int c = static_cast<int>(when);
    Board board(Options(kAps));
    if (when == MpServices::BeforeConstructor) board.InstallMpServices();
    RunConstructor(board);
    const uint64_t preMemory = board.Bsp().mm7;
    for (unsigned i = 1; i <= kAps; ++i) EXPECT_EQ(board.Processors()[i].mm7Accesses, 0u) << c;
    if (when == MpServices::BeforeMemory) board.InstallMpServices();

    board.InstallPermanentMemory();
    if (when == MpServices::AfterMemory) {
      EXPECT_EQ(board.Faults().Calls(Service::StartupAllAPs), 0u) << c;
      for (unsigned i = 1; i <= kAps; ++i) EXPECT_EQ(board.Processors()[i].mm7Accesses, 0u) << c;
      EXPECT_EQ(RegisteredBy(board, kModule), (std::vector{&mMemoryDiscoveredNotifyList, &mMpServicesNotifyList}))
          << c;
      board.InstallMpServices();
      const board::NotificationRecord* mp = NotificationRun(board, gEfiPeiMpServicesPpiGuid);
      ASSERT_NE(mp, nullptr) << c;
      EXPECT_EQ(mp->status, EFI_SUCCESS) << c;
    } else {
      EXPECT_EQ(RegisteredBy(board, kModule), std::vector{&mMemoryDiscoveredNotifyList}) << c;
    }

    const uint64_t relocated = TableAddress(FindTableHob(board));
    ASSERT_NE(relocated, preMemory);
    EXPECT_EQ(board.Faults().Calls(Service::StartupAllAPs), 1u) << c;
    EXPECT_EQ(board.PeakConcurrentAps(), kAps) << c;
    EXPECT_EQ(board.Bsp().mm7, relocated) << c;
    for (unsigned i = 1; i <= kAps; ++i) {
      const board::Processor& ap = board.Processors()[i];
      EXPECT_EQ(ap.mm7Accesses, 1u) << c << " AP " << i;
      EXPECT_EQ(ap.mm7, board.Bsp().mm7) << c << " AP " << i;
      EXPECT_FALSE(ap.mmxStateActive) << c << " AP " << i;
    }
    std::string text = board.Console().TextOf(kModule);
    EXPECT_TRUE(text.ends_with("Sync MM7: " + Hex(relocated) + "\n")) << c << ": " << text;
  }
}

// A failing StartupAllAPs is not retried: its status is the MP services
// notification's, and the memory-discovered notification discards it.
TEST(StaticPointerTableAps, FailedStartupAllApsLeavesTheApsAlone) {
  for (bool mpServicesFirst : {true, false}) {
    Board board(Options(8));
    board.Faults().Add({Service::StartupAllAPs, EFI_DEVICE_ERROR});
    if (mpServicesFirst) board.InstallMpServices();
    RunConstructor(board);
    board.InstallPermanentMemory();
    if (!mpServicesFirst) board.InstallMpServices();

    const board::NotificationRecord* memory = NotificationRun(board, gEfiPeiMemoryDiscoveredPpiGuid);
    ASSERT_NE(memory, nullptr);
    EXPECT_EQ(memory->status, EFI_SUCCESS) << mpServicesFirst;
    const board::NotificationRecord* mp = NotificationRun(board, gEfiPeiMpServicesPpiGuid);
    if (mpServicesFirst) {
      EXPECT_EQ(mp, nullptr);
    } else {
      ASSERT_NE(mp, nullptr);
      EXPECT_EQ(mp->status, EFI_DEVICE_ERROR);
    }
    EXPECT_EQ(board.Faults().Calls(Service::StartupAllAPs), 1u) << mpServicesFirst;
    EXPECT_EQ(board.Bsp().mm7, TableAddress(FindTableHob(board))) << mpServicesFirst;
    for (size_t i = 1; i < board.Processors().size(); ++i)
      EXPECT_EQ(board.Processors()[i].mm7Accesses, 0u) << mpServicesFirst << " AP " << i;
    EXPECT_TRUE(board.Console().Assertions().empty()) << mpServicesFirst;
  }
}

}  // namespace

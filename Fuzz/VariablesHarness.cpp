// The UEFI variables (the eleven setup variables, "Setup",
// "MonotonicCounter", "OemIsFirstBoot") with any size and content, and the
// tokens the modules read, through BootMarker, TraceGate and the setup
// variable reader.
#include <Guid/BootStateVariable.h>
#include <Guid/FirstBootHob.h>
#include <Guid/SetupVariable.h>
#include <Guid/VerbosityHob.h>
#include <Library/SetupLib.h>
#include <OemPcdTokens.h>
#include <Register/VerbosityScratch.h>
#include <SetupVariableLayout.h>

#include <algorithm>
#include <array>
#include <cstring>

#include "Board/Board.h"
#include "Board/GuidText.h"
#include "BmcAnswerCodec.h"
#include "ForceDebugExchange.h"
#include "Harnesses.h"
#include "Promise.h"
#include "VariableCatalog.h"

namespace fuzz {

namespace {
constexpr uint8_t kNetFnOem = kForceDebugNetFn;
constexpr uint8_t kForceDebug = kForceDebugCommand;
constexpr unsigned kMaxAnswers = 12;
constexpr unsigned kMaxVariables = 24;
constexpr unsigned kMaxReads = 4;
constexpr uint16_t kMaxVariableSize = 0x1200;  // past every reader's buffer and a page
constexpr uint32_t kSetupSize = 383;
constexpr uint32_t kSetupLevelOffset = 227;
constexpr uint32_t kFirstBootDataSize = 4;  // what BootMarker and TraceGate offer
constexpr std::array<EFI_STATUS, 3> kReadErrors = {EFI_DEVICE_ERROR, EFI_NOT_FOUND, EFI_SECURITY_VIOLATION};

struct Variable {
  uint8_t which = 0;  // index into KnownVariables()
  std::optional<EFI_STATUS> readError;
  std::vector<uint8_t> bytes;
};

struct SetupRead {
  uint8_t row = 0;
  std::optional<uint16_t> size;  // the row's own size when absent
};

struct Scenario {
  uint8_t scratch = 0;
  bool noVariableService = false;
  uint8_t firstBootToken = 0, flagClear = 0, flagSet = 0;
  uint16_t presetSelector = 0;
  std::vector<Variable> variables;
  std::vector<board::BmcAnswer> answers;
  std::vector<SetupRead> reads;
};

const std::vector<boardboot::KnownVariable>& Known() { return boardboot::KnownVariables(); }

Scenario Read(ByteReader& in) {
  Scenario s;
  s.scratch = in.U8();
  s.noVariableService = in.U8() == 0xA5;  // rare: most runs are about the variables
  s.firstBootToken = in.U8();
  s.flagClear = in.U8();
  s.flagSet = in.U8();
  s.presetSelector = in.U16();
  s.variables.resize(in.U8() % (kMaxVariables + 1));
  for (auto& variable : s.variables) {
    variable.which = static_cast<uint8_t>(in.U8() % Known().size());
    if (uint8_t error = in.U8(); error < kReadErrors.size()) variable.readError = kReadErrors[error];
    variable.bytes = in.Bytes(in.U16() % (kMaxVariableSize + 1));
  }
  s.answers = ReadBmcAnswers(in, kMaxAnswers);
  s.reads.resize(in.U8() % (kMaxReads + 1));
  for (auto& read : s.reads) {
    read.row = static_cast<uint8_t>(in.U8() % SETUP_VARIABLE_ROW_COUNT);
    if (in.Bool()) read.size = in.U16();
  }
  return s;
}

void Write(ByteWriter& out, const Scenario& s) {
  out.U8(s.scratch);
  out.U8(s.noVariableService ? 0xA5 : 0);
  out.U8(s.firstBootToken), out.U8(s.flagClear), out.U8(s.flagSet), out.U16(s.presetSelector);
  out.U8(static_cast<uint8_t>(s.variables.size()));
  for (const auto& variable : s.variables) {
    out.U8(variable.which);
    auto error = std::find(kReadErrors.begin(), kReadErrors.end(), variable.readError.value_or(EFI_SUCCESS));
    out.U8(error == kReadErrors.end() ? 0xFF : static_cast<uint8_t>(error - kReadErrors.begin()));
    out.U16(static_cast<uint16_t>(variable.bytes.size()));
    out.Bytes(variable.bytes);
  }
  WriteBmcAnswers(out, s.answers, kMaxAnswers);
  out.U8(static_cast<uint8_t>(s.reads.size()));
  for (const auto& read : s.reads) {
    out.U8(read.row);
    out.Bool(read.size.has_value());
    if (read.size) out.U16(*read.size);
  }
}

// What a reader offering size bytes gets: the bytes, or nothing when they
// can't be read (missing, failing, longer than offered). The last variable
// of a name wins, as in the store.
std::optional<std::vector<uint8_t>> Readable(const Scenario& s, const std::u16string& name, size_t size) {
  std::optional<std::vector<uint8_t>> found;
  bool failing = false;
  for (const auto& variable : s.variables) {
    if (Known()[variable.which].name != name) continue;
    if (variable.readError) failing = true;
    found = variable.bytes;
  }
  if (failing || !found || found->size() > size) return std::nullopt;
  return found;
}

uint8_t ByteOr0(const std::optional<std::vector<uint8_t>>& bytes, size_t offset) {
  return bytes && offset < bytes->size() ? (*bytes)[offset] : 0;
}

std::vector<const EFI_HOB_GUID_TYPE*> GuidHobs(board::Board& board, const EFI_GUID& guid) {
  std::vector<const EFI_HOB_GUID_TYPE*> hobs;
  for (const auto& hob : board.Hobs().Walk())
    if (hob.type == EFI_HOB_TYPE_GUID_EXTENSION && hob.length > sizeof(EFI_HOB_GUID_TYPE) &&
        board::SameGuid(reinterpret_cast<const EFI_HOB_GUID_TYPE*>(hob.bytes)->Name, guid))
      hobs.push_back(reinterpret_cast<const EFI_HOB_GUID_TYPE*>(hob.bytes));
  return hobs;
}

// The level TraceGate must decide: the BMC's, else "Setup" byte 227.
uint8_t ExpectedLevel(const Scenario& s, board::Board& board) {
  if (auto forced = BmcForcedLevel(board)) return *forced;
  return LevelOf(ByteOr0(Readable(s, SETUP_VARIABLE_NAME, kSetupSize), kSetupLevelOffset));
}

// One ReadSetupVariable call: the buffer holds the variable (zeros past it,
// zeros for a failed read) but for the first-boot port values, and nothing
// outside the new pages and HOBs changes.
void CheckSetupRead(const Scenario& s, board::Board& board, const SetupRead& read) {
  const SETUP_VARIABLE_ENTRY& row = gSetupVariableTable[read.row];
  const uint32_t size = read.size.value_or(row.VariableSize);
  const board::MemoryRegion& ram = board.Options().memory.temporaryRam;
  const uint8_t* ramBytes = board.Memory().At(ram.base, ram.size);
  const std::vector<uint8_t> before(ramBytes, ramBytes + ram.size);
  const uint64_t listEndBefore = board.Hobs().Phit().EfiEndOfHobList;
  const bool firstBoot = board.Pcd().Find(_PCD_TOKEN_PcdOemIsFirstBoot)->value != 0;

  uint8_t* buffer = nullptr;
  board.RunAs("PeiSetupLib", [&] {
    buffer = static_cast<uint8_t*>(ReadSetupVariable(row.VendorGuid, row.VariableName, size));
  });
  Require(!board.Halted(), "the setup reader never halts");
  if (buffer == nullptr) {
    Require(size == 0 || s.noVariableService, "the setup reader yields a buffer whenever it can allocate one");
    return;
  }
  const uint64_t pagesBytes = (uint64_t{size} + 4095) / 4096 * 4096;
  Require(board.Memory().Contains(reinterpret_cast<uintptr_t>(buffer), pagesBytes), "the buffer is board memory");

  std::vector<uint8_t> expected(pagesBytes, 0);
  if (auto bytes = Readable(s, row.VariableName, size)) std::copy(bytes->begin(), bytes->end(), expected.begin());
  if (firstBoot && std::u16string(row.VariableName) == SOCKET_IIO_CONFIG_VARIABLE_NAME) {
    const uint8_t clear = static_cast<uint8_t>(board.Pcd().Find(_PCD_TOKEN_PcdIioPortValueFlagClear)->value);
    const uint8_t set = static_cast<uint8_t>(board.Pcd().Find(_PCD_TOKEN_PcdIioPortValueFlagSet)->value);
    if (board.Pcd().Find(_PCD_TOKEN_PcdIioPresetSelector)->value == IIO_PRESET_SELECTOR_GEN3) {
      constexpr std::pair<uint32_t, uint8_t> kGen3Port0[] = {
          {SOCKET_IIO_CONFIG_DFX_GEN3_MANUAL_PH2_PRECURSOR_OFFSET, 6},  {SOCKET_IIO_CONFIG_DFX_GEN3_MANUAL_PH2_CURSOR_OFFSET, 45},
          {SOCKET_IIO_CONFIG_DFX_GEN3_MANUAL_PH2_POSTCURSOR_OFFSET, 12}, {SOCKET_IIO_CONFIG_DFX_GEN3_MANUAL_PH3_PRECURSOR_OFFSET, 11},
          {SOCKET_IIO_CONFIG_DFX_GEN3_MANUAL_PH3_CURSOR_OFFSET, 41},  {SOCKET_IIO_CONFIG_DFX_GEN3_MANUAL_PH3_POSTCURSOR_OFFSET, 11}};
      for (auto [offset, value] : kGen3Port0) expected[offset] = value;
    }
    for (uint32_t port = 0; port < SOCKET_IIO_CONFIG_PORT_COUNT; ++port)
      expected[SOCKET_IIO_CONFIG_PORT_VALUE_OFFSET + port] =
          expected[SOCKET_IIO_CONFIG_PORT_FLAG_OFFSET + port] != 0 ? set : clear;
  }
  Require(std::memcmp(expected.data(), buffer, pagesBytes) == 0, "the setup reader's buffer holds what was read");

  // Besides the buffer, only the PHIT, the new HOBs and the end of the list may change.
  const uint64_t listEndAfter = board.Hobs().Phit().EfiEndOfHobList;
  const uint64_t bufferAddress = reinterpret_cast<uintptr_t>(buffer);
  constexpr uint32_t kChunk = 4096;
  for (uint32_t chunk = 0; chunk < ram.size; chunk += kChunk) {
    if (std::memcmp(before.data() + chunk, ramBytes + chunk, kChunk) == 0) continue;
    for (uint32_t offset = chunk; offset < chunk + kChunk; ++offset) {
      if (before[offset] == ramBytes[offset]) continue;
      const uint64_t address = uint64_t{ram.base} + offset;
      const bool phit = offset < sizeof(EFI_HOB_HANDOFF_INFO_TABLE);
      const bool newHobs = address >= listEndBefore && address < listEndAfter + sizeof(EFI_HOB_GENERIC_HEADER);
      const bool inBuffer = address >= bufferAddress && address < bufferAddress + pagesBytes;
      Require(phit || newHobs || inBuffer, "the setup reader writes nothing outside its pages and the HOB list");
    }
  }

}
}  // namespace

void RunVariables(std::span<const uint8_t> input) {
  ByteReader in(input);
  const Scenario s = Read(in);

  board::BoardOptions options;
  options.scratchRegister = s.scratch;
  if (s.noVariableService) options.absent.insert(board::PlatformPpi::ReadOnlyVariable);
  board::Board board(options);
  board.Pcd().Define(_PCD_TOKEN_PcdOemIsFirstBoot, board::PcdType::Boolean, s.firstBootToken & 1);
  board.Pcd().Define(_PCD_TOKEN_PcdIioPortValueFlagClear, board::PcdType::Uint8, s.flagClear);
  board.Pcd().Define(_PCD_TOKEN_PcdIioPortValueFlagSet, board::PcdType::Uint8, s.flagSet);
  board.Pcd().Define(_PCD_TOKEN_PcdIioPresetSelector, board::PcdType::Uint16, s.presetSelector);
  for (const auto& variable : s.variables) {
    const auto& known = Known()[variable.which];
    board.Variables().Set(known.name, known.guid, variable.bytes);
    if (variable.readError) board.Variables().FailReads(known.name, known.guid, *variable.readError);
  }
  for (const auto& answer : s.answers) board.BmcDevice().Queue(kNetFnOem, kForceDebug, answer);

  for (const char* module : {"BootMarker", "TraceGate"}) {
    const board::DispatchRecord record = board.Dispatch(*board::FindHostedImage(module));
    Require(record.ran && !record.halted && record.status == EFI_SUCCESS, std::string(module) + " returns EFI_SUCCESS");
  }

  const bool service = !s.noVariableService;
  const bool firstBoot = !service || !Readable(s, u"OemIsFirstBoot", kFirstBootDataSize);
  Require(board.Pcd().Find(_PCD_TOKEN_PcdOemIsFirstBoot)->value == (firstBoot ? 1u : 0u),
          "token 34 says whether OemIsFirstBoot could be read");

  const auto firstBootHobs = GuidHobs(board, gFirstBootHobGuid);
  Require(firstBootHobs.size() == 1, "TraceGate leaves one first-boot HOB");
  const bool counterMissing = service && !Readable(s, u"MonotonicCounter", kFirstBootDataSize);
  Require(reinterpret_cast<const uint8_t*>(firstBootHobs[0])[24] == (counterMissing ? 1 : 0),
          "the first-boot HOB says whether MonotonicCounter could be read");

  const auto verbosityHobs = GuidHobs(board, gVerbosityHobGuid);
  Require(verbosityHobs.size() == 1, "TraceGate leaves one verbosity HOB");
  const uint8_t level = reinterpret_cast<const uint8_t*>(verbosityHobs[0])[24];
  Require(level <= 3, "the published level is 0 to 3");

  const auto portWrites = board.Ports().Writes(VERBOSITY_SCRATCH_PORT);
  if (!service) {
    Require(level == 0 && portWrites.empty() && board.BmcDevice().Exchanges().empty(),
            "without the variable service only the verbosity HOB (level 0) is published");
  } else {
    CheckForceDebugTries(board);
    Require(board.BmcDevice().Exchanges().size() == board.BmcDevice().ExchangesOf(kNetFnOem, kForceDebug).size(),
            "BootMarker and TraceGate send the BMC nothing but the force-debug request");
    Require(level == ExpectedLevel(s, board), "the level is the BMC's answer, else the Setup choice");
    const uint8_t ras = ByteOr0(Readable(s, INTEL_SETUP_VARIABLE_NAME, INTEL_SETUP_VARIABLE_SIZE),
                                INTEL_SETUP_RAS_LOG_LEVEL_OFFSET);
    const uint8_t published = static_cast<uint8_t>(ras << 4 | level);
    Require(portWrites.size() == 2 && portWrites[0].value == ((s.scratch & 0xF0) | level) &&
                portWrites[1].value == published,
            "port 0x3FF gets the level under the old high nibble, then the RAS and debug level byte");
    Require(board.Pcd().Find(_PCD_TOKEN_PcdDebugRasLogLevel)->value == published, "token 35 is the RAS and debug level byte");
  }

  for (const auto& read : s.reads) CheckSetupRead(s, board, read);
}

std::vector<uint8_t> VariablesSeed(const boardboot::BoardDescription& description) {
  Scenario s;
  s.scratch = description.options.scratchRegister;
  s.noVariableService = description.options.absent.contains(board::PlatformPpi::ReadOnlyVariable);
  for (const auto& pcd : description.pcd) {
    if (pcd.token == _PCD_TOKEN_PcdOemIsFirstBoot) s.firstBootToken = static_cast<uint8_t>(pcd.value);
    if (pcd.token == _PCD_TOKEN_PcdIioPortValueFlagClear) s.flagClear = static_cast<uint8_t>(pcd.value);
    if (pcd.token == _PCD_TOKEN_PcdIioPortValueFlagSet) s.flagSet = static_cast<uint8_t>(pcd.value);
    if (pcd.token == _PCD_TOKEN_PcdIioPresetSelector) s.presetSelector = static_cast<uint16_t>(pcd.value);
  }
  for (const auto& variable : description.variables) {
    auto known = std::find_if(Known().begin(), Known().end(), [&](const auto& k) { return k.name == variable.name; });
    if (known == Known().end() || s.variables.size() == kMaxVariables) continue;
    s.variables.push_back({static_cast<uint8_t>(known - Known().begin()), variable.readError,
                           std::vector<uint8_t>(variable.bytes.begin(),
                                                variable.bytes.begin() + std::min<size_t>(variable.bytes.size(), kMaxVariableSize))});
  }
  s.answers = ScriptedAnswers(description, kNetFnOem, kForceDebug, kMaxAnswers);
  // The first-boot override is reached only through "SocketIioConfig" (row 0).
  s.reads.push_back({0, std::nullopt});
  ByteWriter out;
  Write(out, s);
  return out.Data();
}

}  // namespace fuzz

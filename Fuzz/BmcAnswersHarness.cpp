// The BMC's answers (transport status, completion code, payload length and
// bytes, per try) to every request TraceGate, BmcHerald and DimmSentry send,
// on an otherwise fixed board with a warning log to report.
#include <Guid/SetupVariable.h>
#include <Guid/VerbosityHob.h>
#include <Ppi/WarningLogScanTrigger.h>

#include <algorithm>
#include <array>

#include "Board/Board.h"
#include "Board/GuidText.h"
#include "Board/HostStructure.h"
#include "BmcAnswerCodec.h"
#include "ForceDebugExchange.h"
#include "Harnesses.h"
#include "Promise.h"
#include "SelExchanges.h"

namespace fuzz {

namespace {
constexpr uint8_t kConnectNetFn = 0x32, kConnectCommand = 0xAA;
constexpr uint8_t kBlockNetFn = 0x3C, kBlockCommand = 0x01;
constexpr unsigned kHeraldTries = 5;
constexpr unsigned kMaxAnswers = 12;
constexpr unsigned kMaxSelAnswers = 64;
constexpr unsigned kMaxScans = 2;
constexpr uint8_t kSetupLevel = 2;

// The OEM block: its fixed header, then a body of zeros.
std::vector<uint8_t> OemBlock() {
  std::vector<uint8_t> block = {0x01, 0x12, 0x00, 0x01, 0x01, 0x01, 0x01, 0x01, 0x2C, 0x00};
  block.resize(44, 0);
  return block;
}

struct Scenario {
  uint8_t scratch = 0;
  unsigned scans = 1;
  std::vector<board::BmcAnswer> forceDebug, connect, block, sel;
};

Scenario Read(ByteReader& in) {
  Scenario s;
  s.scratch = in.U8();
  s.scans = 1 + in.U8() % kMaxScans;
  s.forceDebug = ReadBmcAnswers(in, kMaxAnswers);
  s.connect = ReadBmcAnswers(in, kMaxAnswers);
  s.block = ReadBmcAnswers(in, kMaxAnswers);
  s.sel = ReadBmcAnswers(in, kMaxSelAnswers);
  return s;
}

void Write(ByteWriter& out, const Scenario& s) {
  out.U8(s.scratch);
  out.U8(static_cast<uint8_t>(s.scans - 1));
  WriteBmcAnswers(out, s.forceDebug, kMaxAnswers);
  WriteBmcAnswers(out, s.connect, kMaxAnswers);
  WriteBmcAnswers(out, s.block, kMaxAnswers);
  WriteBmcAnswers(out, s.sel, kMaxSelAnswers);
}

// A board with a warning log of three reported entries (one for both DIMMs
// of a channel), "Setup" at level 2, and the modules dispatched in order.
std::unique_ptr<board::Board> Boot(const Scenario& s) {
  board::BoardOptions options;
  options.scratchRegister = s.scratch;
  auto board = std::make_unique<board::Board>(options);
  std::vector<uint8_t> setup(383, 0);
  setup[227] = kSetupLevel;
  board->Variables().Set(u"Setup", gIntelSetupGuid, setup);

  board::HostStructure host(board->Memory(), options.memory.hostStructure);
  host.AddWarning({.type = 1, .majorCode = 0x05, .minorCode = 0x02, .socket = 1, .channel = 3, .dimm = 1});
  host.AddWarning({.type = 2, .majorCode = 0x30, .minorCode = 0x01, .socket = 0, .channel = 4, .dimm = 0xFF});
  host.AddWarning({.type = 3, .majorCode = 0x0E, .minorCode = 0x07, .socket = 2, .channel = 9, .dimm = 0});
  host.SetDimmPresent(0, 4, 0);
  host.SetDimmPresent(0, 4, 1);

  auto queue = [&](uint8_t netFn, uint8_t command, const std::vector<board::BmcAnswer>& answers) {
    for (const auto& answer : answers) board->BmcDevice().Queue(netFn, command, answer);
  };
  queue(kForceDebugNetFn, kForceDebugCommand, s.forceDebug);
  queue(kConnectNetFn, kConnectCommand, s.connect);
  queue(kBlockNetFn, kBlockCommand, s.block);
  queue(kSelNetFn, kSelCommand, s.sel);

  for (const char* module : {"BootMarker", "TraceGate", "BmcHerald", "DimmSentry"})
    board->Dispatch(*board::FindHostedImage(module));
  for (unsigned scan = 0; scan < s.scans; ++scan) {
    if (scan == 0)
      board->InstallPlatformPpi(gWarningLogScanTriggerPpiGuid);
    else
      board->ReinstallPlatformPpi(gWarningLogScanTriggerPpiGuid);
  }
  return board;
}

// The records one scan sends when the BMC takes every one: what any BMC's
// answers must leave unchanged.
const std::vector<std::vector<uint8_t>>& RecordsOfOneScan() {
  static const std::vector<std::vector<uint8_t>> records = [] {
    std::vector<std::vector<uint8_t>> sent;
    auto board = Boot(Scenario{});
    for (const auto& delivery : SplitSelDeliveries(board->BmcDevice().Exchanges())) sent.push_back(delivery.request);
    return sent;
  }();
  return records;
}

// One of BmcHerald's requests: 1 to 5 tries of the same bytes, each with a
// one-byte response buffer, ending at the first with no transport error and
// completion code 0. The response byte is not reset between tries, so a
// silent try is judged by what the byte already holds. Returns that byte.
uint8_t CheckHeraldTries(const std::vector<board::IpmiExchange>& tries, const std::vector<uint8_t>& request,
                         const char* what) {
  const std::string name(what);
  Require(!tries.empty() && tries.size() <= kHeraldTries, name + " is sent 1 to 5 times");
  uint8_t response = 0xFF;
  for (size_t i = 0; i < tries.size(); ++i) {
    Require(tries[i].request == request && tries[i].lun == 0 && tries[i].responseCapacity == 1,
            name + ": every try sends the same bytes with a one-byte response buffer");
    if (!tries[i].response.empty()) response = tries[i].response[0];
    const bool accepted = !EFI_ERROR(tries[i].status) && response == 0;
    Require(accepted == (i + 1 == tries.size()) || (!accepted && tries.size() == kHeraldTries),
            name + ": tries stop at the first accepted one");
  }
  return response;
}
}  // namespace

void RunBmcAnswers(std::span<const uint8_t> input) {
  ByteReader in(input);
  const Scenario s = Read(in);
  const auto& expectedRecords = RecordsOfOneScan();
  auto board = Boot(s);
  auto& bmc = board->BmcDevice();

  Require(!board->Halted(), "no BMC answer halts a module");
  for (const auto& exchange : bmc.Exchanges()) {
    const std::pair request{exchange.netFn, exchange.command};
    Require(request == std::pair{kForceDebugNetFn, kForceDebugCommand} || request == std::pair{kConnectNetFn, kConnectCommand} ||
                request == std::pair{kBlockNetFn, kBlockCommand} || request == std::pair{kSelNetFn, kSelCommand},
            "only the four requests the modules describe reach the BMC");
  }

  // TraceGate: its tries, and the level they decide.
  CheckForceDebugTries(*board);
  const uint8_t level = BmcForcedLevel(*board).value_or(kSetupLevel);
  uint8_t published = 0xFF;
  for (const auto& hob : board->Hobs().Walk())
    if (hob.type == EFI_HOB_TYPE_GUID_EXTENSION &&
        board::SameGuid(reinterpret_cast<const EFI_HOB_GUID_TYPE*>(hob.bytes)->Name, gVerbosityHobGuid))
      published = hob.bytes[sizeof(EFI_HOB_GUID_TYPE)];
  Require(published == level, "the verbosity HOB holds the level the BMC's answers decide");

  // BmcHerald: both requests, and its status from the block's last try.
  CheckHeraldTries(bmc.ExchangesOf(kConnectNetFn, kConnectCommand), {0x03}, "the connect-USB-Ethernet request");
  const auto blockTries = bmc.ExchangesOf(kBlockNetFn, kBlockCommand);
  const uint8_t blockResponse = CheckHeraldTries(blockTries, OemBlock(), "the OEM block");
  const auto& herald = board->Dispatches()[2];
  const EFI_STATUS last = blockTries.back().status;
  // The last try's status (a warning passes through), but a refusal without
  // a transport error must not read as success.
  const EFI_STATUS heraldExpected = EFI_ERROR(last) || blockResponse == 0 ? last : EFI_DEVICE_ERROR;
  Require(herald.module == "BmcHerald" && herald.status == heraldExpected,
          "BmcHerald returns the block's last status, an error when the BMC refused it (returned " + std::to_string(herald.status) +
              ", expected " + std::to_string(heraldExpected) + ")");

  // DimmSentry: every scan sends the same records whatever the BMC answers.
  const auto deliveries = SplitSelDeliveries(bmc.Exchanges());
  Require(deliveries.size() == expectedRecords.size() * s.scans, "each scan sends each record once");
  for (size_t i = 0; i < deliveries.size(); ++i)
    Require(deliveries[i].request == expectedRecords[i % expectedRecords.size()], "each scan sends the same records");
  const auto& scans = board->NotificationRuns();
  Require(scans.size() == s.scans, "every trigger runs one scan to its end");
  for (size_t scan = 0; scan < scans.size(); ++scan)
    Require(scans[scan].status == deliveries[(scan + 1) * expectedRecords.size() - 1].outcome,
            "a scan returns the outcome of its last record");
}

std::vector<uint8_t> BmcAnswersSeed(const boardboot::BoardDescription& description) {
  Scenario s;
  s.scratch = description.options.scratchRegister;
  s.scans = static_cast<unsigned>(std::clamp<size_t>(
      std::count_if(description.steps.begin(), description.steps.end(),
                    [](const auto& step) { return step.kind == boardboot::BootStep::Kind::ScanTrigger; }),
      1, kMaxScans));
  s.forceDebug = ScriptedAnswers(description, kForceDebugNetFn, kForceDebugCommand, kMaxAnswers);
  s.connect = ScriptedAnswers(description, kConnectNetFn, kConnectCommand, kMaxAnswers);
  s.block = ScriptedAnswers(description, kBlockNetFn, kBlockCommand, kMaxAnswers);
  s.sel = ScriptedAnswers(description, kSelNetFn, kSelCommand, kMaxSelAnswers);
  ByteWriter out;
  Write(out, s);
  return out.Data();
}

}  // namespace fuzz

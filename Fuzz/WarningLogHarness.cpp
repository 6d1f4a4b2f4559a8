// The warning log and the per-slot bytes of the host structure, as the
// memory reference code might leave them, through DimmSentry's full scan.
#include <Ppi/WarningLogScanTrigger.h>
#include <SysHost.h>

#include <algorithm>
#include <cstring>

#include "Board/Board.h"
#include "Board/HostStructure.h"
#include "BmcAnswerCodec.h"
#include "Harnesses.h"
#include "Promise.h"
#include "SelExchanges.h"

namespace fuzz {

namespace {
constexpr unsigned kMaxSelAnswers = 64;
constexpr unsigned kMaxScans = 3;
constexpr uint32_t kLogStart = OFFSET_OF(SysHost, UsedSize);  // what DimmSentry may read: UsedSize to the end

// Which byte of a channel a per-slot write sets.
enum SlotByte : uint8_t { kSlot0Present = 0, kSlot1Present = 1, kGate = 2 };

struct SlotWrite {
  uint8_t socket = 0, channel = 0, which = 0, value = 0;
};

struct Scenario {
  uint8_t scratch = 0;
  uint32_t usedSize = 0;
  std::vector<uint8_t> log;  // the log's first bytes
  std::vector<SlotWrite> slots;
  unsigned scans = 1;
  std::optional<uint8_t> selCapacity;
  std::vector<board::BmcAnswer> selAnswers;
};

Scenario Read(ByteReader& in) {
  Scenario s;
  s.scratch = in.U8();
  s.usedSize = in.U32();
  s.log = in.Bytes(in.U16() % (SYS_HOST_WARNING_LOG_SIZE + 1));
  s.slots.resize(in.U8() % 32);
  for (auto& slot : s.slots) slot = {in.U8(), in.U8(), in.U8(), in.U8()};
  s.scans = 1 + in.U8() % kMaxScans;
  if (uint8_t capacity = in.U8(); capacity != 0xFF) s.selCapacity = capacity;
  s.selAnswers = ReadBmcAnswers(in, kMaxSelAnswers);
  return s;
}

void Write(ByteWriter& out, const Scenario& s) {
  out.U8(s.scratch);
  out.U32(s.usedSize);
  out.U16(static_cast<uint16_t>(s.log.size()));
  out.Bytes(s.log);
  out.U8(static_cast<uint8_t>(s.slots.size()));
  for (const auto& slot : s.slots) out.U8(slot.socket), out.U8(slot.channel), out.U8(slot.which), out.U8(slot.value);
  out.U8(static_cast<uint8_t>(s.scans - 1));
  out.U8(s.selCapacity.value_or(0xFF));
  WriteBmcAnswers(out, s.selAnswers, kMaxSelAnswers);
}

void Lay(SysHost& host, const Scenario& s) {
  host.UsedSize = s.usedSize;
  std::copy(s.log.begin(), s.log.end(), host.WarningLog);
  for (const auto& slot : s.slots) {
    SysHostChannel& channel = host.Socket[slot.socket % SYS_HOST_MAX_SOCKETS].Channel[slot.channel % SYS_HOST_MAX_CHANNELS];
    switch (slot.which % 3) {
      case kSlot0Present: channel.Slot[0].DimmPresent = slot.value; break;
      case kSlot1Present: channel.Slot[1].DimmPresent = slot.value; break;
      default: channel.ChannelGate = slot.value; break;
    }
  }
}

// An entry whose codes a record carries: some entry-sized window of the log
// in use holds them, where an entry keeps its major and minor code.
bool LogHoldsCodes(const Scenario& s, uint8_t major, uint8_t minor) {
  const size_t inUse = std::min<size_t>({s.usedSize, SYS_HOST_WARNING_LOG_SIZE});
  for (size_t at = 0; at + sizeof(MemWarningLogEntry) <= inUse; ++at) {
    uint8_t entryMajor = at + OFFSET_OF(MemWarningLogEntry, MajorCode) < s.log.size()
                             ? s.log[at + OFFSET_OF(MemWarningLogEntry, MajorCode)] : 0;
    uint8_t entryMinor = at + OFFSET_OF(MemWarningLogEntry, MinorCode) < s.log.size()
                             ? s.log[at + OFFSET_OF(MemWarningLogEntry, MinorCode)] : 0;
    if (entryMajor == major && entryMinor == minor) return true;
  }
  return false;
}
}  // namespace

void RunWarningLog(std::span<const uint8_t> input) {
  ByteReader in(input);
  const Scenario s = Read(in);

  board::BoardOptions options;
  options.scratchRegister = s.scratch;
  board::Board board(options);
  auto& host = *reinterpret_cast<SysHost*>(board.Memory().At(options.memory.hostStructure.base, sizeof(SysHost)));
  Lay(host, s);
  if (s.selCapacity) board.BmcDevice().SetSelCapacity(*s.selCapacity);
  for (const auto& answer : s.selAnswers) board.BmcDevice().Queue(kSelNetFn, kSelCommand, answer);

  const auto* hostBytes = reinterpret_cast<const uint8_t*>(&host);
  const std::vector<uint8_t> before(hostBytes + kLogStart, hostBytes + sizeof(SysHost));

  const board::DispatchRecord entry = board.Dispatch(*board::FindHostedImage("DimmSentry"));
  Require(entry.ran && !entry.halted && entry.status == EFI_SUCCESS, "DimmSentry's entry returns EFI_SUCCESS");

  for (unsigned scan = 0; scan < s.scans; ++scan) {
    const size_t exchangesBefore = board.BmcDevice().Exchanges().size();
    const size_t runsBefore = board.NotificationRuns().size();
    if (scan == 0)
      board.InstallPlatformPpi(gWarningLogScanTriggerPpiGuid);
    else
      board.ReinstallPlatformPpi(gWarningLogScanTriggerPpiGuid);
    Require(!board.Halted(), "a scan never halts the processor");
    Require(board.NotificationRuns().size() == runsBefore + 1, "every trigger runs exactly one scan, to its end");
    const EFI_STATUS status = board.NotificationRuns().back().status;

    const std::vector<board::IpmiExchange> sent(board.BmcDevice().Exchanges().begin() + static_cast<ptrdiff_t>(exchangesBefore),
                                               board.BmcDevice().Exchanges().end());
    for (const auto& exchange : sent)
      Require(exchange.netFn == kSelNetFn && exchange.command == kSelCommand, "a scan sends the BMC only Add SEL Entry");
    const std::vector<SelDelivery> records = SplitSelDeliveries(sent);
    // One entry takes at least a whole entry's bytes and is sent for at most two DIMMs.
    Require(records.size() <= 2 * (SYS_HOST_WARNING_LOG_SIZE / sizeof(MemWarningLogEntry)),
            "a scan sends no more records than the log can hold entries for");
    for (const auto& record : records) {
      Require(LogHoldsCodes(s, record.request[14], record.request[15]),
              "every record carries the codes of an entry in the log in use");
    }
    if (status != EFI_ABORTED && status != EFI_VOLUME_CORRUPTED)
      Require(status == (records.empty() ? EFI_SUCCESS : records.back().outcome),
              "a walked log returns the outcome of its last record");
    if (s.usedSize > SYS_HOST_WARNING_LOG_SIZE) Require(status != EFI_SUCCESS, "an oversized UsedSize is reported");
  }

  Require(std::memcmp(before.data(), hostBytes + kLogStart, before.size()) == 0, "DimmSentry never writes the host structure");
  Require(board.Console().Assertions().empty(), "the scan raises no assertion");
}

std::vector<uint8_t> WarningLogSeed(const boardboot::BoardDescription& description) {
  Scenario s;
  s.scratch = description.options.scratchRegister;
  {
    // The gallery's entries laid out by the board's own builder, then read back.
    board::Board board(description.options);
    board::HostStructure builder(board.Memory(), board.Options().memory.hostStructure);
    const auto& log = description.warningLog;
    for (const auto& entry : log.entries) builder.AddWarning(entry);
    if (log.usedSize) builder.SetUsedSize(*log.usedSize);
    const auto& host = *reinterpret_cast<const SysHost*>(board.Memory().At(board.Options().memory.hostStructure.base, sizeof(SysHost)));
    s.usedSize = host.UsedSize;
    const size_t laid = std::min<size_t>(SYS_HOST_WARNING_LOG_SIZE, size_t{host.UsedSize} + sizeof(MemWarningLogEntry));
    s.log.assign(host.WarningLog, host.WarningLog + laid);
    for (const auto& slot : log.present)
      s.slots.push_back({static_cast<uint8_t>(slot.socket), static_cast<uint8_t>(slot.channel),
                         static_cast<uint8_t>(slot.slot == 0 ? kSlot0Present : kSlot1Present), SYS_HOST_DIMM_PRESENT});
    for (const auto& gate : log.gates)
      s.slots.push_back({static_cast<uint8_t>(gate.socket), static_cast<uint8_t>(gate.channel), kGate, gate.gate});
  }
  s.scans = static_cast<unsigned>(std::clamp<size_t>(
      std::count_if(description.steps.begin(), description.steps.end(),
                    [](const auto& step) { return step.kind == boardboot::BootStep::Kind::ScanTrigger; }),
      1, kMaxScans));
  if (description.selCapacity) s.selCapacity = static_cast<uint8_t>(std::min<size_t>(*description.selCapacity, 0xFE));
  s.selAnswers = ScriptedAnswers(description, kSelNetFn, kSelCommand, kMaxSelAnswers);
  ByteWriter out;
  Write(out, s);
  return out.Data();
}

}  // namespace fuzz

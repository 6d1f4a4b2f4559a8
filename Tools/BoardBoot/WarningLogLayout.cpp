#include "WarningLogLayout.h"

#include <algorithm>
#include <iterator>

namespace boardboot {

bool DescribesHostStructure(const WarningLogSetting& log) {
  return !log.entries.empty() || log.usedSize || !log.present.empty() || !log.gates.empty();
}

void LayOutWarningLog(board::HostStructure& host, const WarningLogSetting& log) {
  for (const auto& entry : log.entries) host.AddWarning(entry);
  if (log.usedSize) host.SetUsedSize(*log.usedSize);
  for (const auto& slot : log.present) host.SetDimmPresent(slot.socket, slot.channel, slot.slot);
  for (const auto& gate : log.gates) host.SetChannelGate(gate.socket, gate.channel, gate.gate);
}

std::vector<uint8_t> HostStructureBytes(const WarningLogSetting& log) {
  std::vector<uint8_t> bytes(sizeof(SysHost), 0);
  board::HostStructure host(*reinterpret_cast<SysHost*>(bytes.data()));
  LayOutWarningLog(host, log);
  // UsedSize is always there, even when it is 0.
  const auto kept = bytes.begin() + OFFSET_OF(SysHost, WarningLog);
  const auto last = std::find_if(bytes.rbegin(), std::make_reverse_iterator(kept), [](uint8_t byte) { return byte != 0; });
  bytes.erase(last.base(), bytes.end());
  return bytes;
}

}  // namespace boardboot

#include "HostStructure.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "BoardError.h"

namespace board {

HostStructure::HostStructure(PhysicalMemory& memory, uint32_t address)
    : address_(address), host_(reinterpret_cast<SysHost*>(memory.At(address, sizeof(SysHost)))) {}

uint32_t HostStructure::AddWarning(const WarningEntry& entry) {
  const uint32_t offset = UsedSize();
  MemWarningLogEntry fields{};
  fields.Type = entry.type;
  fields.Length = entry.length;
  fields.MajorCode = entry.majorCode;
  fields.MinorCode = entry.minorCode;
  fields.Socket = entry.socket;
  fields.Channel = entry.channel;
  fields.Dimm = entry.dimm;
  fields.Rank = entry.rank;
  const size_t written =
      std::clamp<size_t>(entry.length, MEM_WARNING_LOG_ENTRY_HEADER_SIZE, sizeof(MemWarningLogEntry));
  if (offset > SYS_HOST_WARNING_LOG_SIZE || written > SYS_HOST_WARNING_LOG_SIZE - offset)
    throw BoardError("a warning-log entry at offset " + std::to_string(offset) + " does not fit the log");
  std::memcpy(&host_->WarningLog[offset], &fields, written);
  SetUsedSize(offset + entry.length);
  return offset;
}

void HostStructure::SetUsedSize(uint32_t usedSize) { host_->UsedSize = usedSize; }

uint32_t HostStructure::UsedSize() const { return host_->UsedSize; }

SysHostChannel& HostStructure::Channel(unsigned socket, unsigned channel) {
  if (socket >= SYS_HOST_MAX_SOCKETS || channel >= SYS_HOST_MAX_CHANNELS)
    throw BoardError("the host structure has no socket " + std::to_string(socket) + " channel " +
                     std::to_string(channel));
  return host_->Socket[socket].Channel[channel];
}

void HostStructure::SetDimmPresent(unsigned socket, unsigned channel, unsigned slot, bool present) {
  if (slot >= SYS_HOST_MAX_DIMM_SLOTS) throw BoardError("a channel has no DIMM slot " + std::to_string(slot));
  Channel(socket, channel).Slot[slot].DimmPresent = present ? SYS_HOST_DIMM_PRESENT : 0;
}

void HostStructure::SetChannelGate(unsigned socket, unsigned channel, uint8_t gate) {
  Channel(socket, channel).ChannelGate = gate;
}

}  // namespace board

// The memory reference code's host structure as the board lays it out for
// the modules that read it: the warning log's entries and UsedSize, and the
// DIMM presence and channel gate bytes of each slot. The layout is the one
// the modules read (Include/SysHost.h); the builder writes exactly the bytes
// a test asks for, malformed ones included, but never outside the structure.
#pragma once

#include <cstdint>

#include <SysHost.h>

#include "PhysicalMemory.h"

namespace board {

// One warning-log entry. Length is written as given, whatever it is.
struct WarningEntry {
  static constexpr uint16_t kDefaultLength = 0x20;

  int32_t type = 1;
  uint16_t length = kDefaultLength;
  uint8_t majorCode = 0;
  uint8_t minorCode = 0;
  uint8_t socket = 0;
  uint8_t channel = 0;
  uint8_t dimm = 0;
  uint8_t rank = 0;
};

class HostStructure {
 public:
  // The host structure at address; throws BoardError unless memory maps all of it.
  HostStructure(PhysicalMemory& memory, uint32_t address);
  // The host structure at the start of region, where token 17 points by default.
  HostStructure(PhysicalMemory& memory, const MemoryRegion& region) : HostStructure(memory, region.base) {}
  // A host structure outside the board's memory (its bytes handed to another
  // platform, which places it itself): Address() is 0.
  explicit HostStructure(SysHost& host) : address_(0), host_(&host) {}

  uint32_t Address() const { return address_; }
  // The physical address of a byte of the structure, by its offset.
  uint32_t AddressOf(uint32_t offset) const { return address_ + offset; }

  // Lays out entry where the entries in use end and adds its Length to
  // UsedSize; returns its offset in the log. Type and Length are always
  // written, the other fields as far as Length reaches (an entry is Length
  // bytes long). Throws BoardError when what is written would leave the log.
  uint32_t AddWarning(const WarningEntry& entry);
  void SetUsedSize(uint32_t usedSize);
  [[nodiscard]] uint32_t UsedSize() const;

  // Per slot: throws BoardError for a socket, channel or slot the structure does not hold.
  void SetDimmPresent(unsigned socket, unsigned channel, unsigned slot, bool present = true);
  void SetChannelGate(unsigned socket, unsigned channel, uint8_t gate);

 private:
  SysHostChannel& Channel(unsigned socket, unsigned channel);

  uint32_t address_;
  SysHost* host_;
};

}  // namespace board

// Memory-mapped I/O as modules reach it through IoLib: the PCIe configuration
// window, else plain physical memory, else nothing (reads all ones). Every
// access is logged with its address, width and value.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "PcieConfigSpace.h"
#include "PhysicalMemory.h"

namespace board {

struct MmioAccess {
  uint64_t address = 0;
  unsigned width = 0;  // bytes
  bool write = false;
  uint64_t value = 0;
};

class MmioSpace {
 public:
  MmioSpace(PhysicalMemory& memory, PcieConfigSpace& pcie) : memory_(memory), pcie_(pcie) {}

  uint64_t Read(uint64_t address, unsigned width);
  void Write(uint64_t address, unsigned width, uint64_t value);
  const std::vector<MmioAccess>& Log() const { return log_; }

 private:
  PhysicalMemory& memory_;
  PcieConfigSpace& pcie_;
  std::vector<MmioAccess> log_;
};

}  // namespace board

// The board's physical memory: named regions mapped at fixed addresses below
// 2 GiB, so every address a module keeps in 32 bits is real and the same on
// every run.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace board {

struct MemoryRegion {
  std::string name;
  uint32_t base = 0;
  uint32_t size = 0;

  uint64_t End() const { return uint64_t{base} + size; }
  bool Contains(uint64_t address, uint64_t length = 1) const {
    return address >= base && length <= size && address - base <= size - length;
  }
};

class PhysicalMemory {
 public:
  PhysicalMemory() = default;
  PhysicalMemory(const PhysicalMemory&) = delete;
  PhysicalMemory& operator=(const PhysicalMemory&) = delete;
  ~PhysicalMemory();

  // Maps a zero-filled region at exactly region.base; throws BoardError when
  // the range is not free, overlaps another region or is not below 2 GiB.
  void Map(const MemoryRegion& region);

  const MemoryRegion* RegionOf(uint64_t address, uint64_t length = 1) const;
  bool Contains(uint64_t address, uint64_t length = 1) const { return RegionOf(address, length) != nullptr; }
  const std::vector<MemoryRegion>& Regions() const { return regions_; }

  // Host pointer for a mapped physical address; throws BoardError otherwise.
  uint8_t* At(uint64_t address, uint64_t length = 1) const;

 private:
  std::vector<MemoryRegion> regions_;
};

// A host pointer as the 32-bit physical address a module would keep; throws
// BoardError when it does not fit (never truncates).
uint32_t ToPhysical32(const void* pointer);

}  // namespace board

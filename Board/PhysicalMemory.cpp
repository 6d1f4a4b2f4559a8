#include "PhysicalMemory.h"

#include <sys/mman.h>

#include <cerrno>
#include <cstring>
#include <sstream>

#include "BoardError.h"

namespace board {

namespace {
// Sanitizer shadow memory begins at 0x7fff8000 on x86-64: the board's fixed
// map stays below it so the same addresses work in every build.
constexpr uint64_t kPhysicalLimit = 0x7FFF0000;

std::string Hex(uint64_t value) {
  std::ostringstream out;
  out << "0x" << std::hex << std::uppercase << value;
  return out.str();
}
}  // namespace

PhysicalMemory::~PhysicalMemory() {
  for (const auto& region : regions_) munmap(reinterpret_cast<void*>(uintptr_t{region.base}), region.size);
}

void PhysicalMemory::Map(const MemoryRegion& region) {
  if (region.size == 0 || region.base % 4096 != 0 || region.size % 4096 != 0)
    throw BoardError("memory region " + region.name + " must be page-aligned and non-empty");
  if (region.End() > kPhysicalLimit)
    throw BoardError("memory region " + region.name + " ends at " + Hex(region.End()) + ", above the board's limit " +
                     Hex(kPhysicalLimit));
  for (const auto& other : regions_) {
    if (region.base < other.End() && other.base < region.End())
      throw BoardError("memory region " + region.name + " overlaps " + other.name);
  }
  void* wanted = reinterpret_cast<void*>(uintptr_t{region.base});
  void* got = mmap(wanted, region.size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED_NOREPLACE, -1, 0);
  if (got == MAP_FAILED || got != wanted) {
    if (got != MAP_FAILED) munmap(got, region.size);
    throw BoardError("cannot map memory region " + region.name + " at " + Hex(region.base) + ": " +
                     std::strerror(errno));
  }
  regions_.push_back(region);
}

const MemoryRegion* PhysicalMemory::RegionOf(uint64_t address, uint64_t length) const {
  for (const auto& region : regions_)
    if (region.Contains(address, length)) return &region;
  return nullptr;
}

uint8_t* PhysicalMemory::At(uint64_t address, uint64_t length) const {
  if (!Contains(address, length))
    throw BoardError("physical address " + Hex(address) + " (+" + std::to_string(length) + ") is not mapped memory");
  return reinterpret_cast<uint8_t*>(static_cast<uintptr_t>(address));
}

uint32_t ToPhysical32(const void* pointer) {
  auto value = reinterpret_cast<uintptr_t>(pointer);
  if (value > 0xFFFFFFFFu) throw BoardError("address " + Hex(value) + " does not fit in 32 bits");
  return static_cast<uint32_t>(value);
}

}  // namespace board

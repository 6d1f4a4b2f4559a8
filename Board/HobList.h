// The PEI HOB list kept the way a PEI core keeps it: a handoff table (PHIT)
// first, HOBs growing upward from it, pages taken from the top of free memory
// downward, and an end-of-list HOB after the last one.
#pragma once

#include <cstdint>
#include <vector>

#include <PiPei.h>

#include "PhysicalMemory.h"

namespace board {

struct HobView {
  uint32_t address = 0;
  uint16_t type = 0;
  uint16_t length = 0;
  const uint8_t* bytes = nullptr;  // the whole HOB, header included
};

class HobList {
 public:
  // Lays out a new list at the bottom of region, which must be mapped.
  HobList(PhysicalMemory& memory, const MemoryRegion& region, EFI_BOOT_MODE bootMode);

  void* Start() const { return phit_; }
  EFI_HOB_HANDOFF_INFO_TABLE& Phit() const { return *phit_; }

  // CreateHob: Length is rounded up to 8; lengths above 0xFFF8 are refused.
  EFI_STATUS Create(uint16_t type, uint16_t length, void** hob);
  // What a new HOB's bytes hold before its creator writes them: 0 unless a
  // test says otherwise (a PEI core does not clear them).
  void SetNewHobFill(uint8_t fill) { newHobFill_ = fill; }
  // AllocatePages: whole pages from the top of free memory, with a memory
  // allocation HOB describing them.
  EFI_STATUS AllocatePages(EFI_MEMORY_TYPE type, uint64_t pages, EFI_PHYSICAL_ADDRESS* memory);
  // AllocatePool: a memory pool HOB whose data is the buffer.
  EFI_STATUS AllocatePool(uint64_t size, void** buffer);

  // Moves the whole list into region (permanent memory): every HOB gets a new
  // address, the PHIT describes the new memory, and the old bytes are
  // overwritten so a stale pointer into them is caught.
  void MoveTo(const MemoryRegion& region);

  // The HOBs in order, the end-of-list HOB included; stops at a corrupt length.
  std::vector<HobView> Walk() const;

 private:
  PhysicalMemory& memory_;
  EFI_HOB_HANDOFF_INFO_TABLE* phit_;
  uint8_t newHobFill_ = 0;
};

}  // namespace board

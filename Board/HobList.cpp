#include "HobList.h"

#include <cstring>

#include "BoardError.h"

namespace board {

namespace {
constexpr uint64_t kPage = 4096;
constexpr uint8_t kStaleFill = 0xAF;

void WriteEndOfList(uint8_t* at) {
  auto* end = reinterpret_cast<EFI_HOB_GENERIC_HEADER*>(at);
  end->HobType = EFI_HOB_TYPE_END_OF_HOB_LIST;
  end->HobLength = sizeof(EFI_HOB_GENERIC_HEADER);
  end->Reserved = 0;
}

uint8_t* Host(EFI_PHYSICAL_ADDRESS address) { return reinterpret_cast<uint8_t*>(static_cast<uintptr_t>(address)); }
}  // namespace

HobList::HobList(PhysicalMemory& memory, const MemoryRegion& region, EFI_BOOT_MODE bootMode) : memory_(memory) {
  uint8_t* base = memory_.At(region.base, region.size);
  phit_ = reinterpret_cast<EFI_HOB_HANDOFF_INFO_TABLE*>(base);
  std::memset(phit_, 0, sizeof *phit_);
  phit_->Header.HobType = EFI_HOB_TYPE_HANDOFF;
  phit_->Header.HobLength = sizeof(EFI_HOB_HANDOFF_INFO_TABLE);
  phit_->Version = EFI_HOB_HANDOFF_TABLE_VERSION;
  phit_->BootMode = bootMode;
  phit_->EfiMemoryBottom = region.base;
  phit_->EfiMemoryTop = region.End();
  phit_->EfiFreeMemoryTop = region.End();
  phit_->EfiEndOfHobList = region.base + sizeof(EFI_HOB_HANDOFF_INFO_TABLE);
  phit_->EfiFreeMemoryBottom = phit_->EfiEndOfHobList + sizeof(EFI_HOB_GENERIC_HEADER);
  WriteEndOfList(Host(phit_->EfiEndOfHobList));
}

EFI_STATUS HobList::Create(uint16_t type, uint16_t length, void** hob) {
  if (hob == nullptr) return EFI_INVALID_PARAMETER;
  if (length > 0xFFF8 || length < sizeof(EFI_HOB_GENERIC_HEADER)) return EFI_INVALID_PARAMETER;
  uint16_t rounded = static_cast<uint16_t>((length + 7u) & ~7u);
  uint64_t free = phit_->EfiFreeMemoryTop - phit_->EfiFreeMemoryBottom;
  if (free < rounded) return EFI_OUT_OF_RESOURCES;

  uint8_t* at = Host(phit_->EfiEndOfHobList);
  std::memset(at, newHobFill_, rounded);
  auto* header = reinterpret_cast<EFI_HOB_GENERIC_HEADER*>(at);
  header->HobType = type;
  header->HobLength = rounded;
  header->Reserved = 0;
  phit_->EfiEndOfHobList += rounded;
  WriteEndOfList(Host(phit_->EfiEndOfHobList));
  phit_->EfiFreeMemoryBottom = phit_->EfiEndOfHobList + sizeof(EFI_HOB_GENERIC_HEADER);
  *hob = at;
  return EFI_SUCCESS;
}

EFI_STATUS HobList::AllocatePages(EFI_MEMORY_TYPE type, uint64_t pages, EFI_PHYSICAL_ADDRESS* memory) {
  if (memory == nullptr || pages == 0) return EFI_INVALID_PARAMETER;
  uint64_t top = phit_->EfiFreeMemoryTop & ~(kPage - 1);
  uint64_t bottomNeeded = phit_->EfiFreeMemoryBottom + sizeof(EFI_HOB_MEMORY_ALLOCATION);
  if (pages > top / kPage || top - pages * kPage < bottomNeeded) return EFI_OUT_OF_RESOURCES;
  uint64_t base = top - pages * kPage;
  phit_->EfiFreeMemoryTop = base;

  void* hob = nullptr;
  if (EFI_STATUS status = Create(EFI_HOB_TYPE_MEMORY_ALLOCATION, sizeof(EFI_HOB_MEMORY_ALLOCATION), &hob);
      EFI_ERROR(status))
    return status;
  auto* allocation = static_cast<EFI_HOB_MEMORY_ALLOCATION*>(hob);
  allocation->AllocDescriptor.MemoryBaseAddress = base;
  allocation->AllocDescriptor.MemoryLength = pages * kPage;
  allocation->AllocDescriptor.MemoryType = type;
  *memory = base;
  return EFI_SUCCESS;
}

EFI_STATUS HobList::AllocatePool(uint64_t size, void** buffer) {
  if (buffer == nullptr) return EFI_INVALID_PARAMETER;
  if (size > 0xFFF8 - sizeof(EFI_HOB_MEMORY_POOL)) return EFI_OUT_OF_RESOURCES;
  void* hob = nullptr;
  EFI_STATUS status = Create(EFI_HOB_TYPE_MEMORY_POOL, static_cast<uint16_t>(sizeof(EFI_HOB_MEMORY_POOL) + size), &hob);
  if (EFI_ERROR(status)) return status;
  *buffer = static_cast<EFI_HOB_MEMORY_POOL*>(hob) + 1;
  return EFI_SUCCESS;
}

void HobList::MoveTo(const MemoryRegion& region) {
  uint8_t* oldStart = reinterpret_cast<uint8_t*>(phit_);
  uint64_t used = phit_->EfiEndOfHobList + sizeof(EFI_HOB_GENERIC_HEADER) - ToPhysical32(phit_);
  if (used > region.size) throw BoardError("the HOB list does not fit in " + region.name);
  uint8_t* newStart = memory_.At(region.base, region.size);
  std::memcpy(newStart, oldStart, used);
  std::memset(oldStart, kStaleFill, used);

  phit_ = reinterpret_cast<EFI_HOB_HANDOFF_INFO_TABLE*>(newStart);
  phit_->EfiMemoryBottom = region.base;
  phit_->EfiMemoryTop = region.End();
  phit_->EfiFreeMemoryTop = region.End();
  phit_->EfiEndOfHobList = region.base + used - sizeof(EFI_HOB_GENERIC_HEADER);
  phit_->EfiFreeMemoryBottom = phit_->EfiEndOfHobList + sizeof(EFI_HOB_GENERIC_HEADER);
}

std::vector<HobView> HobList::Walk() const {
  std::vector<HobView> hobs;
  auto* at = reinterpret_cast<const uint8_t*>(phit_);
  uint64_t end = phit_->EfiEndOfHobList + sizeof(EFI_HOB_GENERIC_HEADER);
  while (ToPhysical32(at) + sizeof(EFI_HOB_GENERIC_HEADER) <= end) {
    const auto* header = reinterpret_cast<const EFI_HOB_GENERIC_HEADER*>(at);
    hobs.push_back({ToPhysical32(at), header->HobType, header->HobLength, at});
    if (header->HobType == EFI_HOB_TYPE_END_OF_HOB_LIST || header->HobLength < sizeof(EFI_HOB_GENERIC_HEADER)) break;
    at += header->HobLength;
  }
  return hobs;
}

}  // namespace board

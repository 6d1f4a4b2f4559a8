// Where the emulated board puts what only the emulated processors see: the
// PEI Services table and interface records in their IA32 form, the trap
// slots their functions point to, the processors' stacks and the flash. All
// fixed, all above the board's own memory (which ends below 2 GiB), so an
// emulated boot and a hosted boot share every address the modules print.
#pragma once

#include <cstdint>

namespace board::emulator {

// Guest-read-only data: the table, the records, descriptors of the board's
// own PPIs. Offsets from kServicesBase.
constexpr uint32_t kServicesBase = 0xFEF00000;
constexpr uint32_t kServicesSize = 0x10000;
constexpr uint32_t kServicesCell = kServicesBase + 0x000;  // EFI_PEI_SERVICES**: holds the table's address
constexpr uint32_t kServicesTable = kServicesBase + 0x100;
constexpr uint32_t kVariablePpi = kServicesBase + 0x200;
constexpr uint32_t kPcdPpi = kServicesBase + 0x240;
constexpr uint32_t kIpmiPpi = kServicesBase + 0x2C0;
constexpr uint32_t kDebugPpi = kServicesBase + 0x2E0;
constexpr uint32_t kMpPpi = kServicesBase + 0x300;
constexpr uint32_t kEmptyPpi = kServicesBase + 0x340;     // the interface of a PPI that carries none
constexpr uint32_t kBoardDescriptors = kServicesBase + 0x400;  // copies of the board's descriptors, on demand
constexpr uint32_t kBoardDescriptorSize = 32;              // descriptor (12) and its GUID (16)

// One slot per board operation; each holds RET and a code hook on the page
// hands the call to the board.
constexpr uint32_t kTrapBase = 0xFEF10000;
constexpr uint32_t kTrapSize = 0x1000;
constexpr uint32_t kTrapSlotSize = 4;
// Where every call the board makes into guest code returns to: reaching it ends the run.
constexpr uint32_t kReturnAddress = 0xFEF11000;
constexpr uint32_t kReturnPageSize = 0x1000;

// One stack per processor, painted before each run and scanned afterwards.
constexpr uint32_t kStacksBase = 0xFE000000;
constexpr uint32_t kStackSize = 0x10000;
constexpr unsigned kMaxProcessors = 64;

// Flash: the top of the 4 GiB space, read and execute only.
constexpr uint32_t kFlashSize = 0x100000;
constexpr uint32_t kFlashBase = 0xFFF00000;

// IA32 layouts the trap handlers read and write.
constexpr uint32_t kPpiDescriptorSize = 12;    // Flags, Guid, Ppi (or Notify)
constexpr uint32_t kProcessorInfoSize = 48;    // EFI_PROCESSOR_INFORMATION
constexpr uint32_t kPeiServicesTableSize = 136;

}  // namespace board::emulator

/** @file
  MemoryAllocationLib over the PEI Services.
**/
#ifndef PI_BASE_LIBRARY_MEMORY_ALLOCATION_LIB_H_
#define PI_BASE_LIBRARY_MEMORY_ALLOCATION_LIB_H_

#include <Uefi/UefiBaseType.h>

extern "C" {

/** Allocates Pages 4 KiB pages of EfiBootServicesData; NULL for 0 pages or on failure. Not cleared. **/
VOID * EFIAPI AllocatePages (IN UINTN Pages);

/** Allocates AllocationSize bytes of pool; NULL on failure. Not cleared. **/
VOID * EFIAPI AllocatePool (IN UINTN AllocationSize);

}

#endif

/** @file
  MemoryAllocationLib over the PEI Services AllocatePages and AllocatePool.
**/
#include <Library/MemoryAllocationLib.h>
#include <Library/PeiServicesLib.h>

VOID * EFIAPI AllocatePages (IN UINTN Pages)
{
  EFI_PHYSICAL_ADDRESS Memory;

  if (Pages == 0) {
    return NULL;
  }
  EFI_STATUS Status = PeiServicesAllocatePages (EfiBootServicesData, Pages, &Memory);
  if (EFI_ERROR (Status)) {
    return NULL;
  }
  return (VOID *)(UINTN)Memory;
}

VOID * EFIAPI AllocatePool (IN UINTN AllocationSize)
{
  VOID *Buffer;

  EFI_STATUS Status = PeiServicesAllocatePool (AllocationSize, &Buffer);
  if (EFI_ERROR (Status)) {
    return NULL;
  }
  return Buffer;
}

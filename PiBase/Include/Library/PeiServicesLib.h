/** @file
  PeiServicesLib: the PEI Services, called through the table that
  PeiServicesTablePointerLib finds.
**/
#ifndef PI_BASE_LIBRARY_PEI_SERVICES_LIB_H_
#define PI_BASE_LIBRARY_PEI_SERVICES_LIB_H_

#include <PiPei.h>

extern "C" {

/** Installs the PPIs of PpiList. **/
EFI_STATUS EFIAPI PeiServicesInstallPpi (IN CONST EFI_PEI_PPI_DESCRIPTOR *PpiList);
/** Replaces OldPpi by NewPpi. **/
EFI_STATUS EFIAPI PeiServicesReInstallPpi (IN CONST EFI_PEI_PPI_DESCRIPTOR *OldPpi, IN CONST EFI_PEI_PPI_DESCRIPTOR *NewPpi);
/** Finds instance Instance of the PPI named Guid. **/
EFI_STATUS EFIAPI PeiServicesLocatePpi (IN CONST EFI_GUID *Guid, IN UINTN Instance,
                                        IN OUT EFI_PEI_PPI_DESCRIPTOR **PpiDescriptor OPTIONAL, IN OUT VOID **Ppi);
/** Registers the notifications of NotifyList. **/
EFI_STATUS EFIAPI PeiServicesNotifyPpi (IN CONST EFI_PEI_NOTIFY_DESCRIPTOR *NotifyList);
/** Returns the start of the HOB list in *HobList. **/
EFI_STATUS EFIAPI PeiServicesGetHobList (OUT VOID **HobList);
/** Creates a HOB of Type and Length bytes; *Hob receives it. **/
EFI_STATUS EFIAPI PeiServicesCreateHob (IN UINT16 Type, IN UINT16 Length, OUT VOID **Hob);
/** Allocates Pages pages of MemoryType. **/
EFI_STATUS EFIAPI PeiServicesAllocatePages (IN EFI_MEMORY_TYPE MemoryType, IN UINTN Pages, OUT EFI_PHYSICAL_ADDRESS *Memory);
/** Allocates Size bytes of pool. **/
EFI_STATUS EFIAPI PeiServicesAllocatePool (IN UINTN Size, OUT VOID **Buffer);
/** Installs permanent memory. **/
EFI_STATUS EFIAPI PeiServicesInstallPeiMemory (IN EFI_PHYSICAL_ADDRESS MemoryBegin, IN UINT64 MemoryLength);

}

#endif

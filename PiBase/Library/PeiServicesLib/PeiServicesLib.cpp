/** @file
  PeiServicesLib: each call goes through the table found by
  PeiServicesTablePointerLib.
**/
#include <Library/PeiServicesLib.h>
#include <Library/PeiServicesTablePointerLib.h>

EFI_STATUS EFIAPI PeiServicesInstallPpi (IN CONST EFI_PEI_PPI_DESCRIPTOR *PpiList)
{
  CONST EFI_PEI_SERVICES **PeiServices = GetPeiServicesTablePointer ();
  return (*PeiServices)->InstallPpi (PeiServices, PpiList);
}

EFI_STATUS EFIAPI PeiServicesReInstallPpi (IN CONST EFI_PEI_PPI_DESCRIPTOR *OldPpi, IN CONST EFI_PEI_PPI_DESCRIPTOR *NewPpi)
{
  CONST EFI_PEI_SERVICES **PeiServices = GetPeiServicesTablePointer ();
  return (*PeiServices)->ReInstallPpi (PeiServices, OldPpi, NewPpi);
}

EFI_STATUS EFIAPI PeiServicesLocatePpi (IN CONST EFI_GUID *Guid, IN UINTN Instance,
                                        IN OUT EFI_PEI_PPI_DESCRIPTOR **PpiDescriptor OPTIONAL, IN OUT VOID **Ppi)
{
  CONST EFI_PEI_SERVICES **PeiServices = GetPeiServicesTablePointer ();
  return (*PeiServices)->LocatePpi (PeiServices, Guid, Instance, PpiDescriptor, Ppi);
}

EFI_STATUS EFIAPI PeiServicesNotifyPpi (IN CONST EFI_PEI_NOTIFY_DESCRIPTOR *NotifyList)
{
  CONST EFI_PEI_SERVICES **PeiServices = GetPeiServicesTablePointer ();
  return (*PeiServices)->NotifyPpi (PeiServices, NotifyList);
}

EFI_STATUS EFIAPI PeiServicesGetHobList (OUT VOID **HobList)
{
  CONST EFI_PEI_SERVICES **PeiServices = GetPeiServicesTablePointer ();
  return (*PeiServices)->GetHobList (PeiServices, HobList);
}

EFI_STATUS EFIAPI PeiServicesCreateHob (IN UINT16 Type, IN UINT16 Length, OUT VOID **Hob)
{
  CONST EFI_PEI_SERVICES **PeiServices = GetPeiServicesTablePointer ();
  return (*PeiServices)->CreateHob (PeiServices, Type, Length, Hob);
}

EFI_STATUS EFIAPI PeiServicesAllocatePages (IN EFI_MEMORY_TYPE MemoryType, IN UINTN Pages, OUT EFI_PHYSICAL_ADDRESS *Memory)
{
  CONST EFI_PEI_SERVICES **PeiServices = GetPeiServicesTablePointer ();
  return (*PeiServices)->AllocatePages (PeiServices, MemoryType, Pages, Memory);
}

EFI_STATUS EFIAPI PeiServicesAllocatePool (IN UINTN Size, OUT VOID **Buffer)
{
  CONST EFI_PEI_SERVICES **PeiServices = GetPeiServicesTablePointer ();
  return (*PeiServices)->AllocatePool (PeiServices, Size, Buffer);
}

EFI_STATUS EFIAPI PeiServicesInstallPeiMemory (IN EFI_PHYSICAL_ADDRESS MemoryBegin, IN UINT64 MemoryLength)
{
  CONST EFI_PEI_SERVICES **PeiServices = GetPeiServicesTablePointer ();
  return (*PeiServices)->InstallPeiMemory (PeiServices, MemoryBegin, MemoryLength);
}

/** @file
  PeiServicesTablePointerLib, IDT-based: the PEI core keeps the pointer to
  the PEI Services table pointer in the UINTN just below the IDT base.
**/
#include <Library/BaseLib.h>
#include <Library/DebugLib.h>
#include <Library/PeiServicesTablePointerLib.h>

CONST EFI_PEI_SERVICES ** EFIAPI GetPeiServicesTablePointer (VOID)
{
  IA32_DESCRIPTOR Idtr;

  AsmReadIdtr (&Idtr);
  CONST EFI_PEI_SERVICES **PeiServices = *(CONST EFI_PEI_SERVICES ***)(Idtr.Base - sizeof (UINTN));
  ASSERT (PeiServices != NULL);
  return PeiServices;
}

VOID EFIAPI SetPeiServicesTablePointer (IN CONST EFI_PEI_SERVICES **PeiServicesTablePointer)
{
  IA32_DESCRIPTOR Idtr;

  ASSERT (PeiServicesTablePointer != NULL);
  AsmReadIdtr (&Idtr);
  *(CONST EFI_PEI_SERVICES ***)(Idtr.Base - sizeof (UINTN)) = PeiServicesTablePointer;
}

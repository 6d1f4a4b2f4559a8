/** @file
  The first-boot HOB: a first boot is a boot on which "MonotonicCounter"
  cannot be read.
**/
#include <Guid/BootStateVariable.h>
#include <Library/BaseMemoryLib.h>
#include <Library/DebugLib.h>
#include <Ppi/ReadOnlyVariable2.h>

#include "TraceGate.h"

// Only whether the read succeeds matters; the counter itself is not used.
#define MONOTONIC_COUNTER_DATA_SIZE  4

EFI_STATUS EFIAPI CreateFirstBootHob (IN CONST EFI_PEI_SERVICES **PeiServices)
{
  UINT8                            FirstBoot   = 0;
  EFI_PEI_READ_ONLY_VARIABLE2_PPI  *VariablePpi = NULL;
  FIRST_BOOT_HOB                   *Hob         = NULL;

  EFI_STATUS Status = (*PeiServices)->LocatePpi (PeiServices, &gEfiPeiReadOnlyVariable2PpiGuid, 0, NULL,
                                                 (VOID **)&VariablePpi);
  if (!EFI_ERROR (Status)) {
    UINT8 Counter[MONOTONIC_COUNTER_DATA_SIZE];
    UINTN DataSize = sizeof (Counter);
    Status = VariablePpi->GetVariable (VariablePpi, MONOTONIC_COUNTER_VARIABLE_NAME, &gBootStateVariableGuid, NULL,
                                       &DataSize, Counter);
    if (EFI_ERROR (Status)) {
      FirstBoot = 1;
      DEBUG ((DEBUG_INFO, "[CreateFirstBootHob] First Boot Detected.\n"));
    } else {
      DEBUG ((DEBUG_INFO, "[CreateFirstBootHob] Not first boot.\n"));
    }
  }

  Status = (*PeiServices)->CreateHob (PeiServices, EFI_HOB_TYPE_GUID_EXTENSION, sizeof (FIRST_BOOT_HOB),
                                      (VOID **)&Hob);
  DEBUG ((DEBUG_INFO, "[CreateFirstBootHob] Status=%r\n", Status));
  if (Status != EFI_SUCCESS) {
    return Status;
  }
  CopyGuid (&Hob->Header.Name, &gFirstBootHobGuid);
  Hob->FirstBoot = FirstBoot;
  return EFI_SUCCESS;
}

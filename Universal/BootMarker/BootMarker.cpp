/** @file
  BootMarker: the first-boot flag, published as PcdOemIsFirstBoot.
**/
#include <Guid/BootStateVariable.h>
#include <Library/DebugLib.h>
#include <Library/PcdLib.h>
#include <OemPcdTokens.h>
#include <Ppi/ReadOnlyVariable2.h>

#include "BootMarker.h"

// The variable's contents are never looked at; only whether it can be read.
#define OEM_IS_FIRST_BOOT_DATA_SIZE  4

BOOLEAN EFIAPI DetectFirstBoot (IN CONST EFI_PEI_SERVICES **PeiServices)
{
  BOOLEAN                          FirstBoot   = FALSE;
  UINTN                            DataSize    = OEM_IS_FIRST_BOOT_DATA_SIZE;
  UINT8                            Data[OEM_IS_FIRST_BOOT_DATA_SIZE];
  EFI_PEI_READ_ONLY_VARIABLE2_PPI  *VariablePpi = NULL;

  if (PeiServices != NULL) {
    EFI_STATUS Status = (*PeiServices)->LocatePpi (PeiServices, &gEfiPeiReadOnlyVariable2PpiGuid, 0, NULL,
                                                   (VOID **)&VariablePpi);
    if (EFI_ERROR (Status)) {
      FirstBoot = TRUE;
    } else {
      Status = VariablePpi->GetVariable (VariablePpi, OEM_IS_FIRST_BOOT_VARIABLE_NAME, &gBootStateVariableGuid,
                                         NULL, &DataSize, Data);
      if (EFI_ERROR (Status)) {
        FirstBoot = TRUE;
      }
    }
  }

  DEBUG ((DEBUG_INFO, "OemIsFirstBoot %x\n", (UINT32)FirstBoot));
  return FirstBoot;
}

EFI_STATUS EFIAPI BootMarkerEntry (IN EFI_PEI_FILE_HANDLE FileHandle, IN CONST EFI_PEI_SERVICES **PeiServices)
{
  (VOID)FileHandle;

  DEBUG ((DEBUG_INFO, "Vexa OEM: BootMarker Entering...\n"));
  BOOLEAN FirstBoot = DetectFirstBoot (PeiServices);
  // A failed set changes nothing: later readers see the token as it was.
  (VOID)PcdSetBoolS (PcdOemIsFirstBoot, FirstBoot);
  DEBUG ((DEBUG_INFO, "Vexa OEM: BootMarker End...\n"));
  return EFI_SUCCESS;
}

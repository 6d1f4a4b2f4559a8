/** @file
  Firmware-only PEIM that reads "IntelSetup" through PeiSetupLib the way
  TraceGate does, so the library's code and data end up in an image that the
  firmware image check examines (imports, relocations, sections).
**/
#include <Guid/SetupVariable.h>
#include <Library/SetupLib.h>
#include <PiPei.h>

extern "C" EFI_STATUS EFIAPI _ModuleEntryPoint (IN EFI_PEI_FILE_HANDLE FileHandle,
                                                IN CONST EFI_PEI_SERVICES **PeiServices)
{
  (VOID)FileHandle;
  (VOID)PeiServices;

  INT32 Row = FindSetupVariableRow (&gIntelSetupGuid);
  if (Row == SETUP_VARIABLE_ROW_NOT_FOUND) {
    return EFI_NOT_FOUND;
  }
  CONST SETUP_VARIABLE_ENTRY *Entry = &gSetupVariableTable[Row];
  VOID *Buffer = ReadSetupVariable (Entry->VendorGuid, Entry->VariableName, Entry->VariableSize);
  return (Buffer == NULL) ? EFI_OUT_OF_RESOURCES : EFI_SUCCESS;
}

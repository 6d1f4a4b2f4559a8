/** @file
  CompanionRecord over the debug service PPI.
**/
#include <Ppi/DebugServicePpi.h>

#include <Library/CompanionRecordLib.h>

VOID CompanionRecord (IN CONST EFI_PEI_SERVICES **PeiServices, IN CONST CHAR8 *Format, ...)
{
  DEBUG_SERVICE_PPI *Debug = nullptr;
  if (EFI_ERROR ((*PeiServices)->LocatePpi (PeiServices, &gDebugServicePpiGuid, 0, nullptr, (VOID **)&Debug))) {
    return;
  }
  VA_LIST Marker;
  VA_START (Marker, Format);
  Debug->Print (0, Format, Marker);
  VA_END (Marker);
}

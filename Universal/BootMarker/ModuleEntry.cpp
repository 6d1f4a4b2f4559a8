/** @file
  Image entry of BootMarker: no library constructors, then the module entry.
**/
#include "BootMarker.h"

extern "C" EFI_STATUS EFIAPI _ModuleEntryPoint (IN EFI_PEI_FILE_HANDLE FileHandle,
                                                IN CONST EFI_PEI_SERVICES **PeiServices)
{
  return BootMarkerEntry (FileHandle, PeiServices);
}

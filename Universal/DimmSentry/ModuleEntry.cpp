/** @file
  Image entry of DimmSentry: no library constructors, then the module entry.
**/
#include "DimmSentry.h"

extern "C" EFI_STATUS EFIAPI _ModuleEntryPoint (IN EFI_PEI_FILE_HANDLE FileHandle,
                                                IN CONST EFI_PEI_SERVICES **PeiServices)
{
  return DimmSentryEntry (FileHandle, PeiServices);
}

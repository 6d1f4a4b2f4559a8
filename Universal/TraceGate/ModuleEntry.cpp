/** @file
  Image entry of TraceGate: the library constructors (the static pointer
  table), then the module entry.
**/
#include <Library/DebugLib.h>
#include <Library/SysHostPointerLib.h>

#include "TraceGate.h"

extern "C" EFI_STATUS EFIAPI _ModuleEntryPoint (IN EFI_PEI_FILE_HANDLE FileHandle,
                                                IN CONST EFI_PEI_SERVICES **PeiServices)
{
  RETURN_STATUS Status = SysHostPointerLibConstructor ();
  ASSERT_RETURN_ERROR (Status);
  return TraceGateEntry (FileHandle, PeiServices);
}

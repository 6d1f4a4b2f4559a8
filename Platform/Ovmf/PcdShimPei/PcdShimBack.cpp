/** @file
  PcdShimBackPei: closes the window PcdShimFrontPei opened, giving the
  platform its own PCD PPI back, and says which of this board's tokens the
  modules set.
**/
#include <Library/BoardPcdWindowLib.h>

extern "C" EFI_STATUS EFIAPI _ModuleEntryPoint (IN EFI_PEI_FILE_HANDLE FileHandle,
                                                IN CONST EFI_PEI_SERVICES **PeiServices)
{
  (VOID)FileHandle;
  return BoardPcdWindowClose (PeiServices);
}

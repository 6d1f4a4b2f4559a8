/** @file
  PcdShimBackPei: closes the window PcdShimFrontPei opened, giving the
  platform its own PCD PPI back, and says which of this board's tokens the
  modules set.
**/
#include "BoardPcd.h"

#include <Library/CompanionRecordLib.h>

extern "C" EFI_STATUS EFIAPI _ModuleEntryPoint (IN EFI_PEI_FILE_HANDLE FileHandle,
                                                IN CONST EFI_PEI_SERVICES **PeiServices)
{
  (VOID)FileHandle;
  OEM_BOARD_PCD_WINDOW *Window = BoardPcdWindow (PeiServices);
  if (Window == nullptr) {
    return EFI_NOT_FOUND;
  }
  EFI_STATUS Status = (*PeiServices)->ReInstallPpi (PeiServices, Window->BoardDescriptor, Window->PlatformDescriptor);
  for (UINTN Index = 0; Index < kBoardPcdTokenCount; ++Index) {
    if (Window->Value[Index] != Window->Initial[Index]) {
      CompanionRecord (PeiServices, "[PcdShim] token %u: 0x%lx -> 0x%lx\n", (UINT32)BoardPcdToken (Index),
                     Window->Initial[Index], Window->Value[Index]);
    }
  }
  CompanionRecord (PeiServices, "[PcdShim] platform PCD PPI given back: %r\n", Status);
  return Status;
}

/** @file
  PcdShimFrontPei: opens the window in which the modules see this board's PCD
  tokens. Runs right before the first module; PcdShimBackPei closes it.
**/
#include "BoardPcd.h"

#include <Ppi/Pcd.h>

#if !defined(OEM_HOST_STRUCTURE_ADDRESS) || !defined(OEM_PCIE_MMCFG_BASE)
#error "the build must give OEM_HOST_STRUCTURE_ADDRESS and OEM_PCIE_MMCFG_BASE"
#endif

namespace {

// What the board description gives the tokens before any module runs, in the window's order.
constexpr UINT64 kInitial[kBoardPcdTokenCount] = {OEM_HOST_STRUCTURE_ADDRESS, OEM_PCIE_MMCFG_BASE, 0, 0, 0, 0, 0};

}  // namespace

extern "C" EFI_STATUS EFIAPI _ModuleEntryPoint (IN EFI_PEI_FILE_HANDLE FileHandle,
                                                IN CONST EFI_PEI_SERVICES **PeiServices)
{
  (VOID)FileHandle;
  EFI_PEI_PPI_DESCRIPTOR *Platform = nullptr;
  VOID                   *Ppi      = nullptr;
  EFI_STATUS Status = (*PeiServices)->LocatePpi (PeiServices, &gPcdPpiGuid, 0, &Platform, &Ppi);
  if (EFI_ERROR (Status)) {
    return Status;
  }
  if (BoardPcdWindow (PeiServices) != nullptr) {
    return EFI_ALREADY_STARTED;
  }
  EFI_HOB_GUID_TYPE *Hob = nullptr;
  Status = (*PeiServices)->CreateHob (PeiServices, EFI_HOB_TYPE_GUID_EXTENSION,
                                      (UINT16)(sizeof (EFI_HOB_GUID_TYPE) + sizeof (OEM_BOARD_PCD_WINDOW)),
                                      (VOID **)&Hob);
  if (EFI_ERROR (Status)) {
    return Status;
  }
  Hob->Name                    = gOemBoardPcdWindowGuid;
  OEM_BOARD_PCD_WINDOW *Window = (OEM_BOARD_PCD_WINDOW *)(Hob + 1);
  Window->PlatformDescriptor   = Platform;
  Window->BoardDescriptor      = &gBoardPcdDescriptor;
  for (UINTN Index = 0; Index < kBoardPcdTokenCount; ++Index) {
    Window->Initial[Index] = Window->Value[Index] = kInitial[Index];
  }
  return (*PeiServices)->ReInstallPpi (PeiServices, Platform, &gBoardPcdDescriptor);
}

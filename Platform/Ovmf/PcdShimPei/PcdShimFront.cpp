/** @file
  PcdShimFrontPei: opens the window in which the modules see this board's PCD
  tokens, with their values from the board description. Runs right before the
  first module; PcdShimBackPei closes it.
**/
#include <Library/BoardPcdWindowLib.h>
#include <OemPcdTokens.h>

#if !defined(OEM_HOST_STRUCTURE_ADDRESS) || !defined(OEM_PCIE_MMCFG_BASE)
#error "the build must give OEM_HOST_STRUCTURE_ADDRESS and OEM_PCIE_MMCFG_BASE"
#endif

namespace {

// What the board description gives the tokens before any module runs; the others start at 0.
constexpr BOARD_PCD_INITIAL_VALUE kInitial[] = {
  {_PCD_TOKEN_PcdSysHostMemoryAddress, OEM_HOST_STRUCTURE_ADDRESS},
  {_PCD_TOKEN_PcdPcieMmcfgBase,        OEM_PCIE_MMCFG_BASE},
};

}  // namespace

extern "C" EFI_STATUS EFIAPI _ModuleEntryPoint (IN EFI_PEI_FILE_HANDLE FileHandle,
                                                IN CONST EFI_PEI_SERVICES **PeiServices)
{
  (VOID)FileHandle;
  return BoardPcdWindowOpen (PeiServices, kInitial, ARRAY_SIZE (kInitial));
}

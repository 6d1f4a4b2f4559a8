/** @file
  This board's PCD tokens on a platform whose own PCD PPI numbers its tokens
  differently (OVMF: 17, 26, 34-37 and 54 mean other things there).

  PcdShimFrontPei puts a PCD PPI answering this board's tokens in place of the
  platform's (ReInstallPpi), right before the modules run; PcdShimBackPei gives
  the platform's back right after. The values live in a GUID HOB, which also
  records both descriptors, so the window needs no writable data in an image
  and survives the HOB list's move to permanent memory.
**/
#ifndef OEM_BOARD_PCD_H_
#define OEM_BOARD_PCD_H_

#include <PiPei.h>

#define OEM_BOARD_PCD_WINDOW_GUID \
  { 0x3f6a1c2e, 0x7d45, 0x4b9a, { 0x8e, 0x13, 0x52, 0xc7, 0x0a, 0x9d, 0x64, 0xb1 } }

inline constexpr EFI_GUID gOemBoardPcdWindowGuid = OEM_BOARD_PCD_WINDOW_GUID;

inline constexpr UINTN kBoardPcdTokenCount = 7;

typedef struct {
  CONST EFI_PEI_PPI_DESCRIPTOR  *PlatformDescriptor;  ///< the platform's PCD PPI, given back after
  CONST EFI_PEI_PPI_DESCRIPTOR  *BoardDescriptor;     ///< ours, while the modules run
  UINT64                        Initial[kBoardPcdTokenCount];
  UINT64                        Value[kBoardPcdTokenCount];
} OEM_BOARD_PCD_WINDOW;

/// The window's HOB data, or NULL when no window was opened.
OEM_BOARD_PCD_WINDOW *BoardPcdWindow (CONST EFI_PEI_SERVICES **PeiServices);

/// The PEI Services table as the PEI core keeps it below the IDT.
CONST EFI_PEI_SERVICES **BoardPcdPeiServices (VOID);

/// Token number of entry Index of the window.
UINTN BoardPcdToken (UINTN Index);

/// The board's PCD PPI, answering only this board's tokens.
extern CONST EFI_PEI_PPI_DESCRIPTOR gBoardPcdDescriptor;

#endif

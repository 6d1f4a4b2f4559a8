/** @file
  The window's HOB and the board's PCD PPI, inside the library.
**/
#ifndef BOARD_PCD_WINDOW_H_
#define BOARD_PCD_WINDOW_H_

#include <PiPei.h>

#define OEM_BOARD_PCD_WINDOW_GUID \
  { 0x3f6a1c2e, 0x7d45, 0x4b9a, { 0x8e, 0x13, 0x52, 0xc7, 0x0a, 0x9d, 0x64, 0xb1 } }

inline constexpr EFI_GUID gOemBoardPcdWindowGuid = OEM_BOARD_PCD_WINDOW_GUID;

inline constexpr UINTN kBoardPcdTokenCount = 7;

typedef struct {
  CONST EFI_PEI_PPI_DESCRIPTOR  *PlatformDescriptor;  ///< the platform's PCD PPI, given back at closing
  CONST EFI_PEI_PPI_DESCRIPTOR  *BoardDescriptor;     ///< ours while the window is open, else NULL
  UINT64                        AtOpen[kBoardPcdTokenCount];
  UINT64                        Value[kBoardPcdTokenCount];
} OEM_BOARD_PCD_WINDOW;

/// The window's HOB data, or NULL when no window was ever opened.
OEM_BOARD_PCD_WINDOW *BoardPcdWindow (CONST EFI_PEI_SERVICES **PeiServices);

/// The PEI Services table as the PEI core keeps it below the IDT.
CONST EFI_PEI_SERVICES **BoardPcdPeiServices (VOID);

/// The window's entry of a token of this board, or -1.
INTN BoardPcdIndex (UINTN TokenNumber);

/// Token number of entry Index of the window.
UINTN BoardPcdToken (UINTN Index);

/// The board's PCD PPI, answering only this board's tokens (each image that
/// links the library has its own).
extern CONST EFI_PEI_PPI_DESCRIPTOR gBoardPcdDescriptor;

#endif

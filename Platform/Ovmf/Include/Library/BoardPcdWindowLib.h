/** @file
  This board's PCD tokens on a platform whose own PCD PPI numbers its tokens
  differently (OVMF: 17, 26, 34-37 and 54 mean other things there).

  Opening the window puts a PCD PPI that answers this board's tokens in place
  of the platform's (ReInstallPpi); closing it gives the platform's back. The
  values live in a GUID HOB, so they last the whole boot, from one opening to
  the next, with no writable data in any image. Whoever lets a module run
  (dispatch, or a notification it registered) opens the window around it.
**/
#ifndef BOARD_PCD_WINDOW_LIB_H_
#define BOARD_PCD_WINDOW_LIB_H_

#include <PiPei.h>

/// A token's value when the window is opened for the first time in a boot.
typedef struct {
  UINTN   TokenNumber;
  UINT64  Value;
} BOARD_PCD_INITIAL_VALUE;

/**
  Opens the window. The first opening of a boot creates its HOB, every token
  0 but those in Initial; a later one (Initial NULL) keeps the values the
  tokens have. The platform's PCD PPI is located afresh each time: after
  permanent memory it may have moved.

  @retval EFI_SUCCESS          The board's PCD PPI answers gPcdPpiGuid now.
  @retval EFI_NOT_FOUND        Initial is NULL and no window was opened before,
                               or the platform has no PCD PPI.
  @retval EFI_ALREADY_STARTED  The window is open.
  @retval EFI_INVALID_PARAMETER Initial names a token this board does not have.
**/
EFI_STATUS BoardPcdWindowOpen (IN CONST EFI_PEI_SERVICES **PeiServices, IN CONST BOARD_PCD_INITIAL_VALUE *Initial,
                               IN UINTN InitialCount);

/**
  Closes the window: gives the platform its PCD PPI back, and records on the
  debug console each token whose value changed since the window was opened
  ("[PcdShim] token 34: 0x0 -> 0x1") and the outcome.

  @retval EFI_NOT_STARTED  The window is not open.
  @return                  What ReInstallPpi returned.
**/
EFI_STATUS BoardPcdWindowClose (IN CONST EFI_PEI_SERVICES **PeiServices);

#endif

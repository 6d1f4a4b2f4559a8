/** @file
  The board's PCD PPI: Get/Set by token number over the window's HOB. Ex
  forms (token spaces), pointers, callbacks and SKUs are not used by the
  modules and answer as an empty database does.
**/
#include "BoardPcdWindow.h"

#include <OemPcdTokens.h>
#include <Ppi/Pcd.h>

namespace {

struct TokenRow {
  UINTN  Number;
  UINTN  Size;  // bytes; 1 for BOOLEAN
};

constexpr TokenRow kTokens[kBoardPcdTokenCount] = {
  {_PCD_TOKEN_PcdSysHostMemoryAddress,  8},
  {_PCD_TOKEN_PcdPcieMmcfgBase,         8},
  {_PCD_TOKEN_PcdOemIsFirstBoot,        1},
  {_PCD_TOKEN_PcdDebugRasLogLevel,      1},
  {_PCD_TOKEN_PcdIioPortValueFlagClear, 1},
  {_PCD_TOKEN_PcdIioPortValueFlagSet,   1},
  {_PCD_TOKEN_PcdIioPresetSelector,     2},
};

UINT64 Get (UINTN TokenNumber)
{
  OEM_BOARD_PCD_WINDOW *Window = BoardPcdWindow (BoardPcdPeiServices ());
  INTN                 Index   = BoardPcdIndex (TokenNumber);
  return (Window == nullptr || Index < 0) ? 0 : Window->Value[Index];
}

EFI_STATUS Set (UINTN TokenNumber, UINT64 Value, UINTN Size)
{
  OEM_BOARD_PCD_WINDOW *Window = BoardPcdWindow (BoardPcdPeiServices ());
  INTN                 Index   = BoardPcdIndex (TokenNumber);
  if (Window == nullptr || Index < 0) {
    return EFI_NOT_FOUND;
  }
  if (kTokens[Index].Size != Size) {
    return EFI_INVALID_PARAMETER;
  }
  Window->Value[Index] = Value;
  return EFI_SUCCESS;
}

VOID EFIAPI SetSku (UINTN) {}
UINT8 EFIAPI Get8 (UINTN Token) { return (UINT8)Get (Token); }
UINT16 EFIAPI Get16 (UINTN Token) { return (UINT16)Get (Token); }
UINT32 EFIAPI Get32 (UINTN Token) { return (UINT32)Get (Token); }
UINT64 EFIAPI Get64 (UINTN Token) { return Get (Token); }
VOID *EFIAPI GetPtr (UINTN) { return nullptr; }
BOOLEAN EFIAPI GetBool (UINTN Token) { return Get (Token) != 0; }
UINTN EFIAPI GetSize (UINTN Token)
{
  INTN Index = BoardPcdIndex (Token);
  return Index < 0 ? 0 : kTokens[Index].Size;
}
UINT8 EFIAPI Get8Ex (CONST EFI_GUID *, UINTN) { return 0; }
UINT16 EFIAPI Get16Ex (CONST EFI_GUID *, UINTN) { return 0; }
UINT32 EFIAPI Get32Ex (CONST EFI_GUID *, UINTN) { return 0; }
UINT64 EFIAPI Get64Ex (CONST EFI_GUID *, UINTN) { return 0; }
VOID *EFIAPI GetPtrEx (CONST EFI_GUID *, UINTN) { return nullptr; }
BOOLEAN EFIAPI GetBoolEx (CONST EFI_GUID *, UINTN) { return FALSE; }
UINTN EFIAPI GetSizeEx (CONST EFI_GUID *, UINTN) { return 0; }
EFI_STATUS EFIAPI Set8 (UINTN Token, UINT8 Value) { return Set (Token, Value, 1); }
EFI_STATUS EFIAPI Set16 (UINTN Token, UINT16 Value) { return Set (Token, Value, 2); }
EFI_STATUS EFIAPI Set32 (UINTN Token, UINT32 Value) { return Set (Token, Value, 4); }
EFI_STATUS EFIAPI Set64 (UINTN Token, UINT64 Value) { return Set (Token, Value, 8); }
EFI_STATUS EFIAPI SetPtr (UINTN, UINTN *, VOID *) { return EFI_NOT_FOUND; }
EFI_STATUS EFIAPI SetBool (UINTN Token, BOOLEAN Value) { return Set (Token, Value ? 1 : 0, 1); }
EFI_STATUS EFIAPI Set8Ex (CONST EFI_GUID *, UINTN, UINT8) { return EFI_NOT_FOUND; }
EFI_STATUS EFIAPI Set16Ex (CONST EFI_GUID *, UINTN, UINT16) { return EFI_NOT_FOUND; }
EFI_STATUS EFIAPI Set32Ex (CONST EFI_GUID *, UINTN, UINT32) { return EFI_NOT_FOUND; }
EFI_STATUS EFIAPI Set64Ex (CONST EFI_GUID *, UINTN, UINT64) { return EFI_NOT_FOUND; }
EFI_STATUS EFIAPI SetPtrEx (CONST EFI_GUID *, UINTN, UINTN *, VOID *) { return EFI_NOT_FOUND; }
EFI_STATUS EFIAPI SetBoolEx (CONST EFI_GUID *, UINTN, BOOLEAN) { return EFI_NOT_FOUND; }
EFI_STATUS EFIAPI CallbackOnSet (CONST EFI_GUID *, UINTN, PCD_PPI_CALLBACK) { return EFI_UNSUPPORTED; }
EFI_STATUS EFIAPI CancelCallback (CONST EFI_GUID *, UINTN, PCD_PPI_CALLBACK) { return EFI_UNSUPPORTED; }
EFI_STATUS EFIAPI GetNextToken (CONST EFI_GUID *, UINTN *) { return EFI_NOT_FOUND; }
EFI_STATUS EFIAPI GetNextTokenSpace (CONST EFI_GUID **) { return EFI_NOT_FOUND; }

constexpr PCD_PPI kBoardPcd = {
  SetSku,  Get8,    Get16,   Get32,   Get64,    GetPtr,        GetBool,        GetSize,      Get8Ex,   Get16Ex,  Get32Ex,
  Get64Ex, GetPtrEx, GetBoolEx, GetSizeEx, Set8, Set16, Set32, Set64, SetPtr, SetBool, Set8Ex, Set16Ex, Set32Ex,
  Set64Ex, SetPtrEx, SetBoolEx, CallbackOnSet, CancelCallback, GetNextToken, GetNextTokenSpace,
};

}  // namespace

CONST EFI_PEI_PPI_DESCRIPTOR gBoardPcdDescriptor = {
  EFI_PEI_PPI_DESCRIPTOR_PPI | EFI_PEI_PPI_DESCRIPTOR_TERMINATE_LIST,
  const_cast<EFI_GUID *>(&gPcdPpiGuid),
  const_cast<PCD_PPI *>(&kBoardPcd)
};

UINTN BoardPcdToken (UINTN Index) { return kTokens[Index].Number; }

INTN BoardPcdIndex (UINTN TokenNumber)
{
  for (UINTN Index = 0; Index < kBoardPcdTokenCount; ++Index) {
    if (kTokens[Index].Number == TokenNumber) {
      return (INTN)Index;
    }
  }
  return -1;
}

/** @file
  Opening and closing the window in which the board's PCD PPI stands in for
  the platform's.
**/
#include "BoardPcdWindow.h"

#include <Library/BaseLib.h>
#include <Library/BaseMemoryLib.h>
#include <Library/BoardPcdWindowLib.h>
#include <Library/CompanionRecordLib.h>
#include <Ppi/Pcd.h>

static_assert (sizeof (EFI_HOB_GUID_TYPE) + sizeof (OEM_BOARD_PCD_WINDOW) <= 0xFFF8, "a HOB's length is 16 bits");

CONST EFI_PEI_SERVICES **BoardPcdPeiServices (VOID)
{
  IA32_DESCRIPTOR Idtr;
  AsmReadIdtr (&Idtr);
  if (Idtr.Base < sizeof (UINTN)) {
    return nullptr;
  }
  return *(CONST EFI_PEI_SERVICES ***)(Idtr.Base - sizeof (UINTN));
}

OEM_BOARD_PCD_WINDOW *BoardPcdWindow (CONST EFI_PEI_SERVICES **PeiServices)
{
  VOID *Hob = nullptr;
  if (PeiServices == nullptr || EFI_ERROR ((*PeiServices)->GetHobList (PeiServices, &Hob))) {
    return nullptr;
  }
  for (; Hob != nullptr && !END_OF_HOB_LIST (Hob); Hob = GET_NEXT_HOB (Hob)) {
    if (GET_HOB_TYPE (Hob) == EFI_HOB_TYPE_GUID_EXTENSION &&
        CompareGuid (&((EFI_HOB_GUID_TYPE *)Hob)->Name, &gOemBoardPcdWindowGuid) &&
        GET_GUID_HOB_DATA_SIZE (Hob) >= sizeof (OEM_BOARD_PCD_WINDOW)) {
      return (OEM_BOARD_PCD_WINDOW *)GET_GUID_HOB_DATA (Hob);
    }
  }
  return nullptr;
}

namespace {

EFI_STATUS CreateWindow (CONST EFI_PEI_SERVICES **PeiServices, CONST BOARD_PCD_INITIAL_VALUE *Initial,
                         UINTN InitialCount, OEM_BOARD_PCD_WINDOW **Window)
{
  UINT64 Value[kBoardPcdTokenCount] = {};
  for (UINTN Given = 0; Given < InitialCount; ++Given) {
    INTN Index = BoardPcdIndex (Initial[Given].TokenNumber);
    if (Index < 0) {
      return EFI_INVALID_PARAMETER;
    }
    Value[Index] = Initial[Given].Value;
  }
  EFI_HOB_GUID_TYPE *Hob    = nullptr;
  EFI_STATUS        Status  = (*PeiServices)->CreateHob (PeiServices, EFI_HOB_TYPE_GUID_EXTENSION,
                                                         (UINT16)(sizeof (EFI_HOB_GUID_TYPE) + sizeof (OEM_BOARD_PCD_WINDOW)),
                                                         (VOID **)&Hob);
  if (EFI_ERROR (Status)) {
    return Status;
  }
  Hob->Name                  = gOemBoardPcdWindowGuid;
  *Window                    = (OEM_BOARD_PCD_WINDOW *)(Hob + 1);
  (*Window)->BoardDescriptor = nullptr;
  for (UINTN Index = 0; Index < kBoardPcdTokenCount; ++Index) {
    (*Window)->Value[Index] = Value[Index];
  }
  return EFI_SUCCESS;
}

}  // namespace

EFI_STATUS BoardPcdWindowOpen (IN CONST EFI_PEI_SERVICES **PeiServices, IN CONST BOARD_PCD_INITIAL_VALUE *Initial,
                               IN UINTN InitialCount)
{
  OEM_BOARD_PCD_WINDOW *Window = BoardPcdWindow (PeiServices);
  if (Window != nullptr && Window->BoardDescriptor != nullptr) {
    return EFI_ALREADY_STARTED;
  }
  EFI_PEI_PPI_DESCRIPTOR *Platform = nullptr;
  VOID                   *Ppi      = nullptr;
  EFI_STATUS Status = (*PeiServices)->LocatePpi (PeiServices, &gPcdPpiGuid, 0, &Platform, &Ppi);
  if (EFI_ERROR (Status)) {
    return Status;
  }
  if (Window == nullptr) {
    if (Initial == nullptr) {
      return EFI_NOT_FOUND;
    }
    Status = CreateWindow (PeiServices, Initial, InitialCount, &Window);
    if (EFI_ERROR (Status)) {
      return Status;
    }
  }
  Status = (*PeiServices)->ReInstallPpi (PeiServices, Platform, &gBoardPcdDescriptor);
  if (EFI_ERROR (Status)) {
    return Status;
  }
  Window->PlatformDescriptor = Platform;
  Window->BoardDescriptor    = &gBoardPcdDescriptor;
  for (UINTN Index = 0; Index < kBoardPcdTokenCount; ++Index) {
    Window->AtOpen[Index] = Window->Value[Index];
  }
  return EFI_SUCCESS;
}

EFI_STATUS BoardPcdWindowClose (IN CONST EFI_PEI_SERVICES **PeiServices)
{
  OEM_BOARD_PCD_WINDOW *Window = BoardPcdWindow (PeiServices);
  if (Window == nullptr || Window->BoardDescriptor == nullptr) {
    return EFI_NOT_STARTED;
  }
  EFI_STATUS Status = (*PeiServices)->ReInstallPpi (PeiServices, Window->BoardDescriptor, Window->PlatformDescriptor);
  if (!EFI_ERROR (Status)) {
    Window->BoardDescriptor = nullptr;
  }
  for (UINTN Index = 0; Index < kBoardPcdTokenCount; ++Index) {
    if (Window->Value[Index] != Window->AtOpen[Index]) {
      CompanionRecord (PeiServices, "[PcdShim] token %u: 0x%lx -> 0x%lx\n", (UINT32)BoardPcdToken (Index),
                       Window->AtOpen[Index], Window->Value[Index]);
    }
  }
  CompanionRecord (PeiServices, "[PcdShim] platform PCD PPI given back: %r\n", Status);
  return Status;
}

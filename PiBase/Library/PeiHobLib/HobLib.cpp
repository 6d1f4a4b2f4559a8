/** @file
  HobLib for PEI: walks the HOB list that the PEI Services hand out and
  creates HOBs with the CreateHob service.
**/
#include <Library/BaseMemoryLib.h>
#include <Library/DebugLib.h>
#include <Library/HobLib.h>
#include <Library/PeiServicesLib.h>

VOID * EFIAPI GetHobList (VOID)
{
  VOID *HobList = NULL;

  EFI_STATUS Status = PeiServicesGetHobList (&HobList);
  ASSERT_EFI_ERROR (Status);
  ASSERT (HobList != NULL);
  return HobList;
}

/**
  The HOB after Hob, or NULL when Hob's length cannot lead to one. HOBs are
  whole 8-byte units; the list was written by other modules, and a length that
  breaks this (0 would never advance, any other lands between HOBs) makes the
  rest of the list unreadable, so a walk ends there.
**/
STATIC UINT8 * InternalNextHob (IN EFI_PEI_HOB_POINTERS Hob)
{
  UINT16 Length = Hob.Header->HobLength;

  if ((Length == 0) || ((Length & 0x7) != 0)) {
    return NULL;
  }
  return Hob.Raw + Length;
}

VOID * EFIAPI GetNextHob (IN UINT16 Type, IN CONST VOID *HobStart)
{
  EFI_PEI_HOB_POINTERS Hob;

  ASSERT (HobStart != NULL);
  Hob.Raw = (UINT8 *)HobStart;
  while ((Hob.Raw != NULL) && !END_OF_HOB_LIST (Hob)) {
    if (Hob.Header->HobType == Type) {
      return Hob.Raw;
    }
    Hob.Raw = InternalNextHob (Hob);
  }
  return NULL;
}

VOID * EFIAPI GetFirstHob (IN UINT16 Type)
{
  return GetNextHob (Type, GetHobList ());
}

VOID * EFIAPI GetNextGuidHob (IN CONST EFI_GUID *Guid, IN CONST VOID *HobStart)
{
  EFI_PEI_HOB_POINTERS GuidHob;

  GuidHob.Raw = (UINT8 *)HobStart;
  while ((GuidHob.Raw != NULL) && ((GuidHob.Raw = (UINT8 *)GetNextHob (EFI_HOB_TYPE_GUID_EXTENSION, GuidHob.Raw)) != NULL)) {
    // A match is returned whatever its length: its reader judges the HOB.
    if (CompareGuid (Guid, &GuidHob.Guid->Name)) {
      break;
    }
    GuidHob.Raw = InternalNextHob (GuidHob);
  }
  return GuidHob.Raw;
}

VOID * EFIAPI GetFirstGuidHob (IN CONST EFI_GUID *Guid)
{
  return GetNextGuidHob (Guid, GetHobList ());
}

/// Creates a HOB through the PEI Services; NULL (after an assertion) on failure.
STATIC VOID * InternalPeiCreateHob (IN UINT16 Type, IN UINT16 Length)
{
  VOID *Hob = NULL;

  EFI_STATUS Status = PeiServicesCreateHob (Type, Length, &Hob);
  if (EFI_ERROR (Status)) {
    Hob = NULL;
  }
  ASSERT (Hob != ((void *) 0));
  return Hob;
}

VOID * EFIAPI BuildGuidHob (IN CONST EFI_GUID *Guid, IN UINTN DataLength)
{
  // The HOB length is 16 bits and the PEI core rounds it up to 8.
  ASSERT (DataLength <= (0xFFF8 - sizeof (EFI_HOB_GUID_TYPE)));
  if (DataLength > (0xFFF8 - sizeof (EFI_HOB_GUID_TYPE))) {
    return NULL;
  }
  EFI_HOB_GUID_TYPE *Hob = (EFI_HOB_GUID_TYPE *)InternalPeiCreateHob (
                             EFI_HOB_TYPE_GUID_EXTENSION, (UINT16)(sizeof (EFI_HOB_GUID_TYPE) + DataLength));
  if (Hob == NULL) {
    return NULL;
  }
  CopyGuid (&Hob->Name, Guid);
  return Hob + 1;
}

VOID * EFIAPI BuildGuidDataHob (IN CONST EFI_GUID *Guid, IN VOID *Data, IN UINTN DataLength)
{
  ASSERT (Data != NULL || DataLength == 0);
  VOID *HobData = BuildGuidHob (Guid, DataLength);
  if (HobData == NULL) {
    return NULL;
  }
  return CopyMem (HobData, Data, DataLength);
}

/** @file
  HobLib: finding and building HOBs in the PEI HOB list.
**/
#ifndef PI_BASE_LIBRARY_HOB_LIB_H_
#define PI_BASE_LIBRARY_HOB_LIB_H_

#include <PiPei.h>

extern "C" {

/** Returns the start of the HOB list (asserts when the service fails). **/
VOID * EFIAPI GetHobList (VOID);

/** Returns the first HOB of Type at or after HobStart, or NULL. **/
VOID * EFIAPI GetNextHob (IN UINT16 Type, IN CONST VOID *HobStart);

/** Returns the first HOB of Type in the HOB list, or NULL. **/
VOID * EFIAPI GetFirstHob (IN UINT16 Type);

/** Returns the first GUID extension HOB named Guid at or after HobStart, or NULL. **/
VOID * EFIAPI GetNextGuidHob (IN CONST EFI_GUID *Guid, IN CONST VOID *HobStart);

/** Returns the first GUID extension HOB named Guid in the HOB list, or NULL. **/
VOID * EFIAPI GetFirstGuidHob (IN CONST EFI_GUID *Guid);

/**
  Builds a GUID extension HOB with DataLength bytes of data.
  @return the data area (HOB + 24), or NULL when the HOB could not be created.
**/
VOID * EFIAPI BuildGuidHob (IN CONST EFI_GUID *Guid, IN UINTN DataLength);

/**
  Builds a GUID extension HOB and copies DataLength bytes of Data into it.
  @return the data area (HOB + 24), or NULL when the HOB could not be created.
**/
VOID * EFIAPI BuildGuidDataHob (IN CONST EFI_GUID *Guid, IN VOID *Data, IN UINTN DataLength);

}

#endif

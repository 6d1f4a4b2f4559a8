/** @file
  DebugLib and DebugPrintErrorLevelLib bound to the platform's debug service
  PPI, filtered by the debug level of this boot: the verbosity HOB when it
  exists, otherwise the low nibble of the verbosity scratch register, read once
  per module and cached.

  The library finds the PEI Services table and the HOB list without HobLib's or
  PeiServicesTablePointerLib's assertions: those assertions print through this
  very library, so a missing table or HOB list must end quietly here instead of
  recursing.
**/
#include <Guid/VerbosityHob.h>
#include <Library/BaseLib.h>
#include <Library/DebugDropSinkLib.h>
#include <Library/DebugLib.h>
#include <Library/DebugPrintErrorLevelLib.h>
#include <Library/HobLib.h>
#include <Library/IoLib.h>
#include <Register/VerbosityScratch.h>

#include "VerbosityDebugLib.h"

// The register cache: one per module image, empty when the module is loaded.
UINT8 mScratchLevelCache      = 0;
UINT8 mScratchLevelCacheValid = 0;

/// The PEI Services table pointer kept below the IDT base, or NULL.
STATIC CONST EFI_PEI_SERVICES ** InternalPeiServicesOrNull (VOID)
{
  IA32_DESCRIPTOR Idtr;

  AsmReadIdtr (&Idtr);
  if (Idtr.Base < sizeof (UINTN)) {
    return NULL;
  }
  CONST EFI_PEI_SERVICES **PeiServices = *(CONST EFI_PEI_SERVICES ***)(Idtr.Base - sizeof (UINTN));
  if ((PeiServices == NULL) || (*PeiServices == NULL)) {
    return NULL;
  }
  return PeiServices;
}

DEBUG_SERVICE_PPI * EFIAPI GetDebugServicePpi (VOID)
{
  CONST EFI_PEI_SERVICES **PeiServices = InternalPeiServicesOrNull ();
  VOID                   *Ppi          = NULL;

  if (PeiServices == NULL) {
    return NULL;
  }
  EFI_STATUS Status = (*PeiServices)->LocatePpi (PeiServices, &gDebugServicePpiGuid, 0, NULL, &Ppi);
  if (EFI_ERROR (Status)) {
    return NULL;
  }
  return (DEBUG_SERVICE_PPI *)Ppi;
}

UINT32 EFIAPI VerbosityLevelToMask (IN UINT8 Level)
{
  switch (Level) {
    case DEBUG_LEVEL_MINIMUM:
      return VERBOSITY_MASK_MINIMUM;
    case DEBUG_LEVEL_NORMAL:
      return VERBOSITY_MASK_NORMAL;
    case DEBUG_LEVEL_MAXIMUM:
      return VERBOSITY_MASK_MAXIMUM;
    default:
      return 0;
  }
}

/// The level byte of the verbosity HOB; FALSE when there is no such HOB.
STATIC BOOLEAN InternalLevelFromHob (OUT UINT8 *Level)
{
  CONST EFI_PEI_SERVICES **PeiServices = InternalPeiServicesOrNull ();
  VOID                   *HobList      = NULL;

  if (PeiServices == NULL) {
    return FALSE;
  }
  EFI_STATUS Status = (*PeiServices)->GetHobList (PeiServices, &HobList);
  if (EFI_ERROR (Status) || (HobList == NULL)) {
    return FALSE;
  }
  EFI_HOB_GUID_TYPE *Hob = (EFI_HOB_GUID_TYPE *)GetNextGuidHob (&gVerbosityHobGuid, HobList);
  // A HOB too short to hold its level byte is not a verbosity HOB.
  if ((Hob == NULL) || (Hob->Header.HobLength <= sizeof (EFI_HOB_GUID_TYPE))) {
    return FALSE;
  }
  *Level = *(UINT8 *)GET_GUID_HOB_DATA (Hob);
  return TRUE;
}

UINT32 EFIAPI GetDebugPrintErrorLevel (VOID)
{
  UINT8 Level;

  if (!InternalLevelFromHob (&Level)) {
    if (mScratchLevelCacheValid != 1) {
      mScratchLevelCache      = IoRead8 (VERBOSITY_SCRATCH_PORT);
      mScratchLevelCacheValid = 1;
    }
    Level = mScratchLevelCache & VERBOSITY_SCRATCH_LEVEL_MASK;
  }
  return VerbosityLevelToMask (Level);
}

VOID EFIAPI DebugPrint (IN UINTN ErrorLevel, IN CONST CHAR8 *Format, ...)
{
  DEBUG_SERVICE_PPI *Ppi = GetDebugServicePpi ();
  if (Ppi == NULL) {
    return;
  }
  VA_LIST Marker;
  VA_START (Marker, Format);
  if ((ErrorLevel & GetDebugPrintErrorLevel ()) == 0) {
    DebugPrintDropped (ErrorLevel, Format, Marker);
  } else {
    Ppi->Print ((UINT32)ErrorLevel, Format, Marker);
  }
  VA_END (Marker);
}

VOID EFIAPI DebugAssert (IN CONST CHAR8 *FileName, IN UINTN LineNumber, IN CONST CHAR8 *Description)
{
  DEBUG_SERVICE_PPI *Ppi = GetDebugServicePpi ();
  if (Ppi == NULL) {
    return;
  }
  Ppi->Assert (FileName, (UINT32)LineNumber, Description);
}

BOOLEAN EFIAPI DebugAssertEnabled (VOID)
{
  return TRUE;
}

BOOLEAN EFIAPI DebugPrintEnabled (VOID)
{
  return TRUE;
}

// DebugPrint does the only filtering, by the level mask.
BOOLEAN EFIAPI DebugPrintLevelEnabled (IN CONST UINTN ErrorLevel)
{
  (VOID)ErrorLevel;
  return TRUE;
}

/** @file
  Private interface of SysHostPointerLibMm7: the table check, the two
  notifications and the AP procedure, for the library itself and its tests.
**/
#ifndef SYS_HOST_POINTER_LIB_MM7_H_
#define SYS_HOST_POINTER_LIB_MM7_H_

#include <Guid/StaticPointerTableHob.h>
#include <Library/SysHostPointerLib.h>

extern "C" {

/// Calls MemoryDiscoveredNotify once permanent memory is installed.
extern CONST EFI_PEI_NOTIFY_DESCRIPTOR  mMemoryDiscoveredNotifyList;
/// Calls MpServicesNotify once the MP services PPI is installed.
extern CONST EFI_PEI_NOTIFY_DESCRIPTOR  mMpServicesNotifyList;

/**
  Checks that StaticPointerTable is the data of a static pointer table HOB:
  not null, its HOB not null, the HOB's name and length those of the table
  HOB. A failed check is reported to the assert sink with its expression,
  then the processor halts in a dead loop.

  @param[in] StaticPointerTable  The table to check (HOB start + 24).
**/
VOID EFIAPI ValidateStaticPointerTable (IN STATIC_POINTER_TABLE *StaticPointerTable);

/**
  Runs once permanent memory is installed and the HOB list has moved: finds
  the table at its new place, reloads the boot processor's MM7, migrates every
  set pointer to its NewAddress, then synchronises the APs at once when the
  MP services PPI is there or registers for it.

  @param[in] PeiServices       The PEI Services table pointer; the only argument used.
  @param[in] NotifyDescriptor  Not used.
  @param[in] Ppi               Not used.

  @retval EFI_SUCCESS            The table was relocated (a failed sync or registration included).
  @retval EFI_INVALID_PARAMETER  There is no table HOB; MM7 and the pointers are unchanged.
**/
EFI_STATUS EFIAPI MemoryDiscoveredNotify (IN EFI_PEI_SERVICES **PeiServices,
                                          IN EFI_PEI_NOTIFY_DESCRIPTOR *NotifyDescriptor, IN VOID *Ppi);

/**
  Copies the boot processor's MM7 into MM7 of every AP, all APs at once, and
  returns when every AP has done so.

  @param[in] PeiServices       The PEI Services table pointer.
  @param[in] NotifyDescriptor  Not used; NULL when MemoryDiscoveredNotify calls.
  @param[in] Ppi               The MP services PPI.

  @return The status StartupAllAPs returned.
**/
EFI_STATUS EFIAPI MpServicesNotify (IN EFI_PEI_SERVICES **PeiServices,
                                    IN EFI_PEI_NOTIFY_DESCRIPTOR *NotifyDescriptor, IN VOID *Ppi);

/**
  The AP procedure: loads this processor's MM7 with the 64-bit value Buffer
  points to, then executes EMMS.

  @param[in] Buffer  Points to the boot processor's MM7 value.
**/
VOID EFIAPI ApLoadMm7 (IN OUT VOID *Buffer);

}

#endif

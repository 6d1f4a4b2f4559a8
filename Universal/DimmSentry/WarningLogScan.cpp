/** @file
  DimmSentry's scan: registration for the scan-trigger PPI, the walk of the
  warning log, the type and code filters, the location of an entry and the
  choice of the DIMMs it is reported for.
**/
#include <Library/DebugLib.h>
#include <Library/PcdLib.h>
#include <OemPcdTokens.h>
#include <Ppi/WarningLogScanTrigger.h>

#include "DimmSentry.h"

STATIC CONST EFI_PEI_NOTIFY_DESCRIPTOR mWarningLogScanNotifyList = {
  EFI_PEI_PPI_DESCRIPTOR_NOTIFY_CALLBACK | EFI_PEI_PPI_DESCRIPTOR_TERMINATE_LIST,
  const_cast<EFI_GUID *>(&gWarningLogScanTriggerPpiGuid),
  WarningLogScanNotify
};

/// A code combination that ends the whole scan. With no minor codes listed,
/// every minor code matches; otherwise the listed ones match, or, when
/// ListedAreAllowed, every one but them.
typedef struct {
  INT32    Type;
  UINT8    MajorFirst;
  UINT8    MajorLast;
  BOOLEAN  ListedAreAllowed;
  UINT8    MinorCount;
  UINT8    Minors[5];
} ExcludedCode;

STATIC CONST ExcludedCode mExcludedCodes[] = {
  { 1, 0x80, 0x8D, FALSE, 0, { 0 } },
  { 1, 0xE0, 0xE2, FALSE, 0, { 0 } },
  { 1, 0x0E, 0x0E, FALSE, 0, { 0 } },
  { 1, 0x41, 0x41, FALSE, 0, { 0 } },
  { 1, 0x17, 0x17, TRUE,  1, { 0x01 } },
  { 1, 0x07, 0x07, FALSE, 5, { 0x08, 0x0F, 0x16, 0x19, 0x1C } },
  { 2, 0x30, 0x30, TRUE,  2, { 0x01, 0x02 } },
};

/// Types 0 to 3 (and every negative type) and 10 to 13 are reported.
STATIC BOOLEAN IsReportedType (IN INT32 Type)
{
  return (BOOLEAN)((Type < 4) || ((Type >= 10) && (Type <= 13)));
}

STATIC BOOLEAN IsExcludedCode (IN INT32 Type, IN UINT8 MajorCode, IN UINT8 MinorCode)
{
  for (UINTN Rule = 0; Rule < ARRAY_SIZE (mExcludedCodes); Rule++) {
    CONST ExcludedCode *Code = &mExcludedCodes[Rule];
    if ((Type != Code->Type) || (MajorCode < Code->MajorFirst) || (MajorCode > Code->MajorLast)) {
      continue;
    }
    if (Code->MinorCount == 0) {
      return TRUE;
    }
    BOOLEAN Listed = FALSE;
    for (UINTN Index = 0; Index < Code->MinorCount; Index++) {
      if (MinorCode == Code->Minors[Index]) {
        Listed = TRUE;
      }
    }
    if (Listed != Code->ListedAreAllowed) {
      return TRUE;
    }
  }
  return FALSE;
}

/// Channels 0 to 7 are four controllers of two channels; any higher channel
/// falls to the last controller.
STATIC VOID DeriveController (IN UINT8 Channel, OUT UINT8 *MemController, OUT UINT8 *TempChannel)
{
  if (Channel < 2) {
    *MemController = 0;
    *TempChannel   = Channel;
  } else if (Channel < 4) {
    *MemController = 1;
    *TempChannel   = (UINT8)(Channel - 2);
  } else if (Channel < 6) {
    *MemController = 2;
    *TempChannel   = (UINT8)(Channel - 4);
  } else {
    *MemController = 3;
    *TempChannel   = (UINT8)(Channel - 6);
  }
}

/// A single DIMM is reported as it is; every DIMM of a channel (0xFF) means
/// each slot whose DIMM is present while the channel's gate is open.
STATIC VOID ChooseTargets (IN CONST SysHost *Host, IN OUT MemWarningReport *Report)
{
  Report->TargetCount = 0;
  if (Report->Dimm != MEM_WARNING_LOG_ALL_DIMMS) {
    Report->Targets[Report->TargetCount++] = Report->Dimm;
    return;
  }
  if ((Report->Socket >= SYS_HOST_MAX_SOCKETS) || (Report->Channel >= SYS_HOST_MAX_CHANNELS)) {
    DEBUG ((DEBUG_ERROR, "[WarningLogScanNotify] Socket %x, channel %x is beyond the host structure (%d sockets, %d channels): no DIMM taken\n",
            (UINT32)Report->Socket, (UINT32)Report->Channel, SYS_HOST_MAX_SOCKETS, SYS_HOST_MAX_CHANNELS));
    return;
  }
  CONST SysHostChannel *Channel = &Host->Socket[Report->Socket].Channel[Report->Channel];
  for (UINT8 Slot = 0; Slot < SYS_HOST_MAX_DIMM_SLOTS; Slot++) {
    if ((Channel->Slot[Slot].DimmPresent == SYS_HOST_DIMM_PRESENT) && (Channel->ChannelGate == 0)) {
      Report->Targets[Report->TargetCount++] = Slot;
    }
  }
}

/**
  Walks the log from its first entry and reports each accepted entry.

  The log is written by another module, so nothing outside its entry area
  is read: the walk covers at most the area, every entry must lie inside
  what is walked and advance it, and an accepted entry must hold the fields
  it is read for. A log that breaks these ends the walk at the fault, after
  every entry before it has been reported.

  @retval EFI_SUCCESS           Every entry in use was examined.
  @retval EFI_ABORTED           An excluded code ended the scan.
  @retval EFI_VOLUME_CORRUPTED  UsedSize or an entry's Length was wrong.
**/
STATIC EFI_STATUS WalkWarningLog (IN OUT WarningScanContext *Context)
{
  CONST SysHost *Host      = Context->Host;
  EFI_STATUS    LogStatus  = EFI_SUCCESS;
  UINT32        UsedSize   = Host->UsedSize;

  if (UsedSize > SYS_HOST_WARNING_LOG_SIZE) {
    DEBUG ((DEBUG_ERROR, "[WarningLogScanNotify] UsedSize %x is larger than the warning log (%x bytes): only the log is walked\n",
            UsedSize, SYS_HOST_WARNING_LOG_SIZE));
    UsedSize  = SYS_HOST_WARNING_LOG_SIZE;
    LogStatus = EFI_VOLUME_CORRUPTED;
  }

  UINT32 Offset = 0;
  while (Offset < UsedSize) {
    UINT32 Remaining = UsedSize - Offset;
    if (Remaining < MEM_WARNING_LOG_ENTRY_HEADER_SIZE) {
      DEBUG ((DEBUG_ERROR, "[WarningLogScanNotify] %x bytes at offset %x are too few for an entry: the walk ends\n",
              Remaining, Offset));
      return EFI_VOLUME_CORRUPTED;
    }
    CONST MemWarningLogEntry *Entry    = (CONST MemWarningLogEntry *)&Host->WarningLog[Offset];
    UINT32                   Length    = Entry->Length;
    BOOLEAN                  Reported  = IsReportedType (Entry->Type);
    // A passed-over entry is read for its type and length only.
    UINT32                   Needed    = Reported ? sizeof (MemWarningLogEntry) : MEM_WARNING_LOG_ENTRY_HEADER_SIZE;
    if ((Length < Needed) || (Length > Remaining)) {
      DEBUG ((DEBUG_ERROR, "[WarningLogScanNotify] Entry at offset %x: Length %x is outside %x..%x, the walk ends\n",
              Offset, Length, Needed, Remaining));
      return EFI_VOLUME_CORRUPTED;
    }

    if (Reported) {
      if (IsExcludedCode (Entry->Type, Entry->MajorCode, Entry->MinorCode)) {
        return EFI_ABORTED;
      }
      MemWarningReport Report;
      Report.Socket    = Entry->Socket;
      Report.Channel   = Entry->Channel;
      Report.Dimm      = Entry->Dimm;
      Report.MajorCode = Entry->MajorCode;
      Report.MinorCode = Entry->MinorCode;
      DeriveController (Report.Channel, &Report.MemController, &Report.TempChannel);
      DEBUG ((DEBUG_INFO, "Enhanced warning log for socket %x, channel %x, dimm %x, rank %x, TempChannel %x, MemController %x\n",
              (UINT32)Report.Socket, (UINT32)Report.Channel, (UINT32)Report.Dimm, (UINT32)Entry->Rank,
              (UINT32)Report.TempChannel, (UINT32)Report.MemController));
      ChooseTargets (Host, &Report);
      ReportMemWarning (Context, &Report);
    }
    Offset += Length;
  }
  return LogStatus;
}

EFI_STATUS EFIAPI WarningLogScanNotify (IN EFI_PEI_SERVICES **PeiServices,
                                        IN EFI_PEI_NOTIFY_DESCRIPTOR *NotifyDescriptor, IN VOID *Ppi)
{
  CONST EFI_PEI_SERVICES **Services = (CONST EFI_PEI_SERVICES **)PeiServices;
  WarningScanContext     Context;

  (VOID)NotifyDescriptor;
  (VOID)Ppi;

  Context.Ipmi             = NULL;
  Context.Host             = NULL;
  Context.Status           = EFI_SUCCESS;
  Context.SavedMemlocation = DIMM_SENTRY_NOTHING_SAVED;
  Context.SavedMajor       = DIMM_SENTRY_NOTHING_SAVED;
  Context.SavedMinor       = DIMM_SENTRY_NOTHING_SAVED;

  DEBUG ((DEBUG_INFO, "DimmSentry - Start\n"));
  EFI_STATUS Status = (*Services)->LocatePpi (Services, &gEfiPeiIpmiTransportPpiGuid, 0, NULL, (VOID **)&Context.Ipmi);
  DEBUG ((DEBUG_INFO, "LocatePpi IpmiTransportPpi Status: %r \n", Status));
  Context.Status = Status;
  if (EFI_ERROR (Status)) {
    DEBUG ((DEBUG_INFO, "gEfiPeiIpmiTransportPpiGuid ppi not ready\n"));
    DEBUG ((DEBUG_INFO, "DimmSentry - End\n"));
    return Status;
  }

  UINT32 HostAddress = (UINT32)PcdGet64 (PcdSysHostMemoryAddress);
  if (HostAddress == 0) {
    DEBUG ((DEBUG_ERROR, "PcdSysHostMemoryAddress value is NULL!\n"));
    return EFI_NOT_FOUND;
  }
  Context.Host = (CONST SysHost *)(UINTN)HostAddress;

  EFI_STATUS WalkStatus = WalkWarningLog (&Context);
  if (WalkStatus == EFI_ABORTED) {
    return EFI_ABORTED;
  }
  DEBUG ((DEBUG_INFO, "DimmSentry - End\n"));
  return EFI_ERROR (WalkStatus) ? WalkStatus : Context.Status;
}

EFI_STATUS EFIAPI DimmSentryEntry (IN EFI_PEI_FILE_HANDLE FileHandle, IN CONST EFI_PEI_SERVICES **PeiServices)
{
  (VOID)FileHandle;

  // A failed registration only means no scan will run; the entry still succeeds.
  (VOID)(*PeiServices)->NotifyPpi (PeiServices, &mWarningLogScanNotifyList);
  return EFI_SUCCESS;
}

/** @file
  DimmSentry's reporter: the location byte, the repeat rule, the memory SEL
  record and its delivery to the BMC.
**/
#include <Library/DebugLib.h>

#include "DimmSentry.h"

/// Socket, controller, channel and DIMM packed into one byte, keeping only
/// the low 8 bits at each step. Nothing is masked here: a field that is too
/// wide spills into the one above it.
STATIC UINT8 PackLocation (IN UINT8 Socket, IN UINT8 MemController, IN UINT8 TempChannel, IN UINT8 Dimm)
{
  UINT8 Value = (UINT8)(Socket << 2);

  Value = (UINT8)(Value | MemController);
  Value = (UINT8)(Value << 2);
  Value = (UINT8)(Value | TempChannel);
  Value = (UINT8)(Value << 1);
  return (UINT8)(Value | Dimm);
}

/// The status of one Add SEL Entry attempt the transport completed: only
/// completion code 0 means the record is in the SEL.
STATIC EFI_STATUS CompletionStatus (IN CONST UINT8 *Response, IN UINT8 ResponseSize)
{
  if (ResponseSize == 0) {
    return EFI_DEVICE_ERROR;
  }
  if (Response[0] == DIMM_SENTRY_CC_SUCCESS) {
    return EFI_SUCCESS;
  }
  return (Response[0] == DIMM_SENTRY_CC_OUT_OF_SPACE) ? EFI_VOLUME_FULL : EFI_DEVICE_ERROR;
}

EFI_STATUS EFIAPI OemMemErrorLogToBmc (IN PEI_IPMI_TRANSPORT_PPI *IpmiTransport, IN UINT8 OEMEvData1,
                                       IN UINT8 MajorCode, IN UINT8 MinorCode)
{
  SelRecord   Record;
  UINT8       Response[DIMM_SENTRY_ADD_SEL_RESPONSE_SIZE];
  UINT8       ResponseSize;
  EFI_STATUS  Status = EFI_DEVICE_ERROR;

  Record.RecordId     = DIMM_SENTRY_SEL_RECORD_ID;
  Record.RecordType   = DIMM_SENTRY_SEL_SYSTEM_EVENT_RECORD;
  Record.TimeStamp    = 0;
  Record.GeneratorId  = DIMM_SENTRY_SEL_GENERATOR_ID;
  Record.EvMRevision  = DIMM_SENTRY_SEL_EVM_REVISION;
  Record.SensorType   = DIMM_SENTRY_SEL_SENSOR_TYPE_MEMORY;
  Record.SensorNumber = DIMM_SENTRY_SEL_SENSOR_NUMBER;
  Record.EventDirType = DIMM_SENTRY_SEL_SENSOR_SPECIFIC_ASSERTION;
  Record.OEMEvData1   = OEMEvData1;
  Record.OEMEvData2   = MajorCode;
  Record.OEMEvData3   = MinorCode;

  for (UINT32 Index = 0; Index < DIMM_SENTRY_ADD_SEL_ATTEMPTS; Index++) {
    // A BMC that reports success but writes nothing has not confirmed the record.
    Response[0]  = DIMM_SENTRY_CC_UNSPECIFIED;
    ResponseSize = sizeof (Response);
    Status       = IpmiTransport->SendIpmiCommand (IpmiTransport, DIMM_SENTRY_NETFN_STORAGE, 0,
                                                   DIMM_SENTRY_CMD_ADD_SEL_ENTRY, (UINT8 *)&Record,
                                                   sizeof (Record), Response, &ResponseSize);
    if (!EFI_ERROR (Status)) {
      Status = CompletionStatus (Response, ResponseSize);
    }
    DEBUG ((DEBUG_INFO, "OemMemErrorLogToBmc SendIpmiCommand Status: %r, Index:%x \n", Status, Index));
    DEBUG ((DEBUG_INFO, "SelRecord.SensorNumber=0x%x, OEMEvData1=0x%x, OEMEvData2=0x%x, OEMEvData3=0x%x \n",
            (UINT32)Record.SensorNumber, (UINT32)Record.OEMEvData1, (UINT32)Record.OEMEvData2,
            (UINT32)Record.OEMEvData3));
    if (!EFI_ERROR (Status)) {
      break;
    }
  }
  return Status;
}

VOID EFIAPI ReportMemWarning (IN OUT WarningScanContext *Context, IN CONST MemWarningReport *Report)
{
  UINT8 Memlocation = PackLocation (Report->Socket, Report->MemController, (UINT8)(Report->TempChannel & 3),
                                    (UINT8)(Report->Dimm & 1));

  DEBUG ((DEBUG_INFO, "Memlocation=%x, MajorCode=%x, MinorCode=%x, SavedMemlocation=%x, SavedMajor=%x, SavedMinor=%x\n",
          (UINT32)Memlocation, (UINT32)Report->MajorCode, (UINT32)Report->MinorCode,
          (UINT32)Context->SavedMemlocation, (UINT32)Context->SavedMajor, (UINT32)Context->SavedMinor));

  if ((Context->SavedMemlocation != DIMM_SENTRY_NOTHING_SAVED) && (Memlocation == Context->SavedMemlocation) &&
      (Report->MajorCode == Context->SavedMajor) && (Report->MinorCode == Context->SavedMinor))
  {
    DEBUG ((DEBUG_INFO, "Same memory, Same info, not log \n"));
    return;
  }
  Context->SavedMemlocation = Memlocation;

  for (UINTN Index = 0; (Index < Report->TargetCount) && (Index < ARRAY_SIZE (Report->Targets)); Index++) {
    UINT8 OEMEvData1 = PackLocation (Report->Socket, Report->MemController, Report->TempChannel,
                                     Report->Targets[Index]);
    Context->Status = OemMemErrorLogToBmc (Context->Ipmi, OEMEvData1, Report->MajorCode, Report->MinorCode);
  }

  // A record that never reached the BMC still counts as the last report.
  Context->SavedMajor = Report->MajorCode;
  Context->SavedMinor = Report->MinorCode;
}

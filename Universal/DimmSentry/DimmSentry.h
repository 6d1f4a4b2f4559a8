/** @file
  DimmSentry: relays the memory reference code's warning log to the BMC as
  System Event Log records. The entry only registers for the scan-trigger
  PPI; every installation of that PPI runs one complete scan of the log,
  which reports each accepted entry once per target DIMM with Add SEL Entry,
  dropping an entry that repeats the one reported last.
**/
#ifndef DIMM_SENTRY_H_
#define DIMM_SENTRY_H_

#include <PiPei.h>
#include <Ppi/IpmiTransportPpi.h>
#include <SysHost.h>

/// IPMI: Add SEL Entry, its attempts and its response.
#define DIMM_SENTRY_NETFN_STORAGE          0x0A
#define DIMM_SENTRY_CMD_ADD_SEL_ENTRY      0x44
#define DIMM_SENTRY_ADD_SEL_ATTEMPTS       10
#define DIMM_SENTRY_ADD_SEL_RESPONSE_SIZE  3     ///< Completion code and the record ID the BMC assigned.
#define DIMM_SENTRY_CC_SUCCESS             0x00
#define DIMM_SENTRY_CC_OUT_OF_SPACE        0xC4  ///< The SEL is full.
#define DIMM_SENTRY_CC_UNSPECIFIED         0xFF  ///< Stands in the buffer until the BMC writes its own.

/// The memory SEL record's constant fields.
#define DIMM_SENTRY_SEL_RECORD_ID             0x0000  ///< The BMC assigns the ID; a requester sends 0.
#define DIMM_SENTRY_SEL_SYSTEM_EVENT_RECORD   0x02
#define DIMM_SENTRY_SEL_GENERATOR_ID          0x0021
#define DIMM_SENTRY_SEL_EVM_REVISION          0x04
#define DIMM_SENTRY_SEL_SENSOR_TYPE_MEMORY    0x0C
#define DIMM_SENTRY_SEL_SENSOR_NUMBER         0xFD
#define DIMM_SENTRY_SEL_SENSOR_SPECIFIC_ASSERTION  0x6F

/// "None yet in this scan", for each field of the last-report memory.
#define DIMM_SENTRY_NOTHING_SAVED  0xFF

#pragma pack(push, 1)
/// The 16-byte IPMI system event record, with this system's three event data bytes.
typedef struct {
  UINT16  RecordId;
  UINT8   RecordType;
  UINT32  TimeStamp;
  UINT16  GeneratorId;
  UINT8   EvMRevision;
  UINT8   SensorType;
  UINT8   SensorNumber;
  UINT8   EventDirType;
  UINT8   OEMEvData1;   ///< Socket, controller, channel and DIMM of the target.
  UINT8   OEMEvData2;   ///< MajorCode.
  UINT8   OEMEvData3;   ///< MinorCode.
} SelRecord;
#pragma pack(pop)

static_assert (OFFSET_OF (SelRecord, RecordId) == 0);
static_assert (OFFSET_OF (SelRecord, RecordType) == 2);
static_assert (OFFSET_OF (SelRecord, TimeStamp) == 3);
static_assert (OFFSET_OF (SelRecord, GeneratorId) == 7);
static_assert (OFFSET_OF (SelRecord, EvMRevision) == 9);
static_assert (OFFSET_OF (SelRecord, SensorType) == 10);
static_assert (OFFSET_OF (SelRecord, SensorNumber) == 11);
static_assert (OFFSET_OF (SelRecord, EventDirType) == 12);
static_assert (OFFSET_OF (SelRecord, OEMEvData1) == 13);
static_assert (OFFSET_OF (SelRecord, OEMEvData2) == 14);
static_assert (OFFSET_OF (SelRecord, OEMEvData3) == 15);
static_assert (sizeof (SelRecord) == 16);

/// One accepted warning-log entry, as the scan hands it to the reporter.
typedef struct {
  UINT8  Socket;
  UINT8  Channel;
  UINT8  Dimm;
  UINT8  MajorCode;
  UINT8  MinorCode;
  UINT8  MemController;
  UINT8  TempChannel;   ///< Channel within MemController.
  UINT8  TargetCount;   ///< 0 to SYS_HOST_MAX_DIMM_SLOTS.
  UINT8  Targets[SYS_HOST_MAX_DIMM_SLOTS];  ///< DIMM numbers to send a record for, in order.
} MemWarningReport;

static_assert (sizeof (MemWarningReport) == 10);

/// The state of one scan; lives in the notify callback's frame.
typedef struct {
  PEI_IPMI_TRANSPORT_PPI  *Ipmi;
  CONST SysHost           *Host;
  EFI_STATUS              Status;            ///< The LocatePpi status, then that of each record sent.
  UINT8                   SavedMemlocation;  ///< Memlocation of the last entry that passed the repeat rule.
  UINT8                   SavedMajor;
  UINT8                   SavedMinor;
} WarningScanContext;

extern "C" {

/**
  The PEIM entry: registers WarningLogScanNotify for the scan-trigger PPI.

  @param[in] FileHandle   Not used.
  @param[in] PeiServices  The PEI Services table pointer.

  @retval EFI_SUCCESS  Always; a failed registration is not reported.
**/
EFI_STATUS EFIAPI DimmSentryEntry (IN EFI_PEI_FILE_HANDLE FileHandle, IN CONST EFI_PEI_SERVICES **PeiServices);

/**
  Runs one complete scan of the warning log: every installation of the
  scan-trigger PPI reports the whole log again.

  @param[in] PeiServices       The PEI Services table pointer.
  @param[in] NotifyDescriptor  Not used.
  @param[in] Ppi               Not used.

  @retval EFI_SUCCESS           The log was walked; the last record sent (if any) reached the BMC.
  @retval EFI_NOT_FOUND         PcdSysHostMemoryAddress holds no address (low 32 bits 0).
  @retval EFI_ABORTED           An entry with an excluded code ended the scan.
  @retval EFI_VOLUME_CORRUPTED  The log's UsedSize or an entry's Length was wrong; the walk
                                ended at it, after reporting every entry before it.
  @retval other                 The IPMI transport's LocatePpi status, or the failure of the
                                last record sent.
**/
EFI_STATUS EFIAPI WarningLogScanNotify (IN EFI_PEI_SERVICES **PeiServices,
                                        IN EFI_PEI_NOTIFY_DESCRIPTOR *NotifyDescriptor, IN VOID *Ppi);

/**
  Reports one accepted entry: prints its location, drops it when it repeats
  the last entry that passed, else sends one SEL record per target.

  @param[in,out] Context  The scan: its transport, its last-report memory and its status.
  @param[in]     Report   The entry, its derived location and its targets.
**/
VOID EFIAPI ReportMemWarning (IN OUT WarningScanContext *Context, IN CONST MemWarningReport *Report);

/**
  Builds the memory SEL record and adds it to the BMC's SEL, in up to ten
  attempts. An attempt succeeds only when the transport succeeds and the BMC
  answers completion code 0.

  @param[in] IpmiTransport  The IPMI transport.
  @param[in] OEMEvData1     Event data 1: the target's location.
  @param[in] MajorCode      Event data 2.
  @param[in] MinorCode      Event data 3.

  @retval EFI_SUCCESS        The BMC added the record.
  @retval EFI_VOLUME_FULL    The last attempt was refused because the SEL is full.
  @retval EFI_DEVICE_ERROR   The last attempt was refused with another completion code,
                             or the response carried none.
  @retval other              The transport's failure in the last attempt.
**/
EFI_STATUS EFIAPI OemMemErrorLogToBmc (IN PEI_IPMI_TRANSPORT_PPI *IpmiTransport, IN UINT8 OEMEvData1,
                                       IN UINT8 MajorCode, IN UINT8 MinorCode);

}

#endif

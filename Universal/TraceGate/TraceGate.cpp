/** @file
  TraceGate's entry: the debug level of this boot, decided once and
  published in the scratch register, PCD token 35 and the verbosity HOB.
**/
#include <Guid/SetupVariable.h>
#include <Library/DebugLib.h>
#include <Library/HobLib.h>
#include <Library/IoLib.h>
#include <Library/PcdLib.h>
#include <Library/SetupLib.h>
#include <OemPcdTokens.h>
#include <Ppi/IpmiTransportPpi.h>
#include <Ppi/ReadOnlyVariable2.h>
#include <Register/VerbosityScratch.h>
#include <SetupVariableLayout.h>

#include "TraceGate.h"

// The port-writer cache: the register as UpdateScratchDebugLevel first read it.
UINT8 mPortWriterCacheValid = 0;
UINT8 mPortWriterCache      = 0;

VOID EFIAPI UpdateScratchDebugLevel (IN UINT8 Level)
{
  if (mPortWriterCacheValid != 1) {
    mPortWriterCache      = IoRead8 (VERBOSITY_SCRATCH_PORT);
    mPortWriterCacheValid = 1;
  }
  IoWrite8 (VERBOSITY_SCRATCH_PORT, (UINT8)((mPortWriterCache & VERBOSITY_SCRATCH_RAS_MASK) | Level));
}

/// The debug levels' names as the level messages print them, by level.
STATIC constexpr CONST CHAR8 *mDebugLevelNames[] = { "Disabled", "Minimum", "Normal", "Maximum" };
static_assert (sizeof (mDebugLevelNames) / sizeof (mDebugLevelNames[0]) == DEBUG_LEVEL_MAXIMUM + 1);

/**
  Asks the BMC for a forced debug level, up to ten tries until the transport
  reports no error.

  @param[in]  Ipmi      The IPMI transport.
  @param[out] Response  The two response bytes: completion code, level.

  @retval TRUE   The BMC answered with completion code 0 and a level byte.
  @retval FALSE  The transport failed every try, or the BMC refused or answered short.
**/
STATIC BOOLEAN AskBmcForLevel (IN PEI_IPMI_TRANSPORT_PPI *Ipmi, OUT UINT8 Response[TRACE_GATE_FORCE_DEBUG_RESPONSE])
{
  UINT8      Request        = TRACE_GATE_FORCE_DEBUG_REQUEST;
  UINT8      ResponseLength = 0;
  EFI_STATUS Status;

  for (UINT8 Attempt = 0; Attempt < TRACE_GATE_FORCE_DEBUG_TRIES; Attempt++) {
    // In/out: a failed try may write back a shorter length, so it is set again for every try.
    ResponseLength = TRACE_GATE_FORCE_DEBUG_RESPONSE;
    Status = Ipmi->SendIpmiCommand (Ipmi, TRACE_GATE_NETFN_OEM, 0, TRACE_GATE_CMD_FORCE_DEBUG, &Request,
                                    sizeof (Request), Response, &ResponseLength);
    DEBUG ((DEBUG_INFO, "[OemLogLevel] IPMI Force debug IpmiStatus =%r \n", Status));
    if (!EFI_ERROR (Status)) {
      // A refusal (non-zero completion code) or a reply without the level byte
      // is no answer: "Setup" decides then.
      return (BOOLEAN)((Response[0] == 0) && (ResponseLength >= TRACE_GATE_FORCE_DEBUG_RESPONSE));
    }
  }
  return FALSE;
}

/// The RAS log level: byte 120 of "IntelSetup", or 0 when it can't be read.
STATIC UINT8 ReadRasLogLevel (VOID)
{
  INT32 Row = FindSetupVariableRow (&gIntelSetupGuid);
  if (Row == SETUP_VARIABLE_ROW_NOT_FOUND) {
    return 0;
  }
  CONST SETUP_VARIABLE_ENTRY *Entry  = &gSetupVariableTable[Row];
  UINT8                      *Buffer = (UINT8 *)ReadSetupVariable (Entry->VendorGuid, Entry->VariableName,
                                                                    Entry->VariableSize);
  if ((Buffer == NULL) || (Entry->VariableSize <= INTEL_SETUP_RAS_LOG_LEVEL_OFFSET)) {
    return 0;
  }
  return Buffer[INTEL_SETUP_RAS_LOG_LEVEL_OFFSET];
}

/// Publishes the verbosity HOB; its byte comes from pool as the platform expects.
STATIC VOID PublishVerbosityHob (IN CONST EFI_PEI_SERVICES **PeiServices, IN UINT8 Level)
{
  UINT8 *Buffer = NULL;

  EFI_STATUS Status = (*PeiServices)->AllocatePool (PeiServices, sizeof (UINT8), (VOID **)&Buffer);
  if (EFI_ERROR (Status)) {
    ASSERT_EFI_ERROR (Status);
    // Without pool the level is still published, from the stack: later
    // modules must not fall back to a register that no longer says it.
    Buffer = &Level;
  }
  *Buffer = Level;
  BuildGuidDataHob (&gVerbosityHobGuid, Buffer, sizeof (UINT8));
}

EFI_STATUS EFIAPI TraceGateEntry (IN EFI_PEI_FILE_HANDLE FileHandle, IN CONST EFI_PEI_SERVICES **PeiServices)
{
  PEI_IPMI_TRANSPORT_PPI           *Ipmi        = NULL;
  EFI_PEI_READ_ONLY_VARIABLE2_PPI  *VariablePpi = NULL;
  // Without the variable service nothing decides the level: Disabled.
  UINT8                            Level        = DEBUG_LEVEL_DISABLED;

  (VOID)FileHandle;
  if (PeiServices == NULL) {
    return EFI_UNSUPPORTED;
  }

  (VOID)CreateFirstBootHob (PeiServices);

  EFI_STATUS IpmiStatus = (*PeiServices)->LocatePpi (PeiServices, &gEfiPeiIpmiTransportPpiGuid, 0, NULL,
                                                     (VOID **)&Ipmi);
  DEBUG ((DEBUG_INFO, "[OemLogLevel] LocatePpi IpmiTransportPpi IpmiStatus: %r \n", IpmiStatus));

  EFI_STATUS Status = (*PeiServices)->LocatePpi (PeiServices, &gEfiPeiReadOnlyVariable2PpiGuid, 0, NULL,
                                                 (VOID **)&VariablePpi);
  if (!EFI_ERROR (Status)) {
    UINT8   Response[TRACE_GATE_FORCE_DEBUG_RESPONSE] = { 0, 0 };
    BOOLEAN BmcAnswered = FALSE;
    if (!EFI_ERROR (IpmiStatus)) {
      BmcAnswered = AskBmcForLevel (Ipmi, Response);
    }
    DEBUG ((DEBUG_INFO, "[OemLogLevel] IPMI Force debug ResponseData[1]=%d\n", Response[1]));

    // Cleared first: a failed or short read leaves zeros (Disabled), not stack contents.
    UINT8 Setup[TRACE_GATE_SETUP_SIZE] = { 0 };
    UINTN SetupSize = sizeof (Setup);
    (VOID)VariablePpi->GetVariable (VariablePpi, u"Setup", &gIntelSetupGuid, NULL, &SetupSize, Setup);

    UINT8 Source = BmcAnswered ? Response[1] : Setup[TRACE_GATE_SETUP_DEBUG_LEVEL_OFFSET];
    Level = (Source <= DEBUG_LEVEL_MAXIMUM) ? Source : DEBUG_LEVEL_DISABLED;
    // One message, the level's name in it: the BMC's Disabled reads "Disable".
    DEBUG ((DEBUG_INFO, "[OemLogLevel] Set debug level as %a.\n",
            (BmcAnswered && Level == DEBUG_LEVEL_DISABLED) ? "Disable" : mDebugLevelNames[Level]));

    UpdateScratchDebugLevel (Level);

    UINT8 RasLogLevel      = ReadRasLogLevel ();
    UINT8 DebugRasLogLevel = (UINT8)((RasLogLevel << VERBOSITY_SCRATCH_RAS_SHIFT) | Level);
    IoWrite8 (VERBOSITY_SCRATCH_PORT, DebugRasLogLevel);
    (VOID)PcdSet8S (PcdDebugRasLogLevel, DebugRasLogLevel);
    DEBUG ((DEBUG_INFO, "[OemLogLevel] RasLogLevel =%x\n", RasLogLevel));
  }

  PublishVerbosityHob (PeiServices, Level);
  return EFI_SUCCESS;
}

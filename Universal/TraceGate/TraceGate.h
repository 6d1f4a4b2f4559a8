/** @file
  TraceGate: decides the debug level of this boot (the BMC can force it,
  otherwise the user's "Setup" choice), publishes it with the RAS log level
  in the verbosity scratch register, PCD token 35 and the verbosity HOB, and
  records the first-boot decision in the first-boot HOB.
**/
#ifndef TRACE_GATE_H_
#define TRACE_GATE_H_

#include <Guid/FirstBootHob.h>
#include <Guid/VerbosityHob.h>
#include <PiPei.h>

/// The first-boot HOB as TraceGate creates it (28 bytes requested).
typedef struct {
  EFI_HOB_GUID_TYPE  Header;
  UINT8              FirstBoot;    ///< 1 on the board's first boot, else 0
  UINT8              Reserved[3];  ///< not written
} FIRST_BOOT_HOB;

static_assert (sizeof (FIRST_BOOT_HOB) == 28);
static_assert (OFFSET_OF (FIRST_BOOT_HOB, Header.Name) == 8);
static_assert (OFFSET_OF (FIRST_BOOT_HOB, FirstBoot) == 24);

/// The verbosity HOB: one data byte, the debug level.
typedef struct {
  EFI_HOB_GUID_TYPE  Header;
  UINT8              DebugLevel;
} VERBOSITY_HOB;

static_assert (OFFSET_OF (VERBOSITY_HOB, DebugLevel) == 24);

/// The force-debug request to the BMC.
#define TRACE_GATE_NETFN_OEM             0x3C
#define TRACE_GATE_CMD_FORCE_DEBUG       0x05
#define TRACE_GATE_FORCE_DEBUG_REQUEST   0x32
#define TRACE_GATE_FORCE_DEBUG_TRIES     10
#define TRACE_GATE_FORCE_DEBUG_RESPONSE  2

/// "Setup": the user's debug-level choice is byte 227 of its 383 bytes.
#define TRACE_GATE_SETUP_SIZE               383
#define TRACE_GATE_SETUP_DEBUG_LEVEL_OFFSET 227

extern "C" {

/**
  Records in the first-boot HOB whether "MonotonicCounter" could be read.

  @param[in] PeiServices  The PEI Services table pointer.

  @retval EFI_SUCCESS  The HOB was created and filled.
  @retval other        The status of CreateHob; nothing was written.
**/
EFI_STATUS EFIAPI CreateFirstBootHob (IN CONST EFI_PEI_SERVICES **PeiServices);

/**
  Writes Level into the low nibble of the verbosity scratch register, keeping
  the high nibble the register held at the first call.

  @param[in] Level  The debug level (0..3).
**/
VOID EFIAPI UpdateScratchDebugLevel (IN UINT8 Level);

/**
  Decides and publishes the debug level of this boot.

  @retval EFI_UNSUPPORTED  PeiServices is NULL; nothing was done.
  @retval EFI_SUCCESS      Otherwise.
**/
EFI_STATUS EFIAPI TraceGateEntry (IN EFI_PEI_FILE_HANDLE FileHandle, IN CONST EFI_PEI_SERVICES **PeiServices);

}

#endif

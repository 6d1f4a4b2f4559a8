/** @file
  PeiSetupLib: the platform's setup variables, found by vendor GUID and read
  during PEI into pages of their own.

  On the first boot of the board (PcdOemIsFirstBoot) the reader also gives
  "SocketIioConfig" its first-boot per-port values, and the Gen3 presets of
  port 0 when PcdIioPresetSelector asks for them, in the buffer it returns;
  the stored variable is not changed.
**/
#ifndef OEM_LIBRARY_SETUP_LIB_H_
#define OEM_LIBRARY_SETUP_LIB_H_

#include <Uefi/UefiBaseType.h>

/// One setup variable: three 32-bit fields in the IA32 firmware.
typedef struct {
  CONST EFI_GUID  *VendorGuid;    ///< NULL only in the terminating row
  CONST CHAR16    *VariableName;  ///< NUL-terminated UTF-16
  UINT32          VariableSize;   ///< bytes; also the size the reader allocates for
} SETUP_VARIABLE_ENTRY;

#if defined (MDE_CPU_IA32)
static_assert (sizeof (SETUP_VARIABLE_ENTRY) == 12);
static_assert (OFFSET_OF (SETUP_VARIABLE_ENTRY, VendorGuid) == 0);
static_assert (OFFSET_OF (SETUP_VARIABLE_ENTRY, VariableName) == 4);
static_assert (OFFSET_OF (SETUP_VARIABLE_ENTRY, VariableSize) == 8);
#endif

/// Rows of the setup variable table, the terminating row not counted.
#define SETUP_VARIABLE_ROW_COUNT  11

/// What FindSetupVariableRow returns for a GUID that is in no row.
#define SETUP_VARIABLE_ROW_NOT_FOUND  (-1)

/// PcdIioPresetSelector value that selects the first-boot Gen3 presets of port 0.
#define IIO_PRESET_SELECTOR_GEN3  0x00A0

extern "C" {

/// The setup variable table: one constant row per setup variable, then a row of zeros.
extern CONST SETUP_VARIABLE_ENTRY  gSetupVariableTable[SETUP_VARIABLE_ROW_COUNT + 1];

/**
  Finds the row of the setup variable table whose vendor GUID equals
  VendorGuid in value.

  @param[in] VendorGuid  The vendor GUID to look for; NULL matches no row.

  @return The index of the first matching row, or SETUP_VARIABLE_ROW_NOT_FOUND (-1).
**/
INT32 EFIAPI FindSetupVariableRow (IN CONST EFI_GUID *VendorGuid);

/**
  Reads one setup variable into newly allocated EfiBootServicesData pages
  (enough for VariableSize bytes) and returns them; the caller owns them.

  The pages are cleared before the read, so a failed read (reported by
  ASSERT_EFI_ERROR) or a variable shorter than VariableSize leaves zeros, not
  stale memory. On the first boot, a buffer read for exactly
  "SocketIioConfig" gets the first-boot override before it is returned,
  whether or not the read succeeded.

  @param[in] VendorGuid    The variable's vendor GUID.
  @param[in] VariableName  The variable's NUL-terminated UTF-16 name.
  @param[in] VariableSize  The size to read, in bytes.

  @return The buffer, or NULL when VariableSize is 0, the pages could not be
          allocated or the read-only variable PPI is not installed.
**/
VOID * EFIAPI ReadSetupVariable (IN CONST EFI_GUID *VendorGuid, IN CONST CHAR16 *VariableName,
                                 IN UINT32 VariableSize);

}

#endif

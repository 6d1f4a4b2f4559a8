/** @file
  PeiSetupLib: the setup variable table, the lookup by vendor GUID, and the
  reader with its first-boot override of "SocketIioConfig".
**/
#include <Guid/SetupVariable.h>
#include <Library/BaseMemoryLib.h>
#include <Library/DebugLib.h>
#include <Library/MemoryAllocationLib.h>
#include <Library/PcdLib.h>
#include <Library/PeiServicesLib.h>
#include <Library/SetupLib.h>
#include <OemPcdTokens.h>
#include <Ppi/ReadOnlyVariable2.h>
#include <SetupVariableLayout.h>

constexpr SETUP_VARIABLE_ENTRY gSetupVariableTable[SETUP_VARIABLE_ROW_COUNT + 1] = {
  { &gSocketIioConfigGuid,             SOCKET_IIO_CONFIG_VARIABLE_NAME,              SOCKET_IIO_CONFIG_VARIABLE_SIZE              },
  { &gSocketCommonRcConfigGuid,        SOCKET_COMMONRC_CONFIG_VARIABLE_NAME,         SOCKET_COMMONRC_CONFIG_VARIABLE_SIZE         },
  { &gSocketMpLinkConfigGuid,          SOCKET_MP_LINK_CONFIG_VARIABLE_NAME,          SOCKET_MP_LINK_CONFIG_VARIABLE_SIZE          },
  { &gSocketMemoryConfigGuid,          SOCKET_MEMORY_CONFIG_VARIABLE_NAME,           SOCKET_MEMORY_CONFIG_VARIABLE_SIZE           },
  { &gSocketPowerManagementConfigGuid, SOCKET_POWER_MANAGEMENT_CONFIG_VARIABLE_NAME, SOCKET_POWER_MANAGEMENT_CONFIG_VARIABLE_SIZE },
  { &gSocketProcessorCoreConfigGuid,   SOCKET_PROCESSOR_CORE_CONFIG_VARIABLE_NAME,   SOCKET_PROCESSOR_CORE_CONFIG_VARIABLE_SIZE   },
  { &gIntelSetupGuid,                  INTEL_SETUP_VARIABLE_NAME,                    INTEL_SETUP_VARIABLE_SIZE                    },
  { &gPchSetupGuid,                    PCH_SETUP_VARIABLE_NAME,                      PCH_SETUP_VARIABLE_SIZE                      },
  { &gMemBootHealthConfigGuid,         MEM_BOOT_HEALTH_CONFIG_VARIABLE_NAME,         MEM_BOOT_HEALTH_CONFIG_VARIABLE_SIZE         },
  { &gMeRcConfigurationGuid,           ME_RC_CONFIGURATION_VARIABLE_NAME,            ME_RC_CONFIGURATION_VARIABLE_SIZE            },
  { &gFpgaSocketConfigGuid,            FPGA_SOCKET_CONFIG_VARIABLE_NAME,             FPGA_SOCKET_CONFIG_VARIABLE_SIZE             },
  { NULL,                              NULL,                                         0                                            },
};

/// The name that gets the first-boot override, terminator included.
constexpr CHAR16 mSocketIioConfigName[] = SOCKET_IIO_CONFIG_VARIABLE_NAME;

/// One Gen3 preset of port 0: where it goes, its value, the phase and tap its line names.
typedef struct {
  UINT16      Offset;
  UINT8       Value;
  UINT8       Phase;
  CONST CHAR8 *Tap;
} IIO_GEN3_PRESET;

/// Each written and reported ("DfxGen3ManualPh<phase>_<tap>[0]: <value>"), in this order.
constexpr IIO_GEN3_PRESET mIioGen3Presets[] = {
  { SOCKET_IIO_CONFIG_DFX_GEN3_MANUAL_PH2_PRECURSOR_OFFSET,  6,  2, "Precursor"  },
  { SOCKET_IIO_CONFIG_DFX_GEN3_MANUAL_PH2_CURSOR_OFFSET,     45, 2, "Cursor"     },
  { SOCKET_IIO_CONFIG_DFX_GEN3_MANUAL_PH2_POSTCURSOR_OFFSET, 12, 2, "Postcursor" },
  { SOCKET_IIO_CONFIG_DFX_GEN3_MANUAL_PH3_PRECURSOR_OFFSET,  11, 3, "Precursor"  },
  { SOCKET_IIO_CONFIG_DFX_GEN3_MANUAL_PH3_CURSOR_OFFSET,     41, 3, "Cursor"     },
  { SOCKET_IIO_CONFIG_DFX_GEN3_MANUAL_PH3_POSTCURSOR_OFFSET, 11, 3, "Postcursor" },
};

// The override writes at fixed offsets whatever size the caller asked for;
// the reader always has at least one page, so every write stays inside it.
static_assert (SOCKET_IIO_CONFIG_DFX_GEN3_MANUAL_PH3_POSTCURSOR_OFFSET + SOCKET_IIO_CONFIG_PORT_COUNT <= EFI_PAGE_SIZE);
static_assert (SOCKET_IIO_CONFIG_PORT_VALUE_OFFSET + SOCKET_IIO_CONFIG_PORT_COUNT <= EFI_PAGE_SIZE);

INT32 EFIAPI FindSetupVariableRow (IN CONST EFI_GUID *VendorGuid)
{
  if (VendorGuid == NULL) {
    return SETUP_VARIABLE_ROW_NOT_FOUND;
  }
  for (INT32 Index = 0; gSetupVariableTable[Index].VendorGuid != NULL; Index++) {
    if (CompareGuid (gSetupVariableTable[Index].VendorGuid, VendorGuid)) {
      return Index;
    }
  }
  return SETUP_VARIABLE_ROW_NOT_FOUND;
}

/**
  TRUE when VariableName is exactly "SocketIioConfig". The name is read no
  further than its own terminator, or one code unit past the length of
  "SocketIioConfig" when it is longer.
**/
STATIC BOOLEAN IsSocketIioConfigName (IN CONST CHAR16 *VariableName)
{
  UINTN Length;

  if (VariableName == NULL) {
    return FALSE;
  }
  for (Length = 0; (Length < ARRAY_SIZE (mSocketIioConfigName)) && (VariableName[Length] != 0); Length++) {
  }
  if (Length != ARRAY_SIZE (mSocketIioConfigName) - 1) {
    return FALSE;
  }
  // Both strings now hold at least sizeof (mSocketIioConfigName) bytes.
  return (BOOLEAN)(CompareMem (VariableName, mSocketIioConfigName, sizeof (mSocketIioConfigName)) == 0);
}

/// The first-boot values of "SocketIioConfig", in Buffer.
STATIC VOID ApplyFirstBootIioOverride (IN OUT UINT8 *Buffer, IN UINT16 PresetSelector)
{
  for (UINT8 Port = 0; Port < SOCKET_IIO_CONFIG_PORT_COUNT; Port++) {
    if ((Port == 0) && (PresetSelector == IIO_PRESET_SELECTOR_GEN3)) {
      for (UINTN Index = 0; Index < ARRAY_SIZE (mIioGen3Presets); Index++) {
        CONST IIO_GEN3_PRESET *Preset = &mIioGen3Presets[Index];
        Buffer[Preset->Offset] = Preset->Value;
        DEBUG ((DEBUG_INFO, "DfxGen3ManualPh%d_%a[0]: %d \n", (UINT32)Preset->Phase, Preset->Tap, (UINT32)Buffer[Preset->Offset]));
      }
    }
    if (Buffer[SOCKET_IIO_CONFIG_PORT_FLAG_OFFSET + Port] != 0) {
      Buffer[SOCKET_IIO_CONFIG_PORT_VALUE_OFFSET + Port] = PcdGet8 (PcdIioPortValueFlagSet);
    } else {
      Buffer[SOCKET_IIO_CONFIG_PORT_VALUE_OFFSET + Port] = PcdGet8 (PcdIioPortValueFlagClear);
    }
  }
}

VOID * EFIAPI ReadSetupVariable (IN CONST EFI_GUID *VendorGuid, IN CONST CHAR16 *VariableName,
                                 IN UINT32 VariableSize)
{
  EFI_PEI_READ_ONLY_VARIABLE2_PPI  *VariablePpi = NULL;

  UINT16 PresetSelector = PcdGet16 (PcdIioPresetSelector);

  EFI_STATUS Status = PeiServicesLocatePpi (&gEfiPeiReadOnlyVariable2PpiGuid, 0, NULL, (VOID **)&VariablePpi);
  if (EFI_ERROR (Status) || (VariablePpi == NULL)) {
    return NULL;
  }

  UINTN Pages  = EFI_SIZE_TO_PAGES (VariableSize);
  UINT8 *Buffer = (UINT8 *)AllocatePages (Pages);
  if (Buffer == NULL) {
    return NULL;
  }
  // Fresh pages hold whatever was there before: a failed or short read must
  // leave zeros in the caller's buffer, not that.
  ZeroMem (Buffer, EFI_PAGES_TO_SIZE (Pages));

  UINTN DataSize = VariableSize;
  Status = VariablePpi->GetVariable (VariablePpi, VariableName, VendorGuid, NULL, &DataSize, Buffer);
  ASSERT_EFI_ERROR (Status);

  DEBUG ((DEBUG_INFO, "Get OemIsFirstBoot %x\n", (UINT32)PcdGetBool (PcdOemIsFirstBoot)));
  if (!PcdGetBool (PcdOemIsFirstBoot)) {
    return Buffer;
  }
  if (!IsSocketIioConfigName (VariableName)) {
    return Buffer;
  }
  ApplyFirstBootIioOverride (Buffer, PresetSelector);
  return Buffer;
}

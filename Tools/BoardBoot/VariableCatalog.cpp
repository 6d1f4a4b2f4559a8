#include "VariableCatalog.h"

#include <Guid/BootStateVariable.h>
#include <Guid/SetupVariable.h>
#include <Library/SetupLib.h>
#include <SetupVariableLayout.h>

namespace boardboot {

namespace {
// "Setup": the user's debug-level choice is byte 227 of its 383 bytes.
constexpr uint32_t kSetupSize = 383;
constexpr uint32_t kSetupDebugLevelOffset = 227;

std::vector<VariableField> FieldsOf(const std::u16string& name) {
  constexpr uint32_t ports = SOCKET_IIO_CONFIG_PORT_COUNT;
  if (name == SOCKET_IIO_CONFIG_VARIABLE_NAME)
    return {{"PortFlag", SOCKET_IIO_CONFIG_PORT_FLAG_OFFSET, ports},
            {"PortValue", SOCKET_IIO_CONFIG_PORT_VALUE_OFFSET, ports},
            {"DfxGen3ManualPh2_Precursor", SOCKET_IIO_CONFIG_DFX_GEN3_MANUAL_PH2_PRECURSOR_OFFSET, ports},
            {"DfxGen3ManualPh2_Cursor", SOCKET_IIO_CONFIG_DFX_GEN3_MANUAL_PH2_CURSOR_OFFSET, ports},
            {"DfxGen3ManualPh2_Postcursor", SOCKET_IIO_CONFIG_DFX_GEN3_MANUAL_PH2_POSTCURSOR_OFFSET, ports},
            {"DfxGen3ManualPh3_Precursor", SOCKET_IIO_CONFIG_DFX_GEN3_MANUAL_PH3_PRECURSOR_OFFSET, ports},
            {"DfxGen3ManualPh3_Cursor", SOCKET_IIO_CONFIG_DFX_GEN3_MANUAL_PH3_CURSOR_OFFSET, ports},
            {"DfxGen3ManualPh3_Postcursor", SOCKET_IIO_CONFIG_DFX_GEN3_MANUAL_PH3_POSTCURSOR_OFFSET, ports}};
  if (name == INTEL_SETUP_VARIABLE_NAME) return {{"RasLogLevel", INTEL_SETUP_RAS_LOG_LEVEL_OFFSET, 1}};
  return {};
}

// The eleven rows of the firmware's own setup variable table, then the
// variables other modules read.
std::vector<KnownVariable> Catalog() {
  std::vector<KnownVariable> catalog;
  for (const SETUP_VARIABLE_ENTRY* row = gSetupVariableTable; row->VendorGuid != nullptr; ++row) {
    std::u16string name(row->VariableName);
    catalog.push_back({name, *row->VendorGuid, row->VariableSize, FieldsOf(name)});
  }
  catalog.push_back({SETUP_VARIABLE_NAME, gIntelSetupGuid, kSetupSize, {{"DebugLevel", kSetupDebugLevelOffset, 1}}});
  catalog.push_back({MONOTONIC_COUNTER_VARIABLE_NAME, gBootStateVariableGuid, 4, {}});
  catalog.push_back({OEM_IS_FIRST_BOOT_VARIABLE_NAME, gBootStateVariableGuid, 4, {}});
  return catalog;
}
}  // namespace

const std::vector<KnownVariable>& KnownVariables() {
  static const std::vector<KnownVariable> catalog = Catalog();
  return catalog;
}

const KnownVariable* FindKnownVariable(const std::u16string& name) {
  for (const auto& variable : KnownVariables())
    if (variable.name == name) return &variable;
  return nullptr;
}

}  // namespace boardboot

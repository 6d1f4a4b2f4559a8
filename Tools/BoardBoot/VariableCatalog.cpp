#include "VariableCatalog.h"

#include <Guid/BootStateVariable.h>

namespace boardboot {

namespace {
constexpr EFI_GUID kSetupGuid = {0xEC87D643, 0xEBA4, 0x4BB5, {0xA1, 0xE5, 0x3F, 0x3E, 0x36, 0xB2, 0x0D, 0xA9}};

std::vector<KnownVariable> Catalog() {
  return {
      {u"Setup", kSetupGuid, 383, {{"DebugLevel", 227, 1}}},
      {u"MonotonicCounter", gBootStateVariableGuid, 4, {}},
      {u"OemIsFirstBoot", gBootStateVariableGuid, 4, {}},
  };
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

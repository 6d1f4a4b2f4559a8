// The UEFI variables this board knows by name: their vendor GUID, their size
// (the size a reader offers, so a longer one does not fit) and their named
// fields, so a board file can say "RasLogLevel: 3" instead of an offset.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <Uefi/UefiBaseType.h>

namespace boardboot {

struct VariableField {
  std::string name;
  uint32_t offset = 0;
  uint32_t count = 1;  // bytes: a UINT8 or an array of UINT8
};

struct KnownVariable {
  std::u16string name;
  EFI_GUID guid{};
  uint32_t size = 0;
  std::vector<VariableField> fields;
};

const std::vector<KnownVariable>& KnownVariables();
const KnownVariable* FindKnownVariable(const std::u16string& name);

}  // namespace boardboot

// The UEFI variable store behind the read-only variable PPI: variables keyed
// by name and vendor GUID together (two variables may share a GUID).
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <Uefi/UefiBaseType.h>

#include "GuidText.h"

namespace board {

struct VariableKey {
  std::u16string name;
  EFI_GUID guid;
  bool operator<(const VariableKey& other) const;
};

struct VariableRead {
  VariableKey key;
  uint64_t sizeOffered = 0;
  EFI_STATUS status = EFI_SUCCESS;
};

class VariableStore {
 public:
  static constexpr uint32_t kDefaultAttributes = 0x7;  // NV, BS, RT

  void Set(std::u16string name, const EFI_GUID& guid, std::vector<uint8_t> data,
           uint32_t attributes = kDefaultAttributes);
  void Remove(const std::u16string& name, const EFI_GUID& guid);
  // The read of this variable fails with status, whatever it holds.
  void FailReads(std::u16string name, const EFI_GUID& guid, EFI_STATUS status);

  const std::vector<uint8_t>* Find(const std::u16string& name, const EFI_GUID& guid) const;

  // GetVariable as the read-only variable PPI defines it.
  EFI_STATUS Get(const char16_t* name, const EFI_GUID* guid, uint32_t* attributes, UINTN* dataSize, void* data);

  const std::vector<VariableRead>& Reads() const { return reads_; }

 private:
  struct Variable {
    std::vector<uint8_t> data;
    uint32_t attributes;
  };
  std::map<VariableKey, Variable> variables_;
  std::map<VariableKey, EFI_STATUS> failures_;
  std::vector<VariableRead> reads_;
};

// A module's NUL-terminated UTF-16 name, read with a bound.
std::optional<std::u16string> ReadVariableName(const char16_t* name);
std::string Utf16ToUtf8(const std::u16string& text);

}  // namespace board

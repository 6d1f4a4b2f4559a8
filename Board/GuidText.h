// EFI_GUID as text ("8-4-4-4-12", upper case as registry forms show it) and back.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include <Uefi/UefiBaseType.h>

namespace board {

std::string GuidToString(const EFI_GUID& guid);
std::optional<EFI_GUID> ParseGuid(std::string_view text);
bool SameGuid(const EFI_GUID& a, const EFI_GUID& b);

struct GuidLess {
  bool operator()(const EFI_GUID& a, const EFI_GUID& b) const;
};

}  // namespace board

// EFI status names as a board file writes them ("EFI_TIMEOUT").
#pragma once

#include <optional>
#include <string_view>

#include <Uefi/UefiBaseType.h>

namespace boardboot {

std::optional<EFI_STATUS> StatusFromName(std::string_view name);

}  // namespace boardboot

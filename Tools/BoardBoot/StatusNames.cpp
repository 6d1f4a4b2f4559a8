#include "StatusNames.h"

#include <utility>

namespace boardboot {

namespace {
constexpr std::pair<std::string_view, EFI_STATUS> kStatuses[] = {
    {"EFI_SUCCESS", EFI_SUCCESS},
    {"EFI_LOAD_ERROR", EFI_LOAD_ERROR},
    {"EFI_INVALID_PARAMETER", EFI_INVALID_PARAMETER},
    {"EFI_UNSUPPORTED", EFI_UNSUPPORTED},
    {"EFI_BAD_BUFFER_SIZE", EFI_BAD_BUFFER_SIZE},
    {"EFI_BUFFER_TOO_SMALL", EFI_BUFFER_TOO_SMALL},
    {"EFI_NOT_READY", EFI_NOT_READY},
    {"EFI_DEVICE_ERROR", EFI_DEVICE_ERROR},
    {"EFI_WRITE_PROTECTED", EFI_WRITE_PROTECTED},
    {"EFI_OUT_OF_RESOURCES", EFI_OUT_OF_RESOURCES},
    {"EFI_VOLUME_CORRUPTED", EFI_VOLUME_CORRUPTED},
    {"EFI_NOT_FOUND", EFI_NOT_FOUND},
    {"EFI_ACCESS_DENIED", EFI_ACCESS_DENIED},
    {"EFI_NO_RESPONSE", EFI_NO_RESPONSE},
    {"EFI_TIMEOUT", EFI_TIMEOUT},
    {"EFI_NOT_STARTED", EFI_NOT_STARTED},
    {"EFI_ALREADY_STARTED", EFI_ALREADY_STARTED},
    {"EFI_ABORTED", EFI_ABORTED},
    {"EFI_PROTOCOL_ERROR", EFI_PROTOCOL_ERROR},
    {"EFI_CRC_ERROR", EFI_CRC_ERROR},
    {"EFI_WARN_BUFFER_TOO_SMALL", EFI_WARN_BUFFER_TOO_SMALL},
    {"EFI_WARN_STALE_DATA", EFI_WARN_STALE_DATA},
};
}  // namespace

std::optional<EFI_STATUS> StatusFromName(std::string_view name) {
  for (const auto& [text, status] : kStatuses)
    if (text == name) return status;
  return std::nullopt;
}

}  // namespace boardboot

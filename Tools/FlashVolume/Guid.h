// A GUID as the 16 bytes that lie in a flash volume (the UEFI layout: UINT32,
// UINT16, UINT16 little-endian, then 8 bytes), and its registry text form.
#pragma once

#include <array>
#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace flash {

struct Guid {
  std::array<std::uint8_t, 16> bytes{};

  // "8C8CE578-8A3D-4F1C-9935-896185C32DD3" (either case); nullopt when malformed.
  [[nodiscard]] static std::optional<Guid> Parse(std::string_view text);
  // Upper case, as the text form above.
  [[nodiscard]] std::string ToString() const;

  friend auto operator<=>(const Guid&, const Guid&) = default;
};

}  // namespace flash

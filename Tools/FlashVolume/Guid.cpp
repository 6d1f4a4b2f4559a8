#include "Guid.h"

#include <cstdio>

namespace flash {
namespace {

// Text position of each byte's two digits, in the order the bytes lie in memory.
constexpr std::array<std::size_t, 16> kDigitPosition = {6, 4, 2, 0, 11, 9, 16, 14, 19, 21, 24, 26, 28, 30, 32, 34};

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::optional<Guid> Guid::Parse(std::string_view text) {
  if (text.size() != 36) return std::nullopt;
  for (std::size_t dash : {8u, 13u, 18u, 23u})
    if (text[dash] != '-') return std::nullopt;
  Guid guid;
  for (std::size_t i = 0; i < 16; ++i) {
    int high = HexDigit(text[kDigitPosition[i]]);
    int low = HexDigit(text[kDigitPosition[i] + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    guid.bytes[i] = static_cast<std::uint8_t>(high << 4 | low);
  }
  return guid;
}

std::string Guid::ToString() const {
  std::string text(36, '-');
  for (std::size_t i = 0; i < 16; ++i) {
    char digits[3];
    std::snprintf(digits, sizeof digits, "%02X", bytes[i]);
    text[kDigitPosition[i]] = digits[0];
    text[kDigitPosition[i] + 1] = digits[1];
  }
  return text;
}

}  // namespace flash

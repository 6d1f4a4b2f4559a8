#include "GuidText.h"

#include <cstdio>
#include <cstring>

namespace board {

std::string GuidToString(const EFI_GUID& g) {
  char text[37];
  std::snprintf(text, sizeof text, "%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X", g.Data1, g.Data2, g.Data3,
                g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
  return text;
}

namespace {
std::optional<unsigned long long> Hex(std::string_view digits) {
  if (digits.empty()) return std::nullopt;
  unsigned long long value = 0;
  for (char c : digits) {
    int d;
    if (c >= '0' && c <= '9') d = c - '0';
    else if (c >= 'a' && c <= 'f') d = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F') d = c - 'A' + 10;
    else return std::nullopt;
    value = value * 16 + static_cast<unsigned>(d);
  }
  return value;
}
}  // namespace

std::optional<EFI_GUID> ParseGuid(std::string_view text) {
  if (text.size() == 38 && text.front() == '{' && text.back() == '}') text = text.substr(1, 36);
  if (text.size() != 36 || text[8] != '-' || text[13] != '-' || text[18] != '-' || text[23] != '-') return std::nullopt;
  auto d1 = Hex(text.substr(0, 8)), d2 = Hex(text.substr(9, 4)), d3 = Hex(text.substr(14, 4));
  if (!d1 || !d2 || !d3) return std::nullopt;
  EFI_GUID guid{static_cast<UINT32>(*d1), static_cast<UINT16>(*d2), static_cast<UINT16>(*d3), {}};
  std::string tail = std::string(text.substr(19, 4)) + std::string(text.substr(24, 12));
  for (size_t i = 0; i < 8; ++i) {
    auto byte = Hex(std::string_view(tail).substr(i * 2, 2));
    if (!byte) return std::nullopt;
    guid.Data4[i] = static_cast<UINT8>(*byte);
  }
  return guid;
}

bool SameGuid(const EFI_GUID& a, const EFI_GUID& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

bool GuidLess::operator()(const EFI_GUID& a, const EFI_GUID& b) const { return std::memcmp(&a, &b, sizeof a) < 0; }

}  // namespace board

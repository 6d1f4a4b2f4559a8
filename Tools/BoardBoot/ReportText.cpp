#include "ReportText.h"

#include <cstdio>

namespace boardboot {

std::string Hex(uint64_t value, int digits) {
  char text[32];
  std::snprintf(text, sizeof text, "0x%0*llx", digits, static_cast<unsigned long long>(value));
  return text;
}

std::string Bytes(const std::vector<uint8_t>& bytes) {
  std::string text;
  char byte[4];
  for (uint8_t b : bytes) {
    std::snprintf(byte, sizeof byte, "%02x", b);
    if (!text.empty()) text += ' ';
    text += byte;
  }
  return text;
}

}  // namespace boardboot

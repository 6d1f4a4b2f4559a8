// The report's small number and byte formats, shared by its sections.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace boardboot {

// "0x" and lowercase hex digits, zero-padded to at least `digits`.
std::string Hex(uint64_t value, int digits = 0);

// Each byte as two lowercase hex digits, separated by spaces.
std::string Bytes(const std::vector<uint8_t>& bytes);

}  // namespace boardboot

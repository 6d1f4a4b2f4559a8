#include "GuestArguments.h"

namespace board::emulator {

int32_t GuestArguments::NextInt() {
  const uint32_t value = cpu_.Read32(next_);
  next_ += 4;
  return static_cast<int32_t>(value);
}

int64_t GuestArguments::NextInt64() {
  uint64_t value = 0;
  cpu_.Read(next_, &value, sizeof value);
  next_ += 8;
  return static_cast<int64_t>(value);
}

uint64_t GuestArguments::NextUintn() {
  const uint32_t value = cpu_.Read32(next_);
  next_ += 4;
  return value;
}

std::string GuestArguments::ReadAscii(uint64_t address, std::size_t maxChars) {
  return ReadGuestString<char>(cpu_, static_cast<uint32_t>(address), maxChars);
}

std::u16string GuestArguments::ReadUcs2(uint64_t address, std::size_t maxChars) {
  return ReadGuestString<char16_t>(cpu_, static_cast<uint32_t>(address), maxChars);
}

std::array<uint8_t, 16> GuestArguments::ReadGuid(uint64_t address) {
  std::array<uint8_t, 16> guid{};
  cpu_.Read(static_cast<uint32_t>(address), guid.data(), guid.size());
  return guid;
}

}  // namespace board::emulator

// A debug message's arguments as IA32 code passes them: a VA_LIST that is
// the guest address of the first argument, each slot 4 bytes (8 for a
// UINT64), strings and GUIDs in guest memory.
#pragma once

#include "Board/PrintFormat.h"
#include "EmulatedCpu.h"

namespace board::emulator {

class GuestArguments final : public ArgumentReader {
 public:
  GuestArguments(EmulatedCpu& cpu, uint32_t marker) : cpu_(cpu), next_(marker) {}

  int32_t NextInt() override;
  int64_t NextInt64() override;
  uint64_t NextUintn() override;
  unsigned UintnBits() const override { return 32; }
  std::string ReadAscii(uint64_t address, std::size_t maxChars) override;
  std::u16string ReadUcs2(uint64_t address, std::size_t maxChars) override;
  std::array<uint8_t, 16> ReadGuid(uint64_t address) override;

 private:
  EmulatedCpu& cpu_;
  uint32_t next_;
};

// The NUL-terminated string of CharT at address, at most maxChars long.
template <typename CharT>
std::basic_string<CharT> ReadGuestString(EmulatedCpu& cpu, uint32_t address, std::size_t maxChars) {
  std::basic_string<CharT> text;
  for (; text.size() < maxChars; address += sizeof(CharT)) {
    CharT c;
    cpu.Read(address, &c, sizeof c);
    if (c == 0) break;
    text.push_back(c);
  }
  return text;
}

}  // namespace board::emulator

#include "PrintFormat.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <utility>

#include "Library/PrintLibFormatLib/PrintLibFormatCore.h"

namespace board {

// ---- VaListArgumentReader ---------------------------------------------------

VaListArgumentReader::VaListArgumentReader(va_list args) { va_copy(args_, args); }

VaListArgumentReader::~VaListArgumentReader() { va_end(args_); }

int32_t VaListArgumentReader::NextInt() { return va_arg(args_, int); }

int64_t VaListArgumentReader::NextInt64() { return va_arg(args_, int64_t); }

uint64_t VaListArgumentReader::NextUintn() { return va_arg(args_, uintptr_t); }

namespace {
template <typename Char>
std::basic_string<Char> ReadHostString(uint64_t address, std::size_t maxChars) {
  const Char* text = reinterpret_cast<const Char*>(static_cast<uintptr_t>(address));
  std::basic_string<Char> result;
  for (std::size_t i = 0; i < maxChars && text[i] != 0; ++i) result += text[i];
  return result;
}
}  // namespace

std::string VaListArgumentReader::ReadAscii(uint64_t address, std::size_t maxChars) {
  return ReadHostString<char>(address, maxChars);
}

std::u16string VaListArgumentReader::ReadUcs2(uint64_t address, std::size_t maxChars) {
  return ReadHostString<char16_t>(address, maxChars);
}

std::array<uint8_t, 16> VaListArgumentReader::ReadGuid(uint64_t address) {
  std::array<uint8_t, 16> bytes;
  std::memcpy(bytes.data(), reinterpret_cast<const void*>(static_cast<uintptr_t>(address)), bytes.size());
  return bytes;
}

// ---- Formatter ----------------------------------------------------------------
// The project's one formatter (Library/PrintLibFormatLib/PrintLibFormatCore.h),
// its arguments and strings read through the ArgumentReader.

namespace {

class ReaderArgs {
 public:
  explicit ReaderArgs(ArgumentReader& reader) : reader_(reader) {}
  INT32 NextInt() { return reader_.NextInt(); }
  INT64 NextInt64() { return reader_.NextInt64(); }
  UINT64 NextUintn() { return reader_.NextUintn(); }
  UINTN UintnBits() const { return reader_.UintnBits(); }
  CHAR8 AsciiAt(UINT64 address, UINTN index) {
    const std::string c = reader_.ReadAscii(address + index, 1);
    return c.empty() ? '\0' : c[0];
  }
  UINT16 Ucs2At(UINT64 address, UINTN index) {
    const std::u16string c = reader_.ReadUcs2(address + 2 * index, 1);
    return c.empty() ? 0 : c[0];
  }
  UINT8 ByteAt(UINT64 address, UINTN index) {
    if (index == 0 || address != guidAddress_) {
      guid_ = reader_.ReadGuid(address);
      guidAddress_ = address;
    }
    return guid_[index];
  }

 private:
  ArgumentReader& reader_;
  std::array<uint8_t, 16> guid_{};
  UINT64 guidAddress_ = 0;
};

struct StringSink {
  std::string text;
  void Put(CHAR8 c) { text += c; }
};

}  // namespace

std::string FormatPrintLib(std::string_view format, ArgumentReader& args) {
  ReaderArgs reader(args);
  StringSink out;
  print_lib_format::Format(out, format.data(), format.data() + format.size(), reader);
  return out.text;
}

// ---- %r -----------------------------------------------------------------------

std::string StatusName(uint64_t status, unsigned uintnBits) {
  if (uintnBits != 32 && uintnBits != 64) throw std::invalid_argument("UINTN must have 32 or 64 bits");
  if (const char* name = print_lib_format::StatusText(status, uintnBits)) return name;
  // The fallback is "%08X" of the status; %X without 'l' reads an int, so on
  // X64 only the low 32 bits (without the error bit) are printed.
  char hex[9];
  std::snprintf(hex, sizeof hex, "%08x", static_cast<unsigned>(status & 0xffffffff));
  return hex;
}

}  // namespace board

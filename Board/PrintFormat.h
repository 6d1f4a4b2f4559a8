// The debug console's formatter: EDK2 BasePrintLib's ASCII format syntax
// (%d %u %x %X %p %a %s %S %c %g %r %%, flags "-+ 0,lL", width, '*',
// .precision), printing hex digits in lower case. Arguments are read through
// an ArgumentReader, so one formatter serves a host va_list and an IA32
// argument list held in guest memory alike. The formatting is the project's
// one formatter, Library/PrintLibFormatLib/PrintLibFormatCore.h, which the
// debug service companion PEIM runs as firmware.
#pragma once

#include <array>
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace board {

class ArgumentReader {
 public:
  // No string argument is read past this many characters, so a corrupt
  // pointer cannot run away; widths and precisions are capped to it too.
  static constexpr std::size_t kMaxStringChars = 4096;

  virtual ~ArgumentReader() = default;

  virtual int32_t NextInt() = 0;           // a C int: %d %u %x %X without l/L
  virtual int64_t NextInt64() = 0;         // INT64 or UINT64: %d %u %x %X with l/L
  virtual uint64_t NextUintn() = 0;        // UINTN or a pointer, zero-extended: %p %r %c %a %s %g and '*'
  virtual unsigned UintnBits() const = 0;  // 32 (IA32) or 64 (X64)

  // The characters at address up to (not including) the first NUL, at most maxChars of them.
  virtual std::string ReadAscii(uint64_t address, std::size_t maxChars) = 0;
  virtual std::u16string ReadUcs2(uint64_t address, std::size_t maxChars) = 0;
  virtual std::array<uint8_t, 16> ReadGuid(uint64_t address) = 0;
};

// Arguments of an x86-64 host va_list; pointers are host addresses. The
// reader works on its own copy, so the caller's va_list is left untouched.
class VaListArgumentReader final : public ArgumentReader {
 public:
  explicit VaListArgumentReader(va_list args);
  ~VaListArgumentReader() override;
  VaListArgumentReader(const VaListArgumentReader&) = delete;
  VaListArgumentReader& operator=(const VaListArgumentReader&) = delete;

  int32_t NextInt() override;
  int64_t NextInt64() override;
  uint64_t NextUintn() override;
  unsigned UintnBits() const override { return 64; }
  std::string ReadAscii(uint64_t address, std::size_t maxChars) override;
  std::u16string ReadUcs2(uint64_t address, std::size_t maxChars) override;
  std::array<uint8_t, 16> ReadGuid(uint64_t address) override;

 private:
  va_list args_;
};

// The text format prints with args; '\n' stays '\n' (the serial line's "\r\n"
// is made elsewhere). Formatting stops at an embedded NUL.
std::string FormatPrintLib(std::string_view format, ArgumentReader& args);

// What %r prints for status on a CPU whose UINTN has uintnBits (32 or 64) bits.
std::string StatusName(uint64_t status, unsigned uintnBits);

}  // namespace board

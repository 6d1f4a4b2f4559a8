#include "PrintFormat.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdarg>
#include <cstdint>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#ifndef PRINTLIB_ORACLE_TSV
#error "PRINTLIB_ORACLE_TSV must name printlib-status-names.tsv"
#endif

namespace {

using board::ArgumentReader;
using board::FormatPrintLib;
using board::StatusName;
using board::VaListArgumentReader;

// ---- X64: a real host va_list ---------------------------------------------------

std::string FormatV(const char* format, va_list args) {
  VaListArgumentReader reader(args);
  return FormatPrintLib(format, reader);
}

std::string Format(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string text = FormatV(format, args);
  va_end(args);
  return text;
}

struct Example {
  std::string format;
  std::string printed;
  std::string expected;
};

// One table row: format is printed with the trailing arguments.
Example Row(const char* format, const char* expected, ...) {
  va_list args;
  va_start(args, expected);
  Example row{format, FormatV(format, args), expected};
  va_end(args);
  return row;
}

void ExpectAll(const std::vector<Example>& rows) {
  for (const Example& row : rows) EXPECT_EQ(row.printed, row.expected) << "format \"" << row.format << '"';
}

void* Pointer(uintptr_t address) { return reinterpret_cast<void*>(address); }

constexpr uint64_t kX64NotFound = 0x800000000000000E;
// 8C8CE578-8A3D-4F1C-9935-896185C32DD3 as it lies in memory.
constexpr uint8_t kGuidBytes[16] = {0x78, 0xE5, 0x8C, 0x8C, 0x3D, 0x8A, 0x1C, 0x4F,
                                    0x99, 0x35, 0x89, 0x61, 0x85, 0xC3, 0x2D, 0xD3};
constexpr const char* kGuidText = "8c8ce578-8a3d-4f1c-9935-896185c32dd3";

// ---- IA32: 32-bit stack slots and a small guest memory ------------------------------

class Ia32Arguments final : public ArgumentReader {
 public:
  explicit Ia32Arguments(std::vector<uint32_t> slots) : slots_(std::move(slots)) {}

  void Map(uint32_t address, std::vector<uint8_t> bytes) { memory_[address] = std::move(bytes); }
  std::size_t Remaining() const { return slots_.size() - next_; }

  int32_t NextInt() override { return static_cast<int32_t>(Pop()); }
  int64_t NextInt64() override {
    const uint64_t low = Pop();
    return static_cast<int64_t>(uint64_t{Pop()} << 32 | low);
  }
  uint64_t NextUintn() override { return Pop(); }
  unsigned UintnBits() const override { return 32; }

  std::string ReadAscii(uint64_t address, std::size_t maxChars) override {
    std::string text;
    for (std::size_t i = 0; i < maxChars && Byte(address + i) != 0; ++i) text += static_cast<char>(Byte(address + i));
    return text;
  }
  std::u16string ReadUcs2(uint64_t address, std::size_t maxChars) override {
    std::u16string text;
    for (std::size_t i = 0; i < maxChars; ++i) {
      const auto c = static_cast<char16_t>(Byte(address + 2 * i) | Byte(address + 2 * i + 1) << 8);
      if (c == 0) break;
      text += c;
    }
    return text;
  }
  std::array<uint8_t, 16> ReadGuid(uint64_t address) override {
    std::array<uint8_t, 16> bytes;
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = Byte(address + i);
    return bytes;
  }

 private:
  uint32_t Pop() {
    if (next_ == slots_.size()) throw std::out_of_range("read past the last argument");
    return slots_[next_++];
  }
  // Reading outside the mapped bytes is a fault of the formatter under test.
  uint8_t Byte(uint64_t address) const {
    auto region = memory_.upper_bound(address);
    if (region != memory_.begin()) {
      --region;
      if (address - region->first < region->second.size()) return region->second[address - region->first];
    }
    throw std::out_of_range("read of unmapped guest memory");
  }

  std::vector<uint32_t> slots_;
  std::size_t next_ = 0;
  std::map<uint64_t, std::vector<uint8_t>> memory_;
};

constexpr uint32_t kGuestAscii = 0x1000;  // "abc"
constexpr uint32_t kGuestUcs2 = 0x2000;   // u"wide"
constexpr uint32_t kGuestGuid = 0x3000;

Ia32Arguments GuestWithStrings(std::vector<uint32_t> slots) {
  Ia32Arguments args(std::move(slots));
  args.Map(kGuestAscii, {'a', 'b', 'c', 0});
  args.Map(kGuestUcs2, {'w', 0, 'i', 0, 'd', 0, 'e', 0, 0, 0});
  args.Map(kGuestGuid, std::vector<uint8_t>(std::begin(kGuidBytes), std::end(kGuidBytes)));
  return args;
}

struct Ia32Example {
  const char* format;
  std::vector<uint32_t> slots;
  const char* expected;
  std::size_t unread = 0;  // slots pushed by the caller that the format does not ask for
};

// Each row must also consume exactly its slots: IA32 argument sizes shift every later argument.
void ExpectAllIa32(const std::vector<Ia32Example>& rows) {
  for (const Ia32Example& row : rows) {
    Ia32Arguments args = GuestWithStrings(row.slots);
    EXPECT_EQ(FormatPrintLib(row.format, args), row.expected) << "IA32 format \"" << row.format << '"';
    EXPECT_EQ(args.Remaining(), row.unread) << "IA32 format \"" << row.format << "\" read the wrong slots";
  }
}

// ---- The oracle's %r table -----------------------------------------------------------

struct StatusRow {
  std::string name;
  uint64_t ia32Value;
  std::string ia32Printed;
  uint64_t x64Value;
  std::string x64Printed;
};

std::string Lowercase(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text;
}

std::vector<StatusRow> ReadStatusRows() {
  std::ifstream file(PRINTLIB_ORACLE_TSV);
  if (!file) throw std::runtime_error("cannot open " PRINTLIB_ORACLE_TSV);
  std::vector<StatusRow> rows;
  std::string line;
  while (std::getline(file, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::vector<std::string> fields;
    std::istringstream columns(line);
    for (std::string field; std::getline(columns, field, '\t');) fields.push_back(field);
    if (fields.size() != 6 || fields[0] == "name") continue;  // the header and the format-piece rows
    // The board prints the "%08X" fallback in lower case.
    const bool hexText = fields[5].starts_with("fallback");
    rows.push_back({fields[0], std::stoull(fields[1], nullptr, 16), hexText ? Lowercase(fields[2]) : fields[2],
                    std::stoull(fields[3], nullptr, 16), hexText ? Lowercase(fields[4]) : fields[4]});
  }
  return rows;
}

TEST(PrintFormatStatus, EveryOracleStatusPrintsItsTextOnBothArchitectures) {
  const std::vector<StatusRow> rows = ReadStatusRows();
  ASSERT_FALSE(rows.empty());
  for (const StatusRow& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(StatusName(row.ia32Value, 32), row.ia32Printed);
    EXPECT_EQ(StatusName(row.x64Value, 64), row.x64Printed);

    EXPECT_EQ(Format("%r", row.x64Value), row.x64Printed);
    Ia32Arguments ia32({static_cast<uint32_t>(row.ia32Value)});
    EXPECT_EQ(FormatPrintLib("%r", ia32), row.ia32Printed);
  }
}

TEST(PrintFormatStatus, PadsWithSpacesOnly) {
  ExpectAll({
      Row("[%20r]", "[           Not Found]", kX64NotFound),
      Row("[%-20r]", "[Not Found           ]", kX64NotFound),
      Row("[%020r]", "[           Not Found]", kX64NotFound),
      Row("[%.3r]", "[Not]", kX64NotFound),
  });
}

TEST(PrintFormatStatus, ReadsOnlyTheUintnBits) {
  EXPECT_EQ(StatusName(0xFFFFFFFF8000000E, 32), "Not Found");
  EXPECT_EQ(StatusName(0xFFFFFFFF8000000E, 64), "8000000e");
  EXPECT_THROW(StatusName(0, 16), std::invalid_argument);
}

// ---- Numbers --------------------------------------------------------------------------

TEST(PrintFormatNumbers, Decimal) {
  ExpectAll({
      Row("%d", "42", 42),
      Row("%d", "-42", -42),
      Row("%d", "-1", -1),
      Row("[%5d]", "[   42]", 42),
      Row("[%-5d]", "[42   ]", 42),
      Row("[%05d]", "[00042]", 42),
      Row("[%05d]", "[-0042]", -42),
      Row("[%.3d]", "[007]", 7),
      Row("[%.3d]", "[-007]", -7),
      Row("[%5.3d]", "[  007]", 7),
      Row("[%-5.3d]", "[007  ]", 7),
      Row("[%08.3d]", "[     007]", 7),
      Row("[%-05d]", "[42   ]", 42),
      Row("%+d", "+42", 42),
      Row("%+d", "-42", -42),
      Row("% d", "-42", -42),
      Row("[% d]", "[ 42]", 42),
      Row("[% 05d]", "[ 0042]", 42),
      Row("[%.0d]", "[]", 0),
      Row("%,d", "1,234,567", 1234567),
      Row("%,d", "-1,000", -1000),
      Row("%,d", "999", 999),
      Row("[%,08d]", "[   1,234]", 1234),
      Row("[%,.6d]", "[1,234]", 1234),
      Row("%u", "4294967295", 0xFFFFFFFFu),
      Row("%u", "4294967295", -1),
      Row("%+u", "42", 42),
      Row("%ld", "-5", int64_t{-5}),
      Row("%Ld", "-9223372036854775808", INT64_MIN),
      Row("%lu", "18446744073709551615", UINT64_MAX),
      Row("%,ld", "-12,345,678,901", int64_t{-12345678901}),
  });
}

TEST(PrintFormatNumbers, HexadecimalIsLowercase) {
  ExpectAll({
      Row("%x", "abc", 0xabc),
      Row("%x", "0", 0),
      Row("%x", "deadbeef", 0xDEADBEEF),
      Row("%x", "ffffffff", -1),
      Row("[%8x]", "[     abc]", 0xabc),
      Row("[%2x]", "[12345]", 0x12345),
      Row("[%08x]", "[00000abc]", 0xabc),
      Row("[%-08x]", "[abc     ]", 0xabc),
      Row("[%.4x]", "[0abc]", 0xabc),
      Row("%+x", "+abc", 0xabc),
      Row("[%,08x]", "[00000abc]", 0xabc),
      Row("%,x", "abcdef", 0xabcdef),
      Row("%X", "abc", 0xabc),
      Row("[%8X]", "[00000abc]", 0xabc),
      Row("[%-8X]", "[abc     ]", 0xabc),
      Row("%02x", "05", 5),
      Row("%02x", "ab", 0xab),
      Row("%02x", "1ab", 0x1ab),
      Row("%02X", "05", 5),
      Row("%lx", "123456789", uint64_t{0x123456789}),
      Row("%Lx", "123456789", uint64_t{0x123456789}),
      Row("%lx", "ffffffff00000001", uint64_t{0xFFFFFFFF00000001}),
      Row("%lX", "abc", uint64_t{0xabc}),
      Row("[%016lx]", "[0000000000000abc]", uint64_t{0xabc}),
  });
}

TEST(PrintFormatNumbers, PointerOnX64) {
  ExpectAll({
      Row("%p", "1000", Pointer(0x1000)),
      Row("%p", "ffe1a000", Pointer(0xFFE1A000)),
      Row("%p", "123456789abc", Pointer(0x123456789abc)),
      Row("%p", "0", Pointer(0)),
      Row("[%8p]", "[00001000]", Pointer(0x1000)),
      Row("[%-8p]", "[1000    ]", Pointer(0x1000)),
      Row("0x%11p", "0x000ffe1a000", Pointer(0xFFE1A000)),
      Row("[%+ p]", "[1000]", Pointer(0x1000)),
      Row("%lp|%d", "1000|7", Pointer(0x1000), 7),
  });
}

TEST(PrintFormatNumbers, WidthAndPrecisionFromArguments) {
  ExpectAll({
      Row("[%*d]", "[    42]", uintptr_t{6}, 42),
      Row("[%-*d]", "[42    ]", uintptr_t{6}, 42),
      Row("[%.*d]", "[00042]", uintptr_t{5}, 42),
      Row("[%*.*a]", "[    ab]", uintptr_t{6}, uintptr_t{2}, "abcdef"),
  });
}

// Without l/L the conversion reads an int, so a 64-bit argument loses its top
// half on X64 and, on IA32, hands it to the next conversion.
TEST(PrintFormatNumbers, ArgumentSizesFollowTheLongFlagOnBothArchitectures) {
  ExpectAll({
      Row("%x|%x", "2|7", uint64_t{0x100000002}, 7),
      Row("%lx|%x", "5|7", uintptr_t{5}, 7, 9),
  });
  ExpectAllIa32({
      {"%x|%x", {2, 1, 7}, "2|1", 1},
      {"%lx|%x", {5, 7, 9}, "700000005|9"},
      {"%lx", {0x23456789, 0x1}, "123456789"},
      {"%ld", {0xFFFFFFFB, 0xFFFFFFFF}, "-5"},
      {"%d|%u", {0xFFFFFFD6, 0xFFFFFFFF}, "-42|4294967295"},
      {"%p|%x", {0xFFE1A000, 7}, "ffe1a000|7"},
      {"%lp|%x", {0x1000, 7}, "1000|7"},
      {"[%8p]", {0x1000}, "[00001000]"},
      {"%p", {0}, "0"},
      {"[%*d]", {6, 42}, "[    42]"},
      {"%c%c", {'O', 'K'}, "OK"},
  });
}

// ---- Text ------------------------------------------------------------------------------

TEST(PrintFormatText, Strings) {
  ExpectAll({
      Row("%a", "hello", "hello"),
      Row("[%a]", "[<null string>]", static_cast<const char*>(nullptr)),
      Row("[%8a]", "[     abc]", "abc"),
      Row("[%-8a]", "[abc     ]", "abc"),
      Row("[%08a]", "[     abc]", "abc"),
      Row("[%.2a]", "[ab]", "abcdef"),
      Row("[%.5a]", "[   ab]", "ab"),
      Row("[%2a]", "[abcdef]", "abcdef"),
      Row("[%a]", "[]", ""),
      Row("[%.3a]", "[<nu]", static_cast<const char*>(nullptr)),
      Row("%s", "wide", u"wide"),
      Row("%S", "wide", u"wide"),
      Row("[%6s]", "[  wide]", u"wide"),
      Row("[%-6.2s]", "[wi    ]", u"wide"),
      Row("[%s]", "[<null string>]", static_cast<const char16_t*>(nullptr)),
  });
}

TEST(PrintFormatText, CharactersGuidsAndLiterals) {
  ExpectAll({
      Row("%c", "A", uintptr_t{'A'}),
      Row("[%3c]", "[  A]", uintptr_t{'A'}),
      Row("%c", "A", uintptr_t{0x10041}),      // the low 16 bits, then their low byte
      Row("[%c]", "[ ]", uintptr_t{0x10000}),  // a NUL prints nothing but keeps the one-character field
      Row("%g", kGuidText, kGuidBytes),
      Row("[%38g]", "[  8c8ce578-8a3d-4f1c-9935-896185c32dd3]", kGuidBytes),
      Row("[%.8g]", "[8c8ce578]", kGuidBytes),
      Row("%g", "<null guid>", Pointer(0)),
      Row("100%%", "100%"),
      Row("[%3%]", "[  %]"),
      Row("%q", "q"),
      Row("[%-3q]", "[q  ]"),
      Row("a\nb\r\n", "a\nb\r\n"),
      Row("abc%", "abc"),
      Row("[%4", "[    "),
  });
}

TEST(PrintFormatText, StopsAtAnEmbeddedNul) {
  Ia32Arguments args({5, 6});
  EXPECT_EQ(FormatPrintLib(std::string_view("a%d\0%d", 6), args), "a5");
  EXPECT_EQ(args.Remaining(), 1u);
}

TEST(PrintFormatText, GuestPointersOnIa32) {
  ExpectAllIa32({
      {"%a", {kGuestAscii}, "abc"},
      {"[%-5s]", {kGuestUcs2}, "[wide ]"},
      {"%g", {kGuestGuid}, kGuidText},
      {"%a|%s|%g", {0, 0, 0}, "<null string>|<null string>|<null guid>"},
  });
}

TEST(PrintFormatText, StringReadsStopAtTheCharacterLimit) {
  constexpr std::size_t kLimit = ArgumentReader::kMaxStringChars;
  const std::vector<uint8_t> unterminated(2 * kLimit + 100, 'x');  // enough for CHAR16 too
  std::vector<char> hostUnterminated(kLimit + 100, 'x');

  EXPECT_EQ(Format("%a", hostUnterminated.data()), std::string(kLimit, 'x'));

  Ia32Arguments guest({0x4000, 0x4000, 0x8000});
  guest.Map(0x4000, unterminated);
  guest.Map(0x8000, {'a', 'b', 'c'});
  EXPECT_EQ(FormatPrintLib("%a", guest), std::string(kLimit, 'x'));
  EXPECT_EQ(FormatPrintLib("%s", guest), std::string(kLimit, 'x'));
  EXPECT_EQ(FormatPrintLib("%.3a", guest), "abc");  // reads no byte past the precision
}

// The reader copies the va_list, so the caller can hand the same list on again.
std::pair<std::string, std::string> FormatTwice(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::pair<std::string, std::string> texts{FormatV(format, args), FormatV(format, args)};
  va_end(args);
  return texts;
}

TEST(PrintFormatVaList, LeavesTheCallersListUnread) {
  const auto [first, second] = FormatTwice("%d %a %lx", 42, "x", uint64_t{0x123456789});
  EXPECT_EQ(first, "42 x 123456789");
  EXPECT_EQ(second, first);
}

}  // namespace

// The freestanding formatter against the board console's: the same text for
// every conversion, flag and edge the console is tested with.
#include <Library/PrintLibFormatLib.h>

#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdint>
#include <string>

#include "Board/PrintFormat.h"

namespace {

VOID EFIAPI Append(VOID* context, CHAR8 c) { static_cast<std::string*>(context)->push_back(c); }

struct Printed {
  std::string ours, board;
  UINTN count = 0;
};

Printed Both(const char* format, ...) {
  Printed printed;
  va_list args;
  va_start(args, format);
  printed.count = PrintLibFormat(Append, &printed.ours, format, args);
  board::VaListArgumentReader reader(args);
  printed.board = board::FormatPrintLib(format, reader);
  va_end(args);
  return printed;
}

TEST(PrintLibFormat, PrintsWhatTheBoardConsolePrints) {
  static const char16_t wide[] = u"Setup";
  static const std::uint8_t guid[16] = {0x36, 0x29, 0x23, 0x36, 0x76, 0x0e, 0xc8, 0x31,
                                        0xa1, 0x3a, 0x3a, 0xf2, 0xfc, 0x1c, 0x39, 0x32};
  const std::int64_t big = -9876543210123LL;
  const Printed rows[] = {
      Both("plain text\n"),
      Both("%d %d %u %x %X", 42, -42, 4000000000u, 0xBEEFu, 0xBEEFu),
      Both("[%5d] [%-5d] [%05d] [%+d] [% d] [%.3d] [%08.3d]", 7, 7, -7, 7, 7, 7, 7),
      Both("%ld %lu %lx %LX %,ld", big, static_cast<std::uint64_t>(big), big, big, big),
      Both("%,d %,u %,x", 1234567, 1000u, 0x1234u),
      Both("%p %8X %016lx", reinterpret_cast<void*>(0x40000050), 0x3u, 0x7E000050ULL),
      Both("%a|%10a|%-10a|%.3a|%s|%S", "TraceGate", "ab", "ab", "abcdef", wide, wide),
      Both("%a %s %g", static_cast<const char*>(nullptr), static_cast<const char16_t*>(nullptr),
           static_cast<const void*>(nullptr)),
      Both("%g", guid),
      Both("%c%c%3c|", static_cast<UINTN>('O'), static_cast<UINTN>('K'), static_cast<UINTN>(0)),
      Both("%r %r %r %r", static_cast<UINTN>(0), static_cast<UINTN>(MAX_BIT | 14), static_cast<UINTN>(MAX_BIT | 99),
           static_cast<UINTN>(5)),
      Both("%*d|%-*d|%.*a|", 6, 1, 6, 1, 2, "xyz"),
      Both("100%% %q %"),
      Both("%d", 0), Both("%.0d|%.0x|", 0, 0),
      Both("%llx %lld", 0xFFFFFFFFFFFFFFFFULL, static_cast<long long>(INT64_MIN)),
  };
  for (const Printed& row : rows) {
    EXPECT_EQ(row.ours, row.board);
    EXPECT_EQ(row.count, row.ours.size());
  }
  EXPECT_EQ(rows[1].ours, "42 -42 4000000000 beef beef");
  EXPECT_EQ(rows[3].ours.substr(0, 15), "-9876543210123 ");
}

TEST(PrintLibFormat, StringsStopAtTheirBoundEvenWithoutATerminator) {
  std::string unterminated(5000, 'x');  // no NUL within the 4096 characters read
  const Printed row = Both("%a", unterminated.c_str());
  EXPECT_EQ(row.ours.size(), 4096u);
  EXPECT_EQ(row.ours, row.board);
}

}  // namespace

#include "PrintFormat.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <utility>

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

namespace {

constexpr std::size_t kMaxField = ArgumentReader::kMaxStringChars;

// One conversion's flags, width and precision, as the parser leaves them.
struct Conversion {
  bool leftJustify = false;   // '-'
  bool sign = false;          // '+'
  bool blank = false;         // ' '
  bool zero = false;          // '0' before any '.'
  bool comma = false;         // ','
  bool longType = false;      // 'l' or 'L'
  bool padToWidth = false;    // a width was given
  bool hasPrecision = false;  // a '.' was seen
  std::size_t width = 0;
  std::size_t precision = 1;
  char type = '\0';  // '\0': the format ended inside the conversion
};

// A converted argument before width padding. The field is at least
// `precision` characters; the shortfall is filled with '0' between prefix and
// body for numbers and with ' ' in front of anything else.
struct Field {
  std::string body;
  char prefix = '\0';  // '-', '+' or ' ' of a number
  bool zeroFill = false;
  std::size_t precision = 0;
};

std::size_t Capped(uint64_t value) { return static_cast<std::size_t>(std::min<uint64_t>(value, kMaxField)); }

void SetWidthOrPrecision(Conversion& conv, uint64_t value) {
  if (conv.hasPrecision) {
    conv.precision = Capped(value);
  } else {
    conv.padToWidth = true;
    conv.width = Capped(value);
  }
}

// Parses what follows a '%' up to and including the type character.
Conversion ParseConversion(std::string_view format, std::size_t& pos, ArgumentReader& args) {
  Conversion conv;
  for (;;) {
    if (pos == format.size()) return conv;  // unfinished: conv.type stays '\0'
    const char c = format[pos++];
    switch (c) {
      case '.': conv.hasPrecision = true; break;
      case '-': conv.leftJustify = true; break;
      case '+': conv.sign = true; break;
      case ' ': conv.blank = true; break;
      case ',': conv.comma = true; break;
      case 'l':
      case 'L': conv.longType = true; break;
      case '*': SetWidthOrPrecision(conv, args.NextUintn()); break;
      default:
        if (c >= '0' && c <= '9') {
          // A leading '0' is the zero flag and also the first digit of the number.
          if (c == '0' && !conv.hasPrecision) conv.zero = true;
          uint64_t number = static_cast<uint64_t>(c - '0');
          while (pos < format.size() && format[pos] >= '0' && format[pos] <= '9') {
            number = std::min<uint64_t>(number * 10 + static_cast<uint64_t>(format[pos++] - '0'), kMaxField);
          }
          SetWidthOrPrecision(conv, number);
          break;
        }
        conv.type = c;
        return conv;
    }
  }
}

std::string Digits(uint64_t value, unsigned radix) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string reversed;
  do {
    reversed += kDigits[value % radix];
    value /= radix;
  } while (value != 0);
  return {reversed.rbegin(), reversed.rend()};
}

std::string HexPadded(uint64_t value, std::size_t minDigits) {
  std::string digits = Digits(value, 16);
  if (digits.size() < minDigits) digits.insert(0, minDigits - digits.size(), '0');
  return digits;
}

std::string GroupThousands(const std::string& digits) {
  std::string grouped;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i != 0 && (digits.size() - i) % 3 == 0) grouped += ',';
    grouped += digits[i];
  }
  return grouped;
}

struct Number {
  uint64_t magnitude = 0;
  bool negative = false;
  unsigned radix = 10;
};

// Without l/L an int is read, even on X64; u and x then take its 32 bits as unsigned.
Number ReadUnsigned(const Conversion& conv, ArgumentReader& args, unsigned radix) {
  const uint64_t value =
      conv.longType ? static_cast<uint64_t>(args.NextInt64()) : static_cast<uint32_t>(args.NextInt());
  return {value, false, radix};
}

Number ReadSigned(const Conversion& conv, ArgumentReader& args) {
  const int64_t value = conv.longType ? args.NextInt64() : args.NextInt();
  if (value >= 0) return {static_cast<uint64_t>(value), false, 10};
  return {0 - static_cast<uint64_t>(value), true, 10};
}

Field NumberField(const Conversion& conv, const Number& number) {
  Field field;
  field.zeroFill = true;
  if (conv.blank) field.prefix = ' ';
  if (conv.sign) field.prefix = '+';
  if (number.negative) field.prefix = '-';

  // ',' groups decimal digits only; it discards the '0' flag and any precision.
  const bool comma = conv.comma && number.radix == 10;
  const bool zeroFlag = conv.zero && !comma;
  std::size_t precision = comma ? 1 : conv.precision;

  if (number.magnitude != 0 || precision != 0) field.body = Digits(number.magnitude, number.radix);
  if (comma) field.body = GroupThousands(field.body);
  if (field.prefix != '\0') ++precision;
  // The '0' flag zero-fills to the width, unless '-' or an explicit precision rules.
  if (zeroFlag && !conv.leftJustify && conv.padToWidth && !conv.hasPrecision) precision = conv.width;
  field.precision = precision;
  return field;
}

// Text fields: '.N' keeps at most N characters and makes the field at least N wide.
Field TextField(const Conversion& conv, std::string text, std::size_t precision) {
  if (conv.hasPrecision && text.size() > conv.precision) text.resize(conv.precision);
  return {std::move(text), '\0', false, precision};
}

// A CHAR16 reaches the ASCII output as its low byte.
std::string Narrow(const std::u16string& text) {
  std::string narrow;
  for (char16_t c : text) narrow += static_cast<char>(c & 0xff);
  return narrow;
}

Field StringField(const Conversion& conv, ArgumentReader& args, bool wide) {
  const uint64_t address = args.NextUintn();
  const std::size_t limit = conv.hasPrecision ? conv.precision : kMaxField;
  std::string text;
  if (address == 0) text = "<null string>";
  else if (wide) text = Narrow(args.ReadUcs2(address, limit));
  else text = args.ReadAscii(address, limit);
  // A string has no minimum length unless a precision is given.
  return TextField(conv, std::move(text), conv.hasPrecision ? conv.precision : 0);
}

std::string GuidText(const std::array<uint8_t, 16>& b) {
  const uint32_t data1 = b[0] | b[1] << 8 | b[2] << 16 | static_cast<uint32_t>(b[3]) << 24;
  std::string text =
      HexPadded(data1, 8) + '-' + HexPadded(b[4] | b[5] << 8, 4) + '-' + HexPadded(b[6] | b[7] << 8, 4) + '-';
  for (std::size_t i = 8; i < 16; ++i) {
    if (i == 10) text += '-';
    text += HexPadded(b[i], 2);
  }
  return text;
}

Field GuidField(const Conversion& conv, ArgumentReader& args) {
  const uint64_t address = args.NextUintn();
  return TextField(conv, address == 0 ? "<null guid>" : GuidText(args.ReadGuid(address)), conv.precision);
}

Field CharacterField(const Conversion& conv, ArgumentReader& args) {
  const auto c = static_cast<uint16_t>(args.NextUintn());  // a UCS-2 character
  // A NUL character prints nothing, but the field keeps its one-character minimum.
  return TextField(conv, c == 0 ? std::string() : std::string(1, static_cast<char>(c & 0xff)), conv.precision);
}

Field Convert(const Conversion& conv, ArgumentReader& args) {
  Conversion number = conv;
  switch (conv.type) {
    case 'p':
      // ' ', '+', '0' and l/L do not apply to %p, but it zero-pads to a width like %X.
      number.blank = number.sign = false;
      number.zero = true;
      return NumberField(number, {args.NextUintn(), false, 16});
    case 'X':
      number.zero = true;  // %X implies the '0' flag
      return NumberField(number, ReadUnsigned(number, args, 16));
    case 'x': return NumberField(conv, ReadUnsigned(conv, args, 16));
    case 'u':
      number.sign = false;
      return NumberField(number, ReadUnsigned(number, args, 10));
    case 'd': return NumberField(conv, ReadSigned(conv, args));
    case 'a': return StringField(conv, args, false);
    case 's':
    case 'S': return StringField(conv, args, true);
    case 'c': return CharacterField(conv, args);
    case 'g': return GuidField(conv, args);
    case 'r': return TextField(conv, StatusName(args.NextUintn(), args.UintnBits()), conv.precision);
    case '\0': return {};  // an unfinished conversion prints only its width padding
    default:  // '%' and unknown types print themselves
      return TextField(conv, std::string(1, conv.type), conv.precision);
  }
}

void AppendField(std::string& out, const Conversion& conv, const Field& field) {
  const std::size_t count = field.body.size() + (field.prefix != '\0' ? 1 : 0);
  const std::size_t precision = std::max(field.precision, count);
  const std::size_t widthPad = conv.width > precision ? conv.width - precision : 0;

  if (conv.padToWidth && !conv.leftJustify) out.append(widthPad, ' ');
  if (field.zeroFill) {
    if (field.prefix != '\0') out += field.prefix;
    out.append(precision - count, '0');
  } else {
    out.append(precision - count, ' ');
    if (field.prefix != '\0') out += field.prefix;
  }
  out += field.body;
  if (conv.padToWidth && conv.leftJustify) out.append(widthPad, ' ');
}

}  // namespace

std::string FormatPrintLib(std::string_view format, ArgumentReader& args) {
  format = format.substr(0, format.find('\0'));
  std::string out;
  std::size_t pos = 0;
  while (pos < format.size()) {
    const char c = format[pos++];
    if (c != '%') {
      out += c;
      continue;
    }
    const Conversion conv = ParseConversion(format, pos, args);
    AppendField(out, conv, Convert(conv, args));
  }
  return out;
}

// ---- %r -----------------------------------------------------------------------

std::string StatusName(uint64_t status, unsigned uintnBits) {
  static constexpr std::string_view kWarnings[] = {
      "Success",                "Warning Unknown Glyph", "Warning Delete Failure", "Warning Write Failure",
      "Warning Buffer Too Small", "Warning Stale Data",  "Warning File System",    "Warning Reset Required",
  };
  static constexpr std::string_view kErrors[] = {
      "Load Error",         "Invalid Parameter", "Unsupported",         "Bad Buffer Size",     "Buffer Too Small",
      "Not Ready",          "Device Error",      "Write Protected",     "Out of Resources",    "Volume Corrupt",
      "Volume Full",        "No Media",          "Media changed",       "Not Found",           "Access Denied",
      "No Response",        "No mapping",        "Time out",            "Not started",         "Already started",
      "Aborted",            "ICMP Error",        "TFTP Error",          "Protocol Error",      "Incompatible Version",
      "Security Violation", "CRC Error",         "End of Media",        "Reserved (29)",       "Reserved (30)",
      "End of File",        "Invalid Language",  "Compromised Data",    "IP Address Conflict", "HTTP Error",
  };
  if (uintnBits != 32 && uintnBits != 64) throw std::invalid_argument("UINTN must have 32 or 64 bits");
  if (uintnBits == 32) status &= 0xffffffff;

  const uint64_t maxBit = uint64_t{1} << (uintnBits - 1);
  if ((status & maxBit) != 0) {
    const uint64_t code = status & ~maxBit;
    if (code >= 1 && code <= std::size(kErrors)) return std::string(kErrors[code - 1]);
  } else if (status < std::size(kWarnings)) {
    return std::string(kWarnings[status]);
  }
  // The fallback is "%08X" of the status; %X without 'l' reads an int, so on
  // X64 only the low 32 bits (without the error bit) are printed.
  return HexPadded(status & 0xffffffff, 8);
}

}  // namespace board

/** @file
  PrintLib's ASCII format syntax without a library underneath: no 64-bit
  division (decimal digits come from 16-bit long division), no buffer of the
  whole text, strings never read past a bounded length.
**/
#include <Library/PrintLibFormatLib.h>

namespace {

// No string is read, and no field padded, past this many characters.
constexpr UINTN kMaxField = 4096;
constexpr CHAR8 kDigits[] = "0123456789abcdef";

struct Conversion {
  BOOLEAN LeftJustify  = FALSE;  // '-'
  BOOLEAN Sign         = FALSE;  // '+'
  BOOLEAN Blank        = FALSE;  // ' '
  BOOLEAN Zero         = FALSE;  // '0' before any '.'
  BOOLEAN Comma        = FALSE;  // ','
  BOOLEAN LongType     = FALSE;  // 'l' or 'L'
  BOOLEAN PadToWidth   = FALSE;  // a width was given
  BOOLEAN HasPrecision = FALSE;  // a '.' was seen
  UINTN   Width        = 0;
  UINTN   Precision    = 1;
  CHAR8   Type         = '\0';   // '\0': the format ended inside the conversion
};

// A converted argument before padding: either text in Small, or a string
// read as it is put (Ascii or Ucs2, Length characters).
struct Field {
  CHAR8         Small[40];
  UINTN         Length    = 0;
  CONST CHAR8   *Ascii    = nullptr;
  CONST UINT16  *Ucs2     = nullptr;
  CHAR8         Prefix    = '\0';   // '-', '+' or ' ' of a number
  BOOLEAN       ZeroFill  = FALSE;
  UINTN         Precision = 0;

  CHAR8 At (UINTN Index) const
  {
    if (Ascii != nullptr) {
      return Ascii[Index];
    }
    if (Ucs2 != nullptr) {
      return (CHAR8)(Ucs2[Index] & 0xFF);  // a CHAR16 reaches ASCII output as its low byte
    }
    return Small[Index];
  }

  VOID Append (CHAR8 Character)
  {
    if (Length < sizeof (Small)) {
      Small[Length++] = Character;
    }
  }
};

class Output {
public:
  Output (PRINT_FORMAT_PUT Put, VOID *Context) : mPut (Put), mContext (Context) {}

  VOID Put (CHAR8 Character)
  {
    mPut (mContext, Character);
    ++mCount;
  }

  VOID Repeat (CHAR8 Character, UINTN Count)
  {
    for (UINTN Index = 0; Index < Count; ++Index) {
      Put (Character);
    }
  }

  UINTN Count () const { return mCount; }

private:
  PRINT_FORMAT_PUT  mPut;
  VOID              *mContext;
  UINTN             mCount = 0;
};

UINTN Min (UINTN A, UINTN B) { return A < B ? A : B; }
UINTN Max (UINTN A, UINTN B) { return A > B ? A : B; }

VOID SetWidthOrPrecision (Conversion &Conv, UINTN Value)
{
  if (Conv.HasPrecision) {
    Conv.Precision = Min (Value, kMaxField);
  } else {
    Conv.PadToWidth = TRUE;
    Conv.Width      = Min (Value, kMaxField);
  }
}

Conversion ParseConversion (CONST CHAR8 *&Format, VA_LIST *Args)
{
  Conversion Conv;
  for (;;) {
    CHAR8 C = *Format;
    if (C == '\0') {
      return Conv;
    }
    ++Format;
    switch (C) {
      case '.': Conv.HasPrecision = TRUE; break;
      case '-': Conv.LeftJustify = TRUE; break;
      case '+': Conv.Sign = TRUE; break;
      case ' ': Conv.Blank = TRUE; break;
      case ',': Conv.Comma = TRUE; break;
      case 'l':
      case 'L': Conv.LongType = TRUE; break;
      case '*': SetWidthOrPrecision (Conv, VA_ARG (*Args, UINTN)); break;
      default:
        if (C >= '0' && C <= '9') {
          // A leading '0' is the zero flag and also the first digit of the number.
          if (C == '0' && !Conv.HasPrecision) {
            Conv.Zero = TRUE;
          }
          UINTN Number = (UINTN)(C - '0');
          while (*Format >= '0' && *Format <= '9') {
            Number = Min (Number * 10 + (UINTN)(*Format++ - '0'), kMaxField);
          }
          SetWidthOrPrecision (Conv, Number);
          break;
        }
        Conv.Type = C;
        return Conv;
    }
  }
}

// Divides Value by Divisor (at most 16) in 16-bit steps; returns the remainder.
UINT32 DivideSmall (UINT64 &Value, UINT32 Divisor)
{
  UINT64 Quotient  = 0;
  UINT32 Remainder = 0;
  for (INTN Shift = 48; Shift >= 0; Shift -= 16) {
    UINT32 Part = (Remainder << 16) | (UINT32)((Value >> Shift) & 0xFFFF);
    Quotient   |= (UINT64)(Part / Divisor) << Shift;
    Remainder   = Part % Divisor;
  }
  Value = Quotient;
  return Remainder;
}

VOID AppendDigits (Field &F, UINT64 Value, UINT32 Radix, BOOLEAN Group, UINTN MinDigits)
{
  CHAR8 Reversed[32];
  UINTN Count = 0;
  do {
    Reversed[Count++] = kDigits[DivideSmall (Value, Radix)];
  } while (Value != 0 && Count < sizeof (Reversed));
  while (Count < MinDigits && Count < sizeof (Reversed)) {
    Reversed[Count++] = '0';
  }
  for (UINTN Index = Count; Index-- > 0;) {
    F.Append (Reversed[Index]);
    if (Group && Index != 0 && Index % 3 == 0) {
      F.Append (',');
    }
  }
}

VOID NumberField (Field &F, CONST Conversion &Conv, UINT64 Magnitude, BOOLEAN Negative, UINT32 Radix)
{
  F.ZeroFill = TRUE;
  if (Conv.Blank) {
    F.Prefix = ' ';
  }
  if (Conv.Sign) {
    F.Prefix = '+';
  }
  if (Negative) {
    F.Prefix = '-';
  }
  // ',' groups decimal digits only; it discards the '0' flag and any precision.
  BOOLEAN Comma     = Conv.Comma && Radix == 10;
  BOOLEAN ZeroFlag  = Conv.Zero && !Comma;
  UINTN   Precision = Comma ? 1 : Conv.Precision;
  if (Magnitude != 0 || Precision != 0) {
    AppendDigits (F, Magnitude, Radix, Comma, 0);
  }
  if (F.Prefix != '\0') {
    ++Precision;
  }
  // The '0' flag zero-fills to the width, unless '-' or an explicit precision rules.
  if (ZeroFlag && !Conv.LeftJustify && Conv.PadToWidth && !Conv.HasPrecision) {
    Precision = Conv.Width;
  }
  F.Precision = Precision;
}

// Without l/L an int is read; u and x then take its 32 bits as unsigned.
UINT64 ReadUnsigned (CONST Conversion &Conv, VA_LIST *Args)
{
  return Conv.LongType ? VA_ARG (*Args, UINT64) : (UINT64)(UINT32)VA_ARG (*Args, INT32);
}

VOID TextField (Field &F, CONST Conversion &Conv, UINTN Precision)
{
  if (Conv.HasPrecision && F.Length > Conv.Precision) {
    F.Length = Conv.Precision;
  }
  F.Precision = Precision;
}

VOID SmallText (Field &F, CONST CHAR8 *Text)
{
  while (*Text != '\0') {
    F.Append (*Text++);
  }
}

VOID StringField (Field &F, CONST Conversion &Conv, VA_LIST *Args, BOOLEAN Wide)
{
  UINTN Address = VA_ARG (*Args, UINTN);
  UINTN Limit   = Conv.HasPrecision ? Conv.Precision : kMaxField;
  if (Address == 0) {
    SmallText (F, "<null string>");
  } else if (Wide) {
    F.Ucs2 = (CONST UINT16 *)Address;
    while (F.Length < Limit && F.Ucs2[F.Length] != 0) {
      ++F.Length;
    }
  } else {
    F.Ascii = (CONST CHAR8 *)Address;
    while (F.Length < Limit && F.Ascii[F.Length] != '\0') {
      ++F.Length;
    }
  }
  // A string has no minimum length unless a precision is given.
  TextField (F, Conv, Conv.HasPrecision ? Conv.Precision : 0);
}

VOID GuidField (Field &F, CONST Conversion &Conv, VA_LIST *Args)
{
  CONST UINT8 *B = (CONST UINT8 *)VA_ARG (*Args, UINTN);
  if (B == nullptr) {
    SmallText (F, "<null guid>");
  } else {
    AppendDigits (F, B[0] | B[1] << 8 | B[2] << 16 | (UINT32)B[3] << 24, 16, FALSE, 8);
    F.Append ('-');
    AppendDigits (F, B[4] | B[5] << 8, 16, FALSE, 4);
    F.Append ('-');
    AppendDigits (F, B[6] | B[7] << 8, 16, FALSE, 4);
    F.Append ('-');
    for (UINTN Index = 8; Index < 16; ++Index) {
      if (Index == 10) {
        F.Append ('-');
      }
      AppendDigits (F, B[Index], 16, FALSE, 2);
    }
  }
  TextField (F, Conv, Conv.Precision);
}

constexpr CONST CHAR8 *kWarnings[] = {
  "Success",                  "Warning Unknown Glyph", "Warning Delete Failure", "Warning Write Failure",
  "Warning Buffer Too Small", "Warning Stale Data",    "Warning File System",    "Warning Reset Required",
};
constexpr CONST CHAR8 *kErrors[] = {
  "Load Error",         "Invalid Parameter", "Unsupported",         "Bad Buffer Size",     "Buffer Too Small",
  "Not Ready",          "Device Error",      "Write Protected",     "Out of Resources",    "Volume Corrupt",
  "Volume Full",        "No Media",          "Media changed",       "Not Found",           "Access Denied",
  "No Response",        "No mapping",        "Time out",            "Not started",         "Already started",
  "Aborted",            "ICMP Error",        "TFTP Error",          "Protocol Error",      "Incompatible Version",
  "Security Violation", "CRC Error",         "End of Media",        "Reserved (29)",       "Reserved (30)",
  "End of File",        "Invalid Language",  "Compromised Data",    "IP Address Conflict", "HTTP Error",
};

VOID StatusField (Field &F, CONST Conversion &Conv, UINTN Status)
{
  if ((Status & MAX_BIT) != 0) {
    UINTN Code = Status & ~MAX_BIT;
    if (Code >= 1 && Code <= ARRAY_SIZE (kErrors)) {
      SmallText (F, kErrors[Code - 1]);
    }
  } else if (Status < ARRAY_SIZE (kWarnings)) {
    SmallText (F, kWarnings[Status]);
  }
  if (F.Length == 0) {
    // As "%08X" of the status: %X without 'l' reads an int, so only its low 32 bits.
    AppendDigits (F, (UINT32)Status, 16, FALSE, 8);
  }
  TextField (F, Conv, Conv.Precision);
}

VOID Convert (Field &F, CONST Conversion &Conv, VA_LIST *Args)
{
  Conversion Number = Conv;
  switch (Conv.Type) {
    case 'p':
      // ' ', '+', '0' and l/L do not apply to %p, but it zero-pads to a width like %X.
      Number.Blank = Number.Sign = FALSE;
      Number.Zero  = TRUE;
      NumberField (F, Number, VA_ARG (*Args, UINTN), FALSE, 16);
      return;
    case 'X':
      Number.Zero = TRUE;  // %X implies the '0' flag
      NumberField (F, Number, ReadUnsigned (Number, Args), FALSE, 16);
      return;
    case 'x':
      NumberField (F, Conv, ReadUnsigned (Conv, Args), FALSE, 16);
      return;
    case 'u':
      Number.Sign = FALSE;
      NumberField (F, Number, ReadUnsigned (Number, Args), FALSE, 10);
      return;
    case 'd': {
      INT64 Value = Conv.LongType ? VA_ARG (*Args, INT64) : VA_ARG (*Args, INT32);
      NumberField (F, Conv, Value < 0 ? 0 - (UINT64)Value : (UINT64)Value, Value < 0, 10);
      return;
    }
    case 'a': StringField (F, Conv, Args, FALSE); return;
    case 's':
    case 'S': StringField (F, Conv, Args, TRUE); return;
    case 'c': {
      UINT16 C = (UINT16)VA_ARG (*Args, UINTN);  // a UCS-2 character
      // A NUL character prints nothing, but the field keeps its one-character minimum.
      if (C != 0) {
        F.Append ((CHAR8)(C & 0xFF));
      }
      TextField (F, Conv, Conv.Precision);
      return;
    }
    case 'g': GuidField (F, Conv, Args); return;
    case 'r': StatusField (F, Conv, VA_ARG (*Args, UINTN)); return;
    case '\0': return;  // an unfinished conversion prints only its width padding
    default:            // '%' and unknown types print themselves
      F.Append (Conv.Type);
      TextField (F, Conv, Conv.Precision);
      return;
  }
}

VOID PutField (Output &Out, CONST Conversion &Conv, CONST Field &F)
{
  UINTN Count     = F.Length + (F.Prefix != '\0' ? 1 : 0);
  UINTN Precision = Max (F.Precision, Count);
  UINTN WidthPad  = Conv.Width > Precision ? Conv.Width - Precision : 0;
  if (Conv.PadToWidth && !Conv.LeftJustify) {
    Out.Repeat (' ', WidthPad);
  }
  if (F.ZeroFill) {
    if (F.Prefix != '\0') {
      Out.Put (F.Prefix);
    }
    Out.Repeat ('0', Precision - Count);
  } else {
    Out.Repeat (' ', Precision - Count);
    if (F.Prefix != '\0') {
      Out.Put (F.Prefix);
    }
  }
  for (UINTN Index = 0; Index < F.Length; ++Index) {
    Out.Put (F.At (Index));
  }
  if (Conv.PadToWidth && Conv.LeftJustify) {
    Out.Repeat (' ', WidthPad);
  }
}

}  // namespace

UINTN EFIAPI PrintLibFormat (IN PRINT_FORMAT_PUT Put, IN VOID *Context, IN CONST CHAR8 *Format, IN VA_LIST Marker)
{
  Output  Out (Put, Context);
  VA_LIST Args;
  VA_COPY (Args, Marker);
  while (*Format != '\0') {
    CHAR8 C = *Format++;
    if (C != '%') {
      Out.Put (C);
      continue;
    }
    Conversion Conv = ParseConversion (Format, &Args);
    Field      F;
    Convert (F, Conv, &Args);
    PutField (Out, Conv, F);
  }
  VA_END (Args);
  return Out.Count ();
}

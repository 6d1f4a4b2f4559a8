/** @file
  The one PrintLib formatter (ASCII output) of this project, shared by the
  debug service on real platforms and the simulated board's console.

  Freestanding: no library underneath, no 64-bit division (decimal digits
  come from 16-bit long division), no buffer of the whole text. Where the
  arguments come from is the Args type's business:
    INT32  NextInt ();         a C int: %d %u %x %X without l/L
    INT64  NextInt64 ();       INT64 or UINT64: with l/L
    UINT64 NextUintn ();       UINTN or a pointer, zero-extended
    UINTN  UintnBits ();       32 (IA32) or 64 (X64)
    CHAR8  AsciiAt (UINT64 Address, UINTN Index);
    UINT16 Ucs2At (UINT64 Address, UINTN Index);
    UINT8  ByteAt (UINT64 Address, UINTN Index);
  and Put (CHAR8) of the Sink type takes each character.
**/
#ifndef OEM_PRINT_LIB_FORMAT_CORE_H_
#define OEM_PRINT_LIB_FORMAT_CORE_H_

#include <Base.h>

namespace print_lib_format {

// No string is read, and no field padded, past this many characters.
inline constexpr UINTN kMaxField = 4096;

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

enum class Text : UINT8 { Small, Ascii, Ucs2 };

// A converted argument before padding: text in Small, or a string in the
// arguments' memory read as it is put.
struct Field {
  CHAR8    Small[40];
  Text     Kind      = Text::Small;
  UINT64   Address   = 0;
  UINTN    Length    = 0;
  CHAR8    Prefix    = '\0';  // '-', '+' or ' ' of a number
  BOOLEAN  ZeroFill  = FALSE;
  UINTN    Precision = 0;

  VOID Append (CHAR8 Character)
  {
    if (Length < sizeof (Small)) {
      Small[Length++] = Character;
    }
  }
};

inline UINTN Min (UINTN A, UINTN B) { return A < B ? A : B; }
inline UINTN Max (UINTN A, UINTN B) { return A > B ? A : B; }

inline VOID SetWidthOrPrecision (Conversion &Conv, UINT64 Value)
{
  UINTN Capped = Value < kMaxField ? (UINTN)Value : kMaxField;
  if (Conv.HasPrecision) {
    Conv.Precision = Capped;
  } else {
    Conv.PadToWidth = TRUE;
    Conv.Width      = Capped;
  }
}

// Parses what follows a '%' up to and including the type character.
template <class Args>
Conversion ParseConversion (CONST CHAR8 *&Format, CONST CHAR8 *End, Args &A)
{
  Conversion Conv;
  for (;;) {
    if (Format == End || *Format == '\0') {
      return Conv;
    }
    CHAR8 C = *Format++;
    switch (C) {
      case '.': Conv.HasPrecision = TRUE; break;
      case '-': Conv.LeftJustify = TRUE; break;
      case '+': Conv.Sign = TRUE; break;
      case ' ': Conv.Blank = TRUE; break;
      case ',': Conv.Comma = TRUE; break;
      case 'l':
      case 'L': Conv.LongType = TRUE; break;
      case '*': SetWidthOrPrecision (Conv, A.NextUintn ()); break;
      default:
        if (C >= '0' && C <= '9') {
          // A leading '0' is the zero flag and also the first digit of the number.
          if (C == '0' && !Conv.HasPrecision) {
            Conv.Zero = TRUE;
          }
          UINTN Number = (UINTN)(C - '0');
          while (Format != End && *Format >= '0' && *Format <= '9') {
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
inline UINT32 DivideSmall (UINT64 &Value, UINT32 Divisor)
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

inline VOID AppendDigits (Field &F, UINT64 Value, UINT32 Radix, BOOLEAN Group, UINTN MinDigits)
{
  constexpr CHAR8 kDigits[] = "0123456789abcdef";
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

inline VOID NumberField (Field &F, CONST Conversion &Conv, UINT64 Magnitude, BOOLEAN Negative, UINT32 Radix)
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
template <class Args>
UINT64 ReadUnsigned (CONST Conversion &Conv, Args &A)
{
  return Conv.LongType ? (UINT64)A.NextInt64 () : (UINT64)(UINT32)A.NextInt ();
}

// Text fields: '.N' keeps at most N characters and makes the field at least N wide.
inline VOID TextField (Field &F, CONST Conversion &Conv, UINTN Precision)
{
  if (Conv.HasPrecision && F.Length > Conv.Precision) {
    F.Length = Conv.Precision;
  }
  F.Precision = Precision;
}

inline VOID SmallText (Field &F, CONST CHAR8 *Text)
{
  while (*Text != '\0') {
    F.Append (*Text++);
  }
}

template <class Args>
VOID StringField (Field &F, CONST Conversion &Conv, Args &A, BOOLEAN Wide)
{
  UINT64 Address = A.NextUintn ();
  UINTN  Limit   = Conv.HasPrecision ? Conv.Precision : kMaxField;
  if (Address == 0) {
    SmallText (F, "<null string>");
  } else {
    F.Kind    = Wide ? Text::Ucs2 : Text::Ascii;
    F.Address = Address;
    while (F.Length < Limit && (Wide ? A.Ucs2At (Address, F.Length) != 0 : A.AsciiAt (Address, F.Length) != '\0')) {
      ++F.Length;
    }
  }
  // A string has no minimum length unless a precision is given.
  TextField (F, Conv, Conv.HasPrecision ? Conv.Precision : 0);
}

template <class Args>
VOID GuidField (Field &F, CONST Conversion &Conv, Args &A)
{
  UINT64 Address = A.NextUintn ();
  if (Address == 0) {
    SmallText (F, "<null guid>");
  } else {
    UINT8 B[16];
    for (UINTN Index = 0; Index < sizeof (B); ++Index) {
      B[Index] = A.ByteAt (Address, Index);
    }
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

/// The name %r prints for Status as a UINTN of UintnBits bits; nullptr when it has none.
inline CONST CHAR8 *StatusText (UINT64 Status, UINTN UintnBits)
{
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
  if (UintnBits == 32) {
    Status &= 0xFFFFFFFF;
  }
  UINT64 MaxBit = (UINT64)1 << (UintnBits - 1);
  if ((Status & MaxBit) != 0) {
    UINT64 Code = Status & ~MaxBit;
    if (Code >= 1 && Code <= ARRAY_SIZE (kErrors)) {
      return kErrors[Code - 1];
    }
  } else if (Status < ARRAY_SIZE (kWarnings)) {
    return kWarnings[Status];
  }
  return nullptr;
}

inline VOID StatusField (Field &F, CONST Conversion &Conv, UINT64 Status, UINTN UintnBits)
{
  CONST CHAR8 *Name = StatusText (Status, UintnBits);
  if (Name != nullptr) {
    SmallText (F, Name);
  } else {
    // As "%08X" of the status: %X without 'l' reads an int, so only its low 32 bits.
    AppendDigits (F, (UINT32)Status, 16, FALSE, 8);
  }
  TextField (F, Conv, Conv.Precision);
}

template <class Args>
VOID Convert (Field &F, CONST Conversion &Conv, Args &A)
{
  Conversion Number = Conv;
  switch (Conv.Type) {
    case 'p':
      // ' ', '+', '0' and l/L do not apply to %p, but it zero-pads to a width like %X.
      Number.Blank = Number.Sign = FALSE;
      Number.Zero  = TRUE;
      NumberField (F, Number, A.NextUintn (), FALSE, 16);
      return;
    case 'X':
      Number.Zero = TRUE;  // %X implies the '0' flag
      NumberField (F, Number, ReadUnsigned (Number, A), FALSE, 16);
      return;
    case 'x':
      NumberField (F, Conv, ReadUnsigned (Conv, A), FALSE, 16);
      return;
    case 'u':
      Number.Sign = FALSE;
      NumberField (F, Number, ReadUnsigned (Number, A), FALSE, 10);
      return;
    case 'd': {
      INT64 Value = Conv.LongType ? A.NextInt64 () : (INT64)A.NextInt ();
      NumberField (F, Conv, Value < 0 ? 0 - (UINT64)Value : (UINT64)Value, Value < 0, 10);
      return;
    }
    case 'a': StringField (F, Conv, A, FALSE); return;
    case 's':
    case 'S': StringField (F, Conv, A, TRUE); return;
    case 'c': {
      UINT16 C = (UINT16)A.NextUintn ();  // a UCS-2 character
      // A NUL character prints nothing, but the field keeps its one-character minimum.
      if (C != 0) {
        F.Append ((CHAR8)(C & 0xFF));
      }
      TextField (F, Conv, Conv.Precision);
      return;
    }
    case 'g': GuidField (F, Conv, A); return;
    case 'r': {
      UINT64 Status = A.NextUintn ();
      StatusField (F, Conv, Status, A.UintnBits ());
      return;
    }
    case '\0': return;  // an unfinished conversion prints only its width padding
    default:            // '%' and unknown types print themselves
      F.Append (Conv.Type);
      TextField (F, Conv, Conv.Precision);
      return;
  }
}

template <class Sink>
VOID Repeat (Sink &Out, CHAR8 Character, UINTN Count)
{
  for (UINTN Index = 0; Index < Count; ++Index) {
    Out.Put (Character);
  }
}

template <class Args, class Sink>
VOID PutField (Sink &Out, Args &A, CONST Conversion &Conv, CONST Field &F)
{
  UINTN Count     = F.Length + (F.Prefix != '\0' ? 1 : 0);
  UINTN Precision = Max (F.Precision, Count);
  UINTN WidthPad  = Conv.Width > Precision ? Conv.Width - Precision : 0;
  if (Conv.PadToWidth && !Conv.LeftJustify) {
    Repeat (Out, ' ', WidthPad);
  }
  if (F.ZeroFill) {
    if (F.Prefix != '\0') {
      Out.Put (F.Prefix);
    }
    Repeat (Out, '0', Precision - Count);
  } else {
    Repeat (Out, ' ', Precision - Count);
    if (F.Prefix != '\0') {
      Out.Put (F.Prefix);
    }
  }
  for (UINTN Index = 0; Index < F.Length; ++Index) {
    switch (F.Kind) {
      case Text::Ascii: Out.Put (A.AsciiAt (F.Address, Index)); break;
      case Text::Ucs2: Out.Put ((CHAR8)(A.Ucs2At (F.Address, Index) & 0xFF)); break;  // a CHAR16's low byte
      case Text::Small: Out.Put (F.Small[Index]); break;
    }
  }
  if (Conv.PadToWidth && Conv.LeftJustify) {
    Repeat (Out, ' ', WidthPad);
  }
}

/// Formats [Format, End) (or up to a NUL) with the arguments of A into Out.
template <class Args, class Sink>
VOID Format (Sink &Out, CONST CHAR8 *Format, CONST CHAR8 *End, Args &A)
{
  while (Format != End && *Format != '\0') {
    CHAR8 C = *Format++;
    if (C != '%') {
      Out.Put (C);
      continue;
    }
    Conversion Conv = ParseConversion (Format, End, A);
    Field      F;
    Convert (F, Conv, A);
    PutField (Out, A, Conv, F);
  }
}

}  // namespace print_lib_format

#endif

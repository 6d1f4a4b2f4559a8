/** @file
  Unaligned reads and writes, byte by byte so no alignment is assumed.
**/
#include <Library/BaseLib.h>
#include <Library/BaseMemoryLib.h>

UINT16 EFIAPI ReadUnaligned16 (IN CONST UINT16 *Buffer)
{
  UINT16 Value;
  CopyMem (&Value, Buffer, sizeof (Value));
  return Value;
}

UINT16 EFIAPI WriteUnaligned16 (OUT UINT16 *Buffer, IN UINT16 Value)
{
  CopyMem (Buffer, &Value, sizeof (Value));
  return Value;
}

UINT32 EFIAPI ReadUnaligned32 (IN CONST UINT32 *Buffer)
{
  UINT32 Value;
  CopyMem (&Value, Buffer, sizeof (Value));
  return Value;
}

UINT32 EFIAPI WriteUnaligned32 (OUT UINT32 *Buffer, IN UINT32 Value)
{
  CopyMem (Buffer, &Value, sizeof (Value));
  return Value;
}

UINT64 EFIAPI ReadUnaligned64 (IN CONST UINT64 *Buffer)
{
  UINT64 Value;
  CopyMem (&Value, Buffer, sizeof (Value));
  return Value;
}

UINT64 EFIAPI WriteUnaligned64 (OUT UINT64 *Buffer, IN UINT64 Value)
{
  CopyMem (Buffer, &Value, sizeof (Value));
  return Value;
}

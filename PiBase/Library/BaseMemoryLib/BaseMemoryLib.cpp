/** @file
  BaseMemoryLib in plain loops: no compiler runtime is assumed.
**/
#include <Library/BaseMemoryLib.h>

VOID * EFIAPI CopyMem (OUT VOID *DestinationBuffer, IN CONST VOID *SourceBuffer, IN UINTN Length)
{
  volatile UINT8  *Destination = (UINT8 *)DestinationBuffer;
  CONST UINT8     *Source      = (CONST UINT8 *)SourceBuffer;

  // volatile keeps the compiler from turning the loop back into memcpy.
  if ((Destination < Source) || (Destination >= Source + Length)) {
    for (UINTN Index = 0; Index < Length; Index++) {
      Destination[Index] = Source[Index];
    }
  } else {
    for (UINTN Index = Length; Index > 0; Index--) {
      Destination[Index - 1] = Source[Index - 1];
    }
  }
  return DestinationBuffer;
}

VOID * EFIAPI SetMem (OUT VOID *Buffer, IN UINTN Length, IN UINT8 Value)
{
  volatile UINT8 *Bytes = (UINT8 *)Buffer;

  for (UINTN Index = 0; Index < Length; Index++) {
    Bytes[Index] = Value;
  }
  return Buffer;
}

VOID * EFIAPI ZeroMem (OUT VOID *Buffer, IN UINTN Length)
{
  return SetMem (Buffer, Length, 0);
}

INTN EFIAPI CompareMem (IN CONST VOID *DestinationBuffer, IN CONST VOID *SourceBuffer, IN UINTN Length)
{
  CONST UINT8 *Left  = (CONST UINT8 *)DestinationBuffer;
  CONST UINT8 *Right = (CONST UINT8 *)SourceBuffer;

  for (UINTN Index = 0; Index < Length; Index++) {
    if (Left[Index] != Right[Index]) {
      return (INTN)Left[Index] - (INTN)Right[Index];
    }
  }
  return 0;
}

BOOLEAN EFIAPI CompareGuid (IN CONST GUID *Guid1, IN CONST GUID *Guid2)
{
  return (BOOLEAN)(CompareMem (Guid1, Guid2, sizeof (GUID)) == 0);
}

GUID * EFIAPI CopyGuid (OUT GUID *DestinationGuid, IN CONST GUID *SourceGuid)
{
  CopyMem (DestinationGuid, SourceGuid, sizeof (GUID));
  return DestinationGuid;
}

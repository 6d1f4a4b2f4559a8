/** @file
  The C memory functions that the compiler may call on its own even in a
  freestanding build: memset for zero-initialised locals, memcpy and memmove
  for aggregate copies, memcmp for comparisons it lowers to a call.

  Each is a byte loop through a volatile pointer, so that the optimiser can
  never recognise the loop as the very function it implements and turn it
  back into a call to itself.
**/
#include <Base.h>

// The C library's size_t, whatever integer type the target gives it.
typedef __SIZE_TYPE__ SIZE_T;

extern "C" {

void * memset (void *Destination, int Value, SIZE_T Length)
{
  volatile UINT8 *Bytes = (UINT8 *)Destination;

  for (SIZE_T Index = 0; Index < Length; Index++) {
    Bytes[Index] = (UINT8)Value;
  }
  return Destination;
}

void * memcpy (void *Destination, const void *Source, SIZE_T Length)
{
  volatile UINT8       *To   = (UINT8 *)Destination;
  const volatile UINT8 *From = (const UINT8 *)Source;

  for (SIZE_T Index = 0; Index < Length; Index++) {
    To[Index] = From[Index];
  }
  return Destination;
}

void * memmove (void *Destination, const void *Source, SIZE_T Length)
{
  volatile UINT8       *To   = (UINT8 *)Destination;
  const volatile UINT8 *From = (const UINT8 *)Source;

  // Copy backwards when the destination starts inside the source.
  if ((UINTN)To - (UINTN)From < Length) {
    for (SIZE_T Index = Length; Index > 0; Index--) {
      To[Index - 1] = From[Index - 1];
    }
  } else {
    for (SIZE_T Index = 0; Index < Length; Index++) {
      To[Index] = From[Index];
    }
  }
  return Destination;
}

int memcmp (const void *Left, const void *Right, SIZE_T Length)
{
  const volatile UINT8 *A = (const UINT8 *)Left;
  const volatile UINT8 *B = (const UINT8 *)Right;

  for (SIZE_T Index = 0; Index < Length; Index++) {
    UINT8 ByteA = A[Index];
    UINT8 ByteB = B[Index];
    if (ByteA != ByteB) {
      return (int)ByteA - (int)ByteB;
    }
  }
  return 0;
}

}

/** @file
  BaseMemoryLib: copying, filling and comparing memory, and GUID helpers.
**/
#ifndef PI_BASE_LIBRARY_BASE_MEMORY_LIB_H_
#define PI_BASE_LIBRARY_BASE_MEMORY_LIB_H_

#include <Base.h>

extern "C" {

/** Copies Length bytes from SourceBuffer to DestinationBuffer (overlap allowed); returns DestinationBuffer. **/
VOID * EFIAPI CopyMem (OUT VOID *DestinationBuffer, IN CONST VOID *SourceBuffer, IN UINTN Length);

/** Fills Length bytes of Buffer with Value; returns Buffer. **/
VOID * EFIAPI SetMem (OUT VOID *Buffer, IN UINTN Length, IN UINT8 Value);

/** Fills Length bytes of Buffer with zero; returns Buffer. **/
VOID * EFIAPI ZeroMem (OUT VOID *Buffer, IN UINTN Length);

/** Compares Length bytes; returns 0 when equal, else the difference of the first differing bytes. **/
INTN EFIAPI CompareMem (IN CONST VOID *DestinationBuffer, IN CONST VOID *SourceBuffer, IN UINTN Length);

/** Returns TRUE when the two GUIDs are equal in value. **/
BOOLEAN EFIAPI CompareGuid (IN CONST GUID *Guid1, IN CONST GUID *Guid2);

/** Copies SourceGuid to DestinationGuid; returns DestinationGuid. **/
GUID * EFIAPI CopyGuid (OUT GUID *DestinationGuid, IN CONST GUID *SourceGuid);

}

#endif

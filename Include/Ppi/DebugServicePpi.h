/** @file
  The platform's debug service PPI: where the modules' debug output goes.
  Neither member receives the PPI itself.
**/
#ifndef OEM_PPI_DEBUG_SERVICE_PPI_H_
#define OEM_PPI_DEBUG_SERVICE_PPI_H_

#include <Uefi/UefiBaseType.h>

#define DEBUG_SERVICE_PPI_GUID \
  { 0x36232936, 0x0e76, 0x31c8, { 0xa1, 0x3a, 0x3a, 0xf2, 0xfc, 0x1c, 0x39, 0x32 } }

/** Formats Format (EDK2 PrintLib syntax) with the arguments of Marker and emits it. **/
typedef VOID (EFIAPI *DEBUG_SERVICE_PRINT)(
  IN UINT32       ErrorLevel,
  IN CONST CHAR8  *Format,
  IN VA_LIST      Marker
  );

/** Reports a failed assertion. **/
typedef VOID (EFIAPI *DEBUG_SERVICE_ASSERT)(
  IN CONST CHAR8  *FileName,
  IN UINT32       LineNumber,
  IN CONST CHAR8  *Description
  );

typedef struct {
  DEBUG_SERVICE_PRINT   Print;
  DEBUG_SERVICE_ASSERT  Assert;
} DEBUG_SERVICE_PPI;

inline constexpr EFI_GUID gDebugServicePpiGuid = DEBUG_SERVICE_PPI_GUID;

#endif

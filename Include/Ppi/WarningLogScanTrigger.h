/** @file
  The scan-trigger PPI: installed (and reinstalled) by the firmware module
  that completes the memory warning log in the host structure. Only its GUID
  matters; its interface is never looked at.
**/
#ifndef OEM_PPI_WARNING_LOG_SCAN_TRIGGER_H_
#define OEM_PPI_WARNING_LOG_SCAN_TRIGGER_H_

#include <Uefi/UefiBaseType.h>

#define WARNING_LOG_SCAN_TRIGGER_PPI_GUID \
  { 0x64c96700, 0x6b4c, 0x480c, { 0xa3, 0xe1, 0xb8, 0xbd, 0xe8, 0xf6, 0x02, 0xb2 } }

inline constexpr EFI_GUID gWarningLogScanTriggerPpiGuid = WARNING_LOG_SCAN_TRIGGER_PPI_GUID;

#endif

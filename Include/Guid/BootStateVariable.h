/** @file
  Vendor GUID of the boot-state variables "MonotonicCounter" and "OemIsFirstBoot".
**/
#ifndef OEM_GUID_BOOT_STATE_VARIABLE_H_
#define OEM_GUID_BOOT_STATE_VARIABLE_H_

#include <Uefi/UefiBaseType.h>

#define BOOT_STATE_VARIABLE_GUID \
  { 0x01368881, 0xc4ad, 0x4b1d, { 0xb6, 0x31, 0xd5, 0x7a, 0x8e, 0xc8, 0xdb, 0x6b } }

inline constexpr EFI_GUID gBootStateVariableGuid = BOOT_STATE_VARIABLE_GUID;

#define MONOTONIC_COUNTER_VARIABLE_NAME  u"MonotonicCounter"
#define OEM_IS_FIRST_BOOT_VARIABLE_NAME  u"OemIsFirstBoot"

#endif

/** @file
  The first-boot HOB: a GUID extension HOB whose first data byte is 1 on the
  board's first boot, 0 otherwise. Built by TraceGate for later phases.
**/
#ifndef OEM_GUID_FIRST_BOOT_HOB_H_
#define OEM_GUID_FIRST_BOOT_HOB_H_

#include <Uefi/UefiBaseType.h>

#define FIRST_BOOT_HOB_GUID \
  { 0xbde8aea5, 0x1de5, 0x40bf, { 0x9a, 0xbf, 0xa5, 0xbc, 0x60, 0xc3, 0x07, 0x6b } }

inline constexpr EFI_GUID gFirstBootHobGuid = FIRST_BOOT_HOB_GUID;

#endif

/** @file
  The verbosity HOB: a GUID extension HOB whose one data byte is the debug
  level decided for this boot. Written by TraceGate, read by every module's
  debug output.
**/
#ifndef OEM_GUID_VERBOSITY_HOB_H_
#define OEM_GUID_VERBOSITY_HOB_H_

#include <Uefi/UefiBaseType.h>

#define VERBOSITY_HOB_GUID \
  { 0x6637c306, 0x4f05, 0x42ca, { 0xa7, 0x3d, 0xf7, 0xa7, 0x6d, 0x70, 0x97, 0xa5 } }

inline constexpr EFI_GUID gVerbosityHobGuid = VERBOSITY_HOB_GUID;

/// Debug levels, as TraceGate decides them and the verbosity HOB holds them.
#define DEBUG_LEVEL_DISABLED  0
#define DEBUG_LEVEL_MINIMUM   1
#define DEBUG_LEVEL_NORMAL    2
#define DEBUG_LEVEL_MAXIMUM   3

#endif

/** @file
  DebugDropSinkLib: where the debug output hands a message its level mask
  dropped. Firmware links the null instance (the message is simply gone);
  the simulated board's instance keeps it, marked as dropped, so a boot can
  show what a more verbose level would have printed.
**/
#ifndef OEM_LIBRARY_DEBUG_DROP_SINK_LIB_H_
#define OEM_LIBRARY_DEBUG_DROP_SINK_LIB_H_

#include <Base.h>

extern "C" {

/** Receives a message that was not printed because of the level mask. **/
VOID EFIAPI DebugPrintDropped (IN UINTN ErrorLevel, IN CONST CHAR8 *Format, IN VA_LIST Marker);

}

#endif

/** @file
  Private interface of VerbosityDebugLib, for the library itself and its tests.
**/
#ifndef VERBOSITY_DEBUG_LIB_H_
#define VERBOSITY_DEBUG_LIB_H_

#include <Ppi/DebugServicePpi.h>

/// Level masks: the message classes each debug level prints.
#define VERBOSITY_MASK_MINIMUM  0x20000100U
#define VERBOSITY_MASK_NORMAL   0x80000146U
#define VERBOSITY_MASK_MAXIMUM  0x9C000146U

extern "C" {

/** Returns the debug service PPI, or NULL when it is not installed. Never cached. **/
DEBUG_SERVICE_PPI * EFIAPI GetDebugServicePpi (VOID);

/** Maps a debug level to its mask; every level other than 1, 2, 3 gives 0. **/
UINT32 EFIAPI VerbosityLevelToMask (IN UINT8 Level);

}

#endif

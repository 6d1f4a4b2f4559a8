/** @file
  DebugPrintErrorLevelLib: the set of message classes the debug output prints.
**/
#ifndef PI_BASE_LIBRARY_DEBUG_PRINT_ERROR_LEVEL_LIB_H_
#define PI_BASE_LIBRARY_DEBUG_PRINT_ERROR_LEVEL_LIB_H_

#include <Base.h>

extern "C" {

/** Returns the mask of error levels that are printed. **/
UINT32 EFIAPI GetDebugPrintErrorLevel (VOID);

}

#endif

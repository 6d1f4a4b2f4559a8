/** @file
  The companions' own console lines: printed through the debug service PPI
  whatever the boot's debug level, because they describe the platform the
  modules run on, not the modules.
**/
#ifndef COMPANION_RECORD_LIB_H_
#define COMPANION_RECORD_LIB_H_

#include <PiPei.h>

/**
  Prints Format (PrintLib syntax) through the debug service PPI, unfiltered.
  Prints nothing when the debug service is not installed.
**/
VOID CompanionRecord (IN CONST EFI_PEI_SERVICES **PeiServices, IN CONST CHAR8 *Format, ...);

#endif

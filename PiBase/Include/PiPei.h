/** @file
  Root include for PEI modules.
**/
#ifndef PI_BASE_PI_PEI_H_
#define PI_BASE_PI_PEI_H_

#include <Uefi/UefiBaseType.h>
#include <Pi/PiPeiCis.h>

#endif

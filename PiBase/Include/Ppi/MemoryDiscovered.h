/** @file
  The PPI the PEI Foundation installs once permanent memory is installed.
**/
#ifndef PI_BASE_PPI_MEMORY_DISCOVERED_H_
#define PI_BASE_PPI_MEMORY_DISCOVERED_H_

#include <PiPei.h>

#define EFI_PEI_PERMANENT_MEMORY_INSTALLED_PPI_GUID \
  { 0xf894643d, 0xc449, 0x42d1, { 0x8e, 0xa8, 0x85, 0xbd, 0xd8, 0xc6, 0x5b, 0xde } }

inline constexpr EFI_GUID gEfiPeiMemoryDiscoveredPpiGuid = EFI_PEI_PERMANENT_MEMORY_INSTALLED_PPI_GUID;

#endif

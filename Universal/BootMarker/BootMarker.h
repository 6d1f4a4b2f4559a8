/** @file
  BootMarker: publishes whether this is the board's first boot as the
  PcdOemIsFirstBoot token. The board boots for the first time exactly when
  the "OemIsFirstBoot" variable cannot be read.
**/
#ifndef BOOT_MARKER_H_
#define BOOT_MARKER_H_

#include <PiPei.h>

extern "C" {

/**
  Reads "OemIsFirstBoot" and reports whether the read failed.

  @param[in] PeiServices  The PEI Services table pointer; NULL reads nothing.

  @retval TRUE   The variable service or the variable could not be read.
  @retval FALSE  The variable was read, or PeiServices is NULL.
**/
BOOLEAN EFIAPI DetectFirstBoot (IN CONST EFI_PEI_SERVICES **PeiServices);

/**
  The PEIM entry: decides the first-boot flag and sets PcdOemIsFirstBoot.

  @retval EFI_SUCCESS  Always; a failed PCD set is not reported.
**/
EFI_STATUS EFIAPI BootMarkerEntry (IN EFI_PEI_FILE_HANDLE FileHandle, IN CONST EFI_PEI_SERVICES **PeiServices);

}

#endif

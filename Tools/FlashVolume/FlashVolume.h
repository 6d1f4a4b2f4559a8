// FlashVolume: PE32 images, FFS files and firmware volumes for PEIMs that
// execute in place. One include for users of the library:
//   PeImage   parse a PE32 image, check it can execute in place, rebase it;
//   FfsFile   write a PEIM file (depex, aligned PE32, UI) and read any file
//             back with its checksums, State and sections checked;
//   Volume    build an FFS2 volume (erase polarity 1) with every image rebased
//             to its flash address, read one back, list its PEIM images with
//             their addresses (VolumeImages);
//   Depex     dependency expressions of PPIs, all of them or TRUE.
// Malformed input is never read past its end: every failure is a FlashError.
#pragma once

#include "Bytes.h"
#include "Depex.h"
#include "FfsFile.h"
#include "Guid.h"
#include "PeImage.h"
#include "Volume.h"

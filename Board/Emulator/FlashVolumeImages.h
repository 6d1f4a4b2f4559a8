// Flash filled from a firmware volume: the volume at the address its images
// were rebased to, each PEIM image found through the volume's own files,
// with the link map of the same name (NAME.map, searched for under a
// directory) for fault reports.
#pragma once

#include <filesystem>

#include "FlashContents.h"

namespace board::emulator {

// Throws BoardError when the volume cannot be read, holds no PEIM, or does
// not lie inside the board's flash window.
FlashContents LoadFlashVolume(const std::filesystem::path& volume, const std::filesystem::path& mapsUnder);

}  // namespace board::emulator

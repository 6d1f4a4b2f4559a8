// Flash filled from a firmware build tree: every NAME.efi (with NAME.map
// beside it) rebased to its place in flash, one after another. A stand-in
// for the firmware volume until the board reads the volume itself.
#pragma once

#include <filesystem>

#include "FlashContents.h"

namespace board::emulator {

// Throws BoardError when the tree holds no image or an image is not an IA32
// PE32 that can execute in place.
FlashContents LoadBuildTreeImages(const std::filesystem::path& firmwareTree);

}  // namespace board::emulator

// A PEIM image as the board dispatches it: its name and its entry point.
// In the hosted build each module is an isolated image (its own copy of the
// libraries and their module-level data); the build generates the table.
#pragma once

#include <span>
#include <string_view>

#include <PiPei.h>

namespace board {

struct ModuleImage {
  std::string_view name;
  EFI_PEIM_ENTRY_POINT2 entry = nullptr;
};

// Every module image built into this program, in build order.
std::span<const ModuleImage> HostedImages();
// The image called name, or nullptr.
const ModuleImage* FindHostedImage(std::string_view name);

}  // namespace board

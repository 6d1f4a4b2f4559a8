// A PEIM image as the board dispatches it: its name, its entry point and its
// writable data. In the hosted build each module is an isolated image (its
// own copy of the libraries and their module-level data); the build
// generates the table.
#pragma once

#include <span>
#include <string_view>
#include <vector>

#include <PiPei.h>

namespace board {

struct ModuleImage {
  std::string_view name;
  EFI_PEIM_ENTRY_POINT2 entry = nullptr;
  unsigned char* dataStart = nullptr;  // the image's writable data
  unsigned char* dataEnd = nullptr;
  const std::vector<unsigned char>* pristineData = nullptr;  // that data as the image holds it

  // Puts the writable data back as the image holds it: loading the image
  // afresh, as each boot does.
  void Reload() const;
};

// A copy of [start, end): read past the sanitizers, whose redzones lie
// between an image's globals.
std::vector<unsigned char> SnapshotImageData(const unsigned char* start, const unsigned char* end);

// Every module image built into this program, in build order.
std::span<const ModuleImage> HostedImages();
// The image called name, or nullptr.
const ModuleImage* FindHostedImage(std::string_view name);

}  // namespace board

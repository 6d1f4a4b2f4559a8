#include "ModuleImage.h"

namespace board {

// The image's globals sit between sanitizer redzones: these copies go byte
// by byte, uninstrumented, as a loader writing the image would.
__attribute__((no_sanitize("address", "thread", "undefined"))) std::vector<unsigned char> SnapshotImageData(
    const unsigned char* start, const unsigned char* end) {
  std::vector<unsigned char> bytes(static_cast<size_t>(end - start));
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<const volatile unsigned char*>(start)[i];
  return bytes;
}

__attribute__((no_sanitize("address", "thread", "undefined"))) void ModuleImage::Reload() const {
  if (pristineData == nullptr) return;
  volatile unsigned char* data = dataStart;
  for (size_t i = 0; i < pristineData->size(); ++i) data[i] = (*pristineData)[i];
}

}  // namespace board

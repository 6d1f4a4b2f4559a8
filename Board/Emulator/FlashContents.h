// What the emulated board's flash holds: its bytes (kFlashSize of them, at
// kFlashBase) and the module images in it, each at the address it executes
// in place from.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "LinkMap.h"

namespace board::emulator {

struct FlashImage {
  std::string name;
  uint32_t base = 0;   // where the image lies in flash (its ImageBase)
  uint32_t size = 0;
  uint32_t entry = 0;  // the entry point's address
  LinkMap map;         // symbols at RVAs
};

struct FlashContents {
  std::vector<uint8_t> bytes;
  std::vector<FlashImage> images;
};

}  // namespace board::emulator

#include "MmioSpace.h"

#include <cstring>

namespace board {

uint64_t MmioSpace::Read(uint64_t address, unsigned width) {
  uint64_t value = ~uint64_t{0} >> (64 - 8 * width);
  if (pcie_.Decodes(address, width)) {
    value = pcie_.Read(address, width);
  } else if (memory_.Contains(address, width)) {
    value = 0;
    std::memcpy(&value, memory_.At(address, width), width);
  }
  log_.push_back({address, width, false, value});
  return value;
}

void MmioSpace::Write(uint64_t address, unsigned width, uint64_t value) {
  if (pcie_.Decodes(address, width)) {
    pcie_.Write(address, width, value);
  } else if (memory_.Contains(address, width)) {
    std::memcpy(memory_.At(address, width), &value, width);
  }
  log_.push_back({address, width, true, value});
}

}  // namespace board

#include "PortSpace.h"

namespace board {

// An undecoded port floats high, as on real hardware.
constexpr uint8_t kFloatingBus = 0xFF;

uint8_t PortSpace::Read8(uint16_t port) {
  uint8_t value = Peek(port);
  log_.push_back({port, false, value});
  return value;
}

void PortSpace::Write8(uint16_t port, uint8_t value) {
  auto found = values_.find(port);
  if (found != values_.end()) found->second = value;
  log_.push_back({port, true, value});
}

uint8_t PortSpace::Peek(uint16_t port) const {
  auto found = values_.find(port);
  return found == values_.end() ? kFloatingBus : found->second;
}

std::vector<PortAccess> PortSpace::Writes(uint16_t port) const {
  std::vector<PortAccess> writes;
  for (const auto& access : log_)
    if (access.write && access.port == port) writes.push_back(access);
  return writes;
}

}  // namespace board

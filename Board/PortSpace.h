// The processor's 8-bit I/O port space: ports the board models hold a value;
// every access is logged in order.
#pragma once

#include <cstdint>
#include <map>
#include <vector>

namespace board {

struct PortAccess {
  uint16_t port = 0;
  bool write = false;
  uint8_t value = 0;
};

class PortSpace {
 public:
  // A port that holds a value (a scratch register, for instance).
  void Define(uint16_t port, uint8_t initial) { values_[port] = initial; }

  uint8_t Read8(uint16_t port);
  void Write8(uint16_t port, uint8_t value);

  uint8_t Peek(uint16_t port) const;  // no log entry
  std::vector<PortAccess> Writes(uint16_t port) const;
  const std::vector<PortAccess>& Log() const { return log_; }

 private:
  std::map<uint16_t, uint8_t> values_;
  std::vector<PortAccess> log_;
};

}  // namespace board

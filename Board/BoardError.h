// A board misconfiguration or a request the board cannot honour: always loud.
#pragma once

#include <stdexcept>
#include <string>

namespace board {

class BoardError : public std::runtime_error {
 public:
  explicit BoardError(const std::string& what) : std::runtime_error(what) {}
};

// Thrown by the hosted CpuDeadLoop: ends the module's run so the board can
// report the halt instead of hanging.
struct ProcessorHalted {
  unsigned processor;
};

}  // namespace board

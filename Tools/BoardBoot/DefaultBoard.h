// The built-in board that board-boot runs when given no board file.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "Board/Board.h"

namespace boardboot {

// One step of a boot: dispatch a module, or a platform event between modules.
struct BootStep {
  enum class Kind { Dispatch, PermanentMemory, MpServices, PlatformPpi };
  Kind kind = Kind::Dispatch;
  std::string module;  // Dispatch
  EFI_GUID ppi{};      // PlatformPpi
};

struct BootPlan {
  board::BoardOptions options;
  std::vector<BootStep> steps;
  // Sets variables, tokens and BMC answers once the board exists.
  std::function<void(board::Board&)> prepare;
};

BootPlan DefaultBoard();

}  // namespace boardboot

// Builds the simulated board a description asks for and runs its boot.
#pragma once

#include <memory>

#include "BoardDescription.h"

namespace boardboot {

// Lays out the board (tokens, variables, PCIe bytes, BMC, faults) and runs
// every step in order; a halted board skips the steps after the halt.
std::unique_ptr<board::Board> RunBoot(const BoardDescription& description);

}  // namespace boardboot

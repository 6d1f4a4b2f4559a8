// Builds the simulated board a description asks for and runs its boot.
#pragma once

#include <memory>

#include "BoardDescription.h"

namespace boardboot {

// Lays out the board (tokens, variables, PCIe bytes, BMC, faults) and runs
// every step in order; a halted board skips the steps after the halt. With
// ipmi, that backend answers the IPMI transport instead of the scripted BMC.
std::unique_ptr<board::Board> RunBoot(const BoardDescription& description,
                                      std::unique_ptr<board::IpmiBackend> ipmi = nullptr);

}  // namespace boardboot

// Builds the simulated board a description asks for and runs its boot.
#pragma once

#include <memory>

#include "BoardDescription.h"
#include "Board/Emulator/EmulatedBoard.h"

namespace boardboot {

// Lays out the board (tokens, variables, PCIe bytes, BMC, faults) and runs
// every step in order; a halted board skips the steps after the halt. With
// ipmi, that backend answers the IPMI transport instead of the scripted BMC.
std::unique_ptr<board::Board> RunBoot(const BoardDescription& description,
                                      std::unique_ptr<board::IpmiBackend> ipmi = nullptr);

// The same boot with the module images from flash run on emulated processors.
struct EmulatedBoot {
  std::unique_ptr<board::Board> board;  // outlives the emulator, which is hooked into it
  std::unique_ptr<board::emulator::EmulatedBoard> emulator;
};
EmulatedBoot RunEmulatedBoot(const BoardDescription& description, board::emulator::FlashContents flash,
                             std::unique_ptr<board::IpmiBackend> ipmi = nullptr);

}  // namespace boardboot

// The part of the report only an emulated boot has: faults, dropped flash
// writes, and per module the deepest stack and the instructions executed.
#pragma once

#include <nlohmann/json.hpp>
#include <ostream>

#include "Board/Emulator/EmulatedBoard.h"

namespace boardboot {

// Adds "emulation" to report, and marks the modules whose entry point faulted.
void AddEmulation(nlohmann::json& report, const board::emulator::EmulatedBoard& emulator);
void PrintEmulation(std::ostream& out, const nlohmann::json& report);

}  // namespace boardboot

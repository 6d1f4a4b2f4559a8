// The four harnesses: each turns one byte string into the state of the
// simulated board, runs the real module images on it and checks what the
// modules promise (aborting through Broken when a promise fails). Each also
// has an encoder that makes a seed from a board description.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "BoardDescription.h"

namespace fuzz {

// The warning log and the per-slot bytes, through DimmSentry's scan.
void RunWarningLog(std::span<const uint8_t> input);
std::vector<uint8_t> WarningLogSeed(const boardboot::BoardDescription& description);

// The variables and tokens 34, 36, 37 and 54, through BootMarker, TraceGate
// and the setup variable reader TraceGate carries.
void RunVariables(std::span<const uint8_t> input);
std::vector<uint8_t> VariablesSeed(const boardboot::BoardDescription& description);

// The BMC's answers, through TraceGate, BmcHerald and DimmSentry.
void RunBmcAnswers(std::span<const uint8_t> input);
std::vector<uint8_t> BmcAnswersSeed(const boardboot::BoardDescription& description);

// The HOB list earlier modules left, through the debug output and the
// static pointer table library.
void RunHobList(std::span<const uint8_t> input);
std::vector<uint8_t> HobListSeed(const boardboot::BoardDescription& description);

}  // namespace fuzz

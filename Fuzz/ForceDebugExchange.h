// TraceGate's force-debug request as the BMC saw it: what every try must
// be, and the level the tries decide.
#pragma once

#include <optional>

#include "Board/Board.h"

namespace fuzz {

constexpr uint8_t kForceDebugNetFn = 0x3C;
constexpr uint8_t kForceDebugCommand = 0x05;
constexpr unsigned kForceDebugTries = 10;

// Breaks a promise unless there were 1 to 10 tries, each the byte 0x32 with
// a 2-byte response buffer, stopping at the first that got through.
void CheckForceDebugTries(board::Board& board);

// The level the BMC forced: byte 1 when the last try got through with
// completion code 0 and the level byte (a silent try leaves the buffer as
// it was); none when "Setup" decides.
std::optional<uint8_t> BmcForcedLevel(board::Board& board);

// A debug level as TraceGate maps a source byte: 1 to 3, anything else 0.
inline uint8_t LevelOf(uint8_t source) { return source >= 1 && source <= 3 ? source : 0; }

}  // namespace fuzz

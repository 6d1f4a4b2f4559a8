// What a boot left behind, as text for a firmware engineer.
#pragma once

#include <ostream>

#include "Board/Board.h"

namespace boardboot {

void PrintConsoleLog(std::ostream& out, const board::Board& board);
void PrintReport(std::ostream& out, board::Board& board);

}  // namespace boardboot

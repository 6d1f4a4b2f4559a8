// What a boot left behind: built once as a JSON document (for scripts) and
// printed from it as text (for a firmware engineer).
#pragma once

#include <nlohmann/json.hpp>
#include <ostream>

#include "Board/Board.h"

namespace boardboot {

struct ReportOptions {
  bool allLevels = false;  // also show the messages the level masks dropped
};

nlohmann::json BuildReport(board::Board& board, const std::string& source);
void PrintConsole(std::ostream& out, const board::Board& board, const ReportOptions& options);
void PrintReport(std::ostream& out, const nlohmann::json& report);

}  // namespace boardboot

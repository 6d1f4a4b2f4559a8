// Reading a board file (YAML): one boot of the simulated board. A wrong file
// gets one error naming the file, the line and the key.
#pragma once

#include <stdexcept>
#include <string>

#include "BoardDescription.h"

namespace boardboot {

class BoardFileError : public std::runtime_error {
 public:
  explicit BoardFileError(const std::string& what) : std::runtime_error(what) {}
};

// Parses text; source names it in errors. Throws BoardFileError.
BoardDescription ParseBoardFile(const std::string& text, const std::string& source);
BoardDescription LoadBoardFile(const std::string& path);

// The built-in default board (a board file compiled into the tool).
BoardDescription DefaultBoard();

}  // namespace boardboot

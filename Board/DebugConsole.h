// The debug service's console: every message that reached the service, with
// its error level and the module that printed it, and every assertion, in
// the order they happened.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace board {

struct ConsoleEntry {
  enum class Kind { Message, Assertion };
  Kind kind = Kind::Message;
  std::string module;
  uint32_t level = 0;       // messages
  std::string text;         // messages: the formatted text; assertions: the expression
  std::string file;         // assertions
  uint32_t line = 0;        // assertions
  bool dropped = false;     // messages the level mask kept from the service
};

class DebugConsole {
 public:
  void Message(std::string module, uint32_t level, std::string text);
  // A message the module's level mask dropped: kept apart, never in Text().
  void Dropped(std::string module, uint32_t level, std::string text);
  void Assertion(std::string module, std::string file, uint32_t line, std::string expression);

  const std::vector<ConsoleEntry>& Entries() const { return entries_; }
  // The messages the service printed (dropped ones excluded).
  std::vector<ConsoleEntry> Messages() const;
  std::vector<ConsoleEntry> Assertions() const;
  // The messages' text run together, as the serial line carries it (but with
  // "\n" where the line carries "\r\n").
  std::string Text() const;
  std::string TextOf(const std::string& module) const;
  void Clear() { entries_.clear(); }

 private:
  std::vector<ConsoleEntry> entries_;
};

// The serial line's form of text: every "\n" sent as "\r\n".
std::string ToSerialLine(const std::string& text);

}  // namespace board

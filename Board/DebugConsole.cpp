#include "DebugConsole.h"

namespace board {

void DebugConsole::Message(std::string module, uint32_t level, std::string text) {
  ConsoleEntry entry;
  entry.kind = ConsoleEntry::Kind::Message;
  entry.module = std::move(module);
  entry.level = level;
  entry.text = std::move(text);
  entries_.push_back(std::move(entry));
}

void DebugConsole::Dropped(std::string module, uint32_t level, std::string text) {
  Message(std::move(module), level, std::move(text));
  entries_.back().dropped = true;
}

void DebugConsole::Assertion(std::string module, std::string file, uint32_t line, std::string expression) {
  ConsoleEntry entry;
  entry.kind = ConsoleEntry::Kind::Assertion;
  entry.module = std::move(module);
  entry.file = std::move(file);
  entry.line = line;
  entry.text = std::move(expression);
  entries_.push_back(std::move(entry));
}

std::vector<ConsoleEntry> DebugConsole::Messages() const {
  std::vector<ConsoleEntry> out;
  for (const auto& entry : entries_)
    if (entry.kind == ConsoleEntry::Kind::Message && !entry.dropped) out.push_back(entry);
  return out;
}

std::vector<ConsoleEntry> DebugConsole::Assertions() const {
  std::vector<ConsoleEntry> out;
  for (const auto& entry : entries_)
    if (entry.kind == ConsoleEntry::Kind::Assertion) out.push_back(entry);
  return out;
}

std::string DebugConsole::Text() const {
  std::string text;
  for (const auto& entry : entries_)
    if (entry.kind == ConsoleEntry::Kind::Message && !entry.dropped) text += entry.text;
  return text;
}

std::string DebugConsole::TextOf(const std::string& module) const {
  std::string text;
  for (const auto& entry : entries_)
    if (entry.kind == ConsoleEntry::Kind::Message && !entry.dropped && entry.module == module) text += entry.text;
  return text;
}

std::string ToSerialLine(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

}  // namespace board

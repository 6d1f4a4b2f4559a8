// The public symbols of an image, read from the map lld-link writes beside
// it, so a fault can name the function it happened in.
#pragma once

#include <cstdint>
#include <istream>
#include <map>
#include <optional>
#include <string>

namespace board::emulator {

class LinkMap {
 public:
  // Reads the "Publics by Value" lines; each symbol at its RVA (the map of
  // an image linked at base 0).
  static LinkMap Parse(std::istream& map);

  void Add(uint32_t rva, std::string name) { symbols_.emplace(rva, std::move(name)); }
  std::optional<uint32_t> Find(const std::string& name) const;
  // "Name+0x1c" for the nearest symbol at or below rva; empty when none.
  std::string Nearest(uint32_t rva) const;
  // True when more than one symbol names rva (identical code folded together).
  bool Shared(uint32_t rva) const { return symbols_.count(rva) > 1; }
  bool Empty() const { return symbols_.empty(); }

 private:
  std::multimap<uint32_t, std::string> symbols_;
};

}  // namespace board::emulator

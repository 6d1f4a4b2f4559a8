#include "LinkMap.h"

#include <cstdio>
#include <sstream>

namespace board::emulator {

LinkMap LinkMap::Parse(std::istream& map) {
  LinkMap result;
  std::string line;
  bool publics = false;
  while (std::getline(map, line)) {
    if (line.find("Publics by Value") != std::string::npos) {
      publics = true;
      continue;
    }
    if (!publics) continue;
    // " 0001:0000008c       _BootMarkerEntry           000000000000028c     BootMarker.cpp.obj"
    std::istringstream fields(line);
    std::string address, name, rvaPlusBase;
    if (!(fields >> address >> name >> rvaPlusBase) || address.find(':') == std::string::npos) continue;
    try {
      size_t used = 0;
      unsigned long long rva = std::stoull(rvaPlusBase, &used, 16);
      if (used != rvaPlusBase.size() || rva > 0xFFFFFFFFu) continue;
      // C names carry the IA32 leading underscore; C++ names are decorated.
      if (name.size() > 1 && name[0] == '_' && name[1] != '_') name.erase(0, 1);
      else if (name.starts_with("__")) name.erase(0, 1);
      result.Add(static_cast<uint32_t>(rva), name);
    } catch (const std::exception&) {
    }
  }
  return result;
}

std::optional<uint32_t> LinkMap::Find(const std::string& name) const {
  for (const auto& [rva, symbol] : symbols_)
    if (symbol == name) return rva;
  return std::nullopt;
}

std::string LinkMap::Nearest(uint32_t rva) const {
  auto above = symbols_.upper_bound(rva);
  if (above == symbols_.begin()) return {};
  auto at = std::prev(above);
  // The first of the names that share the address: the map lists them in link order.
  auto first = symbols_.lower_bound(at->first);
  char offset[16];
  std::snprintf(offset, sizeof offset, "+0x%x", rva - first->first);
  return rva == first->first ? first->second : first->second + offset;
}

}  // namespace board::emulator

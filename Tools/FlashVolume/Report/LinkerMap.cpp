#include "LinkerMap.h"

#include <sstream>

#include "Bytes.h"

namespace flash {

LinkerMap ParseLinkerMap(std::string_view text) {
  LinkerMap map;
  bool haveCode = false;
  std::istringstream lines{std::string(text)};
  std::string line;
  while (std::getline(lines, line)) {
    // " 0001:00000000 00000c3cH .text    CODE"  and  " 0001:000004b8       __ModuleEntryPoint  ..."
    std::istringstream fields(line);
    std::string where, second, third;
    if (!(fields >> where >> second) || where.rfind("0001:", 0) != 0) continue;
    const std::uint32_t offset = static_cast<std::uint32_t>(std::stoul(where.substr(5), nullptr, 16));
    if (second.size() == 9 && second.back() == 'H' &&
        second.find_first_not_of("0123456789abcdefABCDEF") == 8 && (fields >> third)) {
      if (third == ".text" && offset == 0) {
        map.codeLength = static_cast<std::uint32_t>(std::stoul(second.substr(0, 8), nullptr, 16));
        haveCode = true;
      }
      continue;
    }
    map.symbols.emplace(offset, second);
  }
  if (!haveCode) throw FlashError("map file has no .text contribution at the start of section 1");
  return map;
}

}  // namespace flash

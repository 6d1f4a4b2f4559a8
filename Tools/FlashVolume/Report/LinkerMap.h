// What the stack report needs from an lld-link map file: where the code ends
// (constants are merged into .text after it) and the public symbols' names.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>

namespace flash {

struct LinkerMap {
  std::uint32_t codeLength = 0;                  // of the .text contributions, from the start of section 1
  std::map<std::uint32_t, std::string> symbols;  // offset in section 1 -> name
};

[[nodiscard]] LinkerMap ParseLinkerMap(std::string_view text);

}  // namespace flash

// A promise a module broke: the harness prints what and aborts, which
// libFuzzer reports as a finding and saves the input for.
#pragma once

#include <string>

namespace fuzz {

[[noreturn]] void Broken(const std::string& what);

inline void Require(bool kept, const std::string& what) {
  if (!kept) Broken(what);
}

}  // namespace fuzz

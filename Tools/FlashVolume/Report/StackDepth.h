// The deepest stack a PEIM's own code uses, found from its machine code: each
// root (the entry point, and every function whose address the image holds,
// such as notification callbacks) is followed through every path and every
// direct call, counting pushes, frame allocation, alignment and return
// addresses. A call through a pointer leaves the module (a PEI service or a
// PPI): it counts its return address; the callee's own stack is not this
// module's.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Disassembly.h"

namespace flash {

struct RootDepth {
  std::uint32_t address = 0;
  std::uint32_t depth = 0;  // bytes below the caller's stack pointer, return address included
};

// `roots` are instruction addresses. Throws FlashError on code it cannot
// follow: an indirect jump, recursion, a stack pointer change it does not
// know, paths that reach one instruction at different depths, or a return
// that leaves bytes of its own on the stack.
[[nodiscard]] std::vector<RootDepth> StackDepths(const Disassembly& code, const std::vector<std::uint32_t>& roots);

}  // namespace flash

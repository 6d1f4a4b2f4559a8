// An IA32 image's code as llvm-objdump prints it (AT&T syntax), one
// instruction per address.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>

namespace flash {

struct Instruction {
  std::uint32_t next = 0;  // address of the following instruction
  std::string mnemonic;
  std::string operands;
};

using Disassembly = std::map<std::uint32_t, Instruction>;

// Reads `llvm-objdump -d --no-show-raw-insn` output.
[[nodiscard]] Disassembly ParseDisassembly(std::string_view text);
// Runs OBJDUMP on IMAGE and reads its output; throws FlashError on failure.
[[nodiscard]] Disassembly Disassemble(const std::string& objdump, const std::string& image);

}  // namespace flash

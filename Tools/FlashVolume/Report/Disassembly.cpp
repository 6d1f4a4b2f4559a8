#include "Disassembly.h"

#include <cstdio>
#include <memory>
#include <sstream>

#include "Bytes.h"

namespace flash {

Disassembly ParseDisassembly(std::string_view text) {
  Disassembly code;
  Instruction* previous = nullptr;
  std::istringstream lines{std::string(text)};
  std::string line;
  while (std::getline(lines, line)) {
    // "     200:      \tpushl\t%ebp"
    const std::size_t colon = line.find(':');
    const std::size_t tab = line.find('\t');
    if (colon == std::string::npos || tab == std::string::npos || colon > tab) continue;
    std::uint32_t address = 0;
    try {
      std::size_t used = 0;
      address = static_cast<std::uint32_t>(std::stoul(line.substr(0, colon), &used, 16));
      if (line.substr(0, colon).find_first_not_of(' ') == std::string::npos) continue;
    } catch (const std::exception&) {
      continue;
    }
    Instruction instruction;
    const std::size_t operandsTab = line.find('\t', tab + 1);
    instruction.mnemonic = line.substr(tab + 1, operandsTab == std::string::npos ? std::string::npos : operandsTab - tab - 1);
    if (operandsTab != std::string::npos) {
      // Without the "# imm = 0x1B8" comment and the spaces before it.
      std::string operands = line.substr(operandsTab + 1);
      operands = operands.substr(0, operands.find('#'));
      operands.erase(operands.find_last_not_of(' ') + 1);
      instruction.operands = operands;
    }
    if (previous != nullptr) previous->next = address;
    previous = &code[address];
    *previous = std::move(instruction);
  }
  return code;
}

Disassembly Disassemble(const std::string& objdump, const std::string& image) {
  const std::string command = "'" + objdump + "' -d --no-show-raw-insn '" + image + "'";
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
  if (!pipe) throw FlashError("cannot run " + objdump);
  std::string text;
  char buffer[4096];
  while (std::size_t read = std::fread(buffer, 1, sizeof buffer, pipe.get())) text.append(buffer, read);
  if (pclose(pipe.release()) != 0) throw FlashError(objdump + " failed on " + image);
  return ParseDisassembly(text);
}

}  // namespace flash

// peim-report: the size and stack reports of the firmware images, with their
// budgets. Exit status 1 when a budget is exceeded, so the build fails.
//
//   peim-report sizes --image-budget BYTES --total-budget BYTES
//                     [--allow NAME=BYTES]... NAME=IMAGE.efi,FILE.ffs...
//   peim-report stack --budget BYTES --objdump LLVM-OBJDUMP NAME=IMAGE.efi,IMAGE.map...
//
// --allow raises one image's budget (or, as total=BYTES, the total's): a
// recorded exception, printed with the report, for what does not fit yet.
#include <algorithm>
#include <cstdio>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "Bytes.h"
#include "Disassembly.h"
#include "LinkerMap.h"
#include "PeImage.h"
#include "StackDepth.h"

namespace flash {
namespace {

struct ModuleFiles {
  std::string name;
  std::string first;
  std::string second;
};

ModuleFiles ParseModule(const std::string& arg) {
  const std::size_t equals = arg.find('=');
  const std::size_t comma = arg.find(',', equals);
  if (equals == std::string::npos || comma == std::string::npos)
    throw FlashError("expected NAME=FILE,FILE, not " + arg);
  return {arg.substr(0, equals), arg.substr(equals + 1, comma - equals - 1), arg.substr(comma + 1)};
}

std::uint32_t Number(const std::string& text) {
  try {
    std::size_t used = 0;
    const unsigned long value = std::stoul(text, &used, 0);
    if (used == text.size()) return static_cast<std::uint32_t>(value);
  } catch (const std::exception&) {
  }
  throw FlashError("not a number: " + text);
}

int Sizes(const std::vector<std::string>& args) {
  std::uint32_t imageBudget = 0, totalBudget = 0;
  std::map<std::string, std::uint32_t> allowed;
  std::vector<ModuleFiles> modules;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--image-budget" && i + 1 < args.size()) {
      imageBudget = Number(args[++i]);
    } else if (args[i] == "--total-budget" && i + 1 < args.size()) {
      totalBudget = Number(args[++i]);
    } else if (args[i] == "--allow" && i + 1 < args.size()) {
      const std::string allow = args[++i];
      const std::size_t equals = allow.find('=');
      if (equals == std::string::npos) throw FlashError("expected NAME=BYTES, not " + allow);
      allowed[allow.substr(0, equals)] = Number(allow.substr(equals + 1));
    } else {
      modules.push_back(ParseModule(args[i]));
    }
  }
  if (imageBudget == 0 || totalBudget == 0 || modules.empty())
    throw FlashError("sizes needs --image-budget, --total-budget and modules");

  bool over = false;
  std::uint64_t totalImages = 0, totalFiles = 0;
  std::printf("%-12s %8s %8s %10s\n", "module", "image", "budget", "FFS file");
  for (const ModuleFiles& module : modules) {
    const std::size_t image = ReadFileBytes(module.first).size();
    const std::size_t file = ReadFileBytes(module.second).size();
    const auto allowance = allowed.find(module.name);
    const std::uint32_t budget = allowance == allowed.end() ? imageBudget : allowance->second;
    totalImages += image;
    totalFiles += file;
    const bool fails = image > budget;
    over |= fails;
    std::printf("%-12s %8zu %8u %10zu%s%s\n", module.name.c_str(), image, budget, file,
                allowance == allowed.end() ? "" : "  (exception: over the image budget)", fails ? "  OVER BUDGET" : "");
  }
  const auto totalAllowance = allowed.find("total");
  const std::uint32_t total = totalAllowance == allowed.end() ? totalBudget : totalAllowance->second;
  const bool totalFails = totalImages > total;
  over |= totalFails;
  std::printf("%-12s %8llu %8u %10llu%s%s\n", "total", static_cast<unsigned long long>(totalImages), total,
              static_cast<unsigned long long>(totalFiles),
              totalAllowance == allowed.end() ? "" : "  (exception: over the total budget)",
              totalFails ? "  OVER BUDGET" : "");
  return over ? 1 : 0;
}

int Stack(const std::vector<std::string>& args) {
  std::uint32_t budget = 0;
  std::string objdump;
  std::vector<ModuleFiles> modules;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--budget" && i + 1 < args.size())
      budget = Number(args[++i]);
    else if (args[i] == "--objdump" && i + 1 < args.size())
      objdump = args[++i];
    else
      modules.push_back(ParseModule(args[i]));
  }
  if (budget == 0 || objdump.empty() || modules.empty()) throw FlashError("stack needs --budget, --objdump and modules");

  bool over = false;
  for (const ModuleFiles& module : modules) {
    const PeImage image = PeImage::Parse(ReadFileBytes(module.first));
    const LinkerMap map = ParseLinkerMap([&] {
      const Bytes bytes = ReadFileBytes(module.second);
      return std::string(bytes.begin(), bytes.end());
    }());
    std::uint32_t textRva = 0;
    for (const PeSection& section : image.sections())
      if (section.name == ".text") textRva = section.virtualAddress;
    auto isCode = [&](std::uint32_t rva) { return rva >= textRva && rva < textRva + map.codeLength; };

    // Roots: the entry point, and every function whose address the image holds.
    std::vector<std::uint32_t> roots = {image.entryPointRva()};
    for (std::uint32_t word : image.RelocatedWords()) {
      const std::uint32_t target = ReadLe32(image.bytes(), word) - image.imageBase();
      if (isCode(target) && std::find(roots.begin(), roots.end(), target) == roots.end()) roots.push_back(target);
    }
    const std::vector<RootDepth> depths = StackDepths(Disassemble(objdump, module.first), roots);
    std::uint32_t deepest = 0;
    for (const RootDepth& root : depths) deepest = std::max(deepest, root.depth);
    const bool fails = deepest > budget;
    over |= fails;
    std::printf("%-12s %5u bytes deepest (budget %u)%s\n", module.name.c_str(), deepest, budget,
                fails ? "  OVER BUDGET" : "");
    for (const RootDepth& root : depths) {
      const auto symbol = map.symbols.find(root.address - textRva);
      const std::string name = symbol != map.symbols.end() ? symbol->second : "(function)";
      std::printf("  %5u  %s at 0x%X\n", root.depth, name.c_str(), root.address);
    }
  }
  return over ? 1 : 0;
}

}  // namespace
}  // namespace flash

int main(int argc, char** argv) {
  using namespace flash;
  std::vector<std::string> args(argv + 1, argv + argc);
  try {
    if (args.empty()) throw FlashError("usage: peim-report sizes|stack ...");
    const std::string command = args.front();
    args.erase(args.begin());
    if (command == "sizes") return Sizes(args);
    if (command == "stack") return Stack(args);
    throw FlashError("unknown command " + command);
  } catch (const FlashError& error) {
    std::cerr << "peim-report: " << error.what() << "\n";
    return 2;
  }
}

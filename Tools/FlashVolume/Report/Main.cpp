// peim-report: the size and stack reports of the firmware images, with their
// budgets. Exit status 1 when a budget is exceeded, so the build fails.
//
//   peim-report sizes --image-budget BYTES --total-budget BYTES
//                     [--allow NAME=BYTES]... NAME=IMAGE.efi,FILE.ffs,IMAGE.map...
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
  std::vector<std::string> files;
};

ModuleFiles ParseModule(const std::string& arg, std::size_t fileCount) {
  const std::size_t equals = arg.find('=');
  if (equals == std::string::npos) throw FlashError("expected NAME=FILE,..., not " + arg);
  ModuleFiles module{arg.substr(0, equals), {}};
  std::string rest = arg.substr(equals + 1);
  for (std::size_t comma; (comma = rest.find(',')) != std::string::npos; rest = rest.substr(comma + 1))
    module.files.push_back(rest.substr(0, comma));
  module.files.push_back(rest);
  if (module.files.size() != fileCount)
    throw FlashError(arg + ": expected " + std::to_string(fileCount) + " files after the name");
  return module;
}

LinkerMap ReadLinkerMap(const std::string& path) {
  const Bytes bytes = ReadFileBytes(path);
  return ParseLinkerMap(std::string(bytes.begin(), bytes.end()));
}

std::uint32_t RawSize(const PeImage& image, const std::string& section) {
  for (const PeSection& s : image.sections())
    if (s.name == section) return s.rawSize;
  return 0;
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
      modules.push_back(ParseModule(args[i], 3));
    }
  }
  if (imageBudget == 0 || totalBudget == 0 || modules.empty())
    throw FlashError("sizes needs --image-budget, --total-budget and modules");

  bool over = false;
  std::uint64_t totalImages = 0, totalFiles = 0;
  std::printf("%-12s %8s %8s %10s   %s\n", "module", "image", "budget", "FFS file",
              "image: headers + code + constants + data + relocations");
  for (const ModuleFiles& module : modules) {
    const PeImage pe = PeImage::Parse(ReadFileBytes(module.files[0]));
    const std::size_t image = pe.bytes().size();
    const std::size_t file = ReadFileBytes(module.files[1]).size();
    const std::uint32_t code = ReadLinkerMap(module.files[2]).codeLength;
    const std::uint32_t text = RawSize(pe, ".text");
    const std::uint32_t headers = pe.sections().empty() ? 0 : pe.sections().front().rawOffset;
    const auto allowance = allowed.find(module.name);
    const std::uint32_t budget = allowance == allowed.end() ? imageBudget : allowance->second;
    totalImages += image;
    totalFiles += file;
    const bool fails = image > budget;
    over |= fails;
    std::printf("%-12s %8zu %8u %10zu   %u + %u + %u + %u + %u%s%s\n", module.name.c_str(), image, budget, file, headers,
                code, text - code, RawSize(pe, ".data"), RawSize(pe, ".reloc"),
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
      modules.push_back(ParseModule(args[i], 2));
  }
  if (budget == 0 || objdump.empty() || modules.empty()) throw FlashError("stack needs --budget, --objdump and modules");

  bool over = false;
  for (const ModuleFiles& module : modules) {
    const PeImage image = PeImage::Parse(ReadFileBytes(module.files[0]));
    const LinkerMap map = ReadLinkerMap(module.files[1]);
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
    const std::vector<RootDepth> depths = StackDepths(Disassemble(objdump, module.files[0]), roots);
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

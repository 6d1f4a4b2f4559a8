// ovmf-image: the project's PEIMs in a stock 32-bit OVMF code image.
//
//   ovmf-image insert -o OUT.fd [--before-memory NAME]... [--rebased-dir DIR] STOCK.fd FILE.ffs...
//   ovmf-image list IMAGE.fd
//
// NAME: the user-interface name of a PEIM (inserted or stock) or its file
// GUID; those run before permanent memory, in the order given, after the
// stock apriori list.
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "FfsFile.h"
#include "OvmfImage.h"

namespace flash::ovmf {
namespace {

void PrintVolume(const PeiVolumeInfo& info) {
  std::printf("PEI volume: %zu bytes at 0x%08X, %zu free\n", info.length, info.base, info.freeBytes);
  for (std::size_t i = 0; i < info.apriori.size(); ++i) {
    std::string name = info.apriori[i].ToString();
    for (const PlacedImage& image : info.images)
      if (image.file == info.apriori[i]) name = image.uiName;
    std::printf("  before memory %zu: %s\n", i + 1, name.c_str());
  }
  for (const PlacedImage& image : info.images)
    std::printf("  0x%08X %-28s %s %zu bytes\n", image.address, image.uiName.c_str(), image.file.ToString().c_str(),
                image.image.size());
}

int Insert(std::vector<std::string> args) {
  Insertion insertion;
  std::string output, stock, rebasedDir;
  for (std::size_t i = 0; i < args.size(); ++i) {
    auto value = [&](const char* what) {
      if (i + 1 >= args.size()) throw FlashError(std::string("missing ") + what);
      return args[++i];
    };
    if (args[i] == "-o")
      output = value("output file");
    else if (args[i] == "--before-memory")
      insertion.beforeMemory.push_back(value("PEIM name"));
    else if (args[i] == "--rebased-dir")
      rebasedDir = value("directory");
    else if (stock.empty())
      stock = args[i];
    else
      insertion.files.push_back(ReadFileBytes(args[i]));
  }
  if (output.empty() || stock.empty()) throw FlashError("insert needs -o and a stock image");
  const InsertResult result = InsertIntoPeiVolume(ReadFileBytes(stock), insertion);
  WriteFileBytes(output, result.image);
  if (!rebasedDir.empty()) {
    std::filesystem::create_directories(rebasedDir);
    for (const PlacedImage& image : result.inserted)
      WriteFileBytes(std::filesystem::path(rebasedDir) / (image.uiName + ".efi"), image.image);
  }
  std::printf("LZMA section: %zu -> %zu bytes\n", result.compressedBefore, result.compressedAfter);
  PrintVolume(result.after);
  return 0;
}

}  // namespace
}  // namespace flash::ovmf

int main(int argc, char** argv) {
  using namespace flash;
  const std::vector<std::string> args(argv + 1, argv + argc);
  try {
    if (args.size() >= 1 && args[0] == "insert") return ovmf::Insert({args.begin() + 1, args.end()});
    if (args.size() == 2 && args[0] == "list") {
      ovmf::PrintVolume(ovmf::ReadPeiVolume(ReadFileBytes(args[1])));
      return 0;
    }
    std::cerr << "usage: ovmf-image insert -o OUT.fd [--before-memory NAME]... [--rebased-dir DIR] STOCK.fd FILE.ffs...\n"
                 "       ovmf-image list IMAGE.fd\n";
    return 2;
  } catch (const FlashError& error) {
    std::cerr << "ovmf-image: " << error.what() << "\n";
    return 1;
  } catch (const std::filesystem::filesystem_error& error) {
    std::cerr << "ovmf-image: " << error.what() << "\n";
    return 1;
  }
}

// flash-volume: FFS files and firmware volumes of PEIM images.
//
//   flash-volume ffs --guid GUID --name NAME [--depex PPI]... -o FILE.ffs IMAGE.efi
//   flash-volume volume [--base ADDRESS] [--block-size BYTES] [--rebased-dir DIR] -o VOLUME.fv FILE.ffs...
//   flash-volume list [--base ADDRESS] VOLUME.fv
//   flash-volume rebase --base ADDRESS -o OUT.efi IMAGE.efi
//
// PPI: a GUID name of the project's headers (gPcdPpiGuid) or a GUID.
#include <cstdio>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "Depex.h"
#include "FfsFile.h"
#include "PeImage.h"
#include "PpiCatalog.h"
#include "Volume.h"

namespace flash {
namespace {

class Arguments {
 public:
  Arguments(int argc, char** argv) : args_(argv + 1, argv + argc) {}
  [[nodiscard]] bool Done() const { return at_ >= args_.size(); }
  [[nodiscard]] std::string Next(const char* what) {
    if (Done()) throw FlashError(std::string("missing ") + what);
    return args_[at_++];
  }
  [[nodiscard]] bool Take(std::string_view option) {
    if (Done() || args_[at_] != option) return false;
    ++at_;
    return true;
  }

 private:
  std::vector<std::string> args_;
  std::size_t at_ = 0;
};

std::uint32_t ParseAddress(const std::string& text) {
  std::size_t used = 0;
  unsigned long long value = 0;
  try {
    value = std::stoull(text, &used, 0);
  } catch (const std::exception&) {
    used = 0;
  }
  if (used != text.size() || value > 0xFFFFFFFFULL) throw FlashError("not a 32-bit number: " + text);
  return static_cast<std::uint32_t>(value);
}

int MakeFfs(Arguments& args) {
  PeimFileContents contents;
  std::string output, image;
  bool haveGuid = false;
  while (!args.Done()) {
    if (args.Take("--guid")) {
      const std::string text = args.Next("GUID");
      auto guid = Guid::Parse(text);
      if (!guid) throw FlashError("not a GUID: " + text);
      contents.name = *guid;
      haveGuid = true;
    } else if (args.Take("--name")) {
      contents.uiName = args.Next("name");
    } else if (args.Take("--depex")) {
      const std::string name = args.Next("PPI");
      auto guid = FindPpi(name);
      if (!guid) throw FlashError("unknown PPI " + name);
      contents.depex.push_back(*guid);
    } else if (args.Take("-o")) {
      output = args.Next("output file");
    } else {
      image = args.Next("image");
    }
  }
  if (!haveGuid || contents.uiName.empty() || output.empty() || image.empty())
    throw FlashError("ffs needs --guid, --name, -o and an image");
  contents.image = ReadFileBytes(image);
  WriteFileBytes(output, BuildPeimFile(contents));
  return 0;
}

int MakeVolume(Arguments& args) {
  VolumeOptions options;
  std::string output, rebasedDir;
  std::vector<Bytes> files;
  while (!args.Done()) {
    if (args.Take("--base")) {
      options.baseAddress = ParseAddress(args.Next("address"));
    } else if (args.Take("--block-size")) {
      options.blockSize = ParseAddress(args.Next("block size"));
    } else if (args.Take("--rebased-dir")) {
      rebasedDir = args.Next("directory");
    } else if (args.Take("-o")) {
      output = args.Next("output file");
    } else {
      files.push_back(ReadFileBytes(args.Next("FFS file")));
    }
  }
  if (output.empty() || files.empty()) throw FlashError("volume needs -o and at least one FFS file");
  const BuiltVolume volume = BuildVolume(files, options);
  WriteFileBytes(output, volume.bytes);
  if (!rebasedDir.empty()) {
    std::filesystem::create_directories(rebasedDir);
    for (const PlacedImage& image : volume.images)
      WriteFileBytes(std::filesystem::path(rebasedDir) / (image.uiName + ".efi"), image.image);
  }
  return 0;
}

int ListVolume(Arguments& args) {
  std::uint32_t base = kDefaultVolumeBase;
  std::string path;
  while (!args.Done()) {
    if (args.Take("--base"))
      base = ParseAddress(args.Next("address"));
    else
      path = args.Next("volume");
  }
  const Volume volume = ParseVolume(ReadFileBytes(path));
  std::printf("volume: %llu bytes, blocks of %u, attributes 0x%08X\n", static_cast<unsigned long long>(volume.length),
              volume.blockSize, volume.attributes);
  for (const FfsFile& file : volume.files) {
    std::printf("%06zX %s type 0x%02X %5zu bytes", file.offset, file.name.ToString().c_str(), file.type,
                file.bytes.size());
    if (file.type == static_cast<std::uint8_t>(FileType::Pad)) {
      std::printf(" pad\n");
      continue;
    }
    std::printf(" %s", file.UiName().value_or("(no name)").c_str());
    if (const FfsSection* pe32 = file.Find(SectionType::Pe32))
      std::printf(" image at 0x%08llX (%zu bytes)",
                  static_cast<unsigned long long>(base + file.offset + pe32->bodyOffset), pe32->bodySize);
    if (const FfsSection* depex = file.Find(SectionType::PeiDepex)) {
      auto ppis = DecodeDepex(file.Body(*depex));
      if (!ppis) {
        std::printf(" depex (not a conjunction)");
      } else if (ppis->empty()) {
        std::printf(" depex TRUE");
      } else {
        std::printf(" depex");
        for (std::size_t i = 0; i < ppis->size(); ++i)
          std::printf("%s %s", i ? " AND" : "", PpiName((*ppis)[i]).c_str());
      }
    }
    std::printf("\n");
  }
  return 0;
}

int RebaseImage(Arguments& args) {
  std::optional<std::uint32_t> base;
  std::string output, input;
  while (!args.Done()) {
    if (args.Take("--base"))
      base = ParseAddress(args.Next("address"));
    else if (args.Take("-o"))
      output = args.Next("output file");
    else
      input = args.Next("image");
  }
  if (!base || output.empty() || input.empty()) throw FlashError("rebase needs --base, -o and an image");
  PeImage image = PeImage::Parse(ReadFileBytes(input));
  image.Rebase(*base);
  WriteFileBytes(output, image.bytes());
  return 0;
}

}  // namespace
}  // namespace flash

int main(int argc, char** argv) {
  using namespace flash;
  Arguments args(argc, argv);
  try {
    const std::string command = args.Next("command (ffs, volume, list, rebase)");
    if (command == "ffs") return MakeFfs(args);
    if (command == "volume") return MakeVolume(args);
    if (command == "list") return ListVolume(args);
    if (command == "rebase") return RebaseImage(args);
    throw FlashError("unknown command " + command);
  } catch (const FlashError& error) {
    std::cerr << "flash-volume: " << error.what() << "\n";
    return 1;
  } catch (const std::filesystem::filesystem_error& error) {
    std::cerr << "flash-volume: " << error.what() << "\n";
    return 1;
  }
}

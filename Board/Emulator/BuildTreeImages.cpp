#include "BuildTreeImages.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>

#include "Board/BoardError.h"
#include "GuestLayout.h"

namespace board::emulator {

namespace {
constexpr uint32_t kImageAlignment = 0x1000;

uint32_t Word(const std::vector<uint8_t>& bytes, size_t at, size_t size = 4) {
  if (at + size > bytes.size()) throw BoardError("image truncated");
  uint32_t value = 0;
  std::memcpy(&value, bytes.data() + at, size);
  return value;
}

// Loads a PE32 whose file offsets equal its RVAs at base, applying its
// HIGHLOW base relocations; returns the entry point's RVA.
uint32_t PlaceImage(const std::vector<uint8_t>& file, uint8_t* at, uint32_t base) {
  const uint32_t pe = Word(file, 0x3C);
  if (Word(file, pe) != 0x00004550 || Word(file, pe + 4, 2) != 0x14C) throw BoardError("not an IA32 PE32 image");
  const size_t optional = pe + 24;
  if (Word(file, optional, 2) != 0x10B) throw BoardError("not a PE32 optional header");
  const uint32_t entry = Word(file, optional + 16);
  const uint32_t imageBase = Word(file, optional + 28);
  const uint32_t sizeOfImage = Word(file, optional + 56);
  const uint32_t relocRva = Word(file, optional + 96 + 5 * 8), relocSize = Word(file, optional + 96 + 5 * 8 + 4);
  if (file.size() < sizeOfImage) throw BoardError("the image's file is shorter than the image: it cannot run in place");
  std::memcpy(at, file.data(), file.size());
  const uint32_t delta = base - imageBase;
  for (uint32_t block = relocRva; block + 8 <= relocRva + relocSize;) {
    const uint32_t page = Word(file, block), blockSize = Word(file, block + 4);
    if (blockSize < 8) break;
    for (uint32_t entryAt = block + 8; entryAt + 2 <= block + blockSize; entryAt += 2) {
      const uint32_t fixup = Word(file, entryAt, 2);
      if ((fixup >> 12) == 3) {
        const uint32_t rva = page + (fixup & 0xFFF);
        uint32_t word;
        std::memcpy(&word, at + rva, 4);
        word += delta;
        std::memcpy(at + rva, &word, 4);
      }
    }
    block += blockSize;
  }
  std::memcpy(at + optional + 28, &base, 4);
  return entry;
}
}  // namespace

FlashContents LoadBuildTreeImages(const std::filesystem::path& firmwareTree) {
  std::vector<std::filesystem::path> found;
  std::error_code error;
  for (auto it = std::filesystem::recursive_directory_iterator(firmwareTree, error);
       !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error))
    if (it->path().extension() == ".efi" && it->is_regular_file()) found.push_back(it->path());
  if (found.empty()) throw BoardError("no .efi images under " + firmwareTree.string());
  std::sort(found.begin(), found.end());

  FlashContents flash;
  flash.bytes.assign(kFlashSize, 0xFF);  // erased
  uint32_t offset = 0;
  for (const auto& path : found) {
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const uint32_t size = static_cast<uint32_t>(file.size());
    if (offset + size > kFlashSize) throw BoardError("the images do not fit in flash");
    FlashImage image;
    image.name = path.stem().string();
    image.base = kFlashBase + offset;
    image.size = size;
    try {
      image.entry = image.base + PlaceImage(file, flash.bytes.data() + offset, image.base);
    } catch (const BoardError& e) {
      throw BoardError(path.string() + ": " + e.what());
    }
    std::ifstream map(std::filesystem::path(path).replace_extension(".map"));
    if (map) image.map = LinkMap::Parse(map);
    flash.images.push_back(std::move(image));
    offset = (offset + size + kImageAlignment - 1) / kImageAlignment * kImageAlignment;
  }
  return flash;
}

}  // namespace board::emulator

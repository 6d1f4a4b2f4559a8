#include "FlashVolumeImages.h"

#include <cstring>
#include <fstream>

#include "Board/BoardError.h"
#include "GuestLayout.h"
#include "FlashVolume.h"

namespace board::emulator {

namespace {
std::optional<std::filesystem::path> FindMap(const std::filesystem::path& under, const std::string& name) {
  std::error_code error;
  for (auto it = std::filesystem::recursive_directory_iterator(under, error);
       !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error))
    if (it->path().filename() == name + ".map" && it->is_regular_file()) return it->path();
  return std::nullopt;
}
}  // namespace

FlashContents LoadFlashVolume(const std::filesystem::path& volumePath, const std::filesystem::path& mapsUnder) {
  try {
    const flash::Bytes bytes = flash::ReadFileBytes(volumePath);
    const flash::Volume volume = flash::ParseVolume(bytes);
    // The volume does not carry its address; its images do: each was rebased
    // to the volume's base plus its offset.
    const auto atZero = flash::VolumeImages(volume, 0);
    if (atZero.empty()) throw BoardError("the volume holds no PEIM");
    const uint32_t base = flash::PeImage::Parse(atZero.front().image).imageBase() - atZero.front().address;
    if (base < kFlashBase || uint64_t{base} + bytes.size() > uint64_t{kFlashBase} + kFlashSize)
      throw BoardError("the volume does not lie in the board's flash window");

    FlashContents flash;
    flash.bytes.assign(kFlashSize, 0xFF);  // erased
    std::memcpy(flash.bytes.data() + (base - kFlashBase), bytes.data(), bytes.size());
    for (const flash::PlacedImage& placed : flash::VolumeImages(volume, base)) {
      const flash::PeImage image = flash::PeImage::Parse(placed.image);
      if (image.imageBase() != placed.address || !image.ExecutesInPlace())
        throw BoardError(placed.uiName + " is not rebased to execute in place at its flash address");
      FlashImage entry;
      entry.name = placed.uiName;
      entry.base = placed.address;
      entry.size = image.sizeOfImage();
      entry.entry = placed.address + image.entryPointRva();
      if (auto map = FindMap(mapsUnder, placed.uiName)) {
        std::ifstream in(*map);
        entry.map = LinkMap::Parse(in);
      }
      flash.images.push_back(std::move(entry));
    }
    return flash;
  } catch (const flash::FlashError& error) {
    throw BoardError(volumePath.string() + ": " + error.what());
  }
}

}  // namespace board::emulator

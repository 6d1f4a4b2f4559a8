// Firmware volumes (FFS2, erase polarity 1) of PEIM files, built for execute
// in place: every PE32 image rebased to the address its body has in flash.
//
// What this library promises:
//   - BuildVolume: a volume whose header, block map, files, pad files and
//     free space are as the PI specification gives them, with both FFS
//     checksums and each file's State valid, each image rebased by its base
//     relocations to base address + its offset in the volume;
//   - ParseVolume: reads any such volume back, checking the header checksum,
//     signature, file system, length, each file's checksums, State, alignment
//     and sections, and that free space is erased; throws FlashError otherwise;
//   - VolumeImages: each PEIM's name, file GUID, flash address and image bytes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Bytes.h"
#include "FfsFile.h"
#include "Guid.h"

namespace flash {

inline constexpr std::size_t kVolumeHeaderSize = 72;  // header with a one-entry block map and its terminator
// EFI_FIRMWARE_FILE_SYSTEM2_GUID.
inline constexpr Guid kFirmwareFileSystem2Guid = {
  {0x78, 0xE5, 0x8C, 0x8C, 0x3D, 0x8A, 0x1C, 0x4F, 0x99, 0x35, 0x89, 0x61, 0x85, 0xC3, 0x2D, 0xD3}};

// 256 KiB below 4 GiB: room above it for the boot volume with the reset vector.
inline constexpr std::uint32_t kDefaultVolumeBase = 0xFFFC0000;

struct VolumeOptions {
  std::uint32_t baseAddress = kDefaultVolumeBase;
  std::uint32_t blockSize = 0x1000;
};

// A PEIM image as it lies in a volume.
struct PlacedImage {
  std::string uiName;
  Guid file;
  std::uint32_t address = 0;  // of the image's first byte in flash
  Bytes image;                // rebased to `address`
};

struct BuiltVolume {
  Bytes bytes;
  std::vector<PlacedImage> images;
};

// Places the FFS files in order, each at the data alignment it declares,
// rebases the PE32 body of each to its flash address and refreshes the file's
// checksum; the volume is a whole number of blocks.
[[nodiscard]] BuiltVolume BuildVolume(const std::vector<Bytes>& ffsFiles, const VolumeOptions& options);

struct Volume {
  std::uint64_t length = 0;
  std::uint32_t attributes = 0;
  std::uint32_t blockSize = 0;
  std::vector<FfsFile> files;  // pad files included, in order
};

[[nodiscard]] Volume ParseVolume(ByteView bytes);

// The PEIM files of a volume that lies at `baseAddress`.
[[nodiscard]] std::vector<PlacedImage> VolumeImages(const Volume& volume, std::uint32_t baseAddress);

}  // namespace flash

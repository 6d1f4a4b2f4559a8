// Inserting PEIM files into the PEI volume of a stock 32-bit OVMF code image.
//
// The layout this knows: the image starts with a volume holding exactly one
// volume-image file, whose one section is LZMA-compressed (GUID-defined);
// unpacked, that is a series of sections, one of them the PEI volume (the
// volume-image section whose volume holds the PEI core). SEC copies the PEI
// volume to RAM and runs it there, so the stock PEIM images are linked at the
// volume's RAM address plus their offset: that address is read back from
// them, never assumed. Anything else is refused with a message saying which
// step found what.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Bytes.h"
#include "Guid.h"
#include "Volume.h"

namespace flash::ovmf {

// PEI_APRIORI_FILE_NAME_GUID: the PEIMs the core dispatches first, in order.
inline constexpr Guid kPeiAprioriFile = {
  {0x0A, 0xCC, 0x45, 0x1B, 0x6A, 0x15, 0x8A, 0x42, 0xAF, 0x62, 0x49, 0x86, 0x4D, 0xA0, 0xE6, 0xE6}};
// EE4E5898-3914-4259-9D6E-DC7BD79403CF: EDK2's LZMA custom decompress GUID.
inline constexpr Guid kLzmaSection = {
  {0x98, 0x58, 0x4E, 0xEE, 0x14, 0x39, 0x59, 0x42, 0x9D, 0x6E, 0xDC, 0x7B, 0xD7, 0x94, 0x03, 0xCF}};

struct Insertion {
  std::vector<Bytes> files;              // FFS files, State in the erase-polarity-0 form
  std::vector<std::string> beforeMemory;  // UI names or GUIDs to add to the apriori list, in order
};

struct PeiVolumeInfo {
  std::uint32_t base = 0;           // where the PEI volume runs (from the stock images)
  std::size_t length = 0;
  std::size_t freeBytes = 0;
  std::vector<Guid> apriori;        // the apriori list, in order
  std::vector<PlacedImage> images;  // every PEIM of the volume with its address
};

struct InsertResult {
  Bytes image;                    // the new code image, same size as the stock one
  PeiVolumeInfo before, after;
  std::vector<PlacedImage> inserted;
  std::size_t compressedBefore = 0, compressedAfter = 0;
};

// Reads the PEI volume of a code image.
[[nodiscard]] PeiVolumeInfo ReadPeiVolume(ByteView codeImage);

// Inserts the files, rebased for where they lie, extends the apriori list
// (the stock apriori file becomes a pad file of its size, so no stock file
// moves, and a new one is added at the end), recompresses, fixes every size
// and checksum. Throws FlashError when the layout is not the known one, a
// file's GUID is already there, a name to run before memory is unknown, or
// the files do not fit in the PEI volume's free space.
[[nodiscard]] InsertResult InsertIntoPeiVolume(ByteView codeImage, const Insertion& insertion);

}  // namespace flash::ovmf

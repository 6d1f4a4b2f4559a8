#include "Volume.h"

#include <algorithm>
#include <cstdio>

#include "PeImage.h"

namespace flash {
namespace {

// EFI_FIRMWARE_VOLUME_HEADER field offsets.
constexpr std::size_t kFileSystemGuid = 16, kFvLength = 32, kSignature = 40, kAttributes = 44, kHeaderLength = 48,
                      kChecksum = 50, kExtHeaderOffset = 52, kRevision = 55, kBlockMap = 56;
constexpr std::uint32_t kFvSignature = 0x4856465F;  // "_FVH"
constexpr std::uint8_t kFvRevision = 2;
constexpr std::size_t kFileAlignment = 8;
// EFI_FVB2_*: read, write and lock capabilities with their status (0xFF),
// sticky write (0x200), memory mapped (0x400), erase polarity 1 (0x800), read
// and write lock capabilities with their status (0xF000).
constexpr std::uint32_t kFvErasePolarity = 0x800;
constexpr std::uint32_t kFvAttributes = 0xFF | 0x200 | 0x400 | kFvErasePolarity | 0xF000;
constexpr std::size_t kFileState = 23;  // EFI_FFS_FILE_HEADER.State
constexpr unsigned kFvAlignmentShift = 16;  // EFI_FVB2_ALIGNMENT: log2 of the volume's alignment

std::string Hex(std::uint64_t value) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(value));
  return text;
}

unsigned Log2(std::size_t value) {
  unsigned log = 0;
  while ((std::size_t{1} << log) < value) ++log;
  return log;
}

// Where the next file goes when it must start at or after `at` and its data
// must be aligned to `alignment`: either right there, or after a pad file.
std::size_t NextFileStart(std::size_t at, std::size_t alignment) {
  std::size_t start = at;
  while ((start + kFileHeaderSize) % alignment != 0) start += kFileAlignment;
  while (start != at && start - at < kFileHeaderSize) start += alignment;
  return start;
}

}  // namespace

BuiltVolume BuildVolume(const std::vector<Bytes>& ffsFiles, const VolumeOptions& options) {
  const std::size_t blockSize = options.blockSize;
  if (blockSize == 0 || (blockSize & (blockSize - 1)) != 0)
    throw FlashError("block size " + std::to_string(blockSize) + " is not a power of two");
  if (options.baseAddress % blockSize != 0)
    throw FlashError("volume address " + Hex(options.baseAddress) + " is not on a block boundary");

  BuiltVolume built;
  Bytes& body = built.bytes;
  body.assign(kVolumeHeaderSize, 0);
  // Files are written with State in the erase-polarity-0 form; this volume stores it inverted.
  auto append = [&body](Bytes file) {
    file[kFileState] = static_cast<std::uint8_t>(~file[kFileState]);
    body.insert(body.end(), file.begin(), file.end());
  };
  std::size_t volumeAlignment = kFileAlignment;
  for (const Bytes& input : ffsFiles) {
    FfsFile file = ParseFfsFile(input, false);
    const std::size_t alignment = std::max(DataAlignment(file.attributes), kFileAlignment);
    volumeAlignment = std::max(volumeAlignment, alignment);
    const std::size_t at = AlignUp(body.size(), kFileAlignment);
    body.resize(at, 0xFF);
    const std::size_t start = NextFileStart(at, alignment);
    if (start != at) append(BuildPadFile(start - at, true));

    Bytes bytes = file.bytes;
    if (const FfsSection* pe32 = file.Find(SectionType::Pe32)) {
      PeImage image = PeImage::Parse(Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(pe32->bodyOffset),
                                            bytes.begin() + static_cast<std::ptrdiff_t>(pe32->bodyOffset + pe32->bodySize)));
      const std::string name = file.UiName().value_or(file.name.ToString());
      if (!image.ExecutesInPlace()) throw FlashError(name + ": image cannot execute in place (file offsets differ from RVAs)");
      const std::uint64_t address = std::uint64_t{options.baseAddress} + start + pe32->bodyOffset;
      if (address % image.sectionAlignment() != 0)
        throw FlashError(name + ": image would lie at " + Hex(address) + ", not aligned to " +
                         std::to_string(image.sectionAlignment()));
      if (address + image.sizeOfImage() > 0x100000000ULL) throw FlashError(name + ": image would run past 4 GiB");
      image.Rebase(static_cast<std::uint32_t>(address));
      std::copy(image.bytes().begin(), image.bytes().end(), bytes.begin() + static_cast<std::ptrdiff_t>(pe32->bodyOffset));
      RefreshFileChecksum(bytes);
      built.images.push_back({name, file.name, static_cast<std::uint32_t>(address), image.bytes()});
    }
    append(std::move(bytes));
  }

  const std::size_t length = AlignUp(std::max(body.size(), blockSize), blockSize);
  if (std::uint64_t{options.baseAddress} + length > 0x100000000ULL)
    throw FlashError("a volume of " + std::to_string(length) + " bytes at " + Hex(options.baseAddress) +
                     " runs past 4 GiB");
  if (options.baseAddress % volumeAlignment != 0)
    throw FlashError("volume address " + Hex(options.baseAddress) + " is not aligned to its files' " +
                     std::to_string(volumeAlignment));
  body.resize(length, 0xFF);

  std::copy(kFirmwareFileSystem2Guid.bytes.begin(), kFirmwareFileSystem2Guid.bytes.end(), body.begin() + kFileSystemGuid);
  WriteLe64(body, kFvLength, length);
  WriteLe32(body, kSignature, kFvSignature);
  WriteLe32(body, kAttributes, kFvAttributes | kFvErasePolarity | Log2(volumeAlignment) << kFvAlignmentShift);
  WriteLe16(body, kHeaderLength, kVolumeHeaderSize);
  WriteLe16(body, kExtHeaderOffset, 0);
  body[kRevision] = kFvRevision;
  WriteLe32(body, kBlockMap, static_cast<std::uint32_t>(length / blockSize));
  WriteLe32(body, kBlockMap + 4, static_cast<std::uint32_t>(blockSize));
  // The block map ends with a zero entry, already in place.
  WriteLe16(body, kChecksum, static_cast<std::uint16_t>(-Sum16(ByteView(body).first(kVolumeHeaderSize))));
  return built;
}

Volume ParseVolume(ByteView bytes) {
  const ByteView fixed = Slice(bytes, 0, kBlockMap, "volume header");
  Volume volume;
  if (ReadLe32(fixed, kSignature) != kFvSignature) throw FlashError("no volume signature");
  Guid fileSystem;
  std::copy_n(fixed.begin() + kFileSystemGuid, 16, fileSystem.bytes.begin());
  if (fileSystem != kFirmwareFileSystem2Guid)
    throw FlashError("file system " + fileSystem.ToString() + " is not FFS2");
  volume.length = ReadLe64(fixed, kFvLength);
  volume.attributes = ReadLe32(fixed, kAttributes);
  const std::size_t headerLength = ReadLe16(fixed, kHeaderLength);
  if (volume.length != bytes.size())
    throw FlashError("volume length " + std::to_string(volume.length) + " is not its " + std::to_string(bytes.size()) +
                     " bytes");
  const ByteView header = Slice(bytes, 0, headerLength, "volume header");
  if (headerLength % 2 != 0 || Sum16(header) != 0) throw FlashError("volume header checksum is wrong");
  if (ReadLe16(fixed, kExtHeaderOffset) != 0) throw FlashError("extended volume headers are not supported");

  std::uint64_t blocksLength = 0;
  std::size_t entry = kBlockMap;
  for (;; entry += 8) {
    const std::uint32_t count = ReadLe32(header, entry);
    const std::uint32_t length = ReadLe32(header, entry + 4);
    if (count == 0 && length == 0) break;
    if (volume.blockSize == 0) volume.blockSize = length;
    blocksLength += std::uint64_t{count} * length;
  }
  if (entry + 8 != headerLength) throw FlashError("block map does not end where the header does");
  if (blocksLength != volume.length) throw FlashError("block map covers " + std::to_string(blocksLength) + " bytes");

  const bool erasePolarity = (volume.attributes & kFvErasePolarity) != 0;
  const std::uint8_t erased = erasePolarity ? 0xFF : 0x00;
  std::size_t at = AlignUp(headerLength, kFileAlignment);
  while (at + kFileHeaderSize <= bytes.size()) {
    const ByteView next = bytes.subspan(at, kFileHeaderSize);
    if (std::all_of(next.begin(), next.end(), [&](std::uint8_t b) { return b == erased; })) break;
    FfsFile file = ParseFfsFile(bytes.subspan(at), erasePolarity);
    file.offset = at;
    if ((at + kFileHeaderSize) % DataAlignment(file.attributes) != 0)
      throw FlashError("file " + file.name.ToString() + " at " + Hex(at) + " is not at its data alignment");
    at = AlignUp(at + file.bytes.size(), kFileAlignment);
    volume.files.push_back(std::move(file));
  }
  const ByteView rest = bytes.subspan(std::min(at, bytes.size()));
  if (!std::all_of(rest.begin(), rest.end(), [&](std::uint8_t b) { return b == erased; }))
    throw FlashError("free space at " + Hex(at) + " is not erased");
  return volume;
}

std::vector<PlacedImage> VolumeImages(const Volume& volume, std::uint32_t baseAddress) {
  std::vector<PlacedImage> images;
  for (const FfsFile& file : volume.files) {
    if (file.type != static_cast<std::uint8_t>(FileType::Peim)) continue;
    const FfsSection* pe32 = file.Find(SectionType::Pe32);
    if (pe32 == nullptr) throw FlashError("PEIM file " + file.name.ToString() + " has no PE32 section");
    const ByteView image = file.Body(*pe32);
    images.push_back({file.UiName().value_or(""), file.name,
                      static_cast<std::uint32_t>(baseAddress + file.offset + pe32->bodyOffset),
                      Bytes(image.begin(), image.end())});
  }
  return images;
}

}  // namespace flash

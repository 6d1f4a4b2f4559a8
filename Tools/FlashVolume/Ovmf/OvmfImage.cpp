#include "OvmfImage.h"

#include <algorithm>
#include <optional>

#include "FfsFile.h"
#include "Lzma.h"
#include "PeImage.h"

namespace flash::ovmf {
namespace {

constexpr std::size_t kFileState = 23;  // EFI_FFS_FILE_HEADER.State
constexpr std::size_t kVolumeLength = 32;

FlashError Unknown(const std::string& what) {
  return FlashError("not the OVMF layout this tool knows: " + what);
}

// The outer (compact) volume with its one volume-image file and that file's LZMA section.
struct CompactVolume {
  Volume volume;
  const FfsFile* file = nullptr;
  GuidedSection section;
};

CompactVolume ReadCompactVolume(ByteView code) {
  CompactVolume compact;
  std::uint64_t length = 0;
  try {
    length = ReadLe64(code, kVolumeLength);
    compact.volume = ParseVolume(Slice(code, 0, length, "first volume"));
  } catch (const FlashError& error) {
    throw Unknown(std::string("the image does not start with a readable volume (") + error.what() + ")");
  }
  for (const FfsFile& file : compact.volume.files) {
    if (file.type == static_cast<std::uint8_t>(FileType::Pad)) continue;
    if (compact.file != nullptr) throw Unknown("the first volume holds more than one file");
    compact.file = &file;
  }
  if (compact.file == nullptr || compact.file->type != static_cast<std::uint8_t>(FileType::VolumeImage))
    throw Unknown("the first volume holds no volume-image file");
  if (AlignUp(compact.file->offset + compact.file->bytes.size(), 8) != compact.volume.freeOffset)
    throw Unknown("the volume-image file is not the last thing in the first volume");
  if (compact.file->sections.size() != 1) throw Unknown("the volume-image file does not hold exactly one section");
  compact.section = ParseGuidedSection(compact.file->bytes, compact.file->sections[0]);
  if (compact.section.guid != kLzmaSection)
    throw Unknown("the volume-image section is encoded by " + compact.section.guid.ToString() + ", not LZMA");
  return compact;
}

// Where the PEI volume lies in the unpacked data.
struct PeiVolumeSpan {
  std::size_t offset = 0, length = 0;
};

PeiVolumeSpan FindPeiVolume(ByteView unpacked) {
  for (const FfsSection& section : ParseSections(unpacked, 0, "compressed data")) {
    if (section.type != static_cast<std::uint8_t>(SectionType::VolumeImage)) continue;
    const ByteView body = unpacked.subspan(section.bodyOffset, section.bodySize);
    Volume volume;
    try {
      volume = ParseVolume(body);
    } catch (const FlashError& error) {
      throw Unknown(std::string("a volume in the compressed data is unreadable (") + error.what() + ")");
    }
    for (const FfsFile& file : volume.files)
      if (file.type == static_cast<std::uint8_t>(FileType::PeiCore)) return {section.bodyOffset, section.bodySize};
  }
  throw Unknown("no volume in the compressed data holds the PEI core");
}

std::vector<Guid> AprioriList(const FfsFile& file) {
  const FfsSection* raw = file.Find(SectionType::Raw);
  if (raw == nullptr || raw->bodySize % 16 != 0) throw Unknown("the PEI apriori file holds no list of GUIDs");
  std::vector<Guid> list(raw->bodySize / 16);
  const ByteView body = file.Body(*raw);
  for (std::size_t i = 0; i < list.size(); ++i) std::copy_n(body.begin() + 16 * i, 16, list[i].bytes.begin());
  return list;
}

PeiVolumeInfo Describe(ByteView peiVolume) {
  const Volume volume = ParseVolume(peiVolume);
  PeiVolumeInfo info;
  info.length = peiVolume.size();
  info.freeBytes = peiVolume.size() - volume.freeOffset;
  std::optional<std::uint32_t> base;
  for (const FfsFile& file : volume.files) {
    if (file.name == kPeiAprioriFile) {
      if (!info.apriori.empty()) throw Unknown("the PEI volume holds two apriori files");
      info.apriori = AprioriList(file);
    }
    const FfsSection* pe32 = file.Find(SectionType::Pe32);
    if (pe32 == nullptr) continue;
    const PeImage image = PeImage::Parse(Bytes(file.Body(*pe32).begin(), file.Body(*pe32).end()));
    const std::uint32_t at = static_cast<std::uint32_t>(file.offset + pe32->bodyOffset);
    const std::uint32_t fileBase = image.imageBase() - at;
    if (base && *base != fileBase)
      throw Unknown("the PEI volume's images are not all linked for one volume address (" +
                    file.UiName().value_or(file.name.ToString()) + ")");
    base = fileBase;
  }
  if (!base) throw Unknown("the PEI volume holds no PE32 image to tell where it runs");
  info.base = *base;
  info.images = VolumeImages(volume, info.base);
  return info;
}

FlashError NoRoom(std::size_t free, std::size_t needed) {
  return FlashError("no room: the PEI volume has " + std::to_string(free) + " bytes free, the files need at least " +
                    std::to_string(needed));
}

Guid ResolveName(const std::string& name, const std::vector<PlacedImage>& images) {
  for (const PlacedImage& image : images)
    if (image.uiName == name) return image.file;
  if (auto guid = Guid::Parse(name)) return *guid;
  throw FlashError("no PEIM named " + name + " in the PEI volume to run before memory");
}

Bytes InsertFiles(ByteView peiVolume, const Insertion& insertion, std::uint32_t base, std::vector<PlacedImage>& inserted) {
  const Volume volume = ParseVolume(peiVolume);
  Bytes body(peiVolume.begin(), peiVolume.begin() + static_cast<std::ptrdiff_t>(volume.freeOffset));

  std::vector<Guid> apriori;
  for (const FfsFile& file : volume.files) {
    if (file.name != kPeiAprioriFile) continue;
    apriori = AprioriList(file);
    // A pad file of the same size in its place: no stock file moves.
    Bytes pad = BuildPadFile(file.bytes.size(), true);
    pad[kFileState] = static_cast<std::uint8_t>(~pad[kFileState]);
    std::copy(pad.begin(), pad.end(), body.begin() + static_cast<std::ptrdiff_t>(file.offset));
  }

  for (const Bytes& input : insertion.files) {
    const FfsFile file = ParseFfsFile(input, false);
    const bool present = std::any_of(volume.files.begin(), volume.files.end(),
                                     [&](const FfsFile& f) { return f.name == file.name; }) ||
                         std::any_of(inserted.begin(), inserted.end(),
                                     [&](const PlacedImage& i) { return i.file == file.name; });
    if (present) throw FlashError("file " + file.name.ToString() + " is already in the PEI volume");
    auto placed = AppendFile(body, input, base);
    if (body.size() > peiVolume.size()) throw NoRoom(peiVolume.size() - volume.freeOffset, body.size() - volume.freeOffset);
    if (!placed) throw FlashError("file " + file.name.ToString() + " holds no PE32 image");
    inserted.push_back(std::move(*placed));
  }

  std::vector<PlacedImage> known = VolumeImages(volume, base);
  known.insert(known.end(), inserted.begin(), inserted.end());
  for (const std::string& name : insertion.beforeMemory) {
    const Guid guid = ResolveName(name, known);
    if (std::find(apriori.begin(), apriori.end(), guid) != apriori.end())
      throw FlashError(name + " is already in the apriori list");
    apriori.push_back(guid);
  }
  Bytes list;
  for (const Guid& guid : apriori) list.insert(list.end(), guid.bytes.begin(), guid.bytes.end());
  (void)AppendFile(body,
                   BuildFile(kPeiAprioriFile, static_cast<std::uint8_t>(FileType::Freeform), kAttribChecksum,
                             BuildRawSection(list)),
                   base);

  if (body.size() > peiVolume.size()) throw NoRoom(peiVolume.size() - volume.freeOffset, body.size() - volume.freeOffset);
  body.resize(peiVolume.size(), 0xFF);
  return body;
}

}  // namespace

PeiVolumeInfo ReadPeiVolume(ByteView code) {
  const CompactVolume compact = ReadCompactVolume(code);
  const Bytes unpacked = LzmaDecompress(ByteView(compact.file->bytes).subspan(compact.section.dataOffset,
                                                                              compact.section.dataSize));
  const PeiVolumeSpan span = FindPeiVolume(unpacked);
  return Describe(ByteView(unpacked).subspan(span.offset, span.length));
}

InsertResult InsertIntoPeiVolume(ByteView code, const Insertion& insertion) {
  const CompactVolume compact = ReadCompactVolume(code);
  const FfsFile& file = *compact.file;
  const ByteView packed = ByteView(file.bytes).subspan(compact.section.dataOffset, compact.section.dataSize);
  Bytes unpacked = LzmaDecompress(packed);
  const PeiVolumeSpan span = FindPeiVolume(unpacked);
  const ByteView peiVolume = ByteView(unpacked).subspan(span.offset, span.length);

  InsertResult result;
  result.before = Describe(peiVolume);
  const Bytes newVolume = InsertFiles(peiVolume, insertion, result.before.base, result.inserted);
  std::copy(newVolume.begin(), newVolume.end(), unpacked.begin() + static_cast<std::ptrdiff_t>(span.offset));
  result.after = Describe(newVolume);

  // The volume-image file again, around the recompressed section, at the same offset.
  const Bytes repacked = LzmaCompress(unpacked);
  const std::size_t prefix = compact.section.dataOffset - file.sections[0].offset;  // section header up to the data
  if (prefix != kSectionHeaderSize + kGuidedSectionFields)
    throw Unknown("the LZMA section carries data before its stream");
  Bytes newFile = BuildFile(file.name, file.type, file.attributes,
                            BuildGuidedSection(compact.section.guid, compact.section.attributes, repacked));
  newFile[kFileState] = static_cast<std::uint8_t>(~newFile[kFileState]);
  const std::size_t volumeLength = compact.volume.length;
  if (file.offset + newFile.size() > volumeLength)
    throw FlashError("no room: the recompressed volume image (" + std::to_string(newFile.size()) +
                     " bytes) does not fit in the first volume");

  result.image.assign(code.begin(), code.end());
  std::fill(result.image.begin() + static_cast<std::ptrdiff_t>(file.offset),
            result.image.begin() + static_cast<std::ptrdiff_t>(volumeLength), 0xFF);
  std::copy(newFile.begin(), newFile.end(), result.image.begin() + static_cast<std::ptrdiff_t>(file.offset));
  (void)ParseVolume(ByteView(result.image).first(volumeLength));  // everything written reads back
  result.compressedBefore = packed.size();
  result.compressedAfter = repacked.size();
  return result;
}

}  // namespace flash::ovmf

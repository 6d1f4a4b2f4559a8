#include "FfsFile.h"

#include <algorithm>
#include <array>

#include "Depex.h"
#include "PeImage.h"

namespace flash {
namespace {

// EFI_FFS_FILE_HEADER field offsets.
constexpr std::size_t kHeaderChecksum = 16, kFileChecksum = 17, kType = 18, kAttributes = 19, kSize = 20, kState = 23;
// Data alignments FFS_ATTRIB_DATA_ALIGNMENT encodes, by its 3-bit value.
constexpr std::array<std::size_t, 8> kAlignments = {8, 16, 128, 512, 1024, 4096, 32768, 65536};
constexpr std::size_t kSectionAlignment = 4;
constexpr std::uint32_t kExtendedSize = 0xFFFFFF;  // larger files and sections keep their size elsewhere

std::uint8_t AlignmentAttribute(std::size_t required) {
  for (std::size_t value = 0; value < kAlignments.size(); ++value)
    if (kAlignments[value] >= required) return static_cast<std::uint8_t>(value << 3);
  throw FlashError("alignment " + std::to_string(required) + " is larger than a file can declare");
}

void AppendSection(Bytes& data, SectionType type, ByteView body) {
  data.resize(AlignUp(data.size(), kSectionAlignment), 0);
  const std::size_t start = data.size();
  data.resize(start + kSectionHeaderSize);
  WriteLe24(data, start, static_cast<std::uint32_t>(kSectionHeaderSize + body.size()));
  data[start + 3] = static_cast<std::uint8_t>(type);
  data.insert(data.end(), body.begin(), body.end());
}

Bytes FileWithHeader(const Guid& name, FileType type, std::uint8_t attributes, ByteView data) {
  Bytes file(kFileHeaderSize);
  std::copy(name.bytes.begin(), name.bytes.end(), file.begin());
  file[kType] = static_cast<std::uint8_t>(type);
  file[kAttributes] = attributes;
  WriteLe24(file, kSize, static_cast<std::uint32_t>(kFileHeaderSize + data.size()));
  file.insert(file.end(), data.begin(), data.end());
  RefreshHeaderChecksum(file);
  RefreshFileChecksum(file);
  file[kState] = kStateValidFile;
  return file;
}

std::uint8_t HeaderSumWithoutState(ByteView header) {
  // The header checksum counts State and the file checksum as zero.
  return static_cast<std::uint8_t>(Sum8(header.first(kFileHeaderSize)) - header[kState] - header[kFileChecksum]);
}

}  // namespace

Bytes BuildPeimFile(const PeimFileContents& contents) {
  const PeImage image = PeImage::Parse(contents.image);
  const std::size_t imageAlignment = std::max<std::size_t>(image.sectionAlignment(), kSectionAlignment);
  if ((imageAlignment & (imageAlignment - 1)) != 0)
    throw FlashError("image section alignment " + std::to_string(imageAlignment) + " is not a power of two");

  Bytes data;
  AppendSection(data, SectionType::PeiDepex, EncodeDepex(contents.depex));
  data.resize(AlignUp(data.size(), kSectionAlignment), 0);
  // The PE32 body starts right after its section header: pad with a RAW
  // section (at least a header long) until that lands on the alignment.
  std::size_t pe32Header = data.size();
  while ((pe32Header + kSectionHeaderSize) % imageAlignment != 0) pe32Header += kSectionAlignment;
  if (pe32Header != data.size()) {  // a gap is a multiple of 4, so it holds a section header
    AppendSection(data, SectionType::Raw, Bytes(pe32Header - data.size() - kSectionHeaderSize, 0));
  }
  AppendSection(data, SectionType::Pe32, image.bytes());

  Bytes ui;
  for (char c : contents.uiName) {
    if (static_cast<unsigned char>(c) > 0x7E || c < 0x20) throw FlashError("user-interface name must be printable ASCII");
    ui.push_back(static_cast<std::uint8_t>(c));
    ui.push_back(0);
  }
  ui.insert(ui.end(), {0, 0});
  AppendSection(data, SectionType::UserInterface, ui);

  return FileWithHeader(contents.name, FileType::Peim, kAttribChecksum | AlignmentAttribute(imageAlignment), data);
}

Bytes BuildPadFile(std::size_t size, bool erasePolarity) {
  if (size < kFileHeaderSize) throw FlashError("a pad file of " + std::to_string(size) + " bytes has no room for its header");
  Guid name;
  name.bytes.fill(0xFF);
  return FileWithHeader(name, FileType::Pad, 0, Bytes(size - kFileHeaderSize, erasePolarity ? 0xFF : 0x00));
}

std::size_t DataAlignment(std::uint8_t attributes) { return kAlignments[(attributes & kAttribDataAlignment) >> 3]; }

void RefreshHeaderChecksum(std::span<std::uint8_t> file) {
  file[kHeaderChecksum] = 0;
  file[kHeaderChecksum] = static_cast<std::uint8_t>(-HeaderSumWithoutState(file));
}

void RefreshFileChecksum(std::span<std::uint8_t> file) {
  if ((file[kAttributes] & kAttribChecksum) == 0) {
    file[kFileChecksum] = kFixedFileChecksum;
    return;
  }
  const std::size_t size = ReadLe24(file, kSize);
  file[kFileChecksum] = static_cast<std::uint8_t>(-Sum8(Slice(file, kFileHeaderSize, size - kFileHeaderSize, "file data")));
}

FfsFile ParseFfsFile(ByteView bytes, bool erasePolarity) {
  const ByteView header = Slice(bytes, 0, kFileHeaderSize, "file header");
  FfsFile file;
  std::copy_n(header.begin(), 16, file.name.bytes.begin());
  file.type = header[kType];
  file.attributes = header[kAttributes];
  file.state = erasePolarity ? static_cast<std::uint8_t>(~header[kState]) : header[kState];
  const std::string what = "file " + file.name.ToString();
  const std::uint32_t size = ReadLe24(header, kSize);
  if (size == kExtendedSize) throw FlashError(what + ": large files are not supported");
  if (size < kFileHeaderSize) throw FlashError(what + ": size " + std::to_string(size) + " is smaller than its header");
  const ByteView whole = Slice(bytes, 0, size, what.c_str());
  file.bytes.assign(whole.begin(), whole.end());

  if (HeaderSumWithoutState(header) != 0) throw FlashError(what + ": header checksum is wrong");
  const std::uint8_t expected = (file.attributes & kAttribChecksum) != 0
                                    ? static_cast<std::uint8_t>(-Sum8(whole.subspan(kFileHeaderSize)))
                                    : kFixedFileChecksum;
  if (header[kFileChecksum] != expected) throw FlashError(what + ": data checksum is wrong");
  // A file in use has exactly these State bits: constructed, header and data valid.
  if (file.state != kStateValidFile)
    throw FlashError(what + ": State " + std::to_string(header[kState]) + " is not that of a valid file");

  if (file.type == static_cast<std::uint8_t>(FileType::Pad)) return file;
  std::size_t at = kFileHeaderSize;
  while (at < size) {
    const std::uint32_t sectionSize = ReadLe24(whole, at);
    if (sectionSize == kExtendedSize) throw FlashError(what + ": large sections are not supported");
    if (sectionSize < kSectionHeaderSize)
      throw FlashError(what + ": section at " + std::to_string(at) + " has size " + std::to_string(sectionSize));
    (void)Slice(whole, at, sectionSize, (what + ": section").c_str());
    file.sections.push_back({whole[at + 3], at, at + kSectionHeaderSize, sectionSize - kSectionHeaderSize});
    at = AlignUp(at + sectionSize, kSectionAlignment);
  }
  return file;
}

const FfsSection* FfsFile::Find(SectionType type) const {
  for (const FfsSection& section : sections)
    if (section.type == static_cast<std::uint8_t>(type)) return &section;
  return nullptr;
}

ByteView FfsFile::Body(const FfsSection& section) const {
  return ByteView(bytes).subspan(section.bodyOffset, section.bodySize);
}

std::optional<std::string> FfsFile::UiName() const {
  const FfsSection* section = Find(SectionType::UserInterface);
  if (section == nullptr) return std::nullopt;
  const ByteView body = Body(*section);
  std::string name;
  for (std::size_t i = 0; i + 1 < body.size(); i += 2) {
    const std::uint16_t c = ReadLe16(body, i);
    if (c == 0) return name;
    name.push_back(c < 0x80 ? static_cast<char>(c) : '?');
  }
  return std::nullopt;  // no terminator
}

}  // namespace flash

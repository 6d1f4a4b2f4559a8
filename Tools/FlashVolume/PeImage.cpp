#include "PeImage.h"

#include <cstdio>

namespace flash {
namespace {

// PE/COFF layout (Microsoft PE format): offsets from the DOS header, the
// COFF file header and the PE32 optional header.
constexpr std::uint16_t kDosMagic = 0x5A4D;         // "MZ"
constexpr std::size_t kDosNewHeaderOffset = 0x3C;   // e_lfanew
constexpr std::uint32_t kPeSignature = 0x00004550;  // "PE\0\0"
constexpr std::size_t kCoffHeaderSize = 20;
constexpr std::size_t kCoffMachine = 0, kCoffNumberOfSections = 2, kCoffSizeOfOptionalHeader = 16;
constexpr std::uint16_t kPe32Magic = 0x10B;
constexpr std::size_t kOptMagic = 0, kOptEntryPoint = 16, kOptImageBase = 28, kOptSectionAlignment = 32,
                      kOptSizeOfImage = 56, kOptSizeOfHeaders = 60, kOptSubsystem = 68, kOptNumberOfRvaAndSizes = 92,
                      kOptDataDirectory = 96;
constexpr std::size_t kBaseRelocationDirectory = 5;
constexpr std::size_t kSectionHeaderSize = 40;
constexpr std::size_t kSectionVirtualSize = 8, kSectionVirtualAddress = 12, kSectionRawSize = 16,
                      kSectionRawOffset = 20, kSectionCharacteristics = 36;
// Base relocation types an IA32 image may carry.
constexpr unsigned kRelocAbsolute = 0, kRelocHighLow = 3;

std::string Hex(std::uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%X", value);
  return text;
}

}  // namespace

PeImage PeImage::Parse(Bytes file) {
  PeImage image;
  image.bytes_ = std::move(file);
  const ByteView bytes = image.bytes_;
  if (bytes.size() < 0x40 || ReadLe16(bytes, 0) != kDosMagic) throw FlashError("not a PE image: no DOS header");
  const std::size_t pe = ReadLe32(bytes, kDosNewHeaderOffset);
  if (pe > bytes.size() || ReadLe32(bytes, pe) != kPeSignature) throw FlashError("not a PE image: no PE signature");
  const std::size_t coff = pe + 4;
  image.machine_ = ReadLe16(bytes, coff + kCoffMachine);
  const std::size_t sectionCount = ReadLe16(bytes, coff + kCoffNumberOfSections);
  const std::size_t optionalSize = ReadLe16(bytes, coff + kCoffSizeOfOptionalHeader);
  const std::size_t opt = coff + kCoffHeaderSize;
  image.optionalHeader_ = opt;
  (void)Slice(bytes, opt, optionalSize, "optional header");
  if (optionalSize < kOptDataDirectory || ReadLe16(bytes, opt + kOptMagic) != kPe32Magic)
    throw FlashError("not a PE32 image: optional header magic is not 0x10B");
  image.entryPointRva_ = ReadLe32(bytes, opt + kOptEntryPoint);
  image.imageBase_ = ReadLe32(bytes, opt + kOptImageBase);
  image.sectionAlignment_ = ReadLe32(bytes, opt + kOptSectionAlignment);
  image.sizeOfImage_ = ReadLe32(bytes, opt + kOptSizeOfImage);
  image.sizeOfHeaders_ = ReadLe32(bytes, opt + kOptSizeOfHeaders);
  image.subsystem_ = ReadLe16(bytes, opt + kOptSubsystem);
  const std::size_t directories = ReadLe32(bytes, opt + kOptNumberOfRvaAndSizes);
  if (kOptDataDirectory + 8 * directories > optionalSize)
    throw FlashError("optional header too short for its " + std::to_string(directories) + " data directories");
  if (directories > kBaseRelocationDirectory) {
    image.relocRva_ = ReadLe32(bytes, opt + kOptDataDirectory + 8 * kBaseRelocationDirectory);
    image.relocSize_ = ReadLe32(bytes, opt + kOptDataDirectory + 8 * kBaseRelocationDirectory + 4);
  }

  const ByteView table = Slice(bytes, opt + optionalSize, sectionCount * kSectionHeaderSize, "section table");
  for (std::size_t i = 0; i < sectionCount; ++i) {
    const ByteView header = table.subspan(i * kSectionHeaderSize, kSectionHeaderSize);
    PeSection section;
    for (std::size_t c = 0; c < 8 && header[c] != 0; ++c) section.name.push_back(static_cast<char>(header[c]));
    section.virtualSize = ReadLe32(header, kSectionVirtualSize);
    section.virtualAddress = ReadLe32(header, kSectionVirtualAddress);
    section.rawSize = ReadLe32(header, kSectionRawSize);
    section.rawOffset = ReadLe32(header, kSectionRawOffset);
    section.characteristics = ReadLe32(header, kSectionCharacteristics);
    (void)Slice(bytes, section.rawOffset, section.rawSize, ("section " + section.name).c_str());
    image.sections_.push_back(section);
  }
  (void)image.RelocatedWords();  // the relocation table must be well formed
  return image;
}

bool PeImage::ExecutesInPlace() const {
  if (bytes_.size() < sizeOfImage_) return false;
  for (const PeSection& section : sections_) {
    if (section.rawSize > 0 && section.rawOffset != section.virtualAddress) return false;
    if (section.virtualSize > section.rawSize) return false;
  }
  return true;
}

std::size_t PeImage::FileOffsetOf(std::uint32_t rva, std::size_t length) const {
  if (rva + length <= sizeOfHeaders_ && rva + length <= bytes_.size()) return rva;
  for (const PeSection& section : sections_) {
    if (rva >= section.virtualAddress && rva - section.virtualAddress + length <= section.rawSize)
      return section.rawOffset + (rva - section.virtualAddress);
  }
  throw FlashError("RVA " + Hex(rva) + " has no file data");
}

std::vector<std::uint32_t> PeImage::RelocatedWords() const {
  std::vector<std::uint32_t> words;
  if (relocSize_ == 0) return words;
  const ByteView table = Slice(bytes_, FileOffsetOf(relocRva_, relocSize_), relocSize_, "base relocation table");
  std::size_t block = 0;
  while (block + 8 <= table.size()) {
    const std::uint32_t pageRva = ReadLe32(table, block);
    const std::uint32_t blockSize = ReadLe32(table, block + 4);
    if (blockSize < 8 || blockSize % 2 != 0 || blockSize > table.size() - block)
      throw FlashError("base relocation block at " + Hex(static_cast<std::uint32_t>(block)) + " has a bad size " +
                       Hex(blockSize));
    for (std::size_t entry = block + 8; entry < block + blockSize; entry += 2) {
      const std::uint16_t value = ReadLe16(table, entry);
      const unsigned type = value >> 12;
      if (type == kRelocAbsolute) continue;
      if (type != kRelocHighLow)
        throw FlashError("base relocation type " + std::to_string(type) + " at page " + Hex(pageRva) +
                         " is not one an IA32 image uses");
      const std::uint32_t rva = pageRva + (value & 0xFFF);
      (void)FileOffsetOf(rva, 4);
      words.push_back(rva);
    }
    block += blockSize;
  }
  if (block != table.size()) throw FlashError("base relocation table ends inside a block header");
  return words;
}

void PeImage::Rebase(std::uint32_t newBase) {
  const std::uint32_t delta = newBase - imageBase_;  // wraps as the 32-bit processor adds
  for (std::uint32_t rva : RelocatedWords()) {
    const std::size_t offset = FileOffsetOf(rva, 4);
    WriteLe32(bytes_, offset, ReadLe32(bytes_, offset) + delta);
  }
  WriteLe32(bytes_, optionalHeader_ + kOptImageBase, newBase);
  imageBase_ = newBase;
}

}  // namespace flash

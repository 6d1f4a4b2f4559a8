// A PE32 image (IA32 PEIM) as bytes: its headers, its sections, and rebasing
// by its base relocations. Only PE32 (optional header magic 0x10B) is read.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Bytes.h"

namespace flash {

struct PeSection {
  std::string name;
  std::uint32_t virtualAddress = 0;
  std::uint32_t virtualSize = 0;
  std::uint32_t rawOffset = 0;
  std::uint32_t rawSize = 0;
  std::uint32_t characteristics = 0;
};

class PeImage {
 public:
  // Reads and checks the headers; throws FlashError when they are not a
  // well-formed PE32 image whose tables lie inside the file.
  [[nodiscard]] static PeImage Parse(Bytes file);

  [[nodiscard]] const Bytes& bytes() const { return bytes_; }
  [[nodiscard]] std::uint16_t machine() const { return machine_; }
  [[nodiscard]] std::uint16_t subsystem() const { return subsystem_; }
  [[nodiscard]] std::uint32_t imageBase() const { return imageBase_; }
  [[nodiscard]] std::uint32_t entryPointRva() const { return entryPointRva_; }
  [[nodiscard]] std::uint32_t sizeOfImage() const { return sizeOfImage_; }
  [[nodiscard]] std::uint32_t sectionAlignment() const { return sectionAlignment_; }
  [[nodiscard]] const std::vector<PeSection>& sections() const { return sections_; }

  // True when the file is the image as it lies in memory: every section at a
  // file offset equal to its RVA with all its bytes present, the file at
  // least SizeOfImage long. Only such an image can execute in place.
  [[nodiscard]] bool ExecutesInPlace() const;

  // The RVAs of the 32-bit words the base relocations name.
  [[nodiscard]] std::vector<std::uint32_t> RelocatedWords() const;

  // Moves the image to `newBase`: adds the difference to every word its base
  // relocations name and writes the new ImageBase. The same bytes as linking
  // the image at that base.
  void Rebase(std::uint32_t newBase);

 private:
  [[nodiscard]] std::size_t FileOffsetOf(std::uint32_t rva, std::size_t length) const;

  Bytes bytes_;
  std::size_t optionalHeader_ = 0;
  std::uint16_t machine_ = 0;
  std::uint16_t subsystem_ = 0;
  std::uint32_t imageBase_ = 0;
  std::uint32_t entryPointRva_ = 0;
  std::uint32_t sizeOfImage_ = 0;
  std::uint32_t sizeOfHeaders_ = 0;
  std::uint32_t sectionAlignment_ = 0;
  std::uint32_t relocRva_ = 0;
  std::uint32_t relocSize_ = 0;
  std::vector<PeSection> sections_;
};

}  // namespace flash

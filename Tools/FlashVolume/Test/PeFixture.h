// A small PE32 image built byte by byte: headers, a .text section holding two
// words the base relocations name and one they don't, and .reloc. File
// offsets equal RVAs, as in the firmware images.
#pragma once

#include <cstdint>

#include "Bytes.h"

namespace flash::test {

inline constexpr std::uint32_t kTextRva = 0x1A0;
inline constexpr std::uint32_t kRelocatedWord1 = kTextRva + 4;     // holds 0x1A0 + 0x10
inline constexpr std::uint32_t kRelocatedWord2 = kTextRva + 0x10;  // holds 0x1A0 + 0x20
inline constexpr std::uint32_t kPlainWord = kTextRva + 0x20;       // 0x12345678, not relocated
inline constexpr std::uint32_t kRelocRva = 0x1E0;

struct PeFixtureOptions {
  std::uint16_t relocationType = 3;  // HIGHLOW
  std::uint32_t sectionAlignment = 32;
};

inline Bytes MakePeFixture(const PeFixtureOptions& options = {}) {
  Bytes image(0x200, 0);
  WriteLe16(image, 0, 0x5A4D);
  WriteLe32(image, 0x3C, 0x40);
  WriteLe32(image, 0x40, 0x00004550);
  const std::size_t coff = 0x44, opt = 0x58;
  WriteLe16(image, coff + 0, 0x14C);
  WriteLe16(image, coff + 2, 2);
  WriteLe16(image, coff + 16, 224);
  WriteLe16(image, coff + 18, 0x2102);
  WriteLe16(image, opt + 0, 0x10B);
  WriteLe32(image, opt + 16, kTextRva);  // entry point
  WriteLe32(image, opt + 28, 0);         // image base
  WriteLe32(image, opt + 32, options.sectionAlignment);
  WriteLe32(image, opt + 36, 32);
  WriteLe32(image, opt + 56, 0x200);  // size of image
  WriteLe32(image, opt + 60, 0x1A0);  // size of headers
  WriteLe16(image, opt + 68, 0xB);
  WriteLe32(image, opt + 92, 16);
  WriteLe32(image, opt + 96 + 8 * 5, kRelocRva);
  WriteLe32(image, opt + 96 + 8 * 5 + 4, 16);
  auto section = [&](std::size_t at, const char* name, std::uint32_t rva, std::uint32_t size, std::uint32_t flags) {
    for (std::size_t i = 0; name[i] != 0; ++i) image[at + i] = static_cast<std::uint8_t>(name[i]);
    WriteLe32(image, at + 8, size);
    WriteLe32(image, at + 12, rva);
    WriteLe32(image, at + 16, size);
    WriteLe32(image, at + 20, rva);
    WriteLe32(image, at + 36, flags);
  };
  section(opt + 224, ".text", kTextRva, 0x40, 0x60000020);
  section(opt + 224 + 40, ".reloc", kRelocRva, 0x20, 0x42000040);
  WriteLe32(image, kRelocatedWord1, kTextRva + 0x10);
  WriteLe32(image, kRelocatedWord2, kTextRva + 0x20);
  WriteLe32(image, kPlainWord, 0x12345678);
  // One block for page 0: two relocations, two ABSOLUTE entries as padding.
  WriteLe32(image, kRelocRva, 0);
  WriteLe32(image, kRelocRva + 4, 16);
  WriteLe16(image, kRelocRva + 8, static_cast<std::uint16_t>(options.relocationType << 12 | kRelocatedWord1));
  WriteLe16(image, kRelocRva + 10, static_cast<std::uint16_t>(options.relocationType << 12 | kRelocatedWord2));
  return image;
}

}  // namespace flash::test

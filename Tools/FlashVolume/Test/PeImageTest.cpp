#include "PeImage.h"

#include <gtest/gtest.h>

#include "PeFixture.h"

namespace flash {
namespace {

using test::MakePeFixture;

TEST(PeImage, ReadsTheHeadersAndSections) {
  const PeImage image = PeImage::Parse(MakePeFixture());
  EXPECT_EQ(image.machine(), 0x14C);
  EXPECT_EQ(image.subsystem(), 0xB);
  EXPECT_EQ(image.entryPointRva(), test::kTextRva);
  EXPECT_EQ(image.sizeOfImage(), 0x200u);
  ASSERT_EQ(image.sections().size(), 2u);
  EXPECT_EQ(image.sections()[0].name, ".text");
  EXPECT_EQ(image.sections()[1].name, ".reloc");
  EXPECT_TRUE(image.ExecutesInPlace());
  EXPECT_EQ(image.RelocatedWords(), (std::vector<std::uint32_t>{test::kRelocatedWord1, test::kRelocatedWord2}));
}

TEST(PeImage, RebaseMovesOnlyRelocatedWordsAndTheImageBase) {
  PeImage image = PeImage::Parse(MakePeFixture());
  image.Rebase(0xFFFC00C0);
  EXPECT_EQ(image.imageBase(), 0xFFFC00C0u);
  EXPECT_EQ(ReadLe32(image.bytes(), 0x58 + 28), 0xFFFC00C0u);
  EXPECT_EQ(ReadLe32(image.bytes(), test::kRelocatedWord1), 0xFFFC00C0u + test::kTextRva + 0x10);
  EXPECT_EQ(ReadLe32(image.bytes(), test::kRelocatedWord2), 0xFFFC00C0u + test::kTextRva + 0x20);
  EXPECT_EQ(ReadLe32(image.bytes(), test::kPlainWord), 0x12345678u);

  // Moving again counts from the current base; moving back restores every byte.
  image.Rebase(0x1000);
  EXPECT_EQ(ReadLe32(image.bytes(), test::kRelocatedWord1), 0x1000u + test::kTextRva + 0x10);
  image.Rebase(0);
  EXPECT_EQ(image.bytes(), MakePeFixture());
}

TEST(PeImage, RejectsMalformedImages) {
  struct Case {
    const char* what;
    Bytes bytes;
  };
  Bytes truncated = MakePeFixture();
  truncated.resize(0x60);
  Bytes noMz = MakePeFixture();
  noMz[0] = 'X';
  Bytes pe32Plus = MakePeFixture();
  WriteLe16(pe32Plus, 0x58, 0x20B);
  Bytes sectionPastEnd = MakePeFixture();
  WriteLe32(sectionPastEnd, 0x58 + 224 + 16, 0x1000);
  Bytes badBlock = MakePeFixture();
  WriteLe32(badBlock, test::kRelocRva + 4, 6);
  const Case cases[] = {
    {"truncated", truncated},
    {"no DOS header", noMz},
    {"PE32+", pe32Plus},
    {"section past the end", sectionPastEnd},
    {"relocation block of 6 bytes", badBlock},
    {"relocation type 10 (DIR64)", MakePeFixture({.relocationType = 10})},
  };
  for (const Case& c : cases) EXPECT_THROW((void)PeImage::Parse(c.bytes), FlashError) << c.what;
}

TEST(PeImage, AnImageWhoseOffsetsDifferFromItsRvasCannotExecuteInPlace) {
  Bytes image = MakePeFixture();
  WriteLe32(image, 0x58 + 224 + 20, test::kTextRva + 0x20);  // .text raw data moved, RVA kept
  WriteLe32(image, 0x58 + 224 + 16, 0x20);
  EXPECT_FALSE(PeImage::Parse(image).ExecutesInPlace());
}

}  // namespace
}  // namespace flash

#include "Volume.h"

#include <gtest/gtest.h>

#include "PeFixture.h"
#include "PeImage.h"

namespace flash {
namespace {

std::vector<Bytes> TwoFiles() {
  return {BuildPeimFile({*Guid::Parse("00000001-0000-0000-0000-000000000000"), "First", {}, test::MakePeFixture()}),
          BuildPeimFile({*Guid::Parse("00000002-0000-0000-0000-000000000000"), "Second", {}, test::MakePeFixture()})};
}

TEST(Volume, BuiltVolumeReadsBackWithEachImageRebasedToItsFlashAddress) {
  const std::uint32_t base = 0xFFF80000;
  const BuiltVolume built = BuildVolume(TwoFiles(), {.baseAddress = base, .blockSize = 0x1000});
  EXPECT_EQ(built.bytes.size(), 0x1000u);
  EXPECT_EQ(ReadLe64(built.bytes, 32), 0x1000u);
  EXPECT_EQ(Sum16(ByteView(built.bytes).first(kVolumeHeaderSize)), 0);

  const Volume volume = ParseVolume(built.bytes);
  EXPECT_EQ(volume.blockSize, 0x1000u);
  EXPECT_NE(volume.attributes & 0x800, 0u);  // erase polarity 1
  const std::vector<PlacedImage> images = VolumeImages(volume, base);
  ASSERT_EQ(images.size(), 2u);
  ASSERT_EQ(built.images.size(), 2u);
  for (std::size_t i = 0; i < 2; ++i) {
    EXPECT_EQ(images[i].uiName, built.images[i].uiName);
    EXPECT_EQ(images[i].address, built.images[i].address);
    EXPECT_EQ(images[i].address % 32, 0u);
    EXPECT_EQ(images[i].image, built.images[i].image);
    // The image in flash is the original moved to where it lies.
    PeImage expected = PeImage::Parse(test::MakePeFixture());
    expected.Rebase(images[i].address);
    EXPECT_EQ(images[i].image, expected.bytes());
    EXPECT_EQ(ReadLe32(images[i].image, test::kRelocatedWord1), images[i].address + test::kTextRva + 0x10);
  }
  EXPECT_EQ(images[0].uiName, "First");
  EXPECT_LT(images[0].address, images[1].address);
  // Every byte between and after the files is a file, a pad file or erased.
  for (const FfsFile& file : volume.files) EXPECT_TRUE(file.type == 0x06 || file.type == 0xF0);
}

TEST(Volume, ReadingFailsOnDamage) {
  const Bytes good = BuildVolume(TwoFiles(), {}).bytes;
  const Volume volume = ParseVolume(good);
  const FfsFile& first = volume.files.at(1);
  struct Case {
    const char* what;
    std::size_t offset;
  };
  const Case cases[] = {
    {"header checksum", 50},
    {"signature", 40},
    {"file system GUID", 16},
    {"length", 33},
    {"block map", 57},
    {"file data checksum", first.offset + 17},
    {"image byte", first.offset + first.Find(SectionType::Pe32)->bodyOffset + 0x1A4},
    {"free space", good.size() - 1},
  };
  for (const Case& c : cases) {
    Bytes bad = good;
    bad[c.offset] ^= 0x01;
    EXPECT_THROW((void)ParseVolume(bad), FlashError) << c.what;
  }
}

TEST(Volume, RefusesPlacesTheImagesCannotRunFrom) {
  EXPECT_THROW((void)BuildVolume(TwoFiles(), {.baseAddress = 0xFFFC0800}), FlashError);  // not on a block
  EXPECT_THROW((void)BuildVolume(TwoFiles(), {.baseAddress = 0xFFFFFF00, .blockSize = 0x100}),
               FlashError);  // runs past 4 GiB
  EXPECT_THROW((void)BuildVolume(TwoFiles(), {.blockSize = 0x1800}), FlashError);
  Bytes image = test::MakePeFixture();
  WriteLe32(image, 0x58 + 224 + 20, 0x1C0);  // .text's file offset no longer its RVA
  const Bytes file = BuildPeimFile({*Guid::Parse("00000003-0000-0000-0000-000000000000"), "Moved", {}, image});
  EXPECT_THROW((void)BuildVolume({file}, {}), FlashError);
}

}  // namespace
}  // namespace flash

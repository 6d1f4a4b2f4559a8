#include "FfsFile.h"

#include <gtest/gtest.h>

#include "Depex.h"
#include "PeFixture.h"

namespace flash {
namespace {

const Guid kName = *Guid::Parse("5A1D7E21-3C4B-4F7E-9D0A-1B2C3D4E5F60");
const Guid kPpiA = *Guid::Parse("06E81C58-4AD7-44BC-8390-F10265F72480");
const Guid kPpiB = *Guid::Parse("2AB86EF5-ECB5-4134-B556-3854CA1FE1B4");

PeimFileContents Contents(std::vector<Guid> depex = {kPpiA, kPpiB}) {
  return {kName, "BootMarker", std::move(depex), test::MakePeFixture()};
}

TEST(Guid, TextRoundTripInTheUefiByteOrder) {
  const Guid guid = *Guid::Parse("8c8ce578-8a3d-4f1c-9935-896185c32dd3");
  EXPECT_EQ(guid.bytes[0], 0x78);  // first field little-endian
  EXPECT_EQ(guid.bytes[4], 0x3D);
  EXPECT_EQ(guid.bytes[8], 0x99);  // last eight bytes in text order
  EXPECT_EQ(guid.ToString(), "8C8CE578-8A3D-4F1C-9935-896185C32DD3");
  for (const char* bad : {"", "8C8CE578-8A3D-4F1C-9935-896185C32DD", "8C8CE578+8A3D-4F1C-9935-896185C32DD3",
                          "8C8CE578-8A3D-4F1C-9935-896185C32DDG"})
    EXPECT_FALSE(Guid::Parse(bad)) << bad;
}

TEST(Depex, ConjunctionsAndTrueInTheirByteForm) {
  EXPECT_EQ(EncodeDepex({}), (Bytes{0x06, 0x08}));
  const Bytes two = EncodeDepex({kPpiA, kPpiB});
  ASSERT_EQ(two.size(), 1 + 16 + 1 + 16 + 1 + 1);
  EXPECT_EQ(two[0], 0x02);
  EXPECT_EQ(two[17], 0x02);
  EXPECT_EQ(two[34], 0x03);
  EXPECT_EQ(two[35], 0x08);
  for (const std::vector<Guid>& ppis : {std::vector<Guid>{}, {kPpiA}, {kPpiA, kPpiB, kPpiA}})
    EXPECT_EQ(DecodeDepex(EncodeDepex(ppis)), ppis);
  for (const Bytes& other : {Bytes{}, Bytes{0x08}, Bytes{0x06}, Bytes{0x06, 0x08, 0x08}, Bytes{0x02, 0x01}})
    EXPECT_FALSE(DecodeDepex(other));
}

TEST(FfsFile, PeimFileHasItsSectionsInOrderWithTheImageAligned) {
  const Bytes bytes = BuildPeimFile(Contents());
  const FfsFile file = ParseFfsFile(bytes, false);
  EXPECT_EQ(file.name, kName);
  EXPECT_EQ(file.type, 0x06);
  EXPECT_EQ(file.state, kStateValidFile);
  EXPECT_EQ(file.attributes & kAttribChecksum, kAttribChecksum);
  // 32-byte section alignment rounds up to the next alignment a file can declare.
  EXPECT_EQ(DataAlignment(file.attributes), 128u);
  ASSERT_EQ(file.sections.size(), 4u);
  EXPECT_EQ(file.sections[0].type, 0x1B);
  EXPECT_EQ(file.sections[1].type, 0x19);
  EXPECT_EQ(file.sections[2].type, 0x10);
  EXPECT_EQ(file.sections[3].type, 0x15);
  const FfsSection& pe32 = file.sections[2];
  EXPECT_EQ((pe32.bodyOffset - kFileHeaderSize) % 32, 0u);
  EXPECT_EQ(Bytes(file.Body(pe32).begin(), file.Body(pe32).end()), test::MakePeFixture());
  EXPECT_EQ(DecodeDepex(file.Body(*file.Find(SectionType::PeiDepex))), (std::vector<Guid>{kPpiA, kPpiB}));
  EXPECT_EQ(file.UiName(), "BootMarker");
  EXPECT_EQ(bytes.size(), file.sections[3].bodyOffset + 2 * sizeof("BootMarker"));
}

TEST(FfsFile, AnImageNeedingMoreAlignmentGetsALargerDeclaredAlignment) {
  PeimFileContents contents = Contents({});
  contents.image = test::MakePeFixture({.sectionAlignment = 512});
  const FfsFile file = ParseFfsFile(BuildPeimFile(contents), false);
  EXPECT_EQ(DataAlignment(file.attributes), 512u);
  EXPECT_EQ((file.Find(SectionType::Pe32)->bodyOffset - kFileHeaderSize) % 512, 0u);
  EXPECT_EQ(DecodeDepex(file.Body(*file.Find(SectionType::PeiDepex))), std::vector<Guid>{});
}

TEST(FfsFile, ReadingFailsOnEveryDamage) {
  const Bytes good = BuildPeimFile(Contents());
  struct Case {
    const char* what;
    std::size_t offset;
    std::uint8_t flip;
    const char* message;
  };
  const Case cases[] = {
    {"name byte", 3, 0x01, "header checksum"},
    {"header checksum", 16, 0x01, "header checksum"},
    {"data checksum", 17, 0x01, "data checksum"},
    {"image byte", good.size() - 30, 0x40, "data checksum"},
    {"State", 23, 0x08, "State"},
  };
  for (const Case& c : cases) {
    Bytes bad = good;
    bad[c.offset] ^= c.flip;
    try {
      (void)ParseFfsFile(bad, false);
      ADD_FAILURE() << c.what << ": accepted";
    } catch (const FlashError& error) {
      EXPECT_NE(std::string(error.what()).find(c.message), std::string::npos) << c.what << ": " << error.what();
    }
  }
  Bytes truncated = good;
  truncated.pop_back();
  EXPECT_THROW((void)ParseFfsFile(truncated, false), FlashError);
  // Erase polarity 1 stores State inverted.
  Bytes inverted = good;
  inverted[23] = static_cast<std::uint8_t>(~inverted[23]);
  EXPECT_THROW((void)ParseFfsFile(inverted, false), FlashError);
  EXPECT_EQ(ParseFfsFile(inverted, true).state, kStateValidFile);
}

TEST(FfsFile, PadFilesUseTheFixedChecksumAndErasedData) {
  const FfsFile pad = ParseFfsFile(BuildPadFile(40, true), false);
  EXPECT_EQ(pad.type, 0xF0);
  EXPECT_EQ(pad.bytes.size(), 40u);
  EXPECT_EQ(pad.bytes[17], kFixedFileChecksum);
  EXPECT_EQ(pad.bytes[39], 0xFF);
  EXPECT_THROW((void)BuildPadFile(23, true), FlashError);
}

}  // namespace
}  // namespace flash

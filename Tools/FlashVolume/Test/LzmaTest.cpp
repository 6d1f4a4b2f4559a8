#include "Lzma.h"

#include <gtest/gtest.h>

namespace flash {
namespace {

Bytes Sample() {
  Bytes data(100000);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>((i * 7) ^ (i >> 9));
  return data;
}

TEST(Lzma, StreamCarriesItsRealSizeAndUnpacksToTheData) {
  const Bytes data = Sample();
  const Bytes stream = LzmaCompress(data);
  ASSERT_GT(stream.size(), kLzmaHeaderSize);
  EXPECT_EQ(stream[0], 0x5D);                           // lc=3 lp=0 pb=2
  EXPECT_EQ(ReadLe32(stream, 1), 16u << 20);            // dictionary
  EXPECT_EQ(ReadLe64(stream, 5), data.size());          // not "unknown"
  EXPECT_LT(stream.size(), data.size() / 2);
  EXPECT_EQ(LzmaDecompress(stream), data);
}

TEST(Lzma, RefusesAStreamThatDisagreesWithItsHeaderOrIsCut) {
  const Bytes stream = LzmaCompress(Sample());
  Bytes wrongSize = stream;
  WriteLe64(wrongSize, 5, 99999);
  Bytes unknownSize = stream;
  WriteLe64(unknownSize, 5, ~std::uint64_t{0});
  const Bytes cut(stream.begin(), stream.begin() + static_cast<std::ptrdiff_t>(stream.size() / 2));
  for (const Bytes& bad : {wrongSize, unknownSize, cut, Bytes(5, 0)}) EXPECT_THROW((void)LzmaDecompress(bad), FlashError);
}

}  // namespace
}  // namespace flash

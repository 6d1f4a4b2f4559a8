#include "Lzma.h"

#include <lzma.h>

#include <string>

namespace flash {
namespace {

constexpr std::size_t kSizeField = 5;  // uncompressed size, UINT64 little-endian

Bytes Run(lzma_stream& stream, ByteView input, std::size_t expectedSize, const char* what) {
  Bytes output(expectedSize == 0 ? input.size() + input.size() / 2 + 4096 : expectedSize + 1);
  stream.next_in = input.data();
  stream.avail_in = input.size();
  lzma_ret ret = LZMA_OK;
  for (;;) {
    stream.next_out = output.data() + stream.total_out;
    stream.avail_out = output.size() - stream.total_out;
    ret = lzma_code(&stream, LZMA_FINISH);
    if (ret != LZMA_OK) break;
    if (stream.avail_out == 0) output.resize(output.size() * 2);
  }
  const std::size_t produced = stream.total_out;
  lzma_end(&stream);
  if (ret != LZMA_STREAM_END) throw FlashError(std::string(what) + " failed (liblzma error " + std::to_string(ret) + ")");
  output.resize(produced);
  return output;
}

}  // namespace

Bytes LzmaDecompress(ByteView stream) {
  const ByteView header = Slice(stream, 0, kLzmaHeaderSize, "LZMA header");
  const std::uint64_t size = ReadLe64(header, kSizeField);
  if (size > (std::uint64_t{1} << 32)) throw FlashError("LZMA header gives no usable uncompressed size");
  lzma_stream decoder = LZMA_STREAM_INIT;
  if (lzma_alone_decoder(&decoder, UINT64_MAX) != LZMA_OK) throw FlashError("liblzma: cannot start a decoder");
  Bytes data = Run(decoder, stream, static_cast<std::size_t>(size), "LZMA decompression");
  if (data.size() != size)
    throw FlashError("LZMA stream unpacks to " + std::to_string(data.size()) + " bytes, its header says " +
                     std::to_string(size));
  return data;
}

Bytes LzmaCompress(ByteView data) {
  lzma_options_lzma options;
  if (lzma_lzma_preset(&options, 9) != 0) throw FlashError("liblzma: no preset 9");
  options.dict_size = 16u << 20;
  options.lc = 3;
  options.lp = 0;
  options.pb = 2;
  lzma_stream encoder = LZMA_STREAM_INIT;
  if (lzma_alone_encoder(&encoder, &options) != LZMA_OK) throw FlashError("liblzma: cannot start an encoder");
  Bytes stream = Run(encoder, data, 0, "LZMA compression");
  WriteLe64(stream, kSizeField, data.size());
  return stream;
}

}  // namespace flash

// LZMA streams as EDK2's LZMA decompressor reads them (the GUIDed section
// EE4E5898-...): the 13-byte "LZMA alone" header (properties, dictionary
// size, uncompressed size) followed by the raw stream. Through liblzma.
#pragma once

#include "Bytes.h"

namespace flash {

// Unpacks a stream; throws FlashError when it is malformed or its header
// does not give the size it unpacks to.
[[nodiscard]] Bytes LzmaDecompress(ByteView stream);

// Packs with preset 9, a 16 MiB dictionary, lc=3 lp=0 pb=2, and writes the
// real uncompressed size into the header: the decompressor sizes its output
// buffer from it and cannot work with "unknown".
[[nodiscard]] Bytes LzmaCompress(ByteView data);

inline constexpr std::size_t kLzmaHeaderSize = 13;

}  // namespace flash

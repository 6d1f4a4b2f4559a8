// The byte string a harness gets, read from the front as little-endian
// fields (zeros once it runs out), and its writer, which lays out the same
// fields so seeds can be made from known boards.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace fuzz {

class ByteReader {
 public:
  explicit ByteReader(std::span<const uint8_t> bytes) : bytes_(bytes) {}

  uint8_t U8() { return at_ < bytes_.size() ? bytes_[at_++] : 0; }
  uint16_t U16() { return static_cast<uint16_t>(U8() | U8() << 8); }
  uint32_t U32() { return U16() | static_cast<uint32_t>(U16()) << 16; }
  uint64_t U64() { return U32() | static_cast<uint64_t>(U32()) << 32; }
  bool Bool() { return (U8() & 1) != 0; }
  std::vector<uint8_t> Bytes(size_t count) {
    std::vector<uint8_t> out(count, 0);
    for (auto& byte : out) byte = U8();
    return out;
  }
  bool Empty() const { return at_ >= bytes_.size(); }

 private:
  std::span<const uint8_t> bytes_;
  size_t at_ = 0;
};

class ByteWriter {
 public:
  void U8(uint8_t value) { bytes_.push_back(value); }
  void U16(uint16_t value) { U8(static_cast<uint8_t>(value)), U8(static_cast<uint8_t>(value >> 8)); }
  void U32(uint32_t value) { U16(static_cast<uint16_t>(value)), U16(static_cast<uint16_t>(value >> 16)); }
  void U64(uint64_t value) { U32(static_cast<uint32_t>(value)), U32(static_cast<uint32_t>(value >> 32)); }
  void Bool(bool value) { U8(value ? 1 : 0); }
  void Bytes(std::span<const uint8_t> bytes) { bytes_.insert(bytes_.end(), bytes.begin(), bytes.end()); }

  const std::vector<uint8_t>& Data() const { return bytes_; }

 private:
  std::vector<uint8_t> bytes_;
};

}  // namespace fuzz

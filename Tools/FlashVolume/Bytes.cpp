#include "Bytes.h"

#include <fstream>
#include <iterator>

namespace flash {
namespace {

void CheckRange(std::size_t size, std::size_t offset, std::size_t length) {
  if (offset > size || length > size - offset)
    throw FlashError("read of " + std::to_string(length) + " bytes at offset " + std::to_string(offset) +
                     " past the end (" + std::to_string(size) + " bytes)");
}

std::uint64_t ReadLe(ByteView bytes, std::size_t offset, std::size_t length) {
  CheckRange(bytes.size(), offset, length);
  std::uint64_t value = 0;
  for (std::size_t i = length; i-- > 0;) value = value << 8 | bytes[offset + i];
  return value;
}

void WriteLe(std::span<std::uint8_t> bytes, std::size_t offset, std::size_t length, std::uint64_t value) {
  CheckRange(bytes.size(), offset, length);
  for (std::size_t i = 0; i < length; ++i) bytes[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

}  // namespace

std::uint8_t ReadLe8(ByteView bytes, std::size_t offset) { return static_cast<std::uint8_t>(ReadLe(bytes, offset, 1)); }
std::uint16_t ReadLe16(ByteView bytes, std::size_t offset) { return static_cast<std::uint16_t>(ReadLe(bytes, offset, 2)); }
std::uint32_t ReadLe24(ByteView bytes, std::size_t offset) { return static_cast<std::uint32_t>(ReadLe(bytes, offset, 3)); }
std::uint32_t ReadLe32(ByteView bytes, std::size_t offset) { return static_cast<std::uint32_t>(ReadLe(bytes, offset, 4)); }
std::uint64_t ReadLe64(ByteView bytes, std::size_t offset) { return ReadLe(bytes, offset, 8); }

ByteView Slice(ByteView bytes, std::size_t offset, std::size_t length, const char* what) {
  if (offset > bytes.size() || length > bytes.size() - offset)
    throw FlashError(std::string(what) + " (" + std::to_string(length) + " bytes at offset " + std::to_string(offset) +
                     ") runs past the end of its container (" + std::to_string(bytes.size()) + " bytes)");
  return bytes.subspan(offset, length);
}

void WriteLe16(std::span<std::uint8_t> bytes, std::size_t offset, std::uint16_t value) { WriteLe(bytes, offset, 2, value); }
void WriteLe24(std::span<std::uint8_t> bytes, std::size_t offset, std::uint32_t value) {
  if (value > 0xFFFFFF) throw FlashError("value " + std::to_string(value) + " does not fit in 24 bits");
  WriteLe(bytes, offset, 3, value);
}
void WriteLe32(std::span<std::uint8_t> bytes, std::size_t offset, std::uint32_t value) { WriteLe(bytes, offset, 4, value); }
void WriteLe64(std::span<std::uint8_t> bytes, std::size_t offset, std::uint64_t value) { WriteLe(bytes, offset, 8, value); }

std::uint8_t Sum8(ByteView bytes) {
  std::uint8_t sum = 0;
  for (std::uint8_t byte : bytes) sum = static_cast<std::uint8_t>(sum + byte);
  return sum;
}

std::uint16_t Sum16(ByteView bytes) {
  if (bytes.size() % 2 != 0) throw FlashError("16-bit checksum over an odd number of bytes");
  std::uint16_t sum = 0;
  for (std::size_t i = 0; i < bytes.size(); i += 2) sum = static_cast<std::uint16_t>(sum + ReadLe16(bytes, i));
  return sum;
}

Bytes ReadFileBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw FlashError(path.string() + ": cannot open");
  Bytes bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) throw FlashError(path.string() + ": read error");
  return bytes;
}

void WriteFileBytes(const std::filesystem::path& path, ByteView bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) throw FlashError(path.string() + ": write error");
}

}  // namespace flash

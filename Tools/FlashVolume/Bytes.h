// Little-endian byte access with bounds checks, and whole-file I/O. Every
// reader of outside input goes through these, so a short or truncated input
// is an error, never a read past the end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace flash {

using Bytes = std::vector<std::uint8_t>;
using ByteView = std::span<const std::uint8_t>;

// Malformed input, an impossible request or an I/O failure.
class FlashError : public std::runtime_error {
 public:
  explicit FlashError(const std::string& what) : std::runtime_error(what) {}
};

[[nodiscard]] std::uint8_t ReadLe8(ByteView bytes, std::size_t offset);
[[nodiscard]] std::uint16_t ReadLe16(ByteView bytes, std::size_t offset);
[[nodiscard]] std::uint32_t ReadLe24(ByteView bytes, std::size_t offset);
[[nodiscard]] std::uint32_t ReadLe32(ByteView bytes, std::size_t offset);
[[nodiscard]] std::uint64_t ReadLe64(ByteView bytes, std::size_t offset);
// The bytes [offset, offset + length), or FlashError naming `what`.
[[nodiscard]] ByteView Slice(ByteView bytes, std::size_t offset, std::size_t length, const char* what);

void WriteLe16(std::span<std::uint8_t> bytes, std::size_t offset, std::uint16_t value);
void WriteLe24(std::span<std::uint8_t> bytes, std::size_t offset, std::uint32_t value);
void WriteLe32(std::span<std::uint8_t> bytes, std::size_t offset, std::uint32_t value);
void WriteLe64(std::span<std::uint8_t> bytes, std::size_t offset, std::uint64_t value);

// 8-bit sum and 16-bit sum of little-endian words (an odd last byte is an error).
[[nodiscard]] std::uint8_t Sum8(ByteView bytes);
[[nodiscard]] std::uint16_t Sum16(ByteView bytes);

[[nodiscard]] constexpr std::size_t AlignUp(std::size_t value, std::size_t alignment) {
  return (value + alignment - 1) / alignment * alignment;
}

[[nodiscard]] Bytes ReadFileBytes(const std::filesystem::path& path);
void WriteFileBytes(const std::filesystem::path& path, ByteView bytes);

}  // namespace flash

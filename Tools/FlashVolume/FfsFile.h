// Firmware File System (FFS2) files: writing a PEIM file and reading any file
// back with its checksums, State and sections checked.
//
// A file is written with its State in the erase-polarity-0 form (bits set as
// the file is completed); a volume with erase polarity 1 stores it inverted.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "Bytes.h"
#include "Guid.h"

namespace flash {

enum class FileType : std::uint8_t { Peim = 0x06, Pad = 0xF0 };
enum class SectionType : std::uint8_t { Pe32 = 0x10, UserInterface = 0x15, Raw = 0x19, PeiDepex = 0x1B };

inline constexpr std::size_t kFileHeaderSize = 24;    // EFI_FFS_FILE_HEADER
inline constexpr std::size_t kSectionHeaderSize = 4;  // EFI_COMMON_SECTION_HEADER
inline constexpr std::uint8_t kAttribChecksum = 0x40;       // FFS_ATTRIB_CHECKSUM
inline constexpr std::uint8_t kAttribDataAlignment = 0x38;  // FFS_ATTRIB_DATA_ALIGNMENT
inline constexpr std::uint8_t kFixedFileChecksum = 0xAA;    // file checksum without FFS_ATTRIB_CHECKSUM
// EFI_FILE_HEADER_CONSTRUCTION | EFI_FILE_HEADER_VALID | EFI_FILE_DATA_VALID.
inline constexpr std::uint8_t kStateValidFile = 0x07;

// What goes into a PEIM file.
struct PeimFileContents {
  Guid name;
  std::string uiName;       // ASCII; stored as UCS-2 in the user-interface section
  std::vector<Guid> depex;  // PPIs needed before dispatch, all of them; empty: TRUE
  Bytes image;              // the PE32 image
};

// Header, PEI_DEPEX, a RAW section as padding so the PE32 body is aligned to
// the image's section alignment once the file's data lies at the alignment
// its attributes declare, PE32, USER_INTERFACE. Both checksums set.
[[nodiscard]] Bytes BuildPeimFile(const PeimFileContents& contents);
// A pad file of `size` bytes (at least a header), its data erased for `erasePolarity`.
[[nodiscard]] Bytes BuildPadFile(std::size_t size, bool erasePolarity);

// The data alignment a file's attributes declare (8 for none: files are 8-aligned).
[[nodiscard]] std::size_t DataAlignment(std::uint8_t attributes);

struct FfsSection {
  std::uint8_t type = 0;
  std::size_t offset = 0;      // of the section header, from the start of the file
  std::size_t bodyOffset = 0;  // of the section's data, from the start of the file
  std::size_t bodySize = 0;
};

struct FfsFile {
  Guid name;
  std::uint8_t type = 0;
  std::uint8_t attributes = 0;
  std::uint8_t state = 0;   // erase-polarity-0 form
  std::size_t offset = 0;   // in the volume that holds it (0 for a lone file)
  Bytes bytes;              // the whole file, header included
  std::vector<FfsSection> sections;  // none for a pad file

  [[nodiscard]] const FfsSection* Find(SectionType type) const;
  [[nodiscard]] ByteView Body(const FfsSection& section) const;
  // The user-interface section's name, when there is one.
  [[nodiscard]] std::optional<std::string> UiName() const;
};

// Reads the file at the start of `bytes` (its length from its header). Throws
// FlashError when a checksum, the State, the size or a section is wrong.
[[nodiscard]] FfsFile ParseFfsFile(ByteView bytes, bool erasePolarity);

// Writes a file's data checksum again after its data changed.
void RefreshFileChecksum(std::span<std::uint8_t> file);
// Sets the header checksum for the header as it stands.
void RefreshHeaderChecksum(std::span<std::uint8_t> file);

}  // namespace flash

/** @file
  QEMU's fw_cfg device over port I/O. Selecting an item (a 16-bit write)
  starts it from its first byte; each read of the data port gives the next.
  The directory's numbers are big-endian.
**/
#include <Library/IoLib.h>
#include <Library/QemuFwCfgLib.h>

namespace {

constexpr UINT16 kSelectorPort  = 0x510;
constexpr UINT16 kDataPort      = 0x511;
constexpr UINT16 kSignatureItem = 0x0000;
constexpr UINT16 kDirectoryItem = 0x0019;
// QEMU keeps a few dozen files; a count past this is not a directory.
constexpr UINT32 kMaxFiles      = 0x1000;

// One entry of the file directory, as the device sends it.
struct DirectoryEntry {
  UINT8  Size[4];
  UINT8  Select[2];
  UINT8  Reserved[2];
  CHAR8  Name[QEMU_FW_CFG_NAME_SIZE];
};
static_assert (sizeof (DirectoryEntry) == 64);

UINT32 BigEndian32 (CONST UINT8 *Bytes)
{
  return ((UINT32)Bytes[0] << 24) | ((UINT32)Bytes[1] << 16) | ((UINT32)Bytes[2] << 8) | Bytes[3];
}

BOOLEAN SameName (CONST CHAR8 *Entry, CONST CHAR8 *Name)
{
  for (UINTN Index = 0; Index < QEMU_FW_CFG_NAME_SIZE; ++Index) {
    if (Entry[Index] != Name[Index]) {
      return FALSE;
    }
    if (Name[Index] == '\0') {
      return TRUE;
    }
  }
  return FALSE;  // no NUL within the entry's name: not a name we can have asked for
}

}  // namespace

EFI_STATUS QemuFwCfgFindFile (IN CONST CHAR8 *Name, OUT UINT16 *Selector, OUT UINT32 *Size)
{
  UINT8 Signature[4];
  IoWrite16 (kSelectorPort, kSignatureItem);
  IoReadFifo8 (kDataPort, sizeof (Signature), Signature);
  if (Signature[0] != 'Q' || Signature[1] != 'E' || Signature[2] != 'M' || Signature[3] != 'U') {
    return EFI_UNSUPPORTED;
  }
  UINT8 Count[4];
  IoWrite16 (kSelectorPort, kDirectoryItem);
  IoReadFifo8 (kDataPort, sizeof (Count), Count);
  UINT32 Files = BigEndian32 (Count);
  for (UINT32 Left = Files > kMaxFiles ? kMaxFiles : Files; Left > 0; --Left) {
    DirectoryEntry Entry;
    IoReadFifo8 (kDataPort, sizeof (Entry), &Entry);
    if (SameName (Entry.Name, Name)) {
      *Selector = (UINT16)((Entry.Select[0] << 8) | Entry.Select[1]);
      *Size     = BigEndian32 (Entry.Size);
      return EFI_SUCCESS;
    }
  }
  return EFI_NOT_FOUND;
}

VOID QemuFwCfgRead (IN UINT16 Selector, OUT VOID *Buffer, IN UINT32 Size)
{
  IoWrite16 (kSelectorPort, Selector);
  // One string instruction for the whole item: the host structure is a few hundred KiB.
  IoReadFifo8 (kDataPort, Size, Buffer);
}

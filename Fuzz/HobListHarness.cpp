// The HOB list that earlier modules left: HOBs of any type, length and name,
// and a static pointer table HOB of any length among them, as found by the
// debug output (every message looks for the verbosity HOB) and by the static
// pointer table library (adoption, migration, the APs' MM7).
#include <Guid/FirstBootHob.h>
#include <Guid/StaticPointerTableHob.h>
#include <Guid/VerbosityHob.h>

#include <algorithm>
#include <cstring>

#include "Board/Board.h"
#include "Board/GuidText.h"
#include "ByteStream.h"
#include "Harnesses.h"
#include "Promise.h"

namespace fuzz {

namespace {
constexpr unsigned kMaxHobs = 8;
constexpr uint16_t kMaxHobBytes = 0x400;
constexpr unsigned kMaxAps = 2;
constexpr size_t kTableBytes = sizeof(STATIC_POINTER_TABLE);

enum NameKind : uint8_t { kTableName, kVerbosityName, kFirstBootName, kOtherName };

struct Hob {
  uint16_t type = EFI_HOB_TYPE_GUID_EXTENSION;
  uint16_t declaredLength = 0;  // written as given, whatever it is
  uint16_t bytes = 0;           // what the list really reserves for it
  uint8_t nameKind = kOtherName;
  EFI_GUID name{};
  std::vector<uint8_t> data;  // after the 24-byte header
};

struct Scenario {
  uint8_t scratch = 0;
  std::vector<Hob> hobs;
  bool permanentMemory = true;
  bool mpServicesFirst = false;  // before permanent memory, else after
  unsigned aps = 0;
};

Scenario Read(ByteReader& in) {
  Scenario s;
  s.scratch = in.U8();
  const uint8_t steps = in.U8();
  s.permanentMemory = (steps & 1) == 0;
  s.mpServicesFirst = (steps & 2) != 0;
  s.aps = (steps >> 2) % (kMaxAps + 1);
  s.hobs.resize(in.U8() % (kMaxHobs + 1));
  for (auto& hob : s.hobs) {
    hob.type = in.U8() == 0 ? in.U16() : EFI_HOB_TYPE_GUID_EXTENSION;
    hob.declaredLength = in.U16();
    hob.bytes = static_cast<uint16_t>(std::max<size_t>(sizeof(EFI_HOB_GUID_TYPE), in.U16() % (kMaxHobBytes + 1)));
    hob.nameKind = in.U8() % 4;
    if (hob.nameKind == kOtherName) std::memcpy(&hob.name, in.Bytes(sizeof(EFI_GUID)).data(), sizeof(EFI_GUID));
    hob.data = in.Bytes(hob.bytes - sizeof(EFI_HOB_GUID_TYPE));
  }
  return s;
}

void Write(ByteWriter& out, const Scenario& s) {
  out.U8(s.scratch);
  out.U8(static_cast<uint8_t>((s.permanentMemory ? 0 : 1) | (s.mpServicesFirst ? 2 : 0) | s.aps << 2));
  out.U8(static_cast<uint8_t>(s.hobs.size()));
  for (const auto& hob : s.hobs) {
    const bool guided = hob.type == EFI_HOB_TYPE_GUID_EXTENSION;
    out.U8(guided ? 1 : 0);
    if (!guided) out.U16(hob.type);
    out.U16(hob.declaredLength);
    out.U16(hob.bytes);
    out.U8(hob.nameKind);
    if (hob.nameKind == kOtherName) out.Bytes({reinterpret_cast<const uint8_t*>(&hob.name), sizeof(EFI_GUID)});
    out.Bytes(hob.data);
  }
}

EFI_GUID NameOf(const Hob& hob) {
  switch (hob.nameKind) {
    case kTableName: return gStaticPointerTableHobGuid;
    case kVerbosityName: return gVerbosityHobGuid;
    case kFirstBootName: return gFirstBootHobGuid;
    default: return hob.name;
  }
}

// Lays the HOBs into the list as earlier modules would have, then writes
// their type and length as given.
void Lay(board::Board& board, const Scenario& s) {
  for (const auto& hob : s.hobs) {
    void* at = nullptr;
    if (EFI_ERROR(board.Hobs().Create(EFI_HOB_TYPE_GUID_EXTENSION, hob.bytes, &at))) return;
    auto* header = static_cast<EFI_HOB_GUID_TYPE*>(at);
    header->Name = NameOf(hob);
    std::copy(hob.data.begin(), hob.data.end(), reinterpret_cast<uint8_t*>(header + 1));
    header->Header.HobType = hob.type;
    header->Header.HobLength = hob.declaredLength;
  }
}

uint8_t* ListStart(board::Board& board) { return static_cast<uint8_t*>(board.Hobs().Start()); }

// The table MM7 publishes, when its HOB is a valid table HOB in board memory.
const STATIC_POINTER_TABLE_HOB* PublishedTable(board::Board& board, uint64_t mm7) {
  if (mm7 < sizeof(EFI_HOB_GUID_TYPE) || !board.Memory().Contains(mm7 - sizeof(EFI_HOB_GUID_TYPE), sizeof(STATIC_POINTER_TABLE_HOB)))
    return nullptr;
  const auto* hob = reinterpret_cast<const STATIC_POINTER_TABLE_HOB*>(static_cast<uintptr_t>(mm7 - sizeof(EFI_HOB_GUID_TYPE)));
  if (hob->Header.Header.HobType != EFI_HOB_TYPE_GUID_EXTENSION || hob->Header.Header.HobLength != sizeof(STATIC_POINTER_TABLE_HOB) ||
      !board::SameGuid(hob->Header.Name, gStaticPointerTableHobGuid))
    return nullptr;
  return hob;
}
// Whether the memory-discovered notification found the table: it reports
// when it did not.
bool FoundAfterMove(board::Board& board) {
  for (const auto& assertion : board.Console().Assertions())
    if (assertion.text == "GuidHob != ((void *) 0)") return false;
  return true;
}
}  // namespace

void RunHobList(std::span<const uint8_t> input) {
  ByteReader in(input);
  const Scenario s = Read(in);

  board::BoardOptions options;
  options.scratchRegister = s.scratch;
  options.applicationProcessors = s.aps;
  board::Board board(options);
  Lay(board, s);
  const size_t laidBytes = board.Hobs().Phit().EfiEndOfHobList - reinterpret_cast<uintptr_t>(ListStart(board));
  const std::vector<uint8_t> laid(ListStart(board), ListStart(board) + laidBytes);

  board.Dispatch(*board::FindHostedImage("BootMarker"));
  board.Dispatch(*board::FindHostedImage("TraceGate"));
  if (board.Halted()) {
    Require(board.Halt()->module == "TraceGate", "only the static pointer table library halts, on a bad table");
    const auto assertions = board.Console().Assertions();
    Require(!assertions.empty() && assertions.back().text == "DoesGuidMatch && DoesSizeMatch",
            "a halt follows the assertion that names the bad table");
    return;
  }
  // The constructor publishes a valid table: one an earlier module left
  // (which that module moves), or a new one it moves itself.
  const uint64_t published = board.Bsp().mm7;
  Require(PublishedTable(board, published) != nullptr, "MM7 publishes a valid table HOB's data");
  Require(published >> 32 == 0, "MM7's high half is 0");
  const size_t tableOffset = published - reinterpret_cast<uintptr_t>(ListStart(board));
  // Adopted: its HOB is one the earlier modules left (its length may reach past them).
  const bool adopted = tableOffset - sizeof(EFI_HOB_GUID_TYPE) < laidBytes;
  if (!adopted) {
    const auto* created = reinterpret_cast<const uint8_t*>(static_cast<uintptr_t>(published));
    Require(std::all_of(created, created + kTableBytes, [](uint8_t byte) { return byte == 0; }), "a new table is all zeros");
  }

  if (s.mpServicesFirst) board.InstallMpServices();
  if (s.permanentMemory) board.InstallPermanentMemory();
  if (!s.mpServicesFirst) board.InstallMpServices();
  board.Dispatch(*board::FindHostedImage("BootMarker"));
  Require(!board.Halted(), "a table that was valid stays valid");

  const uint64_t mm7 = board.Bsp().mm7;
  if (adopted || !s.permanentMemory) {
    Require(mm7 == published, "MM7 changes only when the library's own table moves");
  } else if (!FoundAfterMove(board)) {
    // A corrupt HOB before the table ends every walk short of it.
    Require(mm7 == published, "a table the library cannot find again is left as it was");
  } else {
    Require(PublishedTable(board, mm7) != nullptr, "after the move MM7 publishes the table again");
    Require(board.Options().memory.permanentMemory.Contains(mm7, kTableBytes), "the moved table is in permanent memory");
    Require(mm7 - reinterpret_cast<uintptr_t>(ListStart(board)) == tableOffset, "the table moves with the list");
    for (const auto& cpu : board.Processors()) Require(cpu.mm7 == mm7, "every processor's MM7 holds the table's address");
  }

  // What the earlier modules left is never written (an adopted table's
  // pointers belong to the module that made it).
  const uint8_t* now = ListStart(board);
  for (size_t offset = sizeof(EFI_HOB_HANDOFF_INFO_TABLE); offset < laidBytes; ++offset) {
    Require(now[offset] == laid[offset], "the HOBs found in the list are left as they were");
  }
}

std::vector<uint8_t> HobListSeed(const boardboot::BoardDescription& description) {
  Scenario s;
  s.scratch = description.options.scratchRegister;
  s.aps = std::min(description.options.applicationProcessors, kMaxAps);
  using Kind = boardboot::BootStep::Kind;
  const auto& steps = description.steps;
  auto position = [&](Kind kind) {
    return std::find_if(steps.begin(), steps.end(), [&](const auto& step) { return step.kind == kind; }) - steps.begin();
  };
  s.permanentMemory = position(Kind::PermanentMemory) < static_cast<ptrdiff_t>(steps.size());
  s.mpServicesFirst = position(Kind::MpServices) < position(Kind::PermanentMemory);
  if (const auto& existing = description.staticPointerTable) {
    Hob hob;
    hob.declaredLength = existing->hobLength;
    hob.bytes = static_cast<uint16_t>(std::clamp<size_t>(existing->hobLength, sizeof(EFI_HOB_GUID_TYPE), kMaxHobBytes));
    hob.nameKind = kTableName;
    STATIC_POINTER_TABLE table{};
    for (auto [type, pointer] : existing->pointers) table.Pointer[type] = pointer;
    for (auto [type, address] : existing->newAddresses) table.Migration[type].NewAddress = address;
    const auto* bytes = reinterpret_cast<const uint8_t*>(&table);
    hob.data.assign(bytes, bytes + std::min<size_t>(kTableBytes, hob.bytes - sizeof(EFI_HOB_GUID_TYPE)));
    hob.data.resize(hob.bytes - sizeof(EFI_HOB_GUID_TYPE), 0);
    s.hobs.push_back(hob);
  }
  ByteWriter out;
  Write(out, s);
  return out.Data();
}

}  // namespace fuzz

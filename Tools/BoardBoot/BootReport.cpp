#include "BootReport.h"

#include <cstdio>
#include <string>

#include <Guid/VerbosityHob.h>
#include <Register/VerbosityScratch.h>

#include "Board/GuidText.h"
#include "Board/PrintFormat.h"

namespace boardboot {

namespace {
std::string Hex(uint64_t value, int digits = 0) {
  char text[32];
  std::snprintf(text, sizeof text, "0x%0*llx", digits, static_cast<unsigned long long>(value));
  return text;
}

std::string Status(EFI_STATUS status) { return board::StatusName(status, 64); }

void Section(std::ostream& out, const std::string& title) { out << "\n== " << title << " ==\n"; }
}  // namespace

void PrintConsoleLog(std::ostream& out, const board::Board& board) {
  for (const auto& entry : board.Console().Entries()) {
    if (entry.kind == board::ConsoleEntry::Kind::Message)
      out << entry.text;
    else
      out << "[assert] " << entry.file << "(" << entry.line << "): " << entry.text << "\n";
  }
}

void PrintReport(std::ostream& out, board::Board& board) {
  Section(out, "Modules");
  for (const auto& record : board.Dispatches()) {
    out << "  " << record.module << ": ";
    if (!record.ran)
      out << "not run (board halted)\n";
    else if (record.halted)
      out << "halted in a dead loop\n";
    else
      out << Status(record.status) << "\n";
  }
  if (board.Halt()) out << "  board halted by " << board.Halt()->module << " on CPU " << board.Halt()->processor << "\n";

  Section(out, "Assertions");
  auto assertions = board.Console().Assertions();
  if (assertions.empty()) out << "  none\n";
  for (const auto& a : assertions) out << "  " << a.module << ": " << a.file << "(" << a.line << "): " << a.text << "\n";

  Section(out, "PCD tokens set");
  if (board.Pcd().Changes().empty()) out << "  none\n";
  for (const auto& change : board.Pcd().Changes())
    out << "  token " << change.token << ": " << Hex(change.oldValue) << " -> " << Hex(change.newValue) << " ("
        << Status(change.status) << ")\n";

  Section(out, "HOBs built");
  bool any = false;
  for (const auto& hob : board.Hobs().Walk()) {
    if (hob.type != EFI_HOB_TYPE_GUID_EXTENSION) continue;
    any = true;
    const auto* guidHob = reinterpret_cast<const EFI_HOB_GUID_TYPE*>(hob.bytes);
    out << "  " << Hex(hob.address, 8) << " GUID HOB " << board::GuidToString(guidHob->Name) << " length "
        << hob.length;
    if (board::SameGuid(guidHob->Name, gVerbosityHobGuid)) out << " verbosity level " << unsigned{hob.bytes[24]};
    out << "\n";
  }
  if (!any) out << "  none\n";

  Section(out, "Port 0x3FF writes");
  auto writes = board.Ports().Writes(VERBOSITY_SCRATCH_PORT);
  if (writes.empty()) out << "  none\n";
  for (const auto& w : writes) out << "  " << Hex(w.value, 2) << "\n";

  Section(out, "MM7");
  for (const auto& cpu : board.Processors())
    out << "  CPU " << cpu.number << (cpu.bootProcessor ? " (BSP)" : "") << ": " << Hex(cpu.mm7, 16) << "\n";
}

}  // namespace boardboot

#include "BootReport.h"

#include <cstdio>
#include <string>

#include <Guid/VerbosityHob.h>
#include <Register/VerbosityScratch.h>

#include "Board/GuidText.h"
#include "Board/PrintFormat.h"
#include "HobDecoders.h"
#include "SelDecoder.h"
#include "ReportText.h"

namespace boardboot {

using nlohmann::json;

namespace {
std::string Status(EFI_STATUS status) { return board::StatusName(status, 64); }

json Modules(board::Board& board) {
  json modules = json::array();
  for (const auto& record : board.Dispatches()) {
    json m = {{"module", record.module}, {"ran", record.ran}, {"halted", record.halted}};
    if (record.ran && !record.halted) m["status"] = Status(record.status);
    modules.push_back(m);
  }
  return modules;
}

json Notifications(board::Board& board) {
  json runs = json::array();
  for (const auto& run : board.NotificationRuns())
    runs.push_back({{"module", run.module}, {"ppi", board::GuidToString(run.ppi)}, {"status", Status(run.status)}});
  return runs;
}

json Assertions(const board::Board& board) {
  json assertions = json::array();
  for (const auto& a : board.Console().Assertions())
    assertions.push_back({{"module", a.module}, {"file", a.file}, {"line", a.line}, {"expression", a.text}});
  return assertions;
}

json PcdChanges(board::Board& board) {
  json changes = json::array();
  for (const auto& c : board.Pcd().Changes())
    changes.push_back({{"token", c.token}, {"old", Hex(c.oldValue)}, {"new", Hex(c.newValue)}, {"status", Status(c.status)}});
  return changes;
}

json Hobs(board::Board& board) {
  json hobs = json::array();
  for (const auto& hob : board.Hobs().Walk()) {
    if (hob.type != EFI_HOB_TYPE_GUID_EXTENSION) continue;
    const auto* guidHob = reinterpret_cast<const EFI_HOB_GUID_TYPE*>(hob.bytes);
    json h = {{"address", Hex(hob.address, 8)}, {"guid", board::GuidToString(guidHob->Name)}, {"length", hob.length}};
    DecodeGuidHob(hob, h);
    hobs.push_back(h);
  }
  return hobs;
}

json PortWrites(board::Board& board) {
  json writes = json::array();
  for (const auto& w : board.Ports().Writes(VERBOSITY_SCRATCH_PORT)) writes.push_back(Hex(w.value, 2));
  return writes;
}

json PcieAccesses(board::Board& board) {
  json accesses = json::array();
  for (const auto& a : board.Mmio().Log()) {
    if (!board.Pcie().Decodes(a.address, a.width)) continue;
    auto at = board.Pcie().Decode(a.address);
    char where[32];
    std::snprintf(where, sizeof where, "%02x:%02x.%x+0x%03x", at.bus, at.device, at.function, at.offset);
    accesses.push_back({{"address", Hex(a.address, 8)}, {"function", where}, {"width", a.width * 8},
                        {"access", a.write ? "write" : "read"}, {"value", Hex(a.value, static_cast<int>(a.width * 2))}});
  }
  return accesses;
}

json IpmiExchanges(board::Board& board) {
  json exchanges = json::array();
  const auto& all = board.Ipmi().Exchanges();
  unsigned attempt = 0;
  for (size_t i = 0; i < all.size(); ++i) {
    const auto& e = all[i];
    // The same request again, after one that did not complete with code 0,
    // is the next try of that request.
    const auto* previous = i > 0 ? &all[i - 1] : nullptr;
    bool previousDone = previous != nullptr && !EFI_ERROR(previous->status) && !previous->response.empty() &&
                        previous->response[0] == 0;
    bool sameAsBefore = previous != nullptr && previous->netFn == e.netFn && previous->command == e.command &&
                        previous->request == e.request && !previousDone;
    attempt = sameAsBefore ? attempt + 1 : 1;
    json x = {{"netfn", Hex(e.netFn, 2)}, {"command", Hex(e.command, 2)}, {"try", attempt},
              {"request", Bytes(e.request)}, {"status", Status(e.status)}, {"response", Bytes(e.response)}};
    if (!EFI_ERROR(e.status) && e.response.empty()) x["response"] = "(nothing written)";
    if (!e.transportNote.empty()) x["note"] = e.transportNote;
    exchanges.push_back(x);
  }
  return exchanges;
}

json Sel(const board::SelReadout& readout) {
  json sel = json::array();
  for (const auto& entry : readout.entries) sel.push_back(DecodeSelRecord(entry));
  return sel;
}

json Mm7(board::Board& board) {
  json mm7 = json::array();
  for (const auto& cpu : board.Processors())
    mm7.push_back({{"cpu", cpu.number}, {"bsp", cpu.bootProcessor}, {"mm7", Hex(cpu.mm7, 16)}});
  return mm7;
}
}  // namespace

json BuildReport(board::Board& board, const std::string& source) {
  json report = {{"board", source}, {"modules", Modules(board)}};
  if (board.Halt()) {
    json halt = {{"module", board.Halt()->module}, {"cpu", board.Halt()->processor}};
    auto assertions = board.Console().Assertions();
    if (!assertions.empty()) halt["after"] = assertions.back().file + "(" + std::to_string(assertions.back().line) + "): " + assertions.back().text;
    report["halt"] = halt;
  }
  report["notifications"] = Notifications(board);
  report["assertions"] = Assertions(board);
  report["pcd"] = PcdChanges(board);
  report["hobs"] = Hobs(board);
  report["port_0x3ff_writes"] = PortWrites(board);
  report["pcie_config_accesses"] = PcieAccesses(board);
  if (auto summary = board.Ipmi().Summary(); !summary.empty()) report["bmc"] = summary;
  report["ipmi"] = IpmiExchanges(board);
  auto sel = board.Ipmi().AddedSel();
  report["sel"] = Sel(sel);
  if (!sel.error.empty()) report["sel_error"] = sel.error;
  report["mm7"] = Mm7(board);
  json console = json::array();
  for (const auto& entry : board.Console().Entries()) {
    if (entry.kind == board::ConsoleEntry::Kind::Message)
      console.push_back({{"module", entry.module}, {"level", Hex(entry.level, 8)}, {"text", entry.text}, {"dropped", entry.dropped}});
    else
      console.push_back({{"module", entry.module}, {"assert", entry.text}, {"file", entry.file}, {"line", entry.line}});
  }
  report["console"] = console;
  return report;
}

void PrintConsole(std::ostream& out, const board::Board& board, const ReportOptions& options) {
  for (const auto& entry : board.Console().Entries()) {
    if (entry.kind == board::ConsoleEntry::Kind::Assertion) {
      out << "ASSERT " << entry.file << "(" << entry.line << "): " << entry.text << "\n";
    } else if (!entry.dropped) {
      out << entry.text;
    } else if (options.allLevels) {
      // Mark every line of a dropped message so it can't be mistaken for output.
      std::string text = entry.text;
      size_t start = 0;
      while (start < text.size()) {
        size_t end = text.find('\n', start);
        std::string line = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        out << "[dropped " << Hex(entry.level, 8) << "] " << line << "\n";
        if (end == std::string::npos) break;
        start = end + 1;
      }
    }
  }
}

namespace {
void Section(std::ostream& out, const std::string& title, const json& items) {
  out << "\n== " << title << " ==\n";
  if (items.empty()) out << "  none\n";
}
}  // namespace

void PrintReport(std::ostream& out, const json& report) {
  Section(out, "Modules", report["modules"]);
  for (const auto& m : report["modules"]) {
    out << "  " << m["module"].get<std::string>() << ": ";
    if (!m["ran"].get<bool>()) out << "not run (the board had halted)\n";
    else if (m.contains("fault")) out << "faulted: " << m["fault"].get<std::string>() << "\n";
    else if (m["halted"].get<bool>()) out << "halted in a dead loop\n";
    else out << m["status"].get<std::string>() << "\n";
  }
  if (report.contains("halt")) {
    const auto& h = report["halt"];
    out << "  HALT: " << h["module"].get<std::string>() << " on CPU " << h["cpu"].get<unsigned>();
    if (h.contains("after")) out << " after " << h["after"].get<std::string>();
    out << "\n";
  }

  Section(out, "Notifications run", report["notifications"]);
  for (const auto& n : report["notifications"])
    out << "  " << n["module"].get<std::string>() << " on " << n["ppi"].get<std::string>() << ": "
        << n["status"].get<std::string>() << "\n";

  Section(out, "Assertions", report["assertions"]);
  for (const auto& a : report["assertions"])
    out << "  " << a["module"].get<std::string>() << ": " << a["file"].get<std::string>() << "("
        << a["line"].get<unsigned>() << "): " << a["expression"].get<std::string>() << "\n";

  Section(out, "PCD tokens set", report["pcd"]);
  for (const auto& c : report["pcd"])
    out << "  token " << c["token"].get<unsigned>() << ": " << c["old"].get<std::string>() << " -> "
        << c["new"].get<std::string>() << " (" << c["status"].get<std::string>() << ")\n";

  Section(out, "HOBs", report["hobs"]);
  for (const auto& h : report["hobs"]) {
    out << "  " << h["address"].get<std::string>() << " " << h["guid"].get<std::string>() << " length "
        << h["length"].get<unsigned>();
    if (h.contains("name")) out << ": " << h["name"].get<std::string>();
    if (h.contains("summary")) out << ": " << h["summary"].get<std::string>();
    out << "\n";
    if (h.contains("details"))
      for (const auto& line : h["details"]) out << "      " << line.get<std::string>() << "\n";
  }

  Section(out, "Port 0x3FF writes", report["port_0x3ff_writes"]);
  for (const auto& w : report["port_0x3ff_writes"]) out << "  " << w.get<std::string>() << "\n";

  Section(out, "PCIe configuration accesses", report["pcie_config_accesses"]);
  for (const auto& a : report["pcie_config_accesses"])
    out << "  " << a["access"].get<std::string>() << a["width"].get<unsigned>() << " " << a["function"].get<std::string>()
        << " (" << a["address"].get<std::string>() << ") = " << a["value"].get<std::string>() << "\n";

  if (report.contains("bmc")) {
    Section(out, "BMC", report["bmc"]);
    for (const auto& line : report["bmc"]) out << "  " << line.get<std::string>() << "\n";
  }

  Section(out, "IPMI exchanges", report["ipmi"]);
  for (const auto& x : report["ipmi"]) {
    out << "  netfn " << x["netfn"].get<std::string>() << " cmd " << x["command"].get<std::string>() << " try "
        << x["try"].get<unsigned>() << ": [" << x["request"].get<std::string>() << "] -> " << x["status"].get<std::string>()
        << " [" << x["response"].get<std::string>() << "]";
    if (x.contains("note")) out << " (" << x["note"].get<std::string>() << ")";
    out << "\n";
  }

  Section(out, "SEL", report["sel"]);
  if (report.contains("sel_error")) out << "  could not read the SEL back: " << report["sel_error"].get<std::string>() << "\n";
  for (const auto& e : report["sel"]) {
    out << "  " << e["ipmitool"].get<std::string>() << "\n";
    out << "      " << e["decoded"].get<std::string>() << "\n";
  }

  Section(out, "MM7", report["mm7"]);
  for (const auto& m : report["mm7"])
    out << "  CPU " << m["cpu"].get<unsigned>() << (m["bsp"].get<bool>() ? " (BSP)" : "") << ": "
        << m["mm7"].get<std::string>() << "\n";
}

}  // namespace boardboot

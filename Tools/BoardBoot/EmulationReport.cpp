#include "EmulationReport.h"
#include "ReportText.h"

#include <cstdio>
#include <map>
#include <tuple>

namespace boardboot {

using nlohmann::json;

namespace {
json Faults(const board::emulator::EmulationRecord& record) {
  json faults = json::array();
  for (const auto& f : record.faults) {
    json fault = {{"module", f.module}, {"cpu", f.processor}, {"kind", f.kind}, {"instruction", f.instruction.where},
                  {"access", f.access}, {"in_entry", f.inEntry}};
    if (f.calledFrom) fault["called_from"] = f.calledFrom->where;
    faults.push_back(fault);
  }
  return faults;
}

// Writes of one instruction to one place, counted: a cache written on every
// call would otherwise fill the report.
json FlashWrites(const board::emulator::EmulationRecord& record) {
  using Key = std::tuple<std::string, unsigned, uint32_t, uint32_t, std::vector<uint8_t>>;
  std::map<Key, size_t> index;
  json writes = json::array();
  for (const auto& w : record.flashWrites) {
    Key key{w.module, w.processor, w.instruction.address, w.address, w.bytes};
    if (auto seen = index.find(key); seen != index.end()) {
      writes[seen->second]["times"] = writes[seen->second]["times"].get<unsigned>() + 1;
      continue;
    }
    index[key] = writes.size();
    writes.push_back({{"module", w.module}, {"cpu", w.processor}, {"address", Hex(w.address, 8)}, {"target", w.target},
                      {"bytes", Bytes(w.bytes)}, {"instruction", w.instruction.where}, {"times", 1}});
  }
  return writes;
}
}  // namespace

void AddEmulation(json& report, const board::emulator::EmulatedBoard& emulator) {
  const auto& record = emulator.Record();
  json modules = json::array();
  for (const auto& [module, stats] : record.modules) {
    if (module == "Platform") continue;  // the board's own events run no guest code
    modules.push_back({{"module", module}, {"instructions", stats.instructions}, {"deepest_stack", stats.deepestStack},
                       {"runs", stats.runs}});
  }
  report["emulation"] = {{"faults", Faults(record)}, {"flash_writes", FlashWrites(record)}, {"modules", modules},
                         {"board_calls", record.traps}};
  for (const auto& fault : record.faults) {
    if (!fault.inEntry) continue;
    for (auto& m : report["modules"])
      if (m["module"] == fault.module && !m.contains("fault")) m["fault"] = fault.kind;
  }
}

void PrintEmulation(std::ostream& out, const json& report) {
  if (!report.contains("emulation")) return;
  const json& emulation = report["emulation"];
  out << "\n== Faults (emulated) ==\n";
  if (emulation["faults"].empty()) out << "  none\n";
  for (const auto& f : emulation["faults"]) {
    out << "  " << f["module"].get<std::string>() << " on CPU " << f["cpu"].get<unsigned>() << ": "
        << f["kind"].get<std::string>() << " at " << f["instruction"].get<std::string>();
    if (!f["access"].get<std::string>().empty()) out << ", " << f["access"].get<std::string>();
    if (f.contains("called_from")) out << ", called from " << f["called_from"].get<std::string>();
    out << "\n";
  }
  out << "\n== Flash writes dropped (emulated) ==\n";
  if (emulation["flash_writes"].empty()) out << "  none\n";
  for (const auto& w : emulation["flash_writes"]) {
    out << "  " << w["module"].get<std::string>() << " on CPU " << w["cpu"].get<unsigned>() << ": ["
        << w["bytes"].get<std::string>() << "] to " << w["address"].get<std::string>();
    if (!w["target"].get<std::string>().empty()) out << " (" << w["target"].get<std::string>() << ")";
    out << " by " << w["instruction"].get<std::string>();
    if (w["times"].get<unsigned>() > 1) out << ", " << w["times"].get<unsigned>() << " times";
    out << "\n";
  }
  out << "\n== Stack and instructions (emulated) ==\n";
  if (emulation["modules"].empty()) out << "  none\n";
  for (const auto& m : emulation["modules"])
    out << "  " << m["module"].get<std::string>() << ": deepest stack " << m["deepest_stack"].get<unsigned>()
        << " bytes, " << m["instructions"].get<uint64_t>() << " instructions in " << m["runs"].get<unsigned>()
        << " run(s)\n";
}

}  // namespace boardboot

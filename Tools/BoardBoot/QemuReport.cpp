#include "QemuReport.h"

#include <cstdio>
#include <sstream>

#include "ReportText.h"
#include "SelDecoder.h"

namespace boardboot {

using nlohmann::json;

namespace {

json Lines(const std::string& text) {
  json lines = json::array();
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

json Optional(const auto& value) { return value ? json(*value) : json(nullptr); }

json DebugLevel(const OvmfConsoleFacts& facts) {
  return {{"level", Optional(facts.level)}, {"source", Optional(facts.levelSource)},
          {"ipmi_transport", Optional(facts.ipmiTransport)}, {"ras_log_level", Optional(facts.rasLogLevel)}};
}

json Kcs(const OvmfConsoleFacts& facts) {
  json exchanges = json::array();
  for (const auto& k : facts.kcs) {
    json e = {{"netfn", Hex(k.netFn, 2)}, {"cmd", Hex(k.command, 2)}, {"data_bytes", k.dataBytes}, {"status", k.status}};
    if (k.completionCode) {
      e["completion_code"] = Hex(*k.completionCode, 2);
      e["bytes_back"] = k.bytesBack;
    }
    exchanges.push_back(e);
  }
  return exchanges;
}

json Mm7(const OvmfConsoleFacts& facts) {
  json processors = json::array();
  std::optional<uint64_t> bsp;
  bool agree = !facts.mm7.empty();
  for (const auto& r : facts.mm7) {
    processors.push_back({{"cpu", r.processor}, {"bsp", r.bsp}, {"value", r.value ? json(Hex(*r.value, 16)) : json(nullptr)}});
    if (r.bsp) bsp = r.value;
  }
  for (const auto& r : facts.mm7) agree = agree && bsp && r.value == bsp;
  return {{"reload", Optional(facts.mm7Reload)}, {"sync", Optional(facts.mm7Sync)}, {"processors", processors},
          {"check_peim_says_equal", Optional(facts.mm7AllEqual)},
          // Our own reading of the same lines: every processor read, each equal to the BSP's.
          {"all_equal_to_bsp", facts.mm7.empty() ? json(nullptr) : json(agree)}};
}

json Relayed(const QemuBmcSide& bmc) {
  json requests = json::array();
  for (const auto& r : bmc.requests) {
    json e = {{"at_ms", r.at.count()}, {"sequence", r.request.sequence}, {"netfn", Hex(r.request.netFn, 2)},
              {"cmd", Hex(r.request.command, 2)}, {"data", Bytes(r.request.data)},
              {"answered_by", board::RelayAnswererName(r.answeredBy)}};
    if (r.reply && !r.reply->data.empty()) {
      e["completion_code"] = Hex(r.reply->data[0], 2);
      e["reply_data"] = Bytes(std::vector<uint8_t>(r.reply->data.begin() + 1, r.reply->data.end()));
    }
    if (!r.note.empty()) e["note"] = r.note;
    requests.push_back(e);
  }
  json controls = json::array();
  for (const auto& c : bmc.controls)
    controls.push_back({{"from", c.fromMachine ? "QEMU" : "BMC"}, {"bytes", Bytes(c.bytes)}, {"passed_on", c.forwarded}});
  return {{"description", bmc.description}, {"relayed", bmc.relayed}, {"requests", requests},
          {"controls", controls}, {"problems", bmc.problems}};
}

const char* HowItEnded(const QemuRun& run) {
  return run.reachedShell ? "the UEFI shell was reached" : run.timedOut ? "the time limit passed"
                                                                         : "the firmware reset the machine";
}

void Section(std::ostream& out, const std::string& title) { out << "\n== " << title << " ==\n"; }

std::string Text(const json& value) {
  if (value.is_null()) return "(not printed)";
  if (value.is_string()) return value.get<std::string>();
  if (value.is_boolean()) return value.get<bool>() ? "yes" : "no";
  return value.dump();
}

}  // namespace

json BuildQemuReport(const QemuOptions& options, const QemuRun& run, const QemuBmcSide& bmc) {
  const OvmfConsoleFacts facts = ParseOvmfConsole(run.debugConsole);
  json report;
  report["source"] = options.codeImage.string();
  report["console"] = Lines(run.debugConsole);
  report["debug_level"] = DebugLevel(facts);
  report["first_boot"] = {{"boot_marker", Optional(facts.bootMarkerFirstBoot)},
                          {"trace_gate", Optional(facts.traceGateFirstBoot)}};
  json tokens = json::array();
  for (const auto& t : facts.tokens) tokens.push_back({{"token", t.token}, {"old", Hex(t.oldValue)}, {"new", Hex(t.newValue)}});
  report["pcd"] = {{"changed", tokens}, {"given_back", Optional(facts.pcdGivenBack)}};
  report["kcs"] = Kcs(facts);
  report["bmc_herald_ran"] = facts.bmcHeraldRan;
  report["kcs_interface"] = !facts.noKcsInterface;
  report["bmc"] = Relayed(bmc);
  report["mm7"] = Mm7(facts);
  report["assertions"] = facts.assertions;
  json sel = json::array();
  if (bmc.sel)
    for (const auto& entry : bmc.sel->entries) sel.push_back(DecodeSelRecord(entry));
  report["sel"] = bmc.sel ? sel : json(nullptr);
  if (bmc.sel && !bmc.sel->error.empty()) report["sel_error"] = bmc.sel->error;
  char seconds[32];
  std::snprintf(seconds, sizeof seconds, "%.1f", run.seconds);
  report["qemu"] = {{"pid", run.qemuPid}, {"processors", options.processors}, {"seconds", seconds},
                    {"end", HowItEnded(run)}, {"timed_out", run.timedOut}, {"exit_status", run.exitStatus}};
  return report;
}

void PrintQemuReport(std::ostream& out, const json& report) {
  Section(out, "Debug level");
  const auto& level = report["debug_level"];
  out << "  " << Text(level["level"]) << ", decided by " << Text(level["source"]) << "; IPMI transport "
      << Text(level["ipmi_transport"]) << "; RAS log level " << Text(level["ras_log_level"]) << "\n";

  Section(out, "First boot");
  out << "  BootMarker: " << Text(report["first_boot"]["boot_marker"]) << "\n"
      << "  TraceGate:  " << Text(report["first_boot"]["trace_gate"]) << "\n";

  Section(out, "PCD tokens changed (this board's, through the PCD window)");
  for (const auto& t : report["pcd"]["changed"])
    out << "  token " << t["token"].get<unsigned>() << ": " << Text(t["old"]) << " -> " << Text(t["new"]) << "\n";
  if (report["pcd"]["changed"].empty()) out << "  none\n";
  out << "  platform PCD PPI given back: " << Text(report["pcd"]["given_back"]) << "\n";

  Section(out, "KCS exchanges (as the transport recorded them)");
  if (!report["kcs_interface"].get<bool>()) out << "  no KCS interface: the transport companion installed nothing\n";
  out << "  BmcHerald " << (report["bmc_herald_ran"].get<bool>() ? "ran" : "printed nothing") << "\n";
  for (const auto& k : report["kcs"]) {
    out << "  netfn " << Text(k["netfn"]) << " cmd " << Text(k["cmd"]) << ", " << k["data_bytes"].get<unsigned>()
        << " data bytes: ";
    if (k.contains("completion_code"))
      out << "completion code " << Text(k["completion_code"]) << ", " << k["bytes_back"].get<unsigned>() << " bytes back\n";
    else
      out << Text(k["status"]) << "\n";
  }
  if (report["kcs"].empty()) out << "  none\n";

  const auto& bmc = report["bmc"];
  Section(out, "BMC");
  out << "  " << Text(bmc["description"]) << "\n";
  for (const auto& r : bmc["requests"]) {
    out << "  " << r["at_ms"].get<long>() << " ms seq " << r["sequence"].get<unsigned>() << " netfn " << Text(r["netfn"])
        << " cmd " << Text(r["cmd"]) << " [" << Text(r["data"]) << "] -> " << Text(r["answered_by"]);
    if (r.contains("completion_code"))
      out << ": completion code " << Text(r["completion_code"]) << " [" << Text(r["reply_data"]) << "]";
    if (r.contains("note")) out << ": " << Text(r["note"]);
    out << "\n";
  }
  for (const auto& c : bmc["controls"])
    out << "  control from " << Text(c["from"]) << ": [" << Text(c["bytes"]) << "]"
        << (c["passed_on"].get<bool>() ? " passed on" : " not passed on") << "\n";
  for (const auto& p : bmc["problems"]) out << "  problem: " << Text(p) << "\n";

  const auto& mm7 = report["mm7"];
  Section(out, "MM7");
  out << "  reload: " << Text(mm7["reload"]) << "\n  sync: " << Text(mm7["sync"]) << "\n";
  for (const auto& p : mm7["processors"])
    out << "  CPU " << p["cpu"].get<unsigned>() << (p["bsp"].get<bool>() ? " (BSP)" : "") << ": "
        << Text(p["value"]) << "\n";
  out << "  every AP equal to the BSP: " << Text(mm7["all_equal_to_bsp"]) << " (the check PEIM says "
      << Text(mm7["check_peim_says_equal"]) << ")\n";

  Section(out, "Assertions");
  for (const auto& a : report["assertions"]) out << "  " << Text(a) << "\n";
  if (report["assertions"].empty()) out << "  none\n";

  Section(out, "SEL (as the BMC holds it after the boot)");
  if (report["sel"].is_null()) {
    out << "  not read: this BMC cannot be read back\n";
  } else {
    for (const auto& e : report["sel"]) {
      out << "  " << Text(e["ipmitool"]) << "\n";
      if (!e["decoded"].get<std::string>().empty()) out << "      " << Text(e["decoded"]) << "\n";
    }
    if (report["sel"].empty()) out << "  empty\n";
  }
  if (report.contains("sel_error")) out << "  could not read it all: " << Text(report["sel_error"]) << "\n";

  const auto& qemu = report["qemu"];
  Section(out, "QEMU");
  out << "  pid " << qemu["pid"].get<int>() << ", " << qemu["processors"].get<unsigned>() << " processors, stopped after "
      << Text(qemu["seconds"]) << " s: " << Text(qemu["end"]) << "\n";
}

}  // namespace boardboot

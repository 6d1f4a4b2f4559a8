#include "BoardFile.h"

#include <yaml-cpp/yaml.h>

#include <charconv>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include <OemPcdTokens.h>

#include "Board/GuidText.h"
#include "StatusNames.h"
#include "VariableCatalog.h"

namespace boardboot {

extern const char kDefaultBoardFile[];

namespace {

// Reads one node with its place in the file for every error.
class Reader {
 public:
  explicit Reader(std::string source) : source_(std::move(source)) {}

  [[noreturn]] void Fail(const YAML::Node& node, const std::string& key, const std::string& message) const {
    std::ostringstream out;
    out << source_;
    if (node.IsDefined() && node.Mark().line >= 0) out << ":" << node.Mark().line + 1;
    out << ": " << key << ": " << message;
    throw BoardFileError(out.str());
  }

  // A map whose keys must all be among allowed.
  void Keys(const YAML::Node& node, const std::string& key, const std::set<std::string>& allowed) const {
    if (!node.IsMap()) Fail(node, key, "expected a mapping");
    for (const auto& item : node) {
      auto name = item.first.as<std::string>();
      if (!allowed.contains(name)) Fail(item.first, key.empty() ? name : key + "." + name, "unknown key");
    }
  }

  uint64_t Number(const YAML::Node& node, const std::string& key, uint64_t max) const {
    if (!node.IsScalar()) Fail(node, key, "expected a number");
    std::string text = node.Scalar();
    int base = 10;
    std::string_view digits = text;
    if (digits.starts_with("0x") || digits.starts_with("0X")) {
      base = 16;
      digits.remove_prefix(2);
    }
    uint64_t value = 0;
    auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value, base);
    if (digits.empty() || error != std::errc() || end != digits.data() + digits.size())
      Fail(node, key, "'" + text + "' is not a number");
    if (value > max) Fail(node, key, text + " is out of range (at most " + std::to_string(max) + ")");
    return value;
  }

  bool Bool(const YAML::Node& node, const std::string& key) const {
    if (node.IsScalar()) {
      const std::string& text = node.Scalar();
      if (text == "true" || text == "1") return true;
      if (text == "false" || text == "0") return false;
    }
    Fail(node, key, "expected true or false");
  }

  std::string Text(const YAML::Node& node, const std::string& key) const {
    if (!node.IsScalar()) Fail(node, key, "expected a name");
    return node.Scalar();
  }

  EFI_GUID Guid(const YAML::Node& node, const std::string& key) const {
    auto guid = board::ParseGuid(Text(node, key));
    if (!guid) Fail(node, key, "'" + node.Scalar() + "' is not a GUID (8-4-4-4-12 hex digits)");
    return *guid;
  }

  EFI_STATUS Status(const YAML::Node& node, const std::string& key) const {
    auto status = StatusFromName(Text(node, key));
    if (!status) Fail(node, key, "'" + node.Scalar() + "' is not an EFI status name");
    return *status;
  }

  std::vector<uint8_t> Bytes(const YAML::Node& node, const std::string& key) const {
    if (!node.IsSequence()) Fail(node, key, "expected a list of bytes");
    std::vector<uint8_t> bytes;
    for (size_t i = 0; i < node.size(); ++i)
      bytes.push_back(static_cast<uint8_t>(Number(node[i], key + "[" + std::to_string(i) + "]", 0xFF)));
    return bytes;
  }

  board::MemoryRegion Region(const YAML::Node& node, const std::string& key, board::MemoryRegion region) const {
    Keys(node, key, {"base", "size"});
    if (node["base"]) region.base = static_cast<uint32_t>(Number(node["base"], key + ".base", 0xFFFFFFFF));
    if (node["size"]) region.size = static_cast<uint32_t>(Number(node["size"], key + ".size", 0xFFFFFFFF));
    if (region.base % 4096 != 0 || region.size % 4096 != 0 || region.size == 0)
      Fail(node, key, "base and size must be non-zero multiples of 4096");
    return region;
  }

 private:
  std::string source_;
};

struct NamedPcd {
  const char* name;
  UINTN token;
  board::PcdType type;
};

constexpr NamedPcd kNamedPcds[] = {
    {"PcdSysHostMemoryAddress", _PCD_TOKEN_PcdSysHostMemoryAddress, board::PcdType::Uint64},
    {"PcdPcieMmcfgBase", _PCD_TOKEN_PcdPcieMmcfgBase, board::PcdType::Uint64},
    {"PcdOemIsFirstBoot", _PCD_TOKEN_PcdOemIsFirstBoot, board::PcdType::Boolean},
    {"PcdDebugRasLogLevel", _PCD_TOKEN_PcdDebugRasLogLevel, board::PcdType::Uint8},
    {"PcdIioPortValueFlagClear", _PCD_TOKEN_PcdIioPortValueFlagClear, board::PcdType::Uint8},
    {"PcdIioPortValueFlagSet", _PCD_TOKEN_PcdIioPortValueFlagSet, board::PcdType::Uint8},
    {"PcdIioPresetSelector", _PCD_TOKEN_PcdIioPresetSelector, board::PcdType::Uint16},
};

uint64_t MaxOf(board::PcdType type) {
  unsigned bits = board::PcdTypeSize(type) * 8;
  if (type == board::PcdType::Boolean) return 1;
  return bits == 64 ? ~uint64_t{0} : (uint64_t{1} << bits) - 1;
}

std::optional<board::PcdType> PcdTypeFromName(const std::string& name) {
  for (auto type : {board::PcdType::Uint8, board::PcdType::Uint16, board::PcdType::Uint32, board::PcdType::Uint64,
                    board::PcdType::Boolean})
    if (board::PcdTypeName(type) == name) return type;
  return std::nullopt;
}

void ReadPcd(const Reader& r, const YAML::Node& node, BoardDescription& board) {
  if (!node.IsMap()) r.Fail(node, "pcd", "expected a mapping of tokens");
  for (const auto& item : node) {
    std::string key = "pcd." + item.first.as<std::string>();
    const NamedPcd* named = nullptr;
    for (const auto& pcd : kNamedPcds)
      if (item.first.Scalar() == pcd.name || item.first.Scalar() == std::to_string(pcd.token)) named = &pcd;
    PcdSetting setting;
    YAML::Node value = item.second;
    if (item.second.IsMap()) {
      r.Keys(item.second, key, {"type", "value"});
      auto type = PcdTypeFromName(r.Text(item.second["type"], key + ".type"));
      if (!type) r.Fail(item.second["type"], key + ".type", "expected UINT8, UINT16, UINT32, UINT64 or BOOLEAN");
      setting.type = *type;
      value = item.second["value"];
    } else if (named != nullptr) {
      setting.type = named->type;
    } else {
      r.Fail(item.first, key, "unknown token: give it as {type: ..., value: ...}");
    }
    setting.token = named != nullptr ? named->token : static_cast<UINTN>(r.Number(item.first, key, 0xFFFFFFFF));
    if (named != nullptr && named->type != setting.type)
      r.Fail(item.second, key, "token " + std::to_string(named->token) + " is " + board::PcdTypeName(named->type));
    setting.value = setting.type == board::PcdType::Boolean ? r.Bool(value, key) : r.Number(value, key, MaxOf(setting.type));
    board.pcd.push_back(setting);
  }
}

void ReadVariables(const Reader& r, const YAML::Node& node, BoardDescription& board) {
  if (!node.IsMap()) r.Fail(node, "variables", "expected a mapping of variable names");
  for (const auto& item : node) {
    std::string name = item.first.as<std::string>();
    std::string key = "variables." + name;
    std::u16string wide(name.begin(), name.end());
    const KnownVariable* known = FindKnownVariable(wide);
    if (item.second.IsScalar() && item.second.Scalar() == "absent") continue;
    r.Keys(item.second, key, {"guid", "size", "fill", "fields", "bytes", "oversize", "read-error"});
    const YAML::Node& entry = item.second;

    VariableSetting variable;
    variable.name = wide;
    if (entry["guid"]) variable.guid = r.Guid(entry["guid"], key + ".guid");
    else if (known != nullptr) variable.guid = known->guid;
    else r.Fail(entry, key, "not a variable this board knows: give its guid");

    uint32_t rowSize = known != nullptr ? known->size : 0;
    uint64_t size = rowSize;
    if (entry["size"]) size = r.Number(entry["size"], key + ".size", 0x100000);
    if (entry["bytes"]) {
      if (entry["size"] || entry["fill"]) r.Fail(entry["bytes"], key + ".bytes", "give either bytes or size/fill");
      variable.bytes = r.Bytes(entry["bytes"], key + ".bytes");
      size = variable.bytes.size();
    } else {
      uint8_t fill = entry["fill"] ? static_cast<uint8_t>(r.Number(entry["fill"], key + ".fill", 0xFF)) : 0;
      variable.bytes.assign(size, fill);
    }
    if (entry["oversize"]) {
      uint64_t oversize = r.Number(entry["oversize"], key + ".oversize", 0x100000);
      if (oversize <= rowSize) r.Fail(entry["oversize"], key + ".oversize", "must be larger than " + std::to_string(rowSize));
      variable.bytes.resize(oversize, 0);
    } else if (known != nullptr && variable.bytes.size() > rowSize) {
      r.Fail(entry, key, std::to_string(variable.bytes.size()) + " bytes are too long for its " +
                            std::to_string(rowSize) + "-byte row (say oversize: to store a longer variable)");
    }

    if (entry["fields"]) {
      r.Keys(entry["fields"], key + ".fields", [&] {
        std::set<std::string> names;
        for (const auto& f : entry["fields"]) names.insert(f.first.Scalar());
        return names;
      }());
      for (const auto& field : entry["fields"]) {
        std::string fieldKey = key + ".fields." + field.first.Scalar();
        VariableField where;
        const VariableField* named = nullptr;
        if (known != nullptr)
          for (const auto& f : known->fields)
            if (f.name == field.first.Scalar()) named = &f;
        if (named != nullptr) where = *named;
        else where.offset = static_cast<uint32_t>(r.Number(field.first, fieldKey + " (a field name or a byte offset)", 0xFFFFF));
        std::vector<uint8_t> values = field.second.IsSequence() ? r.Bytes(field.second, fieldKey)
                                                                : std::vector<uint8_t>{static_cast<uint8_t>(
                                                                      r.Number(field.second, fieldKey, 0xFF))};
        if (values.size() > where.count && named != nullptr)
          r.Fail(field.second, fieldKey, "the field has " + std::to_string(where.count) + " bytes");
        if (where.offset + values.size() > variable.bytes.size())
          r.Fail(field.second, fieldKey, "lies past the end of the " + std::to_string(variable.bytes.size()) +
                                             "-byte variable");
        std::copy(values.begin(), values.end(), variable.bytes.begin() + where.offset);
      }
    }
    if (entry["read-error"]) variable.readError = r.Status(entry["read-error"], key + ".read-error");
    board.variables.push_back(std::move(variable));
  }
}

void ReadIpmiSim(const Reader& r, const YAML::Node& node, BoardDescription& board) {
  IpmiSimSetting simulator;
  if (!node.IsNull()) {
    r.Keys(node, "bmc.ipmi-sim", {"host", "port", "reply-timeout-ms"});
    if (node["host"]) simulator.host = r.Text(node["host"], "bmc.ipmi-sim.host");
    if (node["port"]) simulator.port = static_cast<uint16_t>(r.Number(node["port"], "bmc.ipmi-sim.port", 0xFFFF));
    if (simulator.port == 0) r.Fail(node["port"], "bmc.ipmi-sim.port", "give the port a running simulator listens on, or leave it out");
    if (node["reply-timeout-ms"])
      simulator.replyTimeoutMs = static_cast<unsigned>(r.Number(node["reply-timeout-ms"], "bmc.ipmi-sim.reply-timeout-ms", 60000));
  }
  board.ipmiSim = simulator;
}

void ReadBmc(const Reader& r, const YAML::Node& node, BoardDescription& board) {
  if (node.IsScalar()) {
    if (node.Scalar() != "ipmi-sim") r.Fail(node, "bmc", "expected a mapping, or ipmi-sim for OpenIPMI's simulator");
    ReadIpmiSim(r, YAML::Node(), board);
    return;
  }
  r.Keys(node, "bmc", {"down", "sel-capacity", "requests", "ipmi-sim"});
  if (node["ipmi-sim"]) {
    // requests stay allowed: the scripted answers then stand in front of the simulator.
    if (node["down"]) r.Fail(node["down"], "bmc.down", "belongs to the board's own BMC, not to ipmi-sim");
    ReadIpmiSim(r, node["ipmi-sim"], board);
    if (node["sel-capacity"] && board.ipmiSim->port)
      r.Fail(node["sel-capacity"], "bmc.sel-capacity", "can only be set for a simulator board-boot starts (no port)");
  }
  if (node["down"]) board.bmcDown = r.Bool(node["down"], "bmc.down");
  if (node["sel-capacity"]) board.selCapacity = r.Number(node["sel-capacity"], "bmc.sel-capacity", 0xFFFF);
  if (!node["requests"]) return;
  if (!node["requests"].IsSequence()) r.Fail(node["requests"], "bmc.requests", "expected a list");
  for (size_t i = 0; i < node["requests"].size(); ++i) {
    const YAML::Node& request = node["requests"][i];
    std::string key = "bmc.requests[" + std::to_string(i) + "]";
    r.Keys(request, key, {"netfn", "command", "answers"});
    BmcScript script;
    script.netFn = static_cast<uint8_t>(r.Number(request["netfn"], key + ".netfn", 0x3F));
    script.command = static_cast<uint8_t>(r.Number(request["command"], key + ".command", 0xFF));
    const YAML::Node& answers = request["answers"];
    if (!answers.IsSequence()) r.Fail(answers, key + ".answers", "expected a list of answers");
    for (size_t j = 0; j < answers.size(); ++j) {
      const YAML::Node& a = answers[j];
      std::string akey = key + ".answers[" + std::to_string(j) + "]";
      r.Keys(a, akey, {"completion-code", "data", "transport-error", "no-answer", "silent", "times"});
      board::BmcAnswer answer;
      int kinds = 0;
      if (a["completion-code"] || a["data"]) {
        ++kinds;
        uint8_t cc = a["completion-code"] ? static_cast<uint8_t>(r.Number(a["completion-code"], akey + ".completion-code", 0xFF)) : 0;
        answer = board::BmcAnswer::Complete(cc, a["data"] ? r.Bytes(a["data"], akey + ".data") : std::vector<uint8_t>{});
      }
      if (a["transport-error"]) {
        ++kinds;
        answer = board::BmcAnswer::TransportError(r.Status(a["transport-error"], akey + ".transport-error"));
      }
      unsigned times = a["times"] ? static_cast<unsigned>(r.Number(a["times"], akey + ".times", 1000)) : 1;
      if (a["no-answer"]) {
        ++kinds;
        answer = board::BmcAnswer::TransportError(EFI_TIMEOUT);
        times = static_cast<unsigned>(r.Number(a["no-answer"], akey + ".no-answer", 1000));
      }
      if (a["silent"] && r.Bool(a["silent"], akey + ".silent")) {
        ++kinds;
        answer = board::BmcAnswer::Silent();
      }
      if (kinds != 1)
        r.Fail(a, akey, "give exactly one of completion-code/data, transport-error, no-answer, silent");
      script.answers.insert(script.answers.end(), times, answer);
    }
    board.bmc.push_back(std::move(script));
  }
}

board::Service ServiceFromName(const Reader& r, const YAML::Node& node, const std::string& key) {
  for (auto service : {board::Service::CreateHob, board::Service::AllocatePool, board::Service::AllocatePages,
                       board::Service::NotifyPpi, board::Service::InstallPpi, board::Service::PcdSet,
                       board::Service::StartupAllAPs})
    if (board::ServiceName(service) == r.Text(node, key)) return service;
  r.Fail(node, key, "'" + node.Scalar() +
                        "' is not a service that can fail (CreateHob, AllocatePool, AllocatePages, NotifyPpi, "
                        "InstallPpi, PcdSet, StartupAllAPs)");
}

void ReadFaults(const Reader& r, const YAML::Node& node, BoardDescription& board) {
  if (!node.IsSequence()) r.Fail(node, "faults", "expected a list");
  for (size_t i = 0; i < node.size(); ++i) {
    std::string key = "faults[" + std::to_string(i) + "]";
    r.Keys(node[i], key, {"service", "status", "skip", "count"});
    board::FaultRule rule{ServiceFromName(r, node[i]["service"], key + ".service")};
    if (node[i]["status"]) rule.status = r.Status(node[i]["status"], key + ".status");
    if (node[i]["skip"]) rule.skip = static_cast<unsigned>(r.Number(node[i]["skip"], key + ".skip", 0xFFFF));
    if (node[i]["count"]) rule.count = static_cast<unsigned>(r.Number(node[i]["count"], key + ".count", 0xFFFF));
    board.faults.push_back(rule);
  }
}

void ReadBoot(const Reader& r, const YAML::Node& node, BoardDescription& board) {
  if (!node.IsSequence()) r.Fail(node, "boot", "expected a list of steps");
  for (size_t i = 0; i < node.size(); ++i) {
    const YAML::Node& step = node[i];
    std::string key = "boot[" + std::to_string(i) + "]";
    BootStep parsed;
    if (step.IsMap()) {
      r.Keys(step, key, {"ppi", "name"});
      parsed.kind = BootStep::Kind::PlatformPpi;
      parsed.ppi = r.Guid(step["ppi"], key + ".ppi");
      parsed.ppiName = step["name"] ? r.Text(step["name"], key + ".name") : board::GuidToString(parsed.ppi);
    } else {
      std::string name = r.Text(step, key);
      if (name == "scan-trigger") {
        parsed.kind = BootStep::Kind::ScanTrigger;
      } else if (name == "permanent-memory") {
        parsed.kind = BootStep::Kind::PermanentMemory;
      } else if (name == "mp-services") {
        parsed.kind = BootStep::Kind::MpServices;
      } else if (board::FindHostedImage(name) != nullptr) {
        parsed.kind = BootStep::Kind::Dispatch;
        parsed.module = name;
      } else {
        std::string modules;
        for (const auto& image : board::HostedImages()) modules += " " + std::string(image.name);
        r.Fail(step, key, "'" + name + "' is neither a module (" + modules.substr(1) +
                              ") nor a platform event (permanent-memory, mp-services, scan-trigger, {ppi: GUID})");
      }
    }
    board.steps.push_back(parsed);
  }
}

void ReadWarningLog(const Reader& r, const YAML::Node& node, BoardDescription& board) {
  r.Keys(node, "warning-log", {"entries", "used-size", "present", "gates"});
  auto& log = board.warningLog;
  if (const auto& entries = node["entries"]) {
    if (!entries.IsSequence()) r.Fail(entries, "warning-log.entries", "expected a list of entries");
    for (size_t i = 0; i < entries.size(); ++i) {
      const YAML::Node& e = entries[i];
      std::string key = "warning-log.entries[" + std::to_string(i) + "]";
      r.Keys(e, key, {"type", "length", "major", "minor", "socket", "channel", "dimm", "rank"});
      board::WarningEntry entry;
      if (e["type"]) {
        // Type is a signed 32-bit value: negative types are written as such.
        std::string text = r.Text(e["type"], key + ".type");
        bool negative = !text.empty() && text[0] == '-';
        YAML::Node magnitude(negative ? text.substr(1) : text);
        auto value = static_cast<int64_t>(r.Number(magnitude, key + ".type", negative ? 0x80000000ull : 0x7FFFFFFF));
        entry.type = static_cast<int32_t>(negative ? -value : value);
      }
      auto byte = [&](const char* field, uint8_t fallback) {
        return e[field] ? static_cast<uint8_t>(r.Number(e[field], key + "." + field, 0xFF)) : fallback;
      };
      if (e["length"]) entry.length = static_cast<uint16_t>(r.Number(e["length"], key + ".length", 0xFFFF));
      entry.majorCode = byte("major", 0);
      entry.minorCode = byte("minor", 0);
      entry.socket = byte("socket", 0);
      entry.channel = byte("channel", 0);
      entry.dimm = byte("dimm", 0);
      entry.rank = byte("rank", 0);
      log.entries.push_back(entry);
    }
  }
  if (node["used-size"]) log.usedSize = static_cast<uint32_t>(r.Number(node["used-size"], "warning-log.used-size", 0xFFFFFFFF));
  auto slots = [&](const char* name, auto&& read) {
    const YAML::Node& list = node[name];
    if (!list) return;
    if (!list.IsSequence()) r.Fail(list, std::string("warning-log.") + name, "expected a list");
    for (size_t i = 0; i < list.size(); ++i) read(list[i], std::string("warning-log.") + name + "[" + std::to_string(i) + "]");
  };
  slots("present", [&](const YAML::Node& n, const std::string& key) {
    r.Keys(n, key, {"socket", "channel", "slot"});
    log.present.push_back({static_cast<unsigned>(r.Number(n["socket"], key + ".socket", SYS_HOST_MAX_SOCKETS - 1)),
                           static_cast<unsigned>(r.Number(n["channel"], key + ".channel", SYS_HOST_MAX_CHANNELS - 1)),
                           static_cast<unsigned>(r.Number(n["slot"], key + ".slot", SYS_HOST_MAX_DIMM_SLOTS - 1))});
  });
  slots("gates", [&](const YAML::Node& n, const std::string& key) {
    r.Keys(n, key, {"socket", "channel", "gate"});
    log.gates.push_back({static_cast<unsigned>(r.Number(n["socket"], key + ".socket", SYS_HOST_MAX_SOCKETS - 1)),
                         static_cast<unsigned>(r.Number(n["channel"], key + ".channel", SYS_HOST_MAX_CHANNELS - 1)),
                         static_cast<uint8_t>(r.Number(n["gate"], key + ".gate", 0xFF))});
  });
}

void ReadStaticPointerTable(const Reader& r, const YAML::Node& node, BoardDescription& board) {
  r.Keys(node, "static-pointer-table", {"hob-length", "pointers", "new-addresses"});
  StaticPointerTableSetting table;
  if (node["hob-length"]) {
    table.hobLength = static_cast<uint16_t>(r.Number(node["hob-length"], "static-pointer-table.hob-length", 0xFFF8));
    if (table.hobLength < 24) r.Fail(node["hob-length"], "static-pointer-table.hob-length", "a GUID HOB is at least 24 bytes");
  }
  auto byType = [&](const char* name, uint64_t max, auto& out) {
    const YAML::Node& map = node[name];
    if (!map) return;
    if (!map.IsMap()) r.Fail(map, std::string("static-pointer-table.") + name, "expected pointer type: value");
    for (const auto& item : map) {
      std::string key = std::string("static-pointer-table.") + name + "." + item.first.Scalar();
      auto type = static_cast<unsigned>(r.Number(item.first, key, 13));
      out.push_back({type, static_cast<typename std::decay_t<decltype(out)>::value_type::second_type>(r.Number(item.second, key, max))});
    }
  };
  byType("pointers", ~uint64_t{0}, table.pointers);
  byType("new-addresses", 0xFFFFFFFF, table.newAddresses);
  board.staticPointerTable = table;
}

std::optional<board::PlatformPpi> PlatformPpiFromName(const std::string& name) {
  if (name == "read-only-variable") return board::PlatformPpi::ReadOnlyVariable;
  if (name == "pcd") return board::PlatformPpi::Pcd;
  if (name == "ipmi-transport") return board::PlatformPpi::IpmiTransport;
  if (name == "debug-service") return board::PlatformPpi::DebugService;
  return std::nullopt;
}

}  // namespace

BoardDescription ParseBoardFile(const std::string& text, const std::string& source) {
  Reader r(source);
  YAML::Node root;
  try {
    root = YAML::Load(text);
  } catch (const YAML::ParserException& error) {
    throw BoardFileError(source + ":" + std::to_string(error.mark.line + 1) + ": " + error.msg);
  }
  BoardDescription board;
  board.source = source;
  if (root.IsNull()) return board;
  r.Keys(root, "", {"memory", "processors", "scratch-register", "absent-ppis", "pcd", "pcie", "variables", "bmc",
                    "faults", "warning-log", "static-pointer-table", "boot"});

  auto& options = board.options;
  if (const auto& memory = root["memory"]) {
    r.Keys(memory, "memory", {"temporary-ram", "permanent-memory", "host-structure", "pcie-base"});
    if (memory["temporary-ram"]) options.memory.temporaryRam = r.Region(memory["temporary-ram"], "memory.temporary-ram", options.memory.temporaryRam);
    if (memory["permanent-memory"]) options.memory.permanentMemory = r.Region(memory["permanent-memory"], "memory.permanent-memory", options.memory.permanentMemory);
    if (memory["host-structure"]) options.memory.hostStructure = r.Region(memory["host-structure"], "memory.host-structure", options.memory.hostStructure);
    if (memory["pcie-base"]) options.memory.pcieBase = r.Number(memory["pcie-base"], "memory.pcie-base", 0xF0000000);
  }
  if (const auto& processors = root["processors"]) {
    r.Keys(processors, "processors", {"application-processors"});
    if (processors["application-processors"])
      options.applicationProcessors = static_cast<unsigned>(r.Number(processors["application-processors"], "processors.application-processors", 255));
  }
  if (root["scratch-register"]) options.scratchRegister = static_cast<uint8_t>(r.Number(root["scratch-register"], "scratch-register", 0xFF));
  if (const auto& absent = root["absent-ppis"]) {
    if (!absent.IsSequence()) r.Fail(absent, "absent-ppis", "expected a list");
    for (size_t i = 0; i < absent.size(); ++i) {
      auto ppi = PlatformPpiFromName(r.Text(absent[i], "absent-ppis"));
      if (!ppi) r.Fail(absent[i], "absent-ppis", "'" + absent[i].Scalar() + "' is not one of read-only-variable, pcd, ipmi-transport, debug-service");
      options.absent.insert(*ppi);
    }
  }
  if (root["pcd"]) ReadPcd(r, root["pcd"], board);
  if (const auto& pcie = root["pcie"]) {
    if (!pcie.IsSequence()) r.Fail(pcie, "pcie", "expected a list");
    for (size_t i = 0; i < pcie.size(); ++i) {
      std::string key = "pcie[" + std::to_string(i) + "]";
      r.Keys(pcie[i], key, {"bus", "device", "function", "offset", "value"});
      PcieByte byte;
      byte.at.bus = static_cast<uint8_t>(r.Number(pcie[i]["bus"], key + ".bus", 0xFF));
      byte.at.device = static_cast<uint8_t>(r.Number(pcie[i]["device"], key + ".device", 31));
      byte.at.function = static_cast<uint8_t>(r.Number(pcie[i]["function"], key + ".function", 7));
      byte.at.offset = static_cast<uint16_t>(r.Number(pcie[i]["offset"], key + ".offset", 0xFFF));
      byte.value = static_cast<uint8_t>(r.Number(pcie[i]["value"], key + ".value", 0xFF));
      board.pcie.push_back(byte);
    }
  }
  if (root["variables"]) ReadVariables(r, root["variables"], board);
  if (root["bmc"]) ReadBmc(r, root["bmc"], board);
  if (root["faults"]) ReadFaults(r, root["faults"], board);
  if (root["warning-log"]) ReadWarningLog(r, root["warning-log"], board);
  if (root["static-pointer-table"]) ReadStaticPointerTable(r, root["static-pointer-table"], board);
  if (root["boot"]) ReadBoot(r, root["boot"], board);
  else r.Fail(root, "boot", "a board file needs its boot: the modules and events in order");
  return board;
}

BoardDescription LoadBoardFile(const std::string& path) {
  std::ifstream in(path);
  if (!in) throw BoardFileError(path + ": cannot read the board file");
  std::stringstream text;
  text << in.rdbuf();
  return ParseBoardFile(text.str(), path);
}

BoardDescription DefaultBoard() { return ParseBoardFile(kDefaultBoardFile, "built-in default board"); }

}  // namespace boardboot

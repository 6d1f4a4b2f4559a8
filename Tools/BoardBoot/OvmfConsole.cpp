#include "OvmfConsole.h"

#include <regex>
#include <sstream>

namespace boardboot {

namespace {
constexpr uint8_t kNetFnOem = 0x3C;
constexpr uint8_t kCmdForceDebug = 0x05;

uint64_t HexNumber(const std::string& text) { return std::stoull(text, nullptr, 16); }

bool ForcedByBmc(const std::vector<KcsLine>& kcs) {
  // TraceGate stops asking at the first try the transport completes: that one decides.
  for (const auto& line : kcs)
    if (line.netFn == kNetFnOem && line.command == kCmdForceDebug && line.completionCode)
      return *line.completionCode == 0 && line.bytesBack >= 1;
  return false;
}
}  // namespace

OvmfConsoleFacts ParseOvmfConsole(std::string_view console) {
  static const std::regex kLevel(R"(\[OemLogLevel\] Set debug level as (\w+)\.)");
  static const std::regex kTransport(R"(\[OemLogLevel\] LocatePpi IpmiTransportPpi IpmiStatus: (.*?) *)");
  static const std::regex kBootMarker(R"(OemIsFirstBoot ([01]))");
  static const std::regex kRas(R"(\[OemLogLevel\] RasLogLevel =([0-9a-f]+))");
  static const std::regex kToken(R"(\[PcdShim\] token (\d+): 0x([0-9a-f]+) -> 0x([0-9a-f]+))");
  static const std::regex kGivenBack(R"(\[PcdShim\] platform PCD PPI given back: (.*))");
  static const std::regex kKcsReply(
      R"(\[Kcs\] NetFn 0x([0-9a-f]{2}) Cmd 0x([0-9a-f]{2}), (\d+) data bytes: completion code 0x([0-9a-f]{2}), (\d+) bytes back)");
  static const std::regex kKcsFailed(R"(\[Kcs\] NetFn 0x([0-9a-f]{2}) Cmd 0x([0-9a-f]{2}), (\d+) data bytes: (.*))");
  static const std::regex kReload(R"(Reload MM7 with new pointer: ([0-9a-f]+ => [0-9a-f]+))");
  static const std::regex kSync(R"(Sync MM7: ([0-9a-f]+))");
  static const std::regex kMm7(R"(\[Mm7Check\] CPU (\d+)( \(BSP\))?: (?:0x([0-9a-f]+)|not read))");
  static const std::regex kMm7Same(R"(\[Mm7Check\] every AP's MM7 equals the BSP's: (yes|no))");
  static const std::regex kAssert(R"(ASSERT .*)");

  OvmfConsoleFacts facts;
  std::istringstream lines{std::string(console)};
  std::string line;
  std::smatch m;
  while (std::getline(lines, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (std::regex_match(line, m, kLevel)) facts.level = m[1];
    else if (std::regex_match(line, m, kTransport)) facts.ipmiTransport = m[1];
    else if (std::regex_match(line, m, kBootMarker)) facts.bootMarkerFirstBoot = m[1] == "1";
    else if (line == "[CreateFirstBootHob] First Boot Detected.") facts.traceGateFirstBoot = true;
    else if (line == "[CreateFirstBootHob] Not first boot.") facts.traceGateFirstBoot = false;
    else if (std::regex_match(line, m, kRas)) facts.rasLogLevel = static_cast<unsigned>(HexNumber(m[1]));
    else if (std::regex_match(line, m, kToken))
      facts.tokens.push_back({static_cast<unsigned>(std::stoul(m[1])), HexNumber(m[2]), HexNumber(m[3])});
    else if (std::regex_match(line, m, kGivenBack)) facts.pcdGivenBack = m[1];
    else if (std::regex_match(line, m, kKcsReply))
      facts.kcs.push_back({static_cast<uint8_t>(HexNumber(m[1])), static_cast<uint8_t>(HexNumber(m[2])),
                           static_cast<unsigned>(std::stoul(m[3])), static_cast<uint8_t>(HexNumber(m[4])),
                           static_cast<unsigned>(std::stoul(m[5])), "Success"});
    else if (line.starts_with("[Kcs] no interface:")) facts.noKcsInterface = true;
    else if (std::regex_match(line, m, kKcsFailed))
      facts.kcs.push_back({static_cast<uint8_t>(HexNumber(m[1])), static_cast<uint8_t>(HexNumber(m[2])),
                           static_cast<unsigned>(std::stoul(m[3])), std::nullopt, 0, m[4]});
    else if (std::regex_match(line, m, kReload)) facts.mm7Reload = m[1];
    else if (std::regex_match(line, m, kSync)) facts.mm7Sync = m[1];
    else if (std::regex_match(line, m, kMm7))
      facts.mm7.push_back({static_cast<unsigned>(std::stoul(m[1])), m[2].matched,
                           m[3].matched ? std::optional<uint64_t>(HexNumber(m[3])) : std::nullopt});
    else if (std::regex_match(line, m, kMm7Same)) facts.mm7AllEqual = m[1] == "yes";
    else if (std::regex_match(line, kAssert)) facts.assertions.push_back(line);
    if (line.starts_with("Notify BMC connect USB eth") || line.starts_with("BmcHeraldEntry:")) facts.bmcHeraldRan = true;
  }
  if (facts.level) {
    if (facts.ipmiTransport && *facts.ipmiTransport != "Success") facts.levelSource = "Setup (no IPMI transport)";
    else facts.levelSource = ForcedByBmc(facts.kcs) ? "BMC" : "Setup";
  }
  return facts;
}

}  // namespace boardboot

// What a boot on OVMF said on its debug console, read back from the lines the
// modules and the companion PEIMs print: the decided debug level and where it
// came from, the first-boot decisions, the PCD tokens the PCD window saw
// change, each KCS exchange, MM7 as the pointer table moved and as the check
// PEIM read it on every processor.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace boardboot {

struct KcsLine {
  uint8_t netFn = 0;
  uint8_t command = 0;
  unsigned dataBytes = 0;
  std::optional<uint8_t> completionCode;  // none: the transport failed (status says how)
  unsigned bytesBack = 0;
  std::string status;                     // "Success" or the failure, as printed
};

struct TokenChange {
  unsigned token = 0;
  uint64_t oldValue = 0;
  uint64_t newValue = 0;
};

struct Mm7Reading {
  unsigned processor = 0;
  bool bsp = false;
  std::optional<uint64_t> value;  // none: "not read"
};

struct OvmfConsoleFacts {
  std::optional<std::string> level;  // "Maximum", ..., "Disable" (the BMC's Disabled)
  // Where it came from: "BMC" when the force-debug request got completion
  // code 0 with a level byte back, "Setup" when it was asked and not
  // answered so, "Setup (no IPMI transport)" when there was none to ask.
  std::optional<std::string> levelSource;
  std::optional<std::string> ipmiTransport;  // TraceGate's LocatePpi status
  std::optional<bool> bootMarkerFirstBoot;   // "OemIsFirstBoot N"
  std::optional<bool> traceGateFirstBoot;    // "[CreateFirstBootHob] ..."
  std::optional<unsigned> rasLogLevel;
  std::vector<TokenChange> tokens;
  std::optional<std::string> pcdGivenBack;  // the status the PCD window printed
  std::vector<KcsLine> kcs;
  bool noKcsInterface = false;  // the transport companion found none and installed nothing
  std::optional<std::string> mm7Reload;  // "old => new"
  std::optional<std::string> mm7Sync;
  std::vector<Mm7Reading> mm7;
  std::optional<bool> mm7AllEqual;  // the check PEIM's own verdict
  std::vector<std::string> assertions;
  bool bmcHeraldRan = false;  // it printed a line of its own: it was dispatched
};

OvmfConsoleFacts ParseOvmfConsole(std::string_view console);

}  // namespace boardboot

// The report of a boot on OVMF under QEMU: what the console says (the decided
// level, the first-boot decisions, the PCD tokens changed, each KCS exchange,
// MM7 per processor), what the BMC side saw (every request and who answered
// it, the control messages), the SEL as the BMC holds it after the boot, and
// how QEMU ended.
#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "Board/IpmiBackend.h"
#include "Board/VmBmcRelay.h"
#include "OvmfConsole.h"
#include "QemuBoot.h"

namespace boardboot {

// The BMC behind KCS as board-boot saw it.
struct QemuBmcSide {
  std::string description;  // which BMC, for people
  bool relayed = false;     // board-boot's relay stood between QEMU and the BMC
  std::vector<board::RelayedRequest> requests;
  std::vector<board::RelayedControl> controls;
  std::vector<std::string> problems;
  std::optional<board::SelReadout> sel;  // read after the boot, when the BMC can be read
};

nlohmann::json BuildQemuReport(const QemuOptions& options, const QemuRun& run, const QemuBmcSide& bmc);
void PrintQemuReport(std::ostream& out, const nlohmann::json& report);

}  // namespace boardboot

// The BMC a board file puts behind QEMU's KCS interface, and what it saw:
// none when the board has no IPMI transport; else board-boot's relay, with
// the file's scripted answers in front of ipmi_sim (started here, or one
// already running) or of the board's own BMC. Without a board file, QEMU's
// own BMC. What this starts is stopped when it goes (the simulator by its
// process id).
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "Board/IpmiSimProcess.h"
#include "Board/VmBmcRelay.h"
#include "BoardDescription.h"
#include "QemuBoot.h"
#include "QemuReport.h"

namespace boardboot {

class QemuBmcSetup {
 public:
  // Sets options' BMC. Throws board::BoardError for a board whose BMC would
  // leave a request unanswered (QEMU's KCS interface never recovers from
  // one), or when the simulator cannot be started.
  QemuBmcSetup(const BoardDescription* description, QemuOptions& options);

  // The simulator started here, if it was.
  board::IpmiSimProcess* Simulator() { return simulator_.get(); }
  // Once QEMU is gone: the relay stopped, its record, and the SEL the BMC holds.
  QemuBmcSide AfterTheBoot();

 private:
  std::unique_ptr<board::IpmiSimProcess> simulator_;  // declared first: outlives the relay
  std::optional<board::Endpoint> simulatorAt_;
  std::unique_ptr<board::VmBmcRelay> relay_;
  std::string description_ = "QEMU's ipmi-bmc-sim (its SEL is not read back)";
};

}  // namespace boardboot

#include "QemuBmcSetup.h"

#include <chrono>

#include "Board/BoardError.h"
#include "Board/SelReadback.h"
#include "RealBmc.h"
#include "ReportText.h"

namespace boardboot {

namespace {
// QEMU's KCS interface stays busy for good after a request the BMC leaves
// unanswered: every later request times out without reaching the BMC. So a
// board that wants transport errors cannot be booted there.
void RefuseUnanswerable(const BoardDescription& description) {
  if (description.bmcDown)
    throw board::BoardError("bmc.down cannot be booted under QEMU: its KCS interface never recovers from an "
                            "unanswered request");
  for (const auto& script : description.bmc)
    for (const auto& answer : script.answers)
      if (EFI_ERROR(answer.transportStatus) || answer.writeNothing)
        throw board::BoardError("the answers to netfn " + Hex(script.netFn, 2) + " command " + Hex(script.command, 2) +
                                " include a transport error or a silent answer, which cannot be booted under QEMU: "
                                "only a BMC that answers can reach it over KCS, and its KCS interface never "
                                "recovers from an unanswered request");
}
}  // namespace

QemuBmcSetup::QemuBmcSetup(const BoardDescription* description, QemuOptions& options) {
  if (description == nullptr) return;
  if (description->options.absent.contains(board::PlatformPpi::IpmiTransport)) {
    options.bmc = QemuBmc::None;
    description_ = "none: no IPMI device (the board has no IPMI transport)";
    return;
  }
  RefuseUnanswerable(*description);
  board::Bmc script = ScriptedAnswers(description->bmc);
  if (description->ipmiSim) {
    if (description->ipmiSim->port) {
      simulatorAt_ = board::Endpoint{description->ipmiSim->host, *description->ipmiSim->port};
      description_ = "ipmi_sim at " + simulatorAt_->ToString() + ", not started by board-boot";
    } else {
      board::IpmiSimConfig config;
      if (description->selCapacity) config.selCapacity = *description->selCapacity;
      simulator_ = board::IpmiSimProcess::Start(config);
      simulatorAt_ = simulator_->Serial();
      description_ = "ipmi_sim started by board-boot (pid " + std::to_string(simulator_->Pid()) +
                     "), LAN channel at " + simulator_->Lan().ToString();
    }
  } else {
    if (description->selCapacity) script.SetSelCapacity(*description->selCapacity);
    description_ = "the board's own BMC";
  }
  if (!description->bmc.empty()) description_ += ", the board file's scripted answers in front";
  relay_ = std::make_unique<board::VmBmcRelay>(std::move(script), simulatorAt_);
  description_ += "; QEMU's ipmi-bmc-extern reaches it through board-boot's relay at " + relay_->Listening().ToString();
  options.bmc = QemuBmc::External;
  options.externalBmc = relay_->Listening();
}

QemuBmcSide QemuBmcSetup::AfterTheBoot() {
  QemuBmcSide side;
  side.description = description_;
  if (!relay_) return side;
  relay_->Stop();  // closes its connection to the simulator, so the SEL can be read on another
  side.relayed = true;
  side.requests = relay_->Requests();
  side.controls = relay_->Controls();
  side.problems = relay_->Problems();
  if (simulatorAt_) {
    board::IpmiSimLink link(*simulatorAt_, std::chrono::milliseconds(2000));
    side.sel = board::ReadWholeSel(link);
  } else {
    side.sel = board::SelReadout{relay_->Script().Sel(), {}};
  }
  return side;
}

}  // namespace boardboot

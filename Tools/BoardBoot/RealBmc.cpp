#include "RealBmc.h"

#include <chrono>

#include "Board/IpmiSimBackend.h"
#include "Board/ScriptedFrontBackend.h"

namespace boardboot {

board::Bmc ScriptedAnswers(const std::vector<BmcScript>& requests) {
  board::Bmc bmc;
  for (const auto& script : requests)
    for (const auto& answer : script.answers) bmc.Queue(script.netFn, script.command, answer);
  return bmc;
}

std::unique_ptr<RealBmc> RealBmc::Open(const IpmiSimSetting& simulator, std::optional<size_t> selCapacity,
                                       const std::vector<BmcScript>& requests) {
  auto bmc = std::make_unique<RealBmc>();
  board::Endpoint serial{simulator.host, simulator.port.value_or(0)};
  std::string description;
  if (simulator.port) {
    description = "ipmi_sim at " + serial.ToString() + " (VM serial interface), not started by board-boot";
  } else {
    board::IpmiSimConfig config;
    if (selCapacity) config.selCapacity = *selCapacity;
    bmc->process_ = board::IpmiSimProcess::Start(config);
    serial = bmc->process_->Serial();
    description = "ipmi_sim started by board-boot (pid " + std::to_string(bmc->process_->Pid()) +
                  "), LAN channel at " + bmc->process_->Lan().ToString() + ", stopped after the boot";
  }
  auto link = std::make_unique<board::IpmiSimLink>(serial, std::chrono::milliseconds(simulator.replyTimeoutMs));
  bmc->backend_ = std::make_unique<board::IpmiSimBackend>(std::move(link), description);
  if (!requests.empty())
    bmc->backend_ = std::make_unique<board::ScriptedFrontBackend>(ScriptedAnswers(requests), std::move(bmc->backend_));
  return bmc;
}

}  // namespace boardboot

#include "RealBmc.h"

#include <chrono>

#include "Board/IpmiSimBackend.h"

namespace boardboot {

std::unique_ptr<RealBmc> RealBmc::Open(const IpmiSimSetting& simulator, std::optional<size_t> selCapacity) {
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
  return bmc;
}

}  // namespace boardboot

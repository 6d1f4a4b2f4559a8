// Scripted answers in front of another BMC: a request the script has an
// answer for gets it (the scripted BMC's rules), every other one goes to the
// BMC behind, which also holds the SEL. It lets a board give OEM answers that
// OpenIPMI's simulator does not know, while the simulator stays the BMC.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "Bmc.h"
#include "IpmiBackend.h"

namespace board {

class ScriptedFrontBackend : public IpmiBackend {
 public:
  ScriptedFrontBackend(Bmc script, std::unique_ptr<IpmiBackend> behind);

  EFI_STATUS Handle(uint8_t netFn, uint8_t lun, uint8_t command, const uint8_t* request, uint32_t requestLength,
                    uint8_t* response, uint8_t* responseLength) override;
  const std::vector<IpmiExchange>& Exchanges() const override { return exchanges_; }
  SelReadout AddedSel() override { return behind_->AddedSel(); }
  std::vector<std::string> Summary() const override;

 private:
  Bmc script_;
  std::unique_ptr<IpmiBackend> behind_;
  std::vector<IpmiExchange> exchanges_;  // both parts' tries, in order
  unsigned scripted_ = 0;
};

}  // namespace board

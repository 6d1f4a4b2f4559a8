#include "DefaultBoard.h"

namespace boardboot {

// A first boot: no "OemIsFirstBoot" variable yet, so BootMarker sets the
// first-boot token; the scratch register holds level 2 (Normal) from reset.
BootPlan DefaultBoard() {
  BootPlan plan;
  plan.options.applicationProcessors = 4;
  plan.options.scratchRegister = 0x02;
  for (const auto& image : board::HostedImages()) plan.steps.push_back({BootStep::Kind::Dispatch, std::string(image.name), {}});
  plan.steps.push_back({BootStep::Kind::PermanentMemory, "", {}});
  plan.steps.push_back({BootStep::Kind::MpServices, "", {}});
  plan.prepare = [](board::Board&) {};
  return plan;
}

}  // namespace boardboot

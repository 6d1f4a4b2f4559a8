#include "FaultPlan.h"

namespace board {

std::string ServiceName(Service service) {
  switch (service) {
    case Service::CreateHob: return "CreateHob";
    case Service::AllocatePool: return "AllocatePool";
    case Service::AllocatePages: return "AllocatePages";
    case Service::NotifyPpi: return "NotifyPpi";
    case Service::InstallPpi: return "InstallPpi";
    case Service::PcdSet: return "PcdSet";
    case Service::StartupAllAPs: return "StartupAllAPs";
  }
  return "?";
}

std::optional<EFI_STATUS> FaultPlan::Check(Service service) {
  unsigned call = calls_[service]++;
  for (const auto& rule : rules_) {
    if (rule.service != service || call < rule.skip) continue;
    if (call - rule.skip < rule.count) return rule.status;
  }
  return std::nullopt;
}

unsigned FaultPlan::Calls(Service service) const {
  auto found = calls_.find(service);
  return found == calls_.end() ? 0 : found->second;
}

}  // namespace board

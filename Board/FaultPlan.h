// Faults a test or a board file injects into the platform's services: the
// n-th call (and those after it, up to a count) of a service fails with a
// chosen status.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <Uefi/UefiBaseType.h>

namespace board {

enum class Service {
  CreateHob,
  AllocatePool,
  AllocatePages,
  NotifyPpi,
  InstallPpi,
  PcdSet,
  StartupAllAPs,
};

std::string ServiceName(Service service);

struct FaultRule {
  Service service;
  EFI_STATUS status = EFI_OUT_OF_RESOURCES;
  unsigned skip = 0;          // calls that succeed before the first failure
  unsigned count = ~0u;       // failing calls; the default fails every one after skip
};

class FaultPlan {
 public:
  void Add(const FaultRule& rule) { rules_.push_back(rule); }

  // Counts one call of service; returns the status it must fail with, if any.
  std::optional<EFI_STATUS> Check(Service service);
  unsigned Calls(Service service) const;

 private:
  std::vector<FaultRule> rules_;
  std::map<Service, unsigned> calls_;
};

}  // namespace board

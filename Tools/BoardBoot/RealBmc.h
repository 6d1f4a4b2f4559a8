// The BMC a board file names instead of the board's scripted one: OpenIPMI's
// simulator, started here (and stopped, by its process id, when this goes)
// or already running at the given port.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Board/IpmiBackend.h"
#include "Board/IpmiSimProcess.h"
#include "BoardDescription.h"

namespace boardboot {

// A BMC that answers the scripted requests, one answer per try, in order.
board::Bmc ScriptedAnswers(const std::vector<BmcScript>& requests);

class RealBmc {
 public:
  // Throws board::BoardError when the simulator can't be started. The
  // board file's scripted requests, if any, are answered in front of it.
  static std::unique_ptr<RealBmc> Open(const IpmiSimSetting& simulator, std::optional<size_t> selCapacity,
                                       const std::vector<BmcScript>& requests = {});

  // The transport backend for the board (once).
  std::unique_ptr<board::IpmiBackend> TakeBackend() { return std::move(backend_); }
  // The simulator started here, if it was.
  board::IpmiSimProcess* Process() { return process_.get(); }

 private:
  std::unique_ptr<board::IpmiSimProcess> process_;
  std::unique_ptr<board::IpmiBackend> backend_;
};

}  // namespace boardboot

// One boot of the simulated board, as a board file describes it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "Board/Board.h"

namespace boardboot {

// One step of a boot: dispatch a module, or a platform event between modules.
struct BootStep {
  enum class Kind { Dispatch, PermanentMemory, MpServices, PlatformPpi };
  Kind kind = Kind::Dispatch;
  std::string module;  // Dispatch
  EFI_GUID ppi{};      // PlatformPpi: installed, or reinstalled when it already is
  std::string ppiName;
};

struct VariableSpec {
  std::u16string name;
  EFI_GUID guid{};
  std::vector<uint8_t> bytes;
  std::optional<EFI_STATUS> readError;  // every read fails with this status
};

struct PcdSpec {
  UINTN token = 0;
  board::PcdType type = board::PcdType::Uint8;
  uint64_t value = 0;
};

struct PcieByte {
  board::PciAddress at;
  uint8_t value = 0;
};

struct BmcScript {
  uint8_t netFn = 0;
  uint8_t command = 0;
  std::vector<board::BmcAnswer> answers;  // one per try, in order
};

struct BoardDescription {
  std::string source;  // the board file, or the built-in board's name
  board::BoardOptions options;
  std::vector<PcdSpec> pcd;
  std::vector<VariableSpec> variables;
  std::vector<PcieByte> pcie;
  bool bmcDown = false;
  std::optional<size_t> selCapacity;
  std::vector<BmcScript> bmc;
  std::vector<board::FaultRule> faults;
  std::vector<BootStep> steps;
};

}  // namespace boardboot

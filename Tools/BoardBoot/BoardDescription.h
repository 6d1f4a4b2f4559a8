// One boot of the simulated board, as a board file describes it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "Board/Board.h"
#include "Board/HostStructure.h"

namespace boardboot {

// One step of a boot: dispatch a module, or a platform event between modules.
struct BootStep {
  // ScanTrigger installs the scan-trigger PPI, or reinstalls it after the first time.
  enum class Kind { Dispatch, PermanentMemory, MpServices, PlatformPpi, ScanTrigger };
  Kind kind = Kind::Dispatch;
  std::string module;  // Dispatch
  EFI_GUID ppi{};      // PlatformPpi: installed, or reinstalled when it already is
  std::string ppiName;
};

struct VariableSetting {
  std::u16string name;
  EFI_GUID guid{};
  std::vector<uint8_t> bytes;
  std::optional<EFI_STATUS> readError;  // every read fails with this status
};

struct PcdSetting {
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

// OpenIPMI's BMC simulator as the BMC, over its VM serial interface.
struct IpmiSimSetting {
  std::string host = "127.0.0.1";
  std::optional<uint16_t> port;  // one already listening there; none: board-boot starts its own
  unsigned replyTimeoutMs = 1000;
};

struct DimmSlot {
  unsigned socket = 0, channel = 0, slot = 0;
};

struct ChannelGate {
  unsigned socket = 0, channel = 0;
  uint8_t gate = 0;
};

// The memory reference code's warning log and per-slot bytes.
struct WarningLogSetting {
  std::vector<board::WarningEntry> entries;
  std::optional<uint32_t> usedSize;  // overrides the sum of the entries' lengths
  std::vector<DimmSlot> present;
  std::vector<ChannelGate> gates;
};

// A static pointer table HOB an earlier module left in the HOB list.
struct StaticPointerTableSetting {
  uint16_t hobLength = 304;
  std::vector<std::pair<unsigned, uint64_t>> pointers;      // type, pointer
  std::vector<std::pair<unsigned, uint32_t>> newAddresses;  // type, NewAddress
};

struct BoardDescription {
  std::string source;  // the board file, or the built-in board's name
  board::BoardOptions options;
  std::vector<PcdSetting> pcd;
  std::vector<VariableSetting> variables;
  std::vector<PcieByte> pcie;
  bool bmcDown = false;
  std::optional<size_t> selCapacity;
  std::vector<BmcScript> bmc;
  std::optional<IpmiSimSetting> ipmiSim;  // instead of the scripted BMC
  std::vector<board::FaultRule> faults;
  WarningLogSetting warningLog;
  std::optional<StaticPointerTableSetting> staticPointerTable;
  std::vector<BootStep> steps;
};

}  // namespace boardboot

// The two files OpenIPMI's BMC simulator starts from: its LAN configuration
// (the LAN channel and the VM serial interface, both on the loopback
// address, and the users) and the commands that build the BMC itself.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace board {

struct IpmiSimConfig {
  std::string address = "127.0.0.1";
  uint16_t serialPort = 0;  // TCP, VM codec: the board's IPMI transport
  uint16_t lanPort = 0;     // UDP, IPMI 1.5/2.0 LAN: ipmitool
  std::string user = "admin";
  std::string password = "board-boot";
  size_t selCapacity = 1000;  // SEL records before the BMC answers "out of space"
};

std::string LanConfText(const IpmiSimConfig& config);
std::string EmuCommandsText(const IpmiSimConfig& config);

}  // namespace board

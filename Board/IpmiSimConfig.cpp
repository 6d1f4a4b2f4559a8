#include "IpmiSimConfig.h"

#include <sstream>

namespace board {

std::string LanConfText(const IpmiSimConfig& config) {
  std::ostringstream out;
  out << "# Written by board-boot for one boot; removed afterwards.\n"
         "name \"board-boot\"\n"
         "set_working_mc 0x20\n"
         "\n"
         "startlan 1\n"
         "  addr "
      << config.address << " " << config.lanPort
      << "\n"
         "  priv_limit admin\n"
         "  allowed_auths_callback none md2 md5 straight\n"
         "  allowed_auths_user none md2 md5 straight\n"
         "  allowed_auths_operator none md2 md5 straight\n"
         "  allowed_auths_admin none md2 md5 straight\n"
         "  guid a123456789abcdefa123456789abcdef\n"
         "endlan\n"
         "\n"
         "serial 15 "
      << config.address << " " << config.serialPort
      << " codec VM\n"
         "\n"
         "user 2 true \""
      << config.user << "\" \"" << config.password << "\" admin 10 none md2 md5 straight\n";
  return out.str();
}

std::string EmuCommandsText(const IpmiSimConfig& config) {
  std::ostringstream out;
  // A BMC at IPMB address 0x20 with a SEL and no sensors: the modules only
  // add SEL records and send OEM requests, which it does not know.
  out << "mc_setbmc 0x20\n"
         "mc_add 0x20 0 no-device-sdrs 0x23 9 8 0x9f 0x1291 0xf02\n"
         "sel_enable 0x20 "
      << config.selCapacity
      << " 0x0a\n"
         "mc_enable 0x20\n";
  return out.str();
}

}  // namespace board

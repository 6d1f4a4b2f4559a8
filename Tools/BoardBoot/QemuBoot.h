// Booting a firmware image on EDK2's real PEI core: Debian's 32-bit OVMF
// under qemu-system-i386 (q35 with SMM, the processors asked for, a BMC
// behind KCS at 0xCA2/0xCA3, the debug console at port 0x402). QEMU runs
// as a child process with a time limit and is stopped by its process id; it
// also dies with the process that started it.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Board/IpmiSimLink.h"

namespace boardboot {

// What stands behind the KCS interface.
enum class QemuBmc {
  BuiltIn,   // QEMU's own ipmi-bmc-sim
  External,  // ipmi-bmc-extern: a VM serial codec BMC at QemuOptions::externalBmc
  None,      // no IPMI device at all
};

// The fw_cfg file HostStructurePei reads the host structure from.
inline constexpr std::string_view kHostStructureFwCfgName = "opt/oem/host-structure";

struct QemuOptions {
  std::filesystem::path codeImage;      // the OVMF code image (read-only flash)
  std::filesystem::path variableStore;  // used as it is; created from the empty store when missing
  std::filesystem::path emptyStore = "/usr/share/OVMF/OVMF32_VARS_4M.fd";
  std::filesystem::path shellScript;    // when given: startup.nsh on a virtual FAT drive
  // When given: the host structure's bytes as a board file lays them out,
  // passed as the fw_cfg file kHostStructureFwCfgName for HostStructurePei.
  std::optional<std::vector<uint8_t>> hostStructure;
  unsigned processors = 2;
  std::chrono::seconds timeLimit{60};
  std::string program = "qemu-system-i386";
  QemuBmc bmc = QemuBmc::BuiltIn;
  board::Endpoint externalBmc;  // External: where QEMU connects
};

struct QemuRun {
  std::string debugConsole;  // what reached port 0x402
  std::string serial;        // the serial line (OVMF's own console)
  bool reachedShell = false; // the boot got as far as the UEFI shell
  bool timedOut = false;     // stopped at the time limit instead
  bool reset = false;        // the firmware reset the machine (QEMU then ends: -no-reboot)
  double seconds = 0;
  int qemuPid = -1;
  int exitStatus = 0;         // when it ended by itself (reset): its exit code
};

// Boots until the UEFI shell prompt appears on the serial line or the time
// limit passes, then stops QEMU. Throws BoardError when it cannot start.
QemuRun BootInQemu(const QemuOptions& options);

}  // namespace boardboot

// Keeps a simulator that board-boot started running after the boot, so
// that ipmitool can read what the modules left in it.
#pragma once

#include <ostream>

#include "Board/IpmiSimProcess.h"

namespace boardboot {

// Tells on out how to reach the simulator, then waits until standard input
// ends or gives a line, a SIGINT, SIGTERM or SIGHUP arrives, or the simulator
// exits. The caller stops the simulator afterwards.
void HoldBmc(board::IpmiSimProcess& simulator, std::ostream& out);

}  // namespace boardboot

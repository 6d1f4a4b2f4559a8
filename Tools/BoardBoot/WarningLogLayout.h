// The memory reference code's host structure as a board file describes it:
// the one layout both the simulated board and a QEMU boot use.
#pragma once

#include <cstdint>
#include <vector>

#include "BoardDescription.h"
#include "Board/HostStructure.h"

namespace boardboot {

// Whether the board file says anything about the host structure.
bool DescribesHostStructure(const WarningLogSetting& log);

// Writes the file's warning log, UsedSize, presence and gate bytes into host.
// Throws BoardError as HostStructure does for what does not fit.
void LayOutWarningLog(board::HostStructure& host, const WarningLogSetting& log);

// The structure's bytes with that layout, up to its last non-zero byte but
// never short of UsedSize (the rest is zero): what a platform that places the
// structure itself is given.
std::vector<uint8_t> HostStructureBytes(const WarningLogSetting& log);

}  // namespace boardboot

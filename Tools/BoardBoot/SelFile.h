// The SEL as a raw file: 16-byte records back to back, as Get SEL Entry
// returns them, the layout `ipmitool sel readraw FILE` decodes.
#pragma once

#include <string>
#include <vector>

#include "Board/IpmiBackend.h"

namespace boardboot {

// Throws board::BoardError when the file can't be written.
void WriteRawSel(const std::string& path, const std::vector<board::SelEntry>& entries);

}  // namespace boardboot

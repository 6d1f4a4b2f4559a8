// A SEL record as `ipmitool sel list -v` shows a system event record, and in
// this board's own encoding of the memory location and warning codes.
#pragma once

#include <nlohmann/json.hpp>

#include "Board/Bmc.h"

namespace boardboot {

nlohmann::json DecodeSelRecord(const board::SelEntry& entry);

}  // namespace boardboot

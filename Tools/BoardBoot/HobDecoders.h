// Decoders for the GUID HOBs the modules build, for the boot report.
#pragma once

#include <nlohmann/json.hpp>

#include "Board/HobList.h"

namespace boardboot {

// Adds "name", "summary" and "details" to out when the HOB is one we know.
void DecodeGuidHob(const board::HobView& hob, nlohmann::json& out);

}  // namespace boardboot

#include "HobDecoders.h"

#include <Guid/FirstBootHob.h>
#include <Guid/VerbosityHob.h>

#include "Board/GuidText.h"

namespace boardboot {

namespace {
constexpr size_t kDataOffset = sizeof(EFI_HOB_GUID_TYPE);

const char* LevelName(uint8_t level) {
  switch (level) {
    case DEBUG_LEVEL_DISABLED: return "Disabled";
    case DEBUG_LEVEL_MINIMUM: return "Minimum";
    case DEBUG_LEVEL_NORMAL: return "Normal";
    case DEBUG_LEVEL_MAXIMUM: return "Maximum";
    default: return "no mask (prints nothing)";
  }
}
}  // namespace

void DecodeGuidHob(const board::HobView& hob, nlohmann::json& out) {
  const auto& name = reinterpret_cast<const EFI_HOB_GUID_TYPE*>(hob.bytes)->Name;
  bool hasByte = hob.length > kDataOffset;
  if (board::SameGuid(name, gVerbosityHobGuid)) {
    out["name"] = "verbosity";
    if (hasByte) {
      uint8_t level = hob.bytes[kDataOffset];
      out["level"] = level;
      out["summary"] = "debug level " + std::to_string(level) + " (" + LevelName(level) + ")";
    }
  } else if (board::SameGuid(name, gFirstBootHobGuid)) {
    out["name"] = "first boot";
    if (hasByte) {
      uint8_t flag = hob.bytes[kDataOffset];
      out["first_boot"] = flag;
      out["summary"] = flag == 1 ? "first boot" : flag == 0 ? "not a first boot" : "flag " + std::to_string(flag);
    }
  }
}

}  // namespace boardboot

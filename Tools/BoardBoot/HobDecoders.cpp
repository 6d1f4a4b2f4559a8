#include "HobDecoders.h"

#include <Guid/FirstBootHob.h>
#include <Guid/StaticPointerTableHob.h>
#include <Guid/VerbosityHob.h>

#include <cstdio>

#include "Board/GuidText.h"
#include "ReportText.h"

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
  } else if (board::SameGuid(name, gStaticPointerTableHobGuid)) {
    out["name"] = "static pointer table";
    out["table"] = Hex(hob.address + kDataOffset);
    if (hob.length != sizeof(STATIC_POINTER_TABLE_HOB)) {
      out["summary"] = "table at " + Hex(hob.address + kDataOffset) + ", wrong length";
      return;
    }
    const auto* table = &reinterpret_cast<const STATIC_POINTER_TABLE_HOB*>(hob.bytes)->Table;
    nlohmann::json details = nlohmann::json::array();
    for (unsigned type = 0; type < STATIC_POINTER_TYPE_COUNT; ++type)
      if (table->Pointer[type] != 0)
        details.push_back("type " + std::to_string(type) + ": " + Hex(table->Pointer[type]) + " (migrates to " +
                          Hex(table->Migration[type].NewAddress) + ")");
    out["summary"] = "table at " + Hex(hob.address + kDataOffset) + ", " + std::to_string(details.size()) +
                     " pointer(s) set";
    if (!details.empty()) out["details"] = details;
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

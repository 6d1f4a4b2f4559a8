#include "PpiCatalog.h"

#include <cstring>

#include <Ppi/DebugServicePpi.h>
#include <Ppi/IpmiTransportPpi.h>
#include <Ppi/MemoryDiscovered.h>
#include <Ppi/MpServices.h>
#include <Ppi/Pcd.h>
#include <Ppi/ReadOnlyVariable2.h>
#include <Ppi/WarningLogScanTrigger.h>

namespace flash {
namespace {

struct KnownPpi {
  std::string_view name;
  const EFI_GUID* guid;
};

#define PPI(name) KnownPpi{#name, &name}
constexpr KnownPpi kPpis[] = {
  PPI(gEfiPeiReadOnlyVariable2PpiGuid), PPI(gPcdPpiGuid),        PPI(gEfiPeiIpmiTransportPpiGuid),
  PPI(gDebugServicePpiGuid),            PPI(gEfiPeiMpServicesPpiGuid), PPI(gEfiPeiMemoryDiscoveredPpiGuid),
  PPI(gWarningLogScanTriggerPpiGuid),
};
#undef PPI

Guid ToGuid(const EFI_GUID& guid) {
  static_assert(sizeof(EFI_GUID) == 16);
  Guid bytes;
  std::memcpy(bytes.bytes.data(), &guid, 16);  // the in-memory layout is the flash layout on x86
  return bytes;
}

}  // namespace

std::optional<Guid> FindPpi(std::string_view name) {
  for (const KnownPpi& ppi : kPpis)
    if (ppi.name == name) return ToGuid(*ppi.guid);
  if (auto guid = Guid::Parse(name)) return guid;
  return std::nullopt;
}

std::string PpiName(const Guid& guid) {
  for (const KnownPpi& ppi : kPpis)
    if (ToGuid(*ppi.guid) == guid) return std::string(ppi.name);
  return guid.ToString();
}

}  // namespace flash

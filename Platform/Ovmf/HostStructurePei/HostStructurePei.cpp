/** @file
  HostStructurePei: what the memory reference code leaves for DimmSentry, on
  a platform that has no memory reference code of this board's. Runs once
  permanent memory and the MP services are there (the board's order:
  permanent memory, MP services, then the scan trigger):

  - allocates the host structure in permanent memory and fills it with the
    bytes the board description lays out, which QEMU passes as the fw_cfg
    file opt/oem/host-structure (the structure up to its last non-zero byte;
    the rest is zero);
  - puts its address in this board's token 17 and installs the scan-trigger
    PPI, with the board's PCD window open around both: DimmSentry's
    notification is a callback, so the core runs it inside InstallPpi and it
    reads token 17 there.

  With no such file (or one larger than the structure) it says so in one
  line and installs no trigger.
**/
#include <Library/BaseMemoryLib.h>
#include <Library/BoardPcdWindowLib.h>
#include <Library/CompanionRecordLib.h>
#include <Library/QemuFwCfgLib.h>
#include <OemPcdTokens.h>
#include <PiPei.h>
#include <Ppi/Pcd.h>
#include <Ppi/WarningLogScanTrigger.h>
#include <SysHost.h>

namespace {

constexpr CHAR8 kFileName[] = "opt/oem/host-structure";
static_assert (sizeof (kFileName) <= QEMU_FW_CFG_NAME_SIZE);

// Only the GUID of the trigger matters; nobody reads its interface.
constexpr UINT8 kTriggerInterface = 0;
constexpr EFI_PEI_PPI_DESCRIPTOR kScanTrigger = {
  EFI_PEI_PPI_DESCRIPTOR_PPI | EFI_PEI_PPI_DESCRIPTOR_TERMINATE_LIST,
  const_cast<EFI_GUID *>(&gWarningLogScanTriggerPpiGuid),
  const_cast<UINT8 *>(&kTriggerInterface)
};

// One line for whatever stops it: what failed and how.
EFI_STATUS Refuse (CONST EFI_PEI_SERVICES **PeiServices, CONST CHAR8 *What, EFI_STATUS Status)
{
  CompanionRecord (PeiServices, "[HostStructure] %a: %r; no scan trigger\n", What, Status);
  return Status;
}

// Token 17 set and the trigger installed, inside the board's PCD window.
EFI_STATUS PublishAndTrigger (CONST EFI_PEI_SERVICES **PeiServices, EFI_PHYSICAL_ADDRESS Address)
{
  EFI_STATUS Status = BoardPcdWindowOpen (PeiServices, nullptr, 0);
  if (EFI_ERROR (Status)) {
    return Refuse (PeiServices, "the board's PCD window", Status);
  }
  PCD_PPI *Pcd = nullptr;
  Status = (*PeiServices)->LocatePpi (PeiServices, &gPcdPpiGuid, 0, nullptr, (VOID **)&Pcd);
  if (!EFI_ERROR (Status)) {
    Status = Pcd->Set64 (_PCD_TOKEN_PcdSysHostMemoryAddress, Address);
  }
  if (EFI_ERROR (Status)) {
    Refuse (PeiServices, "token 17", Status);
  } else {
    Status = (*PeiServices)->InstallPpi (PeiServices, &kScanTrigger);
    CompanionRecord (PeiServices, "[HostStructure] scan trigger installed: %r\n", Status);
  }
  EFI_STATUS Closed = BoardPcdWindowClose (PeiServices);
  return EFI_ERROR (Status) ? Status : Closed;
}

}  // namespace

extern "C" EFI_STATUS EFIAPI _ModuleEntryPoint (IN EFI_PEI_FILE_HANDLE FileHandle,
                                                IN CONST EFI_PEI_SERVICES **PeiServices)
{
  (VOID)FileHandle;
  UINT16     Selector = 0;
  UINT32     Size     = 0;
  EFI_STATUS Status   = QemuFwCfgFindFile (kFileName, &Selector, &Size);
  if (EFI_ERROR (Status)) {
    return Refuse (PeiServices, kFileName, Status);
  }
  if (Size > sizeof (SysHost)) {
    // Larger than the structure: laid out for another layout than this one.
    return Refuse (PeiServices, kFileName, EFI_BAD_BUFFER_SIZE);
  }
  EFI_PHYSICAL_ADDRESS Address = 0;
  Status = (*PeiServices)->AllocatePages (PeiServices, EfiBootServicesData, EFI_SIZE_TO_PAGES (sizeof (SysHost)),
                                          &Address);
  if (EFI_ERROR (Status)) {
    return Refuse (PeiServices, "pages", Status);
  }
  SysHost *Host = (SysHost *)(UINTN)Address;
  ZeroMem (Host, sizeof (SysHost));
  QemuFwCfgRead (Selector, Host, Size);
  CompanionRecord (PeiServices, "[HostStructure] 0x%x bytes of %a at 0x%lx\n", Size, kFileName, Address);
  return PublishAndTrigger (PeiServices, Address);
}

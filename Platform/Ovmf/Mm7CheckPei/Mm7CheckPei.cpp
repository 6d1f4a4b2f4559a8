/** @file
  Mm7CheckPei: reads every processor's MM7 through the platform's MP
  services and prints them, so a boot shows whether the APs hold the pointer
  the boot processor does. Dispatched once the MP services PPI is installed,
  which is when TraceGate's notification has already synchronised the APs.
**/
#include <Library/BaseLib.h>
#include <Library/CompanionRecordLib.h>
#include <PiPei.h>
#include <Ppi/MpServices.h>

namespace {

constexpr UINTN kMaxProcessors = 32;

struct Readings {
  CONST EFI_PEI_SERVICES   **PeiServices;
  EFI_PEI_MP_SERVICES_PPI  *Mp;
  UINT64                   Value[kMaxProcessors];
  BOOLEAN                  Read[kMaxProcessors];
};

VOID ReadHere (Readings &R)
{
  UINTN Number = kMaxProcessors;
  if (EFI_ERROR (R.Mp->WhoAmI (R.PeiServices, R.Mp, &Number)) || Number >= kMaxProcessors) {
    return;
  }
  R.Value[Number] = AsmReadMm7 ();
  AsmEmms ();
  R.Read[Number] = TRUE;
}

// Each AP writes only its own slot.
VOID EFIAPI ApReadMm7 (IN OUT VOID *Buffer) { ReadHere (*(Readings *)Buffer); }

}  // namespace

extern "C" EFI_STATUS EFIAPI _ModuleEntryPoint (IN EFI_PEI_FILE_HANDLE FileHandle,
                                                IN CONST EFI_PEI_SERVICES **PeiServices)
{
  (VOID)FileHandle;
  Readings R;
  R.PeiServices = PeiServices;
  R.Mp          = nullptr;
  for (UINTN Index = 0; Index < kMaxProcessors; ++Index) {
    R.Value[Index] = 0;
    R.Read[Index]  = FALSE;
  }
  EFI_STATUS Status = (*PeiServices)->LocatePpi (PeiServices, &gEfiPeiMpServicesPpiGuid, 0, nullptr, (VOID **)&R.Mp);
  if (EFI_ERROR (Status)) {
    return Status;
  }
  UINTN Count   = 0;
  UINTN Enabled = 0;
  Status = R.Mp->GetNumberOfProcessors (PeiServices, R.Mp, &Count, &Enabled);
  if (EFI_ERROR (Status)) {
    return Status;
  }
  ReadHere (R);
  UINTN Bsp = kMaxProcessors;
  (VOID)R.Mp->WhoAmI (PeiServices, R.Mp, &Bsp);
  if (Count > 1) {
    Status = R.Mp->StartupAllAPs (PeiServices, R.Mp, ApReadMm7, FALSE, 0, &R);
  }
  CompanionRecord (PeiServices, "[Mm7Check] %u processors, APs started: %r\n", (UINT32)Count, Status);
  BOOLEAN Same = Bsp < kMaxProcessors && R.Read[Bsp];
  for (UINTN Index = 0; Index < Count && Index < kMaxProcessors; ++Index) {
    if (!R.Read[Index]) {
      CompanionRecord (PeiServices, "[Mm7Check] CPU %u: not read\n", (UINT32)Index);
      Same = FALSE;
      continue;
    }
    CompanionRecord (PeiServices, "[Mm7Check] CPU %u%a: 0x%016lx\n", (UINT32)Index, Index == Bsp ? " (BSP)" : "", R.Value[Index]);
    Same = Same && R.Value[Index] == R.Value[Bsp];
  }
  CompanionRecord (PeiServices, "[Mm7Check] every AP's MM7 equals the BSP's: %a\n", Same ? "yes" : "no");
  return EFI_SUCCESS;
}

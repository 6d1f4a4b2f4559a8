/** @file
  BoardStatePei: the platform state the board holds from reset that QEMU's
  machine does not, set before any module reads it, and recorded on the debug
  console. For now the verbosity scratch register (the scratch register of
  COM1, zero on QEMU), whose value the build gives as
  OEM_SCRATCH_REGISTER_AT_RESET.
**/
#include <Library/CompanionRecordLib.h>
#include <Library/IoLib.h>
#include <PiPei.h>
#include <Register/VerbosityScratch.h>

#ifndef OEM_SCRATCH_REGISTER_AT_RESET
#error "the build must give OEM_SCRATCH_REGISTER_AT_RESET"
#endif

static_assert (OEM_SCRATCH_REGISTER_AT_RESET >= 0 && OEM_SCRATCH_REGISTER_AT_RESET <= 0xFF);

namespace {

}  // namespace

extern "C" EFI_STATUS EFIAPI _ModuleEntryPoint (IN EFI_PEI_FILE_HANDLE FileHandle,
                                                IN CONST EFI_PEI_SERVICES **PeiServices)
{
  (VOID)FileHandle;
  IoWrite8 (VERBOSITY_SCRATCH_PORT, (UINT8)OEM_SCRATCH_REGISTER_AT_RESET);
  CompanionRecord (PeiServices, "[BoardState] port 0x%x at reset: 0x%02x\n", VERBOSITY_SCRATCH_PORT,
          IoRead8 (VERBOSITY_SCRATCH_PORT));
  return EFI_SUCCESS;
}

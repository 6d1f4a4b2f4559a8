/** @file
  DebugServicePei: the debug service PPI on QEMU, every message and failed
  assertion written to the debug console port. The modules filter by level
  themselves, so everything that reaches this PPI is printed.
**/
#include <Library/IoLib.h>
#include <Library/PrintLibFormatLib.h>
#include <PiPei.h>
#include <Ppi/DebugServicePpi.h>

namespace {

// QEMU's isa-debugcon, as OVMF's own debug builds use it.
constexpr UINTN kDebugConsolePort = 0x402;

VOID EFIAPI PutToPort (VOID *Context, CHAR8 Character)
{
  (VOID)Context;
  IoWrite8 (kDebugConsolePort, (UINT8)Character);
}

VOID Print (CONST CHAR8 *Format, ...)
{
  VA_LIST Marker;
  VA_START (Marker, Format);
  PrintLibFormat (PutToPort, nullptr, Format, Marker);
  VA_END (Marker);
}

VOID EFIAPI DebugServicePrint (IN UINT32 ErrorLevel, IN CONST CHAR8 *Format, IN VA_LIST Marker)
{
  (VOID)ErrorLevel;
  if (Format != nullptr) {
    PrintLibFormat (PutToPort, nullptr, Format, Marker);
  }
}

VOID EFIAPI DebugServiceAssert (IN CONST CHAR8 *FileName, IN UINT32 LineNumber, IN CONST CHAR8 *Description)
{
  // The line the board console prints for a failed assertion.
  Print ("ASSERT %a(%u): %a\n", FileName, LineNumber, Description);
}

constexpr DEBUG_SERVICE_PPI kDebugService = {DebugServicePrint, DebugServiceAssert};

constexpr EFI_PEI_PPI_DESCRIPTOR kDescriptor = {
  EFI_PEI_PPI_DESCRIPTOR_PPI | EFI_PEI_PPI_DESCRIPTOR_TERMINATE_LIST,
  const_cast<EFI_GUID *>(&gDebugServicePpiGuid),
  const_cast<DEBUG_SERVICE_PPI *>(&kDebugService)
};

}  // namespace

extern "C" EFI_STATUS EFIAPI _ModuleEntryPoint (IN EFI_PEI_FILE_HANDLE FileHandle,
                                                IN CONST EFI_PEI_SERVICES **PeiServices)
{
  (VOID)FileHandle;
  return (*PeiServices)->InstallPpi (PeiServices, &kDescriptor);
}

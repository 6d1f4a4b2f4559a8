/** @file
  BmcHerald: PCH ACPI base enable and the two OEM BMC requests.
**/
#include <Library/BaseMemoryLib.h>
#include <Library/DebugLib.h>
#include <Library/IoLib.h>
#include <Library/PcdLib.h>
#include <OemPcdTokens.h>

#include "BmcHerald.h"

/// Bytes 0 to 9 of the OEM block; the length field equals the block's size.
STATIC constexpr UINT8 mOemBmcBlockHeader[OEM_BMC_BLOCK_HEADER_SIZE] = {
  0x01, 0x12, 0x00, 0x01, 0x01, 0x01, 0x01, 0x01,
  (UINT8)(sizeof (OEM_BMC_BLOCK) & 0xFF), (UINT8)(sizeof (OEM_BMC_BLOCK) >> 8)
};

static_assert (mOemBmcBlockHeader[8] == 0x2C && mOemBmcBlockHeader[9] == 0x00);

/**
  Returns the address of a PMC configuration register. The base is fetched
  anew on every call; only its low 32 bits are an address, and the sum wraps
  at 32 bits as it does on the processor this runs on.
**/
STATIC UINTN PmcRegisterAddress (IN UINT32 Offset)
{
  UINT32 Base = (UINT32)PcdGet64 (PcdPcieMmcfgBase);
  return (UINTN)(UINT32)(Base + PCH_PMC_CONFIG_OFFSET + Offset);
}

/// TRUE when a try of a BMC request succeeded: no transport error and completion code 0.
STATIC BOOLEAN IpmiTryAccepted (IN EFI_STATUS Status, IN UINT8 Response)
{
  return !EFI_ERROR (Status) && Response == 0;
}

VOID EFIAPI EnableAcpiBase (VOID)
{
  if ((MmioRead8 (PmcRegisterAddress (R_PCH_PMC_ACPI_CNTL)) & B_PCH_PMC_ACPI_CNTL_ACPI_EN) != 0) {
    return;
  }

  MmioWrite16 (PmcRegisterAddress (R_PCH_PMC_ACPI_BASE), (UINT16)PCH_ACPI_BASE_ADDRESS);

  // One read-modify-write of the control byte: its other bits keep their values.
  UINTN Control = PmcRegisterAddress (R_PCH_PMC_ACPI_CNTL);
  MmioWrite8 (Control, (UINT8)(MmioRead8 (Control) | B_PCH_PMC_ACPI_CNTL_ACPI_EN));
}

VOID EFIAPI NotifyBmcConnectUsbEth (
  IN     PEI_IPMI_TRANSPORT_PPI  *IpmiTransport,
  IN OUT UINT8                   *Request,
  IN OUT UINT8                   *Response,
  IN OUT UINT8                   *ResponseLength
  )
{
  Request[0] = OEM_CONNECT_USB_ETH_REQUEST;

  for (UINT32 Try = 0; Try < BMC_HERALD_IPMI_TRIES; Try++) {
    *ResponseLength = 1;
    EFI_STATUS Status = IpmiTransport->SendIpmiCommand (IpmiTransport, OEM_NETFN_CONNECT_USB_ETH, 0,
                                                        OEM_CMD_CONNECT_USB_ETH, Request, 1, Response,
                                                        ResponseLength);
    DEBUG ((DEBUG_INFO, "Notify BMC connect USB eth %r %x\n", Status, (UINT32)*Response));
    if (IpmiTryAccepted (Status, *Response)) {
      break;
    }
  }
}

VOID EFIAPI BuildOemBmcBlock (
  IN  CONST EFI_PEI_SERVICES  **PeiServices,
  OUT UINT8                   *Request,
  IN  UINT8                   *Body
  )
{
  for (UINT32 Index = 0; Index < OEM_BMC_BLOCK_HEADER_SIZE; Index++) {
    Request[Index] = mOemBmcBlockHeader[Index];
  }
  (*PeiServices)->CopyMem (Request + OFFSET_OF (OEM_BMC_BLOCK, Body), Body, OEM_BMC_BLOCK_BODY_SIZE);
}

VOID EFIAPI DumpOemBmcBlock (IN CONST UINT8 *Block)
{
  for (UINT32 Index = 0; Index < sizeof (OEM_BMC_BLOCK); Index++) {
    DEBUG ((DEBUG_ERROR, "%02x ", (UINT32)Block[Index]));
    if ((Index + 1) % OEM_BMC_BLOCK_DUMP_LINE == 0 || Index + 1 == sizeof (OEM_BMC_BLOCK)) {
      DEBUG ((DEBUG_ERROR, "\n"));
    }
  }
}

EFI_STATUS EFIAPI SendOemBmcBlock (
  IN     PEI_IPMI_TRANSPORT_PPI  *IpmiTransport,
  IN     UINT8                   *Request,
  IN OUT UINT8                   *Response,
  IN OUT UINT8                   *ResponseLength
  )
{
  EFI_STATUS Status = EFI_SUCCESS;

  *Response = BMC_HERALD_RESPONSE_PRESET;
  for (UINT32 Try = 0; Try < BMC_HERALD_IPMI_TRIES; Try++) {
    *ResponseLength = 1;
    Status = IpmiTransport->SendIpmiCommand (IpmiTransport, OEM_NETFN_BMC_BLOCK, 0, OEM_CMD_BMC_BLOCK, Request,
                                             sizeof (OEM_BMC_BLOCK), Response, ResponseLength);
    if (IpmiTryAccepted (Status, *Response)) {
      break;
    }
  }
  return Status;
}

EFI_STATUS EFIAPI BmcHeraldEntry (IN EFI_PEI_FILE_HANDLE FileHandle, IN CONST EFI_PEI_SERVICES **PeiServices)
{
  UINT8                   Request[BMC_HERALD_REQUEST_BUFFER_SIZE];
  UINT8                   Body[OEM_BMC_BLOCK_BODY_SIZE];
  UINT8                   Response;
  UINT8                   ResponseLength;
  PEI_IPMI_TRANSPORT_PPI  *IpmiTransport = NULL;

  (VOID)FileHandle;

  EnableAcpiBase ();

  ZeroMem (Request, sizeof (Request));
  ZeroMem (Body, sizeof (Body));
  Response       = BMC_HERALD_RESPONSE_PRESET;
  ResponseLength = 1;

  EFI_STATUS Status = (*PeiServices)->LocatePpi (PeiServices, &gEfiPeiIpmiTransportPpiGuid, 0, NULL,
                                                 (VOID **)&IpmiTransport);
  if (EFI_ERROR (Status)) {
    DEBUG ((DEBUG_INFO, "%a:LocatePpi IpmiTransportPpi %r\n", "BmcHeraldEntry", Status));
    return Status;
  }

  NotifyBmcConnectUsbEth (IpmiTransport, Request, &Response, &ResponseLength);

  BuildOemBmcBlock (PeiServices, Request, Body);
  DumpOemBmcBlock (Request);

  Status = SendOemBmcBlock (IpmiTransport, Request, &Response, &ResponseLength);
  // An error-free transport does not mean the BMC took the block: without
  // completion code 0 the request failed and must not read as success.
  if (!EFI_ERROR (Status) && Response != 0) {
    DEBUG ((DEBUG_ERROR, "%a:OEM block not accepted by BMC, response %x\n", "BmcHeraldEntry", (UINT32)Response));
    Status = EFI_DEVICE_ERROR;
  }
  return Status;
}

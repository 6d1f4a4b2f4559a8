/** @file
  BmcHerald: makes sure the PCH decodes its ACPI I/O range, then sends the BMC
  two OEM requests: connect its USB Ethernet, and the 44-byte OEM block.
**/
#ifndef BMC_HERALD_H_
#define BMC_HERALD_H_

#include <PiPei.h>
#include <Ppi/IpmiTransportPpi.h>

//
// The PCH power-management controller, reached through memory-mapped PCI
// Express configuration space at PcdPcieMmcfgBase.
//
#define PCH_PMC_BUS                  0U
#define PCH_PMC_DEVICE               31U
#define PCH_PMC_FUNCTION             2U
#define PCH_PMC_CONFIG_OFFSET \
  ((PCH_PMC_BUS << 20) | (PCH_PMC_DEVICE << 15) | (PCH_PMC_FUNCTION << 12))

#define R_PCH_PMC_ACPI_BASE          0x40U  ///< 16-bit: ACPI I/O base address
#define R_PCH_PMC_ACPI_CNTL          0x44U  ///< 8-bit: ACPI control
#define B_PCH_PMC_ACPI_CNTL_ACPI_EN  0x80U  ///< ACPI I/O decode enable
#define PCH_ACPI_BASE_ADDRESS        0x0500U

static_assert (PCH_PMC_CONFIG_OFFSET + R_PCH_PMC_ACPI_BASE == 0xFA040U);
static_assert (PCH_PMC_CONFIG_OFFSET + R_PCH_PMC_ACPI_CNTL == 0xFA044U);

//
// The two OEM requests.
//
#define BMC_HERALD_IPMI_TRIES                5U
#define BMC_HERALD_REQUEST_BUFFER_SIZE       100U
#define BMC_HERALD_RESPONSE_PRESET           0xFFU

#define OEM_NETFN_CONNECT_USB_ETH            0x32U
#define OEM_CMD_CONNECT_USB_ETH              0xAAU
#define OEM_CONNECT_USB_ETH_REQUEST          0x03U

#define OEM_NETFN_BMC_BLOCK                  0x3CU
#define OEM_CMD_BMC_BLOCK                    0x01U

#define OEM_BMC_BLOCK_HEADER_SIZE            10U
#define OEM_BMC_BLOCK_BODY_SIZE              34U

/// The OEM block as the BMC receives it: a fixed header, then the body.
#pragma pack(push, 1)
typedef struct {
  UINT8   Fixed[8];                        ///< 01 12 00 01 01 01 01 01
  UINT16  Length;                          ///< the block's own length, little-endian
  UINT8   Body[OEM_BMC_BLOCK_BODY_SIZE];
} OEM_BMC_BLOCK;
#pragma pack(pop)

static_assert (sizeof (OEM_BMC_BLOCK) == 44);
static_assert (OFFSET_OF (OEM_BMC_BLOCK, Length) == 8);
static_assert (OFFSET_OF (OEM_BMC_BLOCK, Body) == OEM_BMC_BLOCK_HEADER_SIZE);
static_assert (sizeof (OEM_BMC_BLOCK) <= BMC_HERALD_REQUEST_BUFFER_SIZE);

/// The 16-byte lines of the block's dump.
#define OEM_BMC_BLOCK_DUMP_LINE  16U

extern "C" {

/**
  Turns on the PCH's ACPI I/O decoding, at base 0x500, unless it is already on.
  Every access fetches the configuration base from PcdPcieMmcfgBase again.
**/
VOID EFIAPI EnableAcpiBase (VOID);

/**
  Asks the BMC to connect its USB Ethernet: up to five tries, a line after each.
  The outcome is only logged.

  @param[in]     IpmiTransport   The IPMI transport.
  @param[in,out] Request         The request buffer; byte 0 becomes 0x03.
  @param[in,out] Response        The response byte; not reset between tries.
  @param[in,out] ResponseLength  The response length, set to 1 before every try.
**/
VOID EFIAPI NotifyBmcConnectUsbEth (
  IN     PEI_IPMI_TRANSPORT_PPI  *IpmiTransport,
  IN OUT UINT8                   *Request,
  IN OUT UINT8                   *Response,
  IN OUT UINT8                   *ResponseLength
  );

/**
  Builds the OEM block at the start of the request buffer: the fixed header,
  then the body copied with the PEI Services CopyMem.

  @param[in]  PeiServices  The PEI Services table pointer.
  @param[out] Request      The request buffer; its first 44 bytes are written.
  @param[in]  Body         The 34-byte body.
**/
VOID EFIAPI BuildOemBmcBlock (
  IN  CONST EFI_PEI_SERVICES  **PeiServices,
  OUT UINT8                   *Request,
  IN  UINT8                   *Body
  );

/**
  Dumps the 44-byte OEM block at the error level: three lines of 16, 16 and 12
  bytes, each byte as "%02x ".

  @param[in] Block  The OEM block.
**/
VOID EFIAPI DumpOemBmcBlock (IN CONST UINT8 *Block);

/**
  Sends the OEM block: the response byte is preset to 0xFF, then up to five
  tries, silently, until one has no transport error and completion code 0.

  @param[in]     IpmiTransport   The IPMI transport.
  @param[in]     Request         The request buffer holding the OEM block.
  @param[in,out] Response        The response byte; holds the last completion code seen.
  @param[in,out] ResponseLength  The response length, set to 1 before every try.

  @return The status of the last try.
**/
EFI_STATUS EFIAPI SendOemBmcBlock (
  IN     PEI_IPMI_TRANSPORT_PPI  *IpmiTransport,
  IN     UINT8                   *Request,
  IN OUT UINT8                   *Response,
  IN OUT UINT8                   *ResponseLength
  );

/**
  The PEIM entry: the ACPI base step, then the two BMC requests.

  @param[in] FileHandle   Not used.
  @param[in] PeiServices  The PEI Services table pointer.

  @retval EFI_SUCCESS       The BMC accepted the OEM block.
  @retval EFI_DEVICE_ERROR  The transport worked but the BMC never answered the
                            OEM block with completion code 0.
  @retval other             The LocatePpi status when there is no IPMI transport,
                            or the transport error of the block's last try.
**/
EFI_STATUS EFIAPI BmcHeraldEntry (IN EFI_PEI_FILE_HANDLE FileHandle, IN CONST EFI_PEI_SERVICES **PeiServices);

}

#endif

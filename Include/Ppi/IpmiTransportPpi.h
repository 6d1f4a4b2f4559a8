/** @file
  The IPMI transport PPI through which the modules talk to the BMC.
**/
#ifndef OEM_PPI_IPMI_TRANSPORT_PPI_H_
#define OEM_PPI_IPMI_TRANSPORT_PPI_H_

#include <Uefi/UefiBaseType.h>

#define PEI_IPMI_TRANSPORT_PPI_GUID \
  { 0x8122cebd, 0xf4fd, 0x4ea8, { 0x97, 0x6c, 0xf0, 0x03, 0xad, 0xdc, 0x4c, 0xb4 } }

typedef struct _PEI_IPMI_TRANSPORT_PPI PEI_IPMI_TRANSPORT_PPI;

/**
  Sends one IPMI request and receives its response.

  @param[in]     This              The transport.
  @param[in]     NetFunction       Network function.
  @param[in]     Lun               Logical unit (always 0 here).
  @param[in]     Command           Command.
  @param[in]     CommandData       Request bytes.
  @param[in]     CommandDataSize   Number of request bytes.
  @param[out]    ResponseData      Byte 0 receives the completion code, the payload follows.
  @param[in,out] ResponseDataSize  Size of ResponseData on entry; bytes received on return.

  @retval EFI_SUCCESS  A response was received; its completion code is in ResponseData[0].
  @retval other        The transport failed (no response, time-out, device error...).
**/
typedef EFI_STATUS (EFIAPI *PEI_IPMI_SEND_COMMAND)(
  IN PEI_IPMI_TRANSPORT_PPI  *This,
  IN UINT8                   NetFunction,
  IN UINT8                   Lun,
  IN UINT8                   Command,
  IN UINT8                   *CommandData,
  IN UINT32                  CommandDataSize,
  OUT UINT8                  *ResponseData,
  IN OUT UINT8               *ResponseDataSize
  );

struct _PEI_IPMI_TRANSPORT_PPI {
  UINT64                 Revision;       ///< The transport's own; not used by the modules.
  PEI_IPMI_SEND_COMMAND  SendIpmiCommand;
};

static_assert (OFFSET_OF (PEI_IPMI_TRANSPORT_PPI, SendIpmiCommand) == 8);

inline constexpr EFI_GUID gEfiPeiIpmiTransportPpiGuid = PEI_IPMI_TRANSPORT_PPI_GUID;

#endif

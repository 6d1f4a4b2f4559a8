/** @file
  IpmiKcsPei: the IPMI transport PPI over the KCS interface at 0xCA2 (data)
  and 0xCA3 (status and command), as QEMU's isa-ipmi-kcs provides it.

  The KCS write and read transfers of the IPMI specification, every wait
  bounded; on an error state the abort sequence (GET_STATUS/ABORT) brings the
  interface back to idle and the request is tried again, a few times. The
  response must carry the request's NetFn + 1 and command and fit the
  caller's buffer. Each request and its outcome go to the debug service: the
  record of what was sent.
**/
#include <Library/BaseLib.h>
#include <Library/IoLib.h>
#include <PiPei.h>
#include <Ppi/DebugServicePpi.h>
#include <Ppi/IpmiTransportPpi.h>

namespace {

constexpr UINTN kDataPort   = 0xCA2;
constexpr UINTN kStatusPort = 0xCA3;  // reads status, writes commands

// Status register.
constexpr UINT8 kObf        = 0x01;
constexpr UINT8 kIbf        = 0x02;
constexpr UINT8 kStateMask  = 0xC0;
constexpr UINT8 kStateIdle  = 0x00;
constexpr UINT8 kStateRead  = 0x40;
constexpr UINT8 kStateWrite = 0x80;

// Control codes.
constexpr UINT8 kGetStatusAbort = 0x60;
constexpr UINT8 kWriteStart     = 0x61;
constexpr UINT8 kWriteEnd       = 0x62;
constexpr UINT8 kReadByte       = 0x68;

// Status reads a wait may take: a BMC that answers does within a few hundred;
// an absent one reads 0xFF (IBF set) for ever.
constexpr UINT32 kWaitPolls   = 200000;
constexpr UINTN  kTries       = 3;
constexpr UINTN  kMaxResponse = 64;  // NetFn, command, completion code, data

enum class Kcs { Ok, Timeout, Error };

Kcs WaitIbfClear ()
{
  for (UINT32 Poll = 0; Poll < kWaitPolls; ++Poll) {
    if ((IoRead8 (kStatusPort) & kIbf) == 0) {
      return Kcs::Ok;
    }
  }
  return Kcs::Timeout;
}

Kcs WaitObfSet ()
{
  for (UINT32 Poll = 0; Poll < kWaitPolls; ++Poll) {
    if ((IoRead8 (kStatusPort) & kObf) != 0) {
      return Kcs::Ok;
    }
  }
  return Kcs::Timeout;
}

UINT8 State () { return IoRead8 (kStatusPort) & kStateMask; }

VOID ClearObf ()
{
  if ((IoRead8 (kStatusPort) & kObf) != 0) {
    (VOID)IoRead8 (kDataPort);
  }
}

// After IBF clears in the write phase: the interface must still be writing.
Kcs WriteStep ()
{
  if (WaitIbfClear () != Kcs::Ok) {
    return Kcs::Timeout;
  }
  if (State () != kStateWrite) {
    return Kcs::Error;
  }
  ClearObf ();
  return Kcs::Ok;
}

// The error exit: back to idle, so the next try starts clean.
VOID Abort ()
{
  if (WaitIbfClear () != Kcs::Ok) {
    return;
  }
  IoWrite8 (kStatusPort, kGetStatusAbort);
  if (WaitIbfClear () != Kcs::Ok) {
    return;
  }
  ClearObf ();
  IoWrite8 (kDataPort, 0);
  if (WaitIbfClear () != Kcs::Ok || State () != kStateRead || WaitObfSet () != Kcs::Ok) {
    return;
  }
  (VOID)IoRead8 (kDataPort);  // the status code
  IoWrite8 (kDataPort, kReadByte);
  if (WaitIbfClear () != Kcs::Ok || State () != kStateIdle || WaitObfSet () != Kcs::Ok) {
    return;
  }
  (VOID)IoRead8 (kDataPort);
}

Kcs Write (CONST UINT8 *Request, UINTN Size)
{
  if (WaitIbfClear () != Kcs::Ok) {
    return Kcs::Timeout;
  }
  ClearObf ();
  IoWrite8 (kStatusPort, kWriteStart);
  Kcs Step = WriteStep ();
  for (UINTN Index = 0; Step == Kcs::Ok && Index + 1 < Size; ++Index) {
    IoWrite8 (kDataPort, Request[Index]);
    Step = WriteStep ();
  }
  if (Step != Kcs::Ok) {
    return Step;
  }
  IoWrite8 (kStatusPort, kWriteEnd);
  if ((Step = WriteStep ()) != Kcs::Ok) {
    return Step;
  }
  IoWrite8 (kDataPort, Request[Size - 1]);
  return Kcs::Ok;
}

Kcs Read (UINT8 *Response, UINTN &Size)
{
  Size = 0;
  for (;;) {
    if (WaitIbfClear () != Kcs::Ok) {
      return Kcs::Timeout;
    }
    UINT8 Now = State ();
    if (Now == kStateIdle) {
      if (WaitObfSet () != Kcs::Ok) {
        return Kcs::Timeout;
      }
      (VOID)IoRead8 (kDataPort);  // the dummy byte that ends the transfer
      return Kcs::Ok;
    }
    if (Now != kStateRead) {
      return Kcs::Error;
    }
    if (WaitObfSet () != Kcs::Ok) {
      return Kcs::Timeout;
    }
    UINT8 Byte = IoRead8 (kDataPort);
    if (Size == kMaxResponse) {
      return Kcs::Error;  // longer than any response this transport takes
    }
    Response[Size++] = Byte;
    IoWrite8 (kDataPort, kReadByte);
  }
}

VOID Record (CONST CHAR8 *Format, ...)
{
  CONST EFI_PEI_SERVICES **PeiServices = nullptr;
  IA32_DESCRIPTOR        Idtr;
  AsmReadIdtr (&Idtr);
  if (Idtr.Base < sizeof (UINTN)) {
    return;
  }
  PeiServices              = *(CONST EFI_PEI_SERVICES ***)(Idtr.Base - sizeof (UINTN));
  DEBUG_SERVICE_PPI *Debug = nullptr;
  if (PeiServices == nullptr ||
      EFI_ERROR ((*PeiServices)->LocatePpi (PeiServices, &gDebugServicePpiGuid, 0, nullptr, (VOID **)&Debug))) {
    return;
  }
  VA_LIST Marker;
  VA_START (Marker, Format);
  Debug->Print (0, Format, Marker);
  VA_END (Marker);
}

EFI_STATUS EFIAPI SendIpmiCommand (IN PEI_IPMI_TRANSPORT_PPI *This, IN UINT8 NetFunction, IN UINT8 Lun,
                                   IN UINT8 Command, IN UINT8 *CommandData, IN UINT32 CommandDataSize,
                                   OUT UINT8 *ResponseData, IN OUT UINT8 *ResponseDataSize)
{
  (VOID)This;
  if (ResponseData == nullptr || ResponseDataSize == nullptr || (CommandData == nullptr && CommandDataSize != 0) ||
      CommandDataSize > kMaxResponse - 2 || NetFunction > 0x3F || Lun > 3) {
    return EFI_INVALID_PARAMETER;
  }
  UINT8 Request[kMaxResponse];
  Request[0] = (UINT8)(NetFunction << 2 | Lun);
  Request[1] = Command;
  for (UINT32 Index = 0; Index < CommandDataSize; ++Index) {
    Request[2 + Index] = CommandData[Index];
  }

  UINT8 Response[kMaxResponse];
  UINTN Size   = 0;
  Kcs   Result = Kcs::Error;
  for (UINTN Try = 0; Try < kTries; ++Try) {
    Result = Write (Request, 2 + CommandDataSize);
    if (Result == Kcs::Ok) {
      Result = Read (Response, Size);
    }
    if (Result != Kcs::Timeout) {
      if (Result == Kcs::Ok) {
        break;
      }
      Abort ();
    } else {
      break;  // nothing answers: trying again only waits again
    }
  }

  EFI_STATUS Status = EFI_SUCCESS;
  if (Result == Kcs::Timeout) {
    Status = EFI_TIMEOUT;
  } else if (Result == Kcs::Error) {
    Status = EFI_DEVICE_ERROR;
  } else if (Size < 3 || Response[0] != (UINT8)((NetFunction + 1) << 2 | Lun) || Response[1] != Command) {
    Status = EFI_DEVICE_ERROR;  // not the response to this request
  } else if (Size - 2 > *ResponseDataSize) {
    Status = EFI_BUFFER_TOO_SMALL;
  }
  if (EFI_ERROR (Status)) {
    Record ("[Kcs] NetFn 0x%02x Cmd 0x%02x, %u data bytes: %r\n", NetFunction, Command, CommandDataSize, Status);
    return Status;
  }
  for (UINTN Index = 2; Index < Size; ++Index) {
    ResponseData[Index - 2] = Response[Index];
  }
  *ResponseDataSize = (UINT8)(Size - 2);
  Record ("[Kcs] NetFn 0x%02x Cmd 0x%02x, %u data bytes: completion code 0x%02x, %u bytes back\n", NetFunction,
          Command, CommandDataSize, ResponseData[0], (UINT32)(Size - 3));
  return EFI_SUCCESS;
}

constexpr PEI_IPMI_TRANSPORT_PPI kTransport = {1, SendIpmiCommand};

constexpr EFI_PEI_PPI_DESCRIPTOR kDescriptor = {
  EFI_PEI_PPI_DESCRIPTOR_PPI | EFI_PEI_PPI_DESCRIPTOR_TERMINATE_LIST,
  const_cast<EFI_GUID *>(&gEfiPeiIpmiTransportPpiGuid),
  const_cast<PEI_IPMI_TRANSPORT_PPI *>(&kTransport)
};

}  // namespace

extern "C" EFI_STATUS EFIAPI _ModuleEntryPoint (IN EFI_PEI_FILE_HANDLE FileHandle,
                                                IN CONST EFI_PEI_SERVICES **PeiServices)
{
  (VOID)FileHandle;
  // No interface (an absent device reads 0xFF): no transport, as on a board without a BMC.
  if (IoRead8 (kStatusPort) == 0xFF) {
    Record ("[Kcs] no interface: port 0x%x reads 0xff, no IPMI transport installed\n", (UINT32)kStatusPort);
    return EFI_NOT_FOUND;
  }
  return (*PeiServices)->InstallPpi (PeiServices, &kDescriptor);
}

// What answers the board's IPMI transport PPI: the scripted BMC of the board,
// or a BMC outside the process. Each backend records every try it handled.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <Uefi/UefiBaseType.h>

namespace board {

struct IpmiExchange {
  uint8_t netFn = 0;
  uint8_t lun = 0;
  uint8_t command = 0;
  std::vector<uint8_t> request;
  uint8_t responseCapacity = 0;       // the length byte on entry
  EFI_STATUS status = EFI_SUCCESS;
  std::vector<uint8_t> response;      // the bytes written to the response buffer
  std::optional<uint8_t> responseLength;  // the length byte written back, if any
  std::string transportNote;          // why the transport failed, when a real link did
};

struct SelEntry {
  uint16_t recordId = 0;
  std::vector<uint8_t> record;  // 16 bytes, record ID as assigned
};

// The SEL records added during the boot, as the BMC holds them; error says
// why they could not be read back (the records read so far stay).
struct SelReadout {
  std::vector<SelEntry> entries;
  std::string error;
};

class IpmiBackend {
 public:
  virtual ~IpmiBackend() = default;

  // One try of SendIpmiCommand, with the PPI's in/out conventions: response
  // byte 0 is the completion code, *responseLength the buffer size on entry
  // and the bytes written on return.
  virtual EFI_STATUS Handle(uint8_t netFn, uint8_t lun, uint8_t command, const uint8_t* request,
                            uint32_t requestLength, uint8_t* response, uint8_t* responseLength) = 0;

  virtual const std::vector<IpmiExchange>& Exchanges() const = 0;
  virtual SelReadout AddedSel() = 0;
  // Lines that say what the BMC is and how the link fared; none for the
  // board's own scripted BMC.
  virtual std::vector<std::string> Summary() const { return {}; }
};

}  // namespace board

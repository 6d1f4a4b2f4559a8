// A scriptable BMC behind the IPMI transport: per request (NetFn, command) a
// queue of answers; what is left unscripted gets the BMC's own behaviour
// (Add SEL Entry stores the record, anything else is an invalid command).
// Everything received is recorded in order.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <utility>
#include <vector>

#include <Uefi/UefiBaseType.h>

#include "IpmiBackend.h"

namespace board {

namespace ipmi {
constexpr uint8_t kNetFnStorage = 0x0A;
constexpr uint8_t kCmdAddSelEntry = 0x44;
constexpr uint8_t kCcSuccess = 0x00;
constexpr uint8_t kCcOutOfSpace = 0xC4;
constexpr uint8_t kCcInvalidCommand = 0xC1;
constexpr uint8_t kCcRequestDataLengthInvalid = 0xC7;
}  // namespace ipmi

// One answer of the BMC to one try of a request.
struct BmcAnswer {
  EFI_STATUS transportStatus = EFI_SUCCESS;  // an error: nothing is written back
  uint8_t completionCode = ipmi::kCcSuccess;
  std::vector<uint8_t> payload;
  bool writeNothing = false;  // success reported, buffer and length untouched

  static BmcAnswer Complete(uint8_t completionCode, std::vector<uint8_t> payload = {});
  static BmcAnswer TransportError(EFI_STATUS status);
  static BmcAnswer Silent();
};

class Bmc : public IpmiBackend {
 public:
  using Request = std::pair<uint8_t, uint8_t>;  // NetFn, command

  void Queue(uint8_t netFn, uint8_t command, BmcAnswer answer);
  // A BMC that is down: every request times out at the transport.
  void SetDown(bool down) { down_ = down; }
  void SetSelCapacity(size_t records) { selCapacity_ = records; }
  // A scripted answer is waiting for this request (its next try takes it).
  bool HasScripted(uint8_t netFn, uint8_t command) const;

  // Handles one try; fills response (at most capacity bytes) and returns the
  // transport status and the length to write back (none for writeNothing).
  EFI_STATUS Handle(uint8_t netFn, uint8_t lun, uint8_t command, const uint8_t* request, uint32_t requestLength,
                    uint8_t* response, uint8_t* responseLength) override;

  const std::vector<IpmiExchange>& Exchanges() const override { return exchanges_; }
  std::vector<IpmiExchange> ExchangesOf(uint8_t netFn, uint8_t command) const;
  const std::vector<SelEntry>& Sel() const { return sel_; }
  SelReadout AddedSel() override { return {sel_, {}}; }

 private:
  BmcAnswer OwnAnswer(uint8_t netFn, uint8_t command, const std::vector<uint8_t>& request);

  bool down_ = false;
  size_t selCapacity_ = 512;
  std::map<Request, std::deque<BmcAnswer>> script_;
  std::vector<IpmiExchange> exchanges_;
  std::vector<SelEntry> sel_;
};

}  // namespace board

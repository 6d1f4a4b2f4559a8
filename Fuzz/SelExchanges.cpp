#include "SelExchanges.h"

#include "Promise.h"

namespace fuzz {

namespace {
// Record ID 0 (the BMC assigns it), system event record, time stamp 0,
// generator 0x0021, event message revision 4, memory sensor 0xFD,
// sensor-specific assertion; then the three event data bytes.
constexpr uint8_t kFixedFields[13] = {0x00, 0x00, 0x02, 0, 0, 0, 0, 0x21, 0x00, 0x04, 0x0C, 0xFD, 0x6F};

bool Accepted(const board::IpmiExchange& exchange) {
  return !EFI_ERROR(exchange.status) && !exchange.response.empty() && exchange.response[0] == 0x00;
}

// The status the module's try ends with: the transport's error, else what
// the completion code says (none written: not confirmed).
EFI_STATUS Outcome(const board::IpmiExchange& exchange) {
  if (EFI_ERROR(exchange.status)) return exchange.status;
  if (exchange.response.empty()) return EFI_DEVICE_ERROR;
  if (exchange.response[0] == 0x00) return EFI_SUCCESS;
  return exchange.response[0] == 0xC4 ? EFI_VOLUME_FULL : EFI_DEVICE_ERROR;
}
}  // namespace

std::vector<SelDelivery> SplitSelDeliveries(const std::vector<board::IpmiExchange>& exchanges) {
  std::vector<SelDelivery> deliveries;
  bool open = false;
  for (const auto& exchange : exchanges) {
    if (exchange.netFn != kSelNetFn || exchange.command != kSelCommand) continue;
    Require(exchange.lun == 0, "Add SEL Entry goes to LUN 0");
    Require(exchange.request.size() == 16, "an Add SEL Entry request is the 16-byte record");
    Require(std::equal(std::begin(kFixedFields), std::end(kFixedFields), exchange.request.begin()),
            "a SEL record's fixed fields never change");
    Require(exchange.responseCapacity >= 3, "Add SEL Entry offers a response buffer of at least 3 bytes");
    if (open) {
      Require(deliveries.back().request == exchange.request, "a retried record is sent unchanged");
    } else {
      deliveries.push_back({exchange.request, 0, EFI_SUCCESS});
      open = true;
    }
    SelDelivery& delivery = deliveries.back();
    ++delivery.tries;
    delivery.outcome = Outcome(exchange);
    if (Accepted(exchange) || delivery.tries == kSelTries) open = false;
  }
  return deliveries;
}

}  // namespace fuzz

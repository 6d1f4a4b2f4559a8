// DimmSentry's Add SEL Entry requests as the BMC saw them, cut into the
// deliveries of one record each: a delivery ends at the first accepted try
// or after the tenth. Cutting checks every try's bytes on the way.
#pragma once

#include <vector>

#include "Board/Bmc.h"

namespace fuzz {

constexpr uint8_t kSelNetFn = 0x0A;
constexpr uint8_t kSelCommand = 0x44;
constexpr unsigned kSelTries = 10;

struct SelDelivery {
  std::vector<uint8_t> request;  // the 16-byte record as sent
  unsigned tries = 0;
  EFI_STATUS outcome = EFI_SUCCESS;  // what the module must take from the last try
};

// The Add SEL Entry exchanges among exchanges, as deliveries. Breaks a
// promise when a try is not the record the module describes (fixed fields,
// length, LUN, a response buffer of at least 3 bytes) or a delivery changes
// its record between tries.
std::vector<SelDelivery> SplitSelDeliveries(const std::vector<board::IpmiExchange>& exchanges);

}  // namespace fuzz

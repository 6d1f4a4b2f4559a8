// Reading SEL records back from a BMC behind an IpmiSimLink with Get SEL
// Entry: one record, or the whole SEL from the first record, each reply
// naming the next, to the last.
#pragma once

#include <optional>
#include <string>

#include "IpmiBackend.h"
#include "IpmiSimLink.h"

namespace board {

// One Get SEL Entry of a whole record. On success `entry` holds the record
// and `next` the ID the BMC names after it; otherwise `error` says why, with
// the link's failure or the BMC's completion code where there was one.
struct SelEntryRead {
  std::optional<SelEntry> entry;
  uint16_t next = 0;
  std::optional<LinkFailure> failure;
  std::optional<uint8_t> completionCode;
  std::string error;
};
SelEntryRead ReadSelEntry(IpmiSimLink& link, uint16_t id);

// An empty SEL is no error: Get SEL Entry then answers "not present" (0xCB).
// The link should be the only one open to the simulator, which serves one
// serial connection at a time; the first read waits a little for an older
// connection to be seen closed.
SelReadout ReadWholeSel(IpmiSimLink& link);

}  // namespace board

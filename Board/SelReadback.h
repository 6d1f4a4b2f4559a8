// The whole SEL of a BMC behind an IpmiSimLink, read with Get SEL Entry from
// the first record, each reply naming the next, to the last.
#pragma once

#include "IpmiBackend.h"
#include "IpmiSimLink.h"

namespace board {

// An empty SEL is no error: Get SEL Entry then answers "not present" (0xCB).
// The link should be the only one open to the simulator, which serves one
// serial connection at a time; the first read waits a little for an older
// connection to be seen closed.
SelReadout ReadWholeSel(IpmiSimLink& link);

}  // namespace board

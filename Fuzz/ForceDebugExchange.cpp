#include "ForceDebugExchange.h"

#include <algorithm>
#include <array>

#include "Promise.h"

namespace fuzz {

void CheckForceDebugTries(board::Board& board) {
  const auto tries = board.BmcDevice().ExchangesOf(kForceDebugNetFn, kForceDebugCommand);
  Require(!tries.empty() && tries.size() <= kForceDebugTries, "the force-debug request is sent 1 to 10 times");
  for (size_t i = 0; i < tries.size(); ++i) {
    Require(tries[i].request == std::vector<uint8_t>{0x32} && tries[i].lun == 0 && tries[i].responseCapacity == 2,
            "every force-debug try is the one byte 0x32 with a 2-byte response buffer");
    if (i + 1 < tries.size()) Require(EFI_ERROR(tries[i].status), "a force-debug try follows only a transport failure");
  }
  Require(tries.size() == kForceDebugTries || !EFI_ERROR(tries.back().status), "tries stop at the first that gets through");
}

std::optional<uint8_t> BmcForcedLevel(board::Board& board) {
  const auto tries = board.BmcDevice().ExchangesOf(kForceDebugNetFn, kForceDebugCommand);
  std::array<uint8_t, 2> buffer = {0, 0};
  for (const auto& exchange : tries)
    std::copy_n(exchange.response.begin(), std::min<size_t>(exchange.response.size(), buffer.size()), buffer.begin());
  if (tries.empty() || EFI_ERROR(tries.back().status)) return std::nullopt;
  if (buffer[0] != 0 || tries.back().responseLength.value_or(2) < 2) return std::nullopt;
  return LevelOf(buffer[1]);
}

}  // namespace fuzz

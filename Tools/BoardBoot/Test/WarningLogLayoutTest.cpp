// The host structure's bytes a QEMU boot hands the firmware: those the
// simulated board boots with for the same board file, cut after the last
// non-zero byte, never before UsedSize.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "BoardFile.h"
#include "BootRunner.h"
#include "WarningLogLayout.h"

namespace {

using boardboot::HostStructureBytes;

TEST(WarningLogLayout, BytesForQemuAreTheOnesTheSimulatedBoardBootsWith) {
  const auto description = boardboot::DefaultBoard();
  const auto bytes = HostStructureBytes(description.warningLog);
  // The default board ends its log with an entry and marks two slots of socket 0 channel 4 present.
  ASSERT_EQ(bytes.size(), OFFSET_OF(SysHost, Socket[0].Channel[4].Slot[1].DimmPresent) + 1);

  auto board = boardboot::RunBoot(description);
  const auto& region = board->Options().memory.hostStructure;
  const uint8_t* onBoard = board->Memory().At(region.base, sizeof(SysHost));
  EXPECT_EQ(std::memcmp(onBoard, bytes.data(), bytes.size()), 0);
  EXPECT_TRUE(std::all_of(onBoard + bytes.size(), onBoard + sizeof(SysHost), [](uint8_t b) { return b == 0; }));
}

TEST(WarningLogLayout, CutAfterTheLastNonZeroByteButNeverBeforeUsedSize) {
  struct Case {
    const char* log;
    size_t size;
  };
  const Case cases[] = {
      {"{}", OFFSET_OF(SysHost, WarningLog)},
      {"{used-size: 0}", OFFSET_OF(SysHost, WarningLog)},
      // An entry of type 0 and default length: its Length field (0x20) is its last non-zero byte.
      {"{entries: [{type: 0}]}", OFFSET_OF(SysHost, WarningLog) + 5},
      {"{entries: [{type: 1, major: 5, rank: 3}]}", OFFSET_OF(SysHost, WarningLog) + 0x12},
      {"{present: [{socket: 7, channel: 7, slot: 1}]}", OFFSET_OF(SysHost, Socket[7].Channel[7].Slot[1].DimmPresent) + 1},
      {"{gates: [{socket: 2, channel: 1, gate: 1}]}", OFFSET_OF(SysHost, Socket[2].Channel[1].ChannelGate) + 1},
  };
  for (const auto& c : cases) {
    const auto description = boardboot::ParseBoardFile(std::string("warning-log: ") + c.log + "\nboot: []\n", "t.yaml");
    const auto bytes = HostStructureBytes(description.warningLog);
    EXPECT_EQ(bytes.size(), c.size) << c.log;
    if (bytes.size() > OFFSET_OF(SysHost, WarningLog)) EXPECT_NE(bytes.back(), 0) << c.log;
  }
}

}  // namespace

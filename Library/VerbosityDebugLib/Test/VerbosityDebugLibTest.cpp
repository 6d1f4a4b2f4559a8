// The debug output's level mask and its sources (verbosity HOB, scratch
// register and its cache), on the simulated board.
#include <gtest/gtest.h>

#include <Guid/VerbosityHob.h>
#include <Library/DebugLib.h>
#include <Library/DebugPrintErrorLevelLib.h>
#include <Library/HobLib.h>
#include <Library/IoLib.h>
#include <Register/VerbosityScratch.h>

#include "../VerbosityDebugLib.h"
#include "Board/Board.h"

extern UINT8 mScratchLevelCache;
extern UINT8 mScratchLevelCacheValid;

namespace {

using board::Board;
using board::BoardOptions;

class VerbosityDebugLib : public ::testing::Test {
 protected:
  // The library is linked into this test directly: empty its cache as a
  // freshly loaded module has it.
  void SetUp() override { mScratchLevelCache = mScratchLevelCacheValid = 0; }

  static std::unique_ptr<Board> MakeBoard(uint8_t scratch, BoardOptions options = {}) {
    options.scratchRegister = scratch;
    return std::make_unique<Board>(options);
  }
  static void PublishLevel(Board& board, UINT8 level) {
    board.RunAs("TraceGate", [&] { ASSERT_NE(BuildGuidDataHob(&gVerbosityHobGuid, &level, 1), nullptr); });
  }
  static size_t ScratchReads(Board& board) {
    size_t reads = 0;
    for (const auto& access : board.Ports().Log())
      if (!access.write && access.port == VERBOSITY_SCRATCH_PORT) ++reads;
    return reads;
  }
};

TEST_F(VerbosityDebugLib, EachLevelHasItsMaskAndEveryOtherValueNone) {
  const std::pair<UINT8, UINT32> cases[] = {{0, 0},          {1, 0x20000100}, {2, 0x80000146}, {3, 0x9C000146},
                                           {4, 0},          {0x12, 0},       {0xFF, 0}};
  for (auto [level, mask] : cases) EXPECT_EQ(VerbosityLevelToMask(level), mask) << "level " << unsigned{level};
}

TEST_F(VerbosityDebugLib, HobByteIsUsedWholeAndOverridesTheRegister) {
  struct Case {
    uint8_t scratch;
    std::optional<UINT8> hob;
    UINT32 mask;
  };
  const Case cases[] = {
      {0x03, UINT8{2}, 0x80000146},  // the HOB wins over the register
      {0x02, UINT8{0x12}, 0},        // the HOB byte is not reduced to a nibble
      {0x12, std::nullopt, 0x80000146},  // the register's low nibble is
      {0xA3, std::nullopt, 0x9C000146},
  };
  for (const auto& c : cases) {
    SetUp();
    auto board = MakeBoard(c.scratch);
    if (c.hob) PublishLevel(*board, *c.hob);
    UINT32 mask = 0;
    board->RunAs("Module", [&] { mask = GetDebugPrintErrorLevel(); });
    EXPECT_EQ(mask, c.mask) << "scratch " << unsigned{c.scratch};
  }
}

TEST_F(VerbosityDebugLib, RegisterIsReadOnceAndTheCacheNeverRefreshes) {
  auto board = MakeBoard(0x03);
  board->RunAs("Module", [&] {
    DEBUG ((DEBUG_INFO, "first\n"));
    IoWrite8 (VERBOSITY_SCRATCH_PORT, 0x01);  // TraceGate's write, later in the boot
    DEBUG ((DEBUG_INFO, "second\n"));
    EXPECT_EQ(GetDebugPrintErrorLevel(), 0x9C000146u);
  });
  EXPECT_EQ(board->Console().Text(), "first\nsecond\n");
  EXPECT_EQ(ScratchReads(*board), 1u);
}

TEST_F(VerbosityDebugLib, LevelOneDropsInfoAndErrorButKeepsVariableClassAndAssertions) {
  auto board = MakeBoard(0x01);
  board->RunAs("Module", [&] {
    EFI_STATUS Status = EFI_NOT_FOUND;
    DEBUG ((DEBUG_INFO, "info\n"));
    ASSERT_EFI_ERROR (Status);
    DEBUG ((DEBUG_VARIABLE, "variable %d\n", 7));
  });
  EXPECT_EQ(board->Console().Text(), "variable 7\n");
  auto assertions = board->Console().Assertions();
  ASSERT_EQ(assertions.size(), 1u);
  EXPECT_EQ(assertions[0].text, "!EFI_ERROR (Status)");
  EXPECT_NE(assertions[0].file.find("VerbosityDebugLibTest.cpp"), std::string::npos);
}

TEST_F(VerbosityDebugLib, OneCommonBitIsEnough) {
  auto board = MakeBoard(0x02);
  board->RunAs("Module", [&] {
    DEBUG ((DEBUG_INFO | DEBUG_BLKIO, "shared bit\n"));
    DEBUG ((DEBUG_BLKIO, "no shared bit\n"));
  });
  EXPECT_EQ(board->Console().Text(), "shared bit\n");
}

TEST_F(VerbosityDebugLib, StatusAssertionPrintsItsLineThenReachesTheSink) {
  auto board = MakeBoard(0x02);
  board->RunAs("Module", [&] {
    EFI_STATUS Status = EFI_OUT_OF_RESOURCES;
    ASSERT_EFI_ERROR (Status);
    ASSERT_RETURN_ERROR (Status);
  });
  const auto& entries = board->Console().Entries();
  ASSERT_EQ(entries.size(), 4u);
  EXPECT_EQ(entries[0].text, "\nASSERT_EFI_ERROR (Status = Out of Resources)\n");
  EXPECT_EQ(entries[0].level, 0x80000000u);
  EXPECT_EQ(entries[1].text, "!EFI_ERROR (Status)");
  EXPECT_EQ(entries[2].text, "\nASSERT_RETURN_ERROR (Status = Out of Resources)\n");
  EXPECT_EQ(entries[3].text, "!RETURN_ERROR (Status)");
}

TEST_F(VerbosityDebugLib, WithoutTheDebugServiceNothingIsPrintedAndTheRegisterIsNotRead) {
  BoardOptions options;
  options.absent.insert(board::PlatformPpi::DebugService);
  auto board = MakeBoard(0x02, options);
  board->RunAs("Module", [&] {
    DEBUG ((DEBUG_INFO, "lost\n"));
    ASSERT (FALSE);
  });
  EXPECT_TRUE(board->Console().Entries().empty());
  EXPECT_EQ(ScratchReads(*board), 0u);
  EXPECT_EQ(mScratchLevelCacheValid, 0);
}

TEST_F(VerbosityDebugLib, MissingServicesTableEndsQuietlyWithoutRecursion) {
  auto board = MakeBoard(0x02);
  // The PEI core's pointer below the IDT base is gone.
  auto* slot = reinterpret_cast<UINTN*>(board->Memory().At(board->Bsp().idtrBase - sizeof(UINTN), sizeof(UINTN)));
  *slot = 0;
  board->RunAs("Module", [&] {
    DEBUG ((DEBUG_INFO, "lost\n"));
    ASSERT (FALSE);
    EXPECT_EQ(GetDebugServicePpi(), nullptr);
  });
  EXPECT_TRUE(board->Console().Entries().empty());
}

}  // namespace

namespace {

TEST_F(VerbosityDebugLib, DroppedMessagesReachOnlyTheBoardsDropSink) {
  auto board = MakeBoard(0x01);
  board->RunAs("Module", [&] { DEBUG ((DEBUG_INFO, "quiet %d\n", 5)); });
  EXPECT_EQ(board->Console().Text(), "");
  ASSERT_EQ(board->Console().Entries().size(), 1u);
  EXPECT_TRUE(board->Console().Entries()[0].dropped);
  EXPECT_EQ(board->Console().Entries()[0].text, "quiet 5\n");
}

}  // namespace

// BootMarker dispatched as its own image on the simulated board.
#include <gtest/gtest.h>

#include <Guid/BootStateVariable.h>
#include <OemPcdTokens.h>

#include "Board/Board.h"
#include "Board/GuidText.h"

namespace {

using board::Board;
using board::BoardOptions;

const board::ModuleImage& BootMarkerImage() {
  const board::ModuleImage* image = board::FindHostedImage("BootMarker");
  EXPECT_NE(image, nullptr);
  return *image;
}

BoardOptions Verbose(BoardOptions options = {}) {
  options.scratchRegister = 0x02;  // Normal: information messages print
  return options;
}

uint64_t FirstBootToken(Board& board) { return board.Pcd().Find(_PCD_TOKEN_PcdOemIsFirstBoot)->value; }

const std::string kEntering = "Vexa OEM: BootMarker Entering...\n";
const std::string kEnd = "Vexa OEM: BootMarker End...\n";

TEST(BootMarker, FirstBootIsExactlyAnUnreadableVariable) {
  const EFI_GUID otherGuid = {0x12345678, 0x1234, 0x5678, {1, 2, 3, 4, 5, 6, 7, 8}};
  struct Case {
    const char* what;
    std::optional<std::vector<uint8_t>> value;  // under the boot-state GUID
    bool underOtherGuid;
    bool variablePpi;
    bool firstBoot;
  };
  const Case cases[] = {
      {"missing", std::nullopt, false, true, true},
      {"four zero bytes", std::vector<uint8_t>(4, 0), false, true, false},
      {"one byte", std::vector<uint8_t>{0xFF}, false, true, false},
      {"five bytes: too small a buffer", std::vector<uint8_t>(5, 1), false, true, true},
      {"under another vendor GUID", std::nullopt, true, true, true},
      {"no variable service", std::vector<uint8_t>(4, 0), false, false, true},
  };
  for (const auto& c : cases) {
    BoardOptions options = Verbose();
    if (!c.variablePpi) options.absent.insert(board::PlatformPpi::ReadOnlyVariable);
    Board board(options);
    board.Pcd().Define(_PCD_TOKEN_PcdOemIsFirstBoot, board::PcdType::Boolean, c.firstBoot ? 0 : 1);
    if (c.value) board.Variables().Set(OEM_IS_FIRST_BOOT_VARIABLE_NAME, gBootStateVariableGuid, *c.value);
    if (c.underOtherGuid) board.Variables().Set(OEM_IS_FIRST_BOOT_VARIABLE_NAME, otherGuid, {0, 0, 0, 0});

    auto record = board.Dispatch(BootMarkerImage());

    EXPECT_EQ(record.status, EFI_SUCCESS) << c.what;
    EXPECT_EQ(FirstBootToken(board), c.firstBoot ? 1u : 0u) << c.what;
    EXPECT_EQ(board.Console().Text(), kEntering + "OemIsFirstBoot " + (c.firstBoot ? "1" : "0") + "\n" + kEnd)
        << c.what;
  }
}

TEST(BootMarker, ReadsFourBytesAndAsksForNoAttributes) {
  Board board(Verbose());
  board.Dispatch(BootMarkerImage());
  ASSERT_EQ(board.Variables().Reads().size(), 1u);
  const auto& read = board.Variables().Reads()[0];
  EXPECT_EQ(read.key.name, u"OemIsFirstBoot");
  EXPECT_TRUE(board::SameGuid(read.key.guid, gBootStateVariableGuid));
  EXPECT_EQ(read.sizeOffered, 4u);
  EXPECT_EQ(read.status, EFI_NOT_FOUND);
}

TEST(BootMarker, NullServicesPointerReadsNothingAndIsNotAFirstBoot) {
  Board board(Verbose());
  board.Pcd().Define(_PCD_TOKEN_PcdOemIsFirstBoot, board::PcdType::Boolean, 1);
  EFI_STATUS status = EFI_LOAD_ERROR;
  board.RunAs("BootMarker", [&] { status = BootMarkerImage().entry(nullptr, nullptr); });
  EXPECT_EQ(status, EFI_SUCCESS);
  EXPECT_TRUE(board.Variables().Reads().empty());
  EXPECT_EQ(FirstBootToken(board), 0u);
  EXPECT_EQ(board.Console().Text(), kEntering + "OemIsFirstBoot 0\n" + kEnd);
}

TEST(BootMarker, FailedSetIsIgnored) {
  Board board(Verbose());
  board.Faults().Add({board::Service::PcdSet, EFI_DEVICE_ERROR});
  auto record = board.Dispatch(BootMarkerImage());
  EXPECT_EQ(record.status, EFI_SUCCESS);
  EXPECT_EQ(FirstBootToken(board), 0u);
  ASSERT_EQ(board.Pcd().Changes().size(), 1u);
  EXPECT_EQ(board.Pcd().Changes()[0].status, EFI_DEVICE_ERROR);
  EXPECT_EQ(board.Console().Text(), kEntering + "OemIsFirstBoot 1\n" + kEnd);
}

TEST(BootMarker, MissingPcdServiceIsAnAssertionNotACrash) {
  BoardOptions options = Verbose();
  options.absent.insert(board::PlatformPpi::Pcd);
  Board board(options);
  auto record = board.Dispatch(BootMarkerImage());
  EXPECT_EQ(record.status, EFI_SUCCESS);
  auto assertions = board.Console().Assertions();
  ASSERT_EQ(assertions.size(), 1u);
  EXPECT_EQ(assertions[0].text, "!EFI_ERROR (Status)");
  EXPECT_NE(board.Console().Text().find("\nASSERT_EFI_ERROR (Status = Not Found)\n"), std::string::npos);
}

TEST(BootMarker, MessagesFollowTheLevelTheRegisterHolds) {
  BoardOptions options;
  options.scratchRegister = 0x01;  // Minimum: information messages are dropped
  Board board(options);
  board.Dispatch(BootMarkerImage());
  EXPECT_EQ(board.Console().Text(), "");
  EXPECT_EQ(FirstBootToken(board), 1u);
}

}  // namespace

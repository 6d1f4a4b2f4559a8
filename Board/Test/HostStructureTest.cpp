// The host-structure builder writes the bytes where the memory reference
// code keeps them, and a platform PPI can be reinstalled so its
// notifications run again.
#include <gtest/gtest.h>

#include "Board/Board.h"
#include "Board/BoardError.h"
#include "Board/GuidText.h"
#include "Board/HostStructure.h"

namespace {

using board::Board;
using board::HostStructure;
using board::WarningEntry;

uint8_t ByteAt(Board& board, uint32_t address) { return *board.Memory().At(address); }

TEST(HostStructure, EntriesFollowOneAnotherAtTheirLengthAndCountIntoUsedSize) {
  Board board;
  HostStructure host(board.Memory(), board.Options().memory.hostStructure);
  ASSERT_EQ(host.Address(), board.Options().memory.hostStructure.base);
  EXPECT_EQ(board.Pcd().Find(17)->value, host.Address());

  EXPECT_EQ(host.AddWarning({.type = -2, .length = 0x1C, .majorCode = 0x05, .minorCode = 0x02, .socket = 1,
                             .channel = 3, .dimm = 0xFF, .rank = 2}),
            0u);
  EXPECT_EQ(host.AddWarning({.type = 11, .length = 0x13, .majorCode = 0xAB}), 0x1Cu);
  EXPECT_EQ(host.UsedSize(), 0x2Fu);

  const uint32_t log = host.AddressOf(0x1F14C);
  const uint8_t first[] = {0xFE, 0xFF, 0xFF, 0xFF, 0x1C, 0x00, 0, 0, 0, 0, 0, 0, 0x05, 0x02, 1, 3, 0xFF, 2};
  for (size_t i = 0; i < sizeof first; ++i) EXPECT_EQ(ByteAt(board, log + i), first[i]) << "byte " << i;
  EXPECT_EQ(ByteAt(board, log + 0x1C), 11);
  EXPECT_EQ(ByteAt(board, log + 0x1C + 4), 0x13);
  EXPECT_EQ(ByteAt(board, log + 0x1C + 0x0C), 0xAB);
  const uint8_t usedSize[] = {0x2F, 0, 0, 0};
  for (size_t i = 0; i < 4; ++i) EXPECT_EQ(ByteAt(board, host.AddressOf(0x1F140) + i), usedSize[i]);
}

TEST(HostStructure, AShortEntryHasOnlyItsLengthOfFieldsAndNothingLeavesTheLog) {
  Board board;
  HostStructure host(board.Memory(), board.Options().memory.hostStructure);
  const uint32_t log = host.AddressOf(0x1F14C);

  host.AddWarning({.type = 1, .length = 0x0E, .majorCode = 0x11, .minorCode = 0x22, .socket = 3, .channel = 4});
  EXPECT_EQ(ByteAt(board, log + 0x0D), 0x22);
  EXPECT_EQ(ByteAt(board, log + 0x0E), 0);  // the socket lies past the entry's 14 bytes
  EXPECT_EQ(ByteAt(board, log + 0x0F), 0);

  host.AddWarning({.type = 1, .length = 0, .majorCode = 0x33});
  EXPECT_EQ(host.UsedSize(), 0x0Eu);
  EXPECT_EQ(ByteAt(board, log + 0x0E), 1);  // type and length are always written
  EXPECT_EQ(ByteAt(board, log + 0x0E + 0x0C), 0);

  // An entry may claim to reach past the log; its fields may not lie there.
  host.SetUsedSize(SYS_HOST_WARNING_LOG_SIZE - 0x12);
  host.AddWarning({.type = 2, .length = 0xFFFF, .majorCode = 0x44});
  EXPECT_EQ(host.UsedSize(), SYS_HOST_WARNING_LOG_SIZE - 0x12 + 0xFFFF);
  host.SetUsedSize(SYS_HOST_WARNING_LOG_SIZE - 0x11);
  EXPECT_THROW(host.AddWarning({}), board::BoardError);
  EXPECT_EQ(ByteAt(board, host.AddressOf(0x207F2)), 0);  // socket 0's data stays untouched
}

TEST(HostStructure, PresenceAndGateBytesSitAtTheirSocketChannelAndSlot) {
  Board board;
  HostStructure host(board.Memory(), board.Options().memory.hostStructure);
  host.SetDimmPresent(1, 3, 1);
  host.SetChannelGate(1, 3, 0x5A);
  host.SetDimmPresent(7, 7, 0);
  EXPECT_EQ(ByteAt(board, host.AddressOf(0x20830 + 0x16B0A + 3 * 0x2D40 + 0x6A1)), 1);
  EXPECT_EQ(ByteAt(board, host.AddressOf(0x20830 + 0x16B0A + 3 * 0x2D40)), 0);
  EXPECT_EQ(ByteAt(board, host.AddressOf(0x207F2 + 0x16B0A + 3 * 0x2D40)), 0x5A);
  EXPECT_EQ(ByteAt(board, host.AddressOf(0x20830 + 7 * 0x16B0A + 7 * 0x2D40)), 1);
  host.SetDimmPresent(1, 3, 1, false);
  EXPECT_EQ(ByteAt(board, host.AddressOf(0x20830 + 0x16B0A + 3 * 0x2D40 + 0x6A1)), 0);

  EXPECT_THROW(host.SetDimmPresent(SYS_HOST_MAX_SOCKETS, 0, 0), board::BoardError);
  EXPECT_THROW(host.SetDimmPresent(0, SYS_HOST_MAX_CHANNELS, 0), board::BoardError);
  EXPECT_THROW(host.SetDimmPresent(0, 0, SYS_HOST_MAX_DIMM_SLOTS), board::BoardError);
  EXPECT_THROW(host.SetChannelGate(0, SYS_HOST_MAX_CHANNELS, 1), board::BoardError);
}

TEST(HostStructure, MustLieWhollyInMappedMemory) {
  Board board;
  const auto& region = board.Options().memory.hostStructure;
  EXPECT_NO_THROW(HostStructure(board.Memory(), static_cast<uint32_t>(region.End() - sizeof(SysHost))));
  EXPECT_THROW(HostStructure(board.Memory(), static_cast<uint32_t>(region.End() - sizeof(SysHost) + 1)),
               board::BoardError);
}

constexpr EFI_GUID kTriggerGuid = {0x0BADF00D, 0x1234, 0x5678, {8, 7, 6, 5, 4, 3, 2, 1}};
int gTriggerCalls = 0;

EFI_STATUS EFIAPI CountTrigger(EFI_PEI_SERVICES**, EFI_PEI_NOTIFY_DESCRIPTOR*, void*) {
  ++gTriggerCalls;
  return EFI_SUCCESS;
}

TEST(PlatformPpi, ReinstallingRunsTheNotificationsAgainOnTheSameDescriptor) {
  Board board;
  gTriggerCalls = 0;
  const EFI_PEI_NOTIFY_DESCRIPTOR notify = {EFI_PEI_PPI_DESCRIPTOR_NOTIFY_CALLBACK | EFI_PEI_PPI_DESCRIPTOR_TERMINATE_LIST,
                                            const_cast<EFI_GUID*>(&kTriggerGuid), CountTrigger};
  ASSERT_EQ(board.Ppis().Notify(&notify, "Test"), EFI_SUCCESS);
  EXPECT_THROW(board.ReinstallPlatformPpi(kTriggerGuid), board::BoardError);

  board.InstallPlatformPpi(kTriggerGuid);
  EXPECT_EQ(gTriggerCalls, 1);
  EFI_PEI_PPI_DESCRIPTOR* installed = nullptr;
  void* ppi = nullptr;
  ASSERT_EQ(board.Ppis().Locate(&kTriggerGuid, 0, &installed, &ppi), EFI_SUCCESS);

  board.ReinstallPlatformPpi(kTriggerGuid);
  board.ReinstallPlatformPpi(kTriggerGuid);
  EXPECT_EQ(gTriggerCalls, 3);
  EFI_PEI_PPI_DESCRIPTOR* after = nullptr;
  ASSERT_EQ(board.Ppis().Locate(&kTriggerGuid, 0, &after, &ppi), EFI_SUCCESS);
  EXPECT_EQ(after, installed);
  EXPECT_EQ(board.Ppis().Locate(&kTriggerGuid, 1, nullptr, &ppi), EFI_NOT_FOUND);
  ASSERT_EQ(board.NotificationRuns().size(), 3u);
  for (const auto& run : board.NotificationRuns()) {
    EXPECT_EQ(run.module, "Test");
    EXPECT_TRUE(board::SameGuid(run.ppi, kTriggerGuid));
    EXPECT_EQ(run.status, EFI_SUCCESS);
  }
}

}  // namespace

// The link and the transport PPI against OpenIPMI's simulator itself: every
// test starts its own on free ports and stops it by its process id.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/socket.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <memory>

#include "Board/Bmc.h"
#include "Board/IpmiSimBackend.h"
#include "Board/SelReadback.h"
#include "Board/IpmiSimLink.h"
#include "Board/IpmiSimProcess.h"

namespace {

using namespace std::chrono_literals;
using board::IpmiSimBackend;
using board::IpmiSimLink;
using board::IpmiSimProcess;
using Bytes = std::vector<uint8_t>;

constexpr uint8_t kNetFnApp = 0x06;
constexpr uint8_t kCmdGetDeviceId = 0x01;

bool ProcessExists(pid_t pid) { return ::kill(pid, 0) == 0 || errno != ESRCH; }

// A memory SEL record as DimmSentry builds it, with the given event data.
Bytes SelRecord(uint8_t data1, uint8_t data2, uint8_t data3) {
  return {0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x00, 0x21, 0x00, 0x04, 0x0C, 0xFD, 0x6F, data1, data2, data3};
}

TEST(IpmiSim, StartsOnFreePortsAndStopsLeavingNothingBehind) {
  auto first = IpmiSimProcess::Start();
  auto second = IpmiSimProcess::Start();
  EXPECT_NE(first->Serial().port, second->Serial().port);
  EXPECT_NE(first->Lan().port, second->Lan().port);
  EXPECT_TRUE(std::filesystem::exists(first->Folder() / "lan.conf"));
  EXPECT_TRUE(std::filesystem::exists(first->Folder() / "bmc.emu"));

  pid_t pid = first->Pid();
  std::filesystem::path folder = first->Folder();
  ASSERT_TRUE(ProcessExists(pid));
  first.reset();
  EXPECT_FALSE(ProcessExists(pid));
  EXPECT_FALSE(std::filesystem::exists(folder));
  EXPECT_TRUE(second->Running());
}

TEST(IpmiSim, SequenceNumbersAndChecksumsThatNeedEscapingGetAnswers) {
  auto simulator = IpmiSimProcess::Start();
  IpmiSimLink link(simulator->Serial(), 2000ms);
  // Get Device ID's checksum is -(sequence + 0x19): 0x47, 0x46 and 0x3D make it 0xA0, 0xA1 and 0xAA.
  const uint8_t sequences[] = {0xA0, 0xA1, 0xAA, 0x47, 0x46, 0x3D, 0x00, 0xFF};
  for (uint8_t sequence : sequences) {
    link.SetNextSequence(sequence);
    auto result = link.Exchange(kNetFnApp, 0, kCmdGetDeviceId, {});
    ASSERT_TRUE(result.reply) << int(sequence) << ": " << result.detail;
    EXPECT_EQ(result.reply->completionCode, 0x00);
    EXPECT_EQ(result.reply->data.size(), 15u);
  }
  EXPECT_TRUE(link.Discarded().empty());
  EXPECT_EQ(link.Version(), 1);
}

TEST(IpmiSim, SelRecordsComeBackAsSentWithTheBmcsIdAndTime) {
  auto simulator = IpmiSimProcess::Start();
  IpmiSimBackend backend(std::make_unique<IpmiSimLink>(simulator->Serial(), 2000ms), "test");
  const Bytes records[] = {SelRecord(0x2B, 0x05, 0x02), SelRecord(0xA0, 0xAA, 0xA1)};
  for (const auto& record : records) {
    uint8_t response[3] = {};
    uint8_t length = sizeof response;
    ASSERT_EQ(backend.Handle(board::ipmi::kNetFnStorage, 0, board::ipmi::kCmdAddSelEntry, record.data(), 16, response,
                             &length),
              EFI_SUCCESS);
    EXPECT_EQ(response[0], 0x00);
  }
  auto sel = backend.AddedSel();
  EXPECT_EQ(sel.error, "");
  ASSERT_EQ(sel.entries.size(), 2u);
  for (size_t i = 0; i < 2; ++i) {
    const auto& stored = sel.entries[i].record;
    ASSERT_EQ(stored.size(), 16u);
    EXPECT_EQ(stored[0] | (stored[1] << 8), sel.entries[i].recordId);
    // The BMC stamps its own time into bytes 3-6; the rest is what was sent.
    EXPECT_EQ(Bytes(stored.begin() + 7, stored.end()), Bytes(records[i].begin() + 7, records[i].end()));
  }
  // The whole SEL, walked from its first record on a connection of its own
  // (the simulator serves one at a time: the backend's goes first), is the same.
  backend.Link() = IpmiSimLink(simulator->Serial(), 2000ms);
  IpmiSimLink reader(simulator->Serial(), 2000ms);
  auto whole = board::ReadWholeSel(reader);
  EXPECT_EQ(whole.error, "");
  ASSERT_EQ(whole.entries.size(), 2u);
  for (size_t i = 0; i < 2; ++i) {
    EXPECT_EQ(whole.entries[i].recordId, sel.entries[i].recordId);
    EXPECT_EQ(whole.entries[i].record, sel.entries[i].record);
  }
}

TEST(IpmiSim, AnEmptySelReadsAsNoRecords) {
  auto simulator = IpmiSimProcess::Start();
  IpmiSimLink link(simulator->Serial(), 2000ms);
  auto sel = board::ReadWholeSel(link);
  EXPECT_EQ(sel.error, "");
  EXPECT_TRUE(sel.entries.empty());
}

TEST(IpmiSim, FullSelAnswersOutOfSpace) {
  board::IpmiSimConfig config;
  config.selCapacity = 2;
  auto simulator = IpmiSimProcess::Start(config);
  IpmiSimLink link(simulator->Serial(), 2000ms);
  Bytes record = SelRecord(0x00, 0x01, 0x02);
  std::vector<uint8_t> codes;
  for (int i = 0; i < 3; ++i) {
    auto result = link.Exchange(board::ipmi::kNetFnStorage, 0, board::ipmi::kCmdAddSelEntry, record);
    ASSERT_TRUE(result.reply) << result.detail;
    codes.push_back(result.reply->completionCode);
  }
  EXPECT_EQ(codes, (Bytes{0x00, 0x00, board::ipmi::kCcOutOfSpace}));
}

TEST(IpmiSim, StoppedSimulatorGivesErrorStatusesUntilOneListensAgain) {
  auto simulator = IpmiSimProcess::Start();
  IpmiSimBackend backend(std::make_unique<IpmiSimLink>(simulator->Serial(), 2000ms), "test");
  uint8_t response[16] = {};
  uint8_t length = sizeof response;
  ASSERT_EQ(backend.Handle(kNetFnApp, 0, kCmdGetDeviceId, nullptr, 0, response, &length), EFI_SUCCESS);

  simulator->Stop();
  length = sizeof response;
  EXPECT_EQ(backend.Handle(kNetFnApp, 0, kCmdGetDeviceId, nullptr, 0, response, &length), EFI_DEVICE_ERROR);
  EXPECT_EQ(backend.Handle(kNetFnApp, 0, kCmdGetDeviceId, nullptr, 0, response, &length), EFI_NO_RESPONSE);
  auto summary = backend.Summary();
  ASSERT_GE(summary.size(), 3u);
  EXPECT_NE(summary[2].find("1 connection lost"), std::string::npos) << summary[2];
  EXPECT_NE(summary[2].find("1 not reachable"), std::string::npos) << summary[2];
}

}  // namespace

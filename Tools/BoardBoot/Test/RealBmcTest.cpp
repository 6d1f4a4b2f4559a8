// The modules against OpenIPMI's simulator through the board tool's pieces:
// a boot whose BMC is not running, and one whose connection drops. Each test
// starts what it needs on free ports and stops it by its process id.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "Board/IpmiSimBackend.h"
#include "Board/IpmiSimProcess.h"
#include "Board/Test/FakeVmServer.h"
#include "BoardFile.h"
#include "BootReport.h"
#include "BootRunner.h"
#include "RealBmc.h"

namespace {

using boardtest::FakeVmServer;
using boardtest::VmPeer;
using Bytes = std::vector<uint8_t>;

constexpr uint8_t kNetFnStorage = 0x0A;
constexpr uint8_t kCmdAddSelEntry = 0x44;

// A board with one warning, "Setup" at Normal, whose BMC is an ipmi_sim at port.
std::string BoardText(uint16_t port, const std::string& boot) {
  return "scratch-register: 0x02\n"
         "variables:\n"
         "  Setup: {fields: {DebugLevel: 2}}\n"
         "bmc:\n"
         "  ipmi-sim: {port: " + std::to_string(port) + ", reply-timeout-ms: 2000}\n"
         "warning-log:\n"
         "  entries:\n"
         "    - {type: 1, major: 0x05, minor: 0x02, socket: 1, channel: 3, dimm: 1}\n"
         "boot: " + boot + "\n";
}

std::vector<board::IpmiExchange> ExchangesOf(board::Board& board, uint8_t netFn, uint8_t command) {
  std::vector<board::IpmiExchange> matching;
  for (const auto& exchange : board.Ipmi().Exchanges())
    if (exchange.netFn == netFn && exchange.command == command) matching.push_back(exchange);
  return matching;
}

size_t Count(const std::string& text, const std::string& what) {
  size_t count = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++count;
  return count;
}

std::string Console(const board::Board& board) {
  std::string text;
  for (const auto& entry : board.Console().Entries())
    if (!entry.dropped) text += entry.text;
  return text;
}

TEST(RealBmc, SimulatorNotRunningFailsEveryTryAndEachModuleRetriesAsItShould) {
  boardtest::RefusingPort refusing;
  uint16_t nobody = refusing.Port();
  auto description = boardboot::ParseBoardFile(
      BoardText(nobody, "[TraceGate, BmcHerald, DimmSentry, scan-trigger]"), "not-running.yaml");
  auto bmc = boardboot::RealBmc::Open(*description.ipmiSim, std::nullopt);
  auto board = boardboot::RunBoot(description, bmc->TakeBackend());

  struct Expected {
    uint8_t netFn, command;
    size_t tries;
  };
  const Expected expected[] = {{0x3C, 0x05, 10}, {0x32, 0xAA, 5}, {0x3C, 0x01, 5}, {kNetFnStorage, kCmdAddSelEntry, 10}};
  for (const auto& e : expected) {
    auto tries = ExchangesOf(*board, e.netFn, e.command);
    EXPECT_EQ(tries.size(), e.tries) << int(e.netFn) << "/" << int(e.command);
    for (const auto& attempt : tries) {
      EXPECT_EQ(attempt.status, EFI_NO_RESPONSE);
      EXPECT_NE(attempt.transportNote.find("127.0.0.1:" + std::to_string(nobody)), std::string::npos)
          << attempt.transportNote;
    }
  }
  std::string console = Console(*board);
  EXPECT_EQ(Count(console, "IPMI Force debug IpmiStatus =No Response"), 10u);
  EXPECT_NE(console.find("Set debug level as Normal."), std::string::npos);  // "Setup" decided
  EXPECT_EQ(Count(console, "OemMemErrorLogToBmc SendIpmiCommand Status: No Response"), 10u);

  auto report = boardboot::BuildReport(*board, description.source);
  EXPECT_TRUE(report["sel"].empty());
  ASSERT_TRUE(report.contains("bmc"));
  EXPECT_NE(report["bmc"][2].get<std::string>().find("30 not reachable"), std::string::npos) << report["bmc"];
  EXPECT_NE(report["ipmi"][0]["note"].get<std::string>().find("Connection refused"), std::string::npos);
}

TEST(RealBmc, DroppedConnectionIsAnErrorForThatTryAndTheRetryGetsThrough) {
  auto simulator = board::IpmiSimProcess::Start();
  // Between the board and the simulator: drops the connection at the first
  // request, and again at the first Add SEL Entry, without passing either on.
  auto relay = [&](bool dropAtAddSel) {
    return [&simulator, dropAtAddSel](VmPeer& peer) {
      board::IpmiSimLink link(simulator->Serial(), std::chrono::milliseconds(2000));
      for (bool first = true; auto request = peer.Receive(); first = false) {
        if (dropAtAddSel && request->netFn == kNetFnStorage && request->command == kCmdAddSelEntry) return;
        // The simulator may not have seen the previous relay's link close yet.
        auto result = first ? board::FirstExchange(link, request->netFn, request->lun, request->command, request->data)
                            : link.Exchange(request->netFn, request->lun, request->command, request->data);
        ASSERT_TRUE(result.reply) << result.detail;
        Bytes data{result.reply->completionCode};
        data.insert(data.end(), result.reply->data.begin(), result.reply->data.end());
        peer.Reply(*request, data);
      }
    };
  };
  FakeVmServer server({[](VmPeer& peer) { peer.Receive(); }, relay(true), relay(false)});

  auto description = boardboot::ParseBoardFile(
      BoardText(server.Where().port, "[TraceGate, DimmSentry, scan-trigger]"), "dropped.yaml");
  auto bmc = boardboot::RealBmc::Open(*description.ipmiSim, std::nullopt);
  auto board = boardboot::RunBoot(description, bmc->TakeBackend());

  // TraceGate: the dropped try, then the simulator's refusal; "Setup" decides.
  auto forceDebug = ExchangesOf(*board, 0x3C, 0x05);
  ASSERT_EQ(forceDebug.size(), 2u);
  EXPECT_EQ(forceDebug[0].status, EFI_DEVICE_ERROR);
  EXPECT_NE(forceDebug[0].transportNote.find("connection lost"), std::string::npos) << forceDebug[0].transportNote;
  EXPECT_EQ(forceDebug[1].status, EFI_SUCCESS);
  EXPECT_EQ(forceDebug[1].response, Bytes{0xC1});
  std::string console = Console(*board);
  EXPECT_NE(console.find("Set debug level as Normal."), std::string::npos);

  // DimmSentry: the record's first try is lost with the connection, the second is stored once.
  auto added = ExchangesOf(*board, kNetFnStorage, kCmdAddSelEntry);
  ASSERT_EQ(added.size(), 2u);
  EXPECT_EQ(added[0].status, EFI_DEVICE_ERROR);
  EXPECT_EQ(added[1].status, EFI_SUCCESS);
  EXPECT_NE(console.find("SendIpmiCommand Status: Device Error, Index:0"), std::string::npos);
  EXPECT_NE(console.find("SendIpmiCommand Status: Success, Index:1"), std::string::npos);

  auto sel = board->Ipmi().AddedSel();
  EXPECT_EQ(sel.error, "");
  ASSERT_EQ(sel.entries.size(), 1u);
  EXPECT_EQ(Bytes(sel.entries[0].record.begin() + 10, sel.entries[0].record.end()),
            (Bytes{0x0C, 0xFD, 0x6F, 0x2B, 0x05, 0x02}));
  board.reset();  // the link lets go of the relay before the relay's sessions end
}

TEST(RealBmc, ScriptedAnswersStandInFrontOfTheSimulator) {
  // The BMC forces Minimum on the first try and refuses the second request
  // (scripted); the rest, and the SEL, is the simulator's.
  auto description = boardboot::ParseBoardFile(
      "scratch-register: 0x02\n"
      "variables:\n"
      "  Setup: {fields: {DebugLevel: 3}}\n"
      "bmc:\n"
      "  ipmi-sim: {}\n"
      "  requests:\n"
      "    - {netfn: 0x3C, command: 0x05, answers: [{completion-code: 0, data: [1]}]}\n"
      "    - {netfn: 0x32, command: 0xAA, answers: [{completion-code: 0xD5}]}\n"
      "warning-log:\n"
      "  entries:\n"
      "    - {type: 1, major: 0x05, minor: 0x02, socket: 1, channel: 3, dimm: 1}\n"
      "boot: [TraceGate, BmcHerald, DimmSentry, scan-trigger]\n",
      "fronted.yaml");
  auto bmc = boardboot::RealBmc::Open(*description.ipmiSim, std::nullopt, description.bmc);
  auto board = boardboot::RunBoot(description, bmc->TakeBackend());

  auto forceDebug = ExchangesOf(*board, 0x3C, 0x05);
  ASSERT_EQ(forceDebug.size(), 1u);
  EXPECT_EQ(forceDebug[0].response, (Bytes{0x00, 0x01}));
  EXPECT_NE(Console(*board).find("Set debug level as Minimum."), std::string::npos) << Console(*board);

  // The connect request: the scripted refusal, then four of the simulator's.
  auto connect = ExchangesOf(*board, 0x32, 0xAA);
  ASSERT_EQ(connect.size(), 5u);
  EXPECT_EQ(connect[0].response, Bytes{0xD5});
  for (size_t i = 1; i < connect.size(); ++i) EXPECT_EQ(connect[i].response, Bytes{0xC1}) << i;

  auto sel = board->Ipmi().AddedSel();
  EXPECT_EQ(sel.error, "");
  ASSERT_EQ(sel.entries.size(), 1u);
  EXPECT_EQ(sel.entries[0].record[13], 0x2B);
  auto summary = board->Ipmi().Summary();
  ASSERT_FALSE(summary.empty());
  EXPECT_EQ(summary.back(), "scripted answers in front of it: 2 of 12 tries answered by the board file's script");
}

}  // namespace

// Reading the facts of an OVMF boot from its debug console: consoles captured
// from real boots under QEMU (the BMC forcing the level, "Setup" deciding, no
// BMC at all), and small hand-made ones for what those boots did not show
// (a transport that failed, an AP whose MM7 differs). Then the report built
// from them.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "OvmfConsole.h"
#include "QemuReport.h"

namespace {

using boardboot::OvmfConsoleFacts;
using boardboot::ParseOvmfConsole;

std::string Captured(const std::string& name) {
  std::ifstream in(std::string(OVMF_CONSOLES) + "/" + name);
  std::stringstream text;
  text << in.rdbuf();
  if (text.str().empty()) ADD_FAILURE() << "no captured console " << name;
  return text.str();
}

struct CapturedBoot {
  const char* file;
  const char* level;
  const char* source;
  bool firstBoot;
  unsigned rasLogLevel;
  std::vector<std::tuple<unsigned, uint64_t, uint64_t>> tokens;
  size_t kcsExchanges;
  uint8_t forceDebugCompletion;  // of the first force-debug exchange; 0xFF: none
};

TEST(OvmfConsole, CapturedBootsReadAsTheyRan) {
  const CapturedBoot boots[] = {
      {"bmc-forces-normal.txt", "Normal", "BMC", true, 0, {{34, 0, 1}, {35, 0, 2}, {17, 0, 0xee48000}}, 15, 0x00},
      {"setup-decides.txt", "Maximum", "Setup", false, 5, {{35, 0, 0x53}, {17, 0, 0xee48000}}, 15, 0xC1},
      {"no-bmc.txt", "Maximum", "Setup (no IPMI transport)", false, 5, {{35, 0, 0x53}, {17, 0, 0xee48000}}, 0, 0xFF},
  };
  for (const auto& boot : boots) {
    SCOPED_TRACE(boot.file);
    const OvmfConsoleFacts facts = ParseOvmfConsole(Captured(boot.file));
    EXPECT_EQ(facts.level, boot.level);
    EXPECT_EQ(facts.levelSource, boot.source);
    EXPECT_EQ(facts.bootMarkerFirstBoot, boot.firstBoot);
    EXPECT_EQ(facts.traceGateFirstBoot, boot.firstBoot);
    EXPECT_EQ(facts.rasLogLevel, boot.rasLogLevel);
    std::vector<std::tuple<unsigned, uint64_t, uint64_t>> tokens;
    for (const auto& t : facts.tokens) tokens.emplace_back(t.token, t.oldValue, t.newValue);
    EXPECT_EQ(tokens, boot.tokens);
    EXPECT_EQ(facts.pcdGivenBack, "Success");
    ASSERT_EQ(facts.kcs.size(), boot.kcsExchanges);
    EXPECT_EQ(facts.noKcsInterface, boot.kcsExchanges == 0);
    if (boot.kcsExchanges > 0) {
      EXPECT_EQ(facts.kcs[0].netFn, 0x3C);
      EXPECT_EQ(facts.kcs[0].command, 0x05);
      EXPECT_EQ(facts.kcs[0].completionCode, boot.forceDebugCompletion);
      // BmcHerald's OEM block (44 bytes) refused five times by the simulator,
      // then DimmSentry's four SEL records (16 bytes) stored, a record ID back.
      ASSERT_EQ(facts.kcs.size(), 15u);
      for (size_t i = 6; i < 11; ++i) {
        EXPECT_EQ(facts.kcs[i].dataBytes, 44u);
        EXPECT_EQ(facts.kcs[i].completionCode, 0xC1);
      }
      for (size_t i = 11; i < 15; ++i) {
        EXPECT_EQ(facts.kcs[i].netFn, 0x0A);
        EXPECT_EQ(facts.kcs[i].command, 0x44);
        EXPECT_EQ(facts.kcs[i].dataBytes, 16u);
        EXPECT_EQ(facts.kcs[i].completionCode, 0x00);
        EXPECT_EQ(facts.kcs[i].bytesBack, 2u);
      }
    }
    // Dispatched every time, with or without the transport it depends on.
    EXPECT_TRUE(facts.bmcHeraldRan);
    // MM7 moved out of OVMF's temporary RAM; three processors, all equal.
    EXPECT_EQ(facts.mm7Reload, "810d88 => af88d88");
    EXPECT_EQ(facts.mm7Sync, "af88d88");
    ASSERT_EQ(facts.mm7.size(), 3u);
    EXPECT_TRUE(facts.mm7[0].bsp);
    for (const auto& r : facts.mm7) EXPECT_EQ(r.value, 0xaf88d88u) << "CPU " << r.processor;
    EXPECT_EQ(facts.mm7AllEqual, true);
  }
}

constexpr const char* kTroubledBoot =
    "[OemLogLevel] LocatePpi IpmiTransportPpi IpmiStatus: Success \n"
    "[Kcs] NetFn 0x3c Cmd 0x05, 1 data bytes: Time out\n"
    "[OemLogLevel] IPMI Force debug IpmiStatus =Time out \n"
    "[Kcs] NetFn 0x3c Cmd 0x05, 1 data bytes: completion code 0x00, 0 bytes back\n"
    "[OemLogLevel] Set debug level as Normal.\n"
    "[Mm7Check] 3 processors, APs started: Success\n"
    "[Mm7Check] CPU 0: 0x0000000000001000\n"
    "[Mm7Check] CPU 1 (BSP): 0x000000000af88d88\n"
    "[Mm7Check] CPU 2: not read\n"
    "[Mm7Check] every AP's MM7 equals the BSP's: no\n";

TEST(OvmfConsole, FailuresAndDisagreementsAreKept) {
  const OvmfConsoleFacts facts = ParseOvmfConsole(kTroubledBoot);
  ASSERT_EQ(facts.kcs.size(), 2u);
  EXPECT_FALSE(facts.kcs[0].completionCode);
  EXPECT_EQ(facts.kcs[0].status, "Time out");
  // Completion code 0 without the level byte is no forced level.
  EXPECT_EQ(facts.levelSource, "Setup");
  ASSERT_EQ(facts.mm7.size(), 3u);
  EXPECT_FALSE(facts.mm7[0].bsp);
  EXPECT_TRUE(facts.mm7[1].bsp);
  EXPECT_FALSE(facts.mm7[2].value);
  EXPECT_EQ(facts.mm7AllEqual, false);
  EXPECT_FALSE(facts.traceGateFirstBoot);
  EXPECT_FALSE(facts.bmcHeraldRan);
}

TEST(OvmfConsole, ReportJudgesMm7ItselfAndDecodesTheSel) {
  boardboot::QemuOptions options;
  options.codeImage = "OVMF.fd";
  options.processors = 3;
  boardboot::QemuRun run;
  run.debugConsole = kTroubledBoot;
  run.reachedShell = true;
  run.qemuPid = 42;

  boardboot::QemuBmcSide bmc;
  bmc.description = "test";
  bmc.relayed = true;
  board::RelayedRequest added;
  added.request = {7, 0x0A, 0, 0x44, std::vector<uint8_t>(16, 0)};
  added.answeredBy = board::RelayAnswerer::Simulator;
  added.reply = board::vm::Message{7, 0x0B, 0, 0x44, {0x00, 0x01, 0x00}};
  bmc.requests.push_back(added);
  std::vector<uint8_t> record = {0x01, 0x00, 0x02, 0, 0, 0, 0, 0x21, 0x00, 0x04, 0x0C, 0xFD, 0x6F, 0x2B, 0x05, 0x02};
  bmc.sel = board::SelReadout{{{1, record}}, ""};

  const auto report = boardboot::BuildQemuReport(options, run, bmc);
  EXPECT_EQ(report["mm7"]["all_equal_to_bsp"], false);
  EXPECT_EQ(report["mm7"]["processors"][2]["value"], nullptr);
  EXPECT_EQ(report["bmc"]["requests"][0]["answered_by"], "ipmi_sim");
  EXPECT_EQ(report["bmc"]["requests"][0]["completion_code"], "0x00");
  EXPECT_EQ(report["bmc"]["requests"][0]["reply_data"], "01 00");
  ASSERT_EQ(report["sel"].size(), 1u);
  EXPECT_EQ(report["sel"][0]["location"]["socket"], 1);
  EXPECT_EQ(report["qemu"]["end"], "the UEFI shell was reached");
  EXPECT_EQ(report["console"].size(), 10u);

  // Every AP equal to a BSP that is not CPU 0.
  run.debugConsole = "[Mm7Check] CPU 0: 0x5\n[Mm7Check] CPU 1 (BSP): 0x5\n";
  EXPECT_EQ(boardboot::BuildQemuReport(options, run, bmc)["mm7"]["all_equal_to_bsp"], true);
  std::ostringstream text;
  boardboot::PrintQemuReport(text, boardboot::BuildQemuReport(options, run, bmc));
  EXPECT_NE(text.str().find("every AP equal to the BSP: yes"), std::string::npos) << text.str();
}

}  // namespace

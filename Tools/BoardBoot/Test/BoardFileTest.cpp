// Board files: what a correct one describes, and the one clear error a wrong
// one gets (file, line, key), with nothing run.
#include <gtest/gtest.h>

#include <Guid/BootStateVariable.h>
#include <OemPcdTokens.h>

#include "Board/GuidText.h"
#include "BoardFile.h"
#include "BootRunner.h"

namespace {

using boardboot::BoardFileError;
using boardboot::ParseBoardFile;

TEST(BoardFile, DescribesTheWholeBoot) {
  auto board = ParseBoardFile(R"(
processors: {application-processors: 8}
scratch-register: 0xA5
absent-ppis: [ipmi-transport]
pcd:
  PcdOemIsFirstBoot: true
  40: {type: UINT16, value: 0x1234}
pcie:
  - {bus: 0, device: 31, function: 2, offset: 0x44, value: 0x80}
variables:
  Setup: {fields: {DebugLevel: 3, 0: 0x11}}
  OemIsFirstBoot: {guid: 12345678-1234-5678-0102-030405060708, bytes: [0, 0, 0, 0]}
  MonotonicCounter: absent
bmc:
  requests:
    - netfn: 0x3C
      command: 0x05
      answers:
        - {no-answer: 3}
        - {completion-code: 0, data: [2]}
faults:
  - {service: CreateHob, status: EFI_OUT_OF_RESOURCES, skip: 1, count: 1}
boot: [BootMarker, permanent-memory, mp-services]
)", "test.yaml");
  EXPECT_EQ(board.options.applicationProcessors, 8u);
  EXPECT_EQ(board.options.scratchRegister, 0xA5);
  EXPECT_TRUE(board.options.absent.contains(board::PlatformPpi::IpmiTransport));
  ASSERT_EQ(board.pcd.size(), 2u);
  EXPECT_EQ(board.pcd[0].token, _PCD_TOKEN_PcdOemIsFirstBoot);
  EXPECT_EQ(board.pcd[0].value, 1u);
  EXPECT_EQ(board.pcd[1].type, board::PcdType::Uint16);
  ASSERT_EQ(board.variables.size(), 2u);
  EXPECT_EQ(board.variables[0].name, u"Setup");
  EXPECT_EQ(board.variables[0].bytes.size(), 383u);
  EXPECT_EQ(board.variables[0].bytes[227], 3);
  EXPECT_EQ(board.variables[0].bytes[0], 0x11);
  EXPECT_EQ(board.variables[1].name, u"OemIsFirstBoot");
  EXPECT_FALSE(board::SameGuid(board.variables[1].guid, gBootStateVariableGuid));
  ASSERT_EQ(board.bmc.size(), 1u);
  EXPECT_EQ(board.bmc[0].answers.size(), 4u);
  EXPECT_EQ(board.bmc[0].answers[2].transportStatus, EFI_TIMEOUT);
  EXPECT_EQ(board.bmc[0].answers[3].payload, std::vector<uint8_t>{2});
  ASSERT_EQ(board.faults.size(), 1u);
  EXPECT_EQ(board.faults[0].skip, 1u);
  ASSERT_EQ(board.steps.size(), 3u);
  EXPECT_EQ(board.steps[0].module, "BootMarker");
}

TEST(BoardFile, EachMistakeGetsOneErrorNamingFileLineAndKey) {
  struct Case {
    const char* text;
    const char* error;  // the whole message
  };
  const Case cases[] = {
      {"boot: [BootMarker]\nprocesors: {application-processors: 2}\n", "bad.yaml:2: procesors: unknown key"},
      {"boot: [BootMarker]\nscratch-register: 0x100\n",
       "bad.yaml:2: scratch-register: 0x100 is out of range (at most 255)"},
      {"boot: [BootMarker]\nvariables:\n  OemIsFirstBoot: {bytes: [1, 2, 3, 4, 5]}\n",
       "bad.yaml:3: variables.OemIsFirstBoot: 5 bytes are too long for its 4-byte row (say oversize: to store a "
       "longer variable)"},
      {"boot: [BootMarker]\nvariables:\n  Setup: {guid: EC87D643-EBA4-4BB5-A1E5}\n",
       "bad.yaml:3: variables.Setup.guid: 'EC87D643-EBA4-4BB5-A1E5' is not a GUID (8-4-4-4-12 hex digits)"},
      {"boot: [BootMarker, TraceGatee]\n",
       "bad.yaml:1: boot[1]: 'TraceGatee' is neither a module"},
      {"scratch-register: 2\n", "bad.yaml:1: boot: a board file needs its boot: the modules and events in order"},
      {"boot: [BootMarker]\npcd:\n  PcdOemIsFirstBoot: maybe\n",
       "bad.yaml:3: pcd.PcdOemIsFirstBoot: expected true or false"},
      {"boot: [BootMarker]\nfaults:\n  - {service: CreateHob, status: EFI_OOPS}\n",
       "bad.yaml:3: faults[0].status: 'EFI_OOPS' is not an EFI status name"},
      {"boot: [BootMarker]\nvariables:\n  Setup: {fields: {300: [1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, "
       "16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32, 33, 34, 35, 36, 37, 38, 39, 40, 41, 42, "
       "43, 44, 45, 46, 47, 48, 49, 50, 51, 52, 53, 54, 55, 56, 57, 58, 59, 60, 61, 62, 63, 64, 65, 66, 67, 68, 69, "
       "70, 71, 72, 73, 74, 75, 76, 77, 78, 79, 80, 81, 82, 83, 84]}}\n",
       "bad.yaml:3: variables.Setup.fields.300: lies past the end of the 383-byte variable"},
      {"boot: [BootMarker\n", "bad.yaml:2: end of sequence flow not found"},
      {"boot: [DimmSentry, scan-trigger]\nwarning-log:\n  entries:\n    - {type: 1, socket: 1, chanel: 3}\n",
       "bad.yaml:4: warning-log.entries[0].chanel: unknown key"},
      {"boot: [DimmSentry]\nwarning-log:\n  present:\n    - {socket: 8, channel: 0, slot: 0}\n",
       "bad.yaml:4: warning-log.present[0].socket: 8 is out of range (at most 7)"},
      {"boot: [TraceGate]\nstatic-pointer-table: {pointers: {14: 0x1000}}\n",
       "bad.yaml:2: static-pointer-table.pointers.14: 14 is out of range (at most 13)"},
      {"boot: [TraceGate]\nbmc:\n  ipmi-sim: {}\n  down: true\n",
       "bad.yaml:4: bmc.down: belongs to the board's own BMC, not to ipmi-sim"},
      {"boot: [TraceGate]\nbmc:\n  ipmi-sim: {port: 9002}\n  sel-capacity: 3\n",
       "bad.yaml:4: bmc.sel-capacity: can only be set for a simulator board-boot starts (no port)"},
      {"boot: [TraceGate]\nbmc:\n  ipmi-sim: {prot: 9002}\n", "bad.yaml:3: bmc.ipmi-sim.prot: unknown key"},
      {"boot: [TraceGate]\nbmc:\n  ipmi-sim: {port: 0}\n",
       "bad.yaml:3: bmc.ipmi-sim.port: give the port a running simulator listens on, or leave it out"},
      {"boot: [TraceGate]\nbmc: ipmi_sim\n", "bad.yaml:2: bmc: expected a mapping, or ipmi-sim for OpenIPMI's simulator"},
  };
  for (const auto& c : cases) {
    try {
      ParseBoardFile(c.text, "bad.yaml");
      ADD_FAILURE() << "accepted: " << c.text;
    } catch (const BoardFileError& error) {
      EXPECT_EQ(std::string(error.what()).rfind(c.error, 0), 0u) << error.what();
    }
  }
}

TEST(BoardFile, BmcCanBeOpenIpmisSimulator) {
  auto started = ParseBoardFile("boot: [TraceGate]\nbmc: ipmi-sim\n", "a.yaml");
  ASSERT_TRUE(started.ipmiSim);
  EXPECT_FALSE(started.ipmiSim->port);
  EXPECT_EQ(started.ipmiSim->host, "127.0.0.1");

  auto running = ParseBoardFile(
      "boot: [TraceGate]\nbmc:\n  ipmi-sim: {host: localhost, port: 9002, reply-timeout-ms: 250}\n", "b.yaml");
  ASSERT_TRUE(running.ipmiSim);
  EXPECT_EQ(running.ipmiSim->host, "localhost");
  EXPECT_EQ(running.ipmiSim->port, 9002);
  EXPECT_EQ(running.ipmiSim->replyTimeoutMs, 250u);

  EXPECT_FALSE(ParseBoardFile("boot: [TraceGate]\n", "c.yaml").ipmiSim);

  // Scripted answers in front of the simulator.
  auto fronted = ParseBoardFile(
      "boot: [TraceGate]\nbmc:\n  ipmi-sim: {}\n  requests:\n"
      "    - {netfn: 0x3C, command: 0x05, answers: [{completion-code: 0, data: [2]}]}\n",
      "d.yaml");
  ASSERT_TRUE(fronted.ipmiSim);
  ASSERT_EQ(fronted.bmc.size(), 1u);
  EXPECT_EQ(fronted.bmc[0].netFn, 0x3C);
  ASSERT_EQ(fronted.bmc[0].answers.size(), 1u);
  EXPECT_EQ(fronted.bmc[0].answers[0].payload, std::vector<uint8_t>{2});
}

TEST(BoardFile, DefaultBoardBootsToItsEnd) {
  auto board = boardboot::RunBoot(boardboot::DefaultBoard());
  EXPECT_FALSE(board->Halted());
  ASSERT_FALSE(board->Dispatches().empty());
  for (const auto& record : board->Dispatches()) EXPECT_EQ(record.status, EFI_SUCCESS) << record.module;
}

}  // namespace

// TraceGate dispatched as its own image on the simulated board: the level
// decision, its publication, and the first-boot HOB.
#include <gtest/gtest.h>

#include <Guid/BootStateVariable.h>
#include <Guid/FirstBootHob.h>
#include <Guid/SetupVariable.h>
#include <Guid/VerbosityHob.h>
#include <OemPcdTokens.h>
#include <Register/VerbosityScratch.h>

#include "Board/Board.h"
#include "Board/GuidText.h"

namespace {

using board::Board;
using board::BmcAnswer;
using board::BoardOptions;

constexpr uint8_t kNetFnOem = 0x3C;
constexpr uint8_t kForceDebug = 0x05;

const board::ModuleImage& Image(const char* name) {
  const board::ModuleImage* image = board::FindHostedImage(name);
  EXPECT_NE(image, nullptr) << name;
  return *image;
}

// A board whose "Setup" holds setupLevel at byte 227 and whose "IntelSetup"
// holds rasLogLevel at byte 120.
struct TraceGateBoard {
  explicit TraceGateBoard(uint8_t scratch = 0x02, BoardOptions options = {}) {
    options.scratchRegister = scratch;
    board = std::make_unique<Board>(options);
  }
  TraceGateBoard& Setup(uint8_t level, size_t size = 383) {
    std::vector<uint8_t> bytes(size, 0);
    if (size > 227) bytes[227] = level;
    board->Variables().Set(u"Setup", gIntelSetupGuid, bytes);
    return *this;
  }
  TraceGateBoard& RasLogLevel(uint8_t value) {
    std::vector<uint8_t> bytes(543, 0);
    bytes[120] = value;
    board->Variables().Set(u"IntelSetup", gIntelSetupGuid, bytes);
    return *this;
  }
  TraceGateBoard& Bmc(BmcAnswer answer, unsigned times = 1) {
    for (unsigned i = 0; i < times; ++i) board->BmcDevice().Queue(kNetFnOem, kForceDebug, answer);
    return *this;
  }
  board::DispatchRecord Dispatch(const char* module = "TraceGate") { return board->Dispatch(Image(module)); }

  std::string Text() const { return board->Console().Text(); }
  bool Printed(const std::string& line) const { return Text().find(line) != std::string::npos; }
  std::vector<uint8_t> PortWrites() const {
    std::vector<uint8_t> values;
    for (const auto& w : board->Ports().Writes(VERBOSITY_SCRATCH_PORT)) values.push_back(w.value);
    return values;
  }
  std::optional<uint8_t> HobByte(const EFI_GUID& guid) const {
    for (const auto& hob : board->Hobs().Walk())
      if (hob.type == EFI_HOB_TYPE_GUID_EXTENSION &&
          board::SameGuid(reinterpret_cast<const EFI_HOB_GUID_TYPE*>(hob.bytes)->Name, guid))
        return hob.bytes[24];
    return std::nullopt;
  }
  uint64_t Token35() const { return board->Pcd().Find(_PCD_TOKEN_PcdDebugRasLogLevel)->value; }
  size_t ForceDebugTries() const { return board->BmcDevice().ExchangesOf(kNetFnOem, kForceDebug).size(); }

  std::unique_ptr<Board> board;
};

TEST(TraceGate, WhoDecidesTheLevel) {
  struct Case {
    const char* what;
    std::vector<BmcAnswer> answers;  // in order, one per try
    uint8_t setup;
    uint8_t level;
    const char* message;
    size_t tries;
  };
  const Case cases[] = {
      {"the BMC forces 2 over Setup's 3", {BmcAnswer::Complete(0, {2})}, 3, 2, "Set debug level as Normal.\n", 1},
      {"the BMC forces 0: Disable.", {BmcAnswer::Complete(0, {0})}, 3, 0, "Set debug level as Disable.\n", 1},
      {"the BMC forces 7: Disable.", {BmcAnswer::Complete(0, {7})}, 2, 0, "Set debug level as Disable.\n", 1},
      {"a refusal lets Setup decide", {BmcAnswer::Complete(0xC1, {3})}, 1, 1, "Set debug level as Minimum.\n", 1},
      {"a one-byte reply lets Setup decide", {BmcAnswer::Complete(0)}, 3, 3, "Set debug level as Maximum.\n", 1},
      {"three failures, the fourth answer decides",
       {BmcAnswer::TransportError(EFI_TIMEOUT), BmcAnswer::TransportError(EFI_TIMEOUT),
        BmcAnswer::TransportError(EFI_DEVICE_ERROR), BmcAnswer::Complete(0, {1})},
       3, 1, "Set debug level as Minimum.\n", 4},
      {"Setup 7 when the BMC never answers", std::vector<BmcAnswer>(10, BmcAnswer::TransportError(EFI_TIMEOUT)), 7, 0,
       "Set debug level as Disabled.\n", 10},
  };
  for (const auto& c : cases) {
    TraceGateBoard tg;
    tg.Setup(c.setup);
    for (const auto& answer : c.answers) tg.Bmc(answer);
    auto record = tg.Dispatch();
    EXPECT_EQ(record.status, EFI_SUCCESS) << c.what;
    EXPECT_TRUE(tg.Printed(std::string("[OemLogLevel] ") + c.message)) << c.what << "\n" << tg.Text();
    EXPECT_EQ(tg.HobByte(gVerbosityHobGuid), c.level) << c.what;
    EXPECT_EQ(tg.ForceDebugTries(), c.tries) << c.what;
  }
}

TEST(TraceGate, EveryTryPrintsItsStatusAndSetsTheResponseLength) {
  TraceGateBoard tg;
  tg.Setup(2).Bmc(BmcAnswer::TransportError(EFI_TIMEOUT), 3).Bmc(BmcAnswer::Complete(0, {3}));
  tg.Dispatch();
  EXPECT_TRUE(tg.Printed("[OemLogLevel] LocatePpi IpmiTransportPpi IpmiStatus: Success \n"
                         "[OemLogLevel] IPMI Force debug IpmiStatus =Time out \n"
                         "[OemLogLevel] IPMI Force debug IpmiStatus =Time out \n"
                         "[OemLogLevel] IPMI Force debug IpmiStatus =Time out \n"
                         "[OemLogLevel] IPMI Force debug IpmiStatus =Success \n"
                         "[OemLogLevel] IPMI Force debug ResponseData[1]=3\n"
                         "[OemLogLevel] Set debug level as Maximum.\n"))
      << tg.Text();
  for (const auto& exchange : tg.board->BmcDevice().ExchangesOf(kNetFnOem, kForceDebug)) {
    EXPECT_EQ(exchange.request, std::vector<uint8_t>{0x32});
    EXPECT_EQ(exchange.responseCapacity, 2);
    EXPECT_EQ(exchange.lun, 0);
  }
}

TEST(TraceGate, NoIpmiTransportLetsSetupDecide) {
  BoardOptions options;
  options.absent.insert(board::PlatformPpi::IpmiTransport);
  TraceGateBoard tg(0x02, options);
  tg.Setup(7);
  tg.Dispatch();
  EXPECT_TRUE(tg.Printed("[OemLogLevel] LocatePpi IpmiTransportPpi IpmiStatus: Not Found \n"
                         "[OemLogLevel] IPMI Force debug ResponseData[1]=0\n"
                         "[OemLogLevel] Set debug level as Disabled.\n"))
      << tg.Text();
  EXPECT_EQ(tg.HobByte(gVerbosityHobGuid), 0);
}

TEST(TraceGate, PublishesLevelAndRasLogLevelInPortTokenAndHob) {
  struct Case {
    uint8_t scratch, bmcLevel, ras;
    std::vector<uint8_t> writes;
    uint8_t token;
    const char* rasLine;
  };
  const Case cases[] = {
      {0xA5, 2, 3, {0xA2, 0x32}, 0x32, "[OemLogLevel] RasLogLevel =3\n"},
      {0x02, 1, 0x1F, {0x01, 0xF1}, 0xF1, "[OemLogLevel] RasLogLevel =1f\n"},
  };
  for (const auto& c : cases) {
    TraceGateBoard tg(c.scratch);
    tg.Setup(0).RasLogLevel(c.ras).Bmc(BmcAnswer::Complete(0, {c.bmcLevel}));
    tg.Dispatch();
    EXPECT_EQ(tg.PortWrites(), c.writes);
    EXPECT_EQ(tg.Token35(), c.token);
    EXPECT_EQ(tg.HobByte(gVerbosityHobGuid), c.bmcLevel);
  }
  // The RAS line is printed at the level the register held: Normal here.
  TraceGateBoard tg(0x02);
  tg.Setup(0).RasLogLevel(0x1F).Bmc(BmcAnswer::Complete(0, {1}));
  tg.Dispatch();
  EXPECT_TRUE(tg.Printed("[OemLogLevel] RasLogLevel =1f\n")) << tg.Text();
}

TEST(TraceGate, MissingIntelSetupGivesRasLogLevelZero) {
  TraceGateBoard tg(0xF2);
  tg.Setup(2).Bmc(BmcAnswer::TransportError(EFI_TIMEOUT), 10);
  tg.Dispatch();
  EXPECT_EQ(tg.PortWrites(), (std::vector<uint8_t>{0xF2, 0x02}));
  EXPECT_TRUE(tg.Printed("[OemLogLevel] RasLogLevel =0\n"));
}

TEST(TraceGate, ShortOrMissingSetupReadsAsDisabled) {
  for (size_t size : {size_t{0}, size_t{100}, size_t{227}}) {
    TraceGateBoard tg;
    if (size > 0) tg.Setup(3, size);
    tg.Bmc(BmcAnswer::TransportError(EFI_TIMEOUT), 10);
    tg.Dispatch();
    EXPECT_TRUE(tg.Printed("[OemLogLevel] Set debug level as Disabled.\n")) << size;
    EXPECT_EQ(tg.HobByte(gVerbosityHobGuid), 0) << size;
  }
}

TEST(TraceGate, WithoutTheVariableServiceOnlyTheHobIsPublished) {
  BoardOptions options;
  options.absent.insert(board::PlatformPpi::ReadOnlyVariable);
  TraceGateBoard tg(0x02, options);
  tg.Bmc(BmcAnswer::Complete(0, {3}));
  auto record = tg.Dispatch();
  EXPECT_EQ(record.status, EFI_SUCCESS);
  EXPECT_EQ(tg.ForceDebugTries(), 0u);
  EXPECT_TRUE(tg.PortWrites().empty());
  EXPECT_EQ(tg.Token35(), 0u);
  EXPECT_TRUE(tg.board->Pcd().Changes().empty());
  EXPECT_EQ(tg.HobByte(gVerbosityHobGuid), 0);
}

TEST(TraceGate, NullServicesPointerDoesNothing) {
  TraceGateBoard tg;
  EFI_STATUS status = EFI_SUCCESS;
  tg.board->RunAs("TraceGate", [&] { status = Image("TraceGate").entry(nullptr, nullptr); });
  EXPECT_EQ(status, EFI_UNSUPPORTED);
  EXPECT_FALSE(tg.HobByte(gVerbosityHobGuid));
  EXPECT_FALSE(tg.HobByte(gFirstBootHobGuid));
  EXPECT_EQ(tg.ForceDebugTries(), 0u);
  EXPECT_TRUE(tg.PortWrites().empty());
}

TEST(TraceGate, FirstBootHobFollowsMonotonicCounter) {
  struct Case {
    const char* what;
    std::optional<size_t> counterSize;
    bool variablePpi;
    uint8_t flag;
    const char* line;  // nullptr: no first-boot line
  };
  const Case cases[] = {
      {"missing", std::nullopt, true, 1, "[CreateFirstBootHob] First Boot Detected.\n"},
      {"four bytes", 4, true, 0, "[CreateFirstBootHob] Not first boot.\n"},
      {"eight bytes: too long", 8, true, 1, "[CreateFirstBootHob] First Boot Detected.\n"},
      {"no variable service", 4, false, 0, nullptr},
  };
  for (const auto& c : cases) {
    BoardOptions options;
    if (!c.variablePpi) options.absent.insert(board::PlatformPpi::ReadOnlyVariable);
    TraceGateBoard tg(0x02, options);
    if (c.counterSize)
      tg.board->Variables().Set(MONOTONIC_COUNTER_VARIABLE_NAME, gBootStateVariableGuid,
                                std::vector<uint8_t>(*c.counterSize, 1));
    tg.Dispatch();
    EXPECT_EQ(tg.HobByte(gFirstBootHobGuid), c.flag) << c.what;
    std::string expected = std::string(c.line ? c.line : "") + "[CreateFirstBootHob] Status=Success\n";
    EXPECT_EQ(tg.Text().rfind(expected, 0), 0u) << c.what << "\n" << tg.Text();
    for (const auto& hob : tg.board->Hobs().Walk())
      if (hob.type == EFI_HOB_TYPE_GUID_EXTENSION &&
          board::SameGuid(reinterpret_cast<const EFI_HOB_GUID_TYPE*>(hob.bytes)->Name, gFirstBootHobGuid))
        EXPECT_EQ(hob.length, 32) << "28 bytes requested, rounded up to 8";
  }
}

TEST(TraceGate, FailedFirstBootHobIsReportedAndTheDecisionGoesOn) {
  TraceGateBoard tg;
  tg.Setup(2);
  // The constructor's table HOB is the first CreateHob; the first-boot HOB the second.
  tg.board->Faults().Add({board::Service::CreateHob, EFI_OUT_OF_RESOURCES, 1, 1});
  tg.Dispatch();
  EXPECT_TRUE(tg.Printed("[CreateFirstBootHob] Status=Out of Resources\n")) << tg.Text();
  EXPECT_FALSE(tg.HobByte(gFirstBootHobGuid));
  EXPECT_TRUE(tg.HobByte(gVerbosityHobGuid));
}

TEST(TraceGate, FailedPoolStillPublishesTheLevel) {
  TraceGateBoard tg;
  tg.Setup(2).RasLogLevel(0).Bmc(BmcAnswer::Complete(0, {3}));
  tg.board->Faults().Add({board::Service::AllocatePool, EFI_OUT_OF_RESOURCES});
  tg.Dispatch();
  EXPECT_TRUE(tg.Printed("\nASSERT_EFI_ERROR (Status = Out of Resources)\n"));
  auto assertions = tg.board->Console().Assertions();
  ASSERT_EQ(assertions.size(), 1u);
  EXPECT_EQ(assertions[0].text, "!EFI_ERROR (Status)");
  EXPECT_NE(assertions[0].file.find("TraceGate.cpp"), std::string::npos);
  EXPECT_EQ(tg.HobByte(gVerbosityHobGuid), 3);
}

TEST(TraceGate, FailedConstructorIsReportedAndTheEntryRuns) {
  TraceGateBoard tg;
  tg.Setup(2);
  tg.board->Faults().Add({board::Service::CreateHob, EFI_OUT_OF_RESOURCES, 0, 1});
  auto record = tg.Dispatch();
  EXPECT_EQ(record.status, EFI_SUCCESS);
  EXPECT_TRUE(tg.Printed("\nASSERT_RETURN_ERROR (Status = Out of Resources)\n")) << tg.Text();
  bool entryAssertion = false;
  for (const auto& a : tg.board->Console().Assertions())
    if (a.text == "!RETURN_ERROR (Status)" && a.file.find("ModuleEntry.cpp") != std::string::npos) entryAssertion = true;
  EXPECT_TRUE(entryAssertion);
  EXPECT_EQ(tg.HobByte(gVerbosityHobGuid), 2);
}

TEST(TraceGate, ItsOwnMessagesFollowTheStartingRegisterUntilItsHobExists) {
  // The register says Minimum at reset; the BMC forces Maximum.
  TraceGateBoard tg(0x01);
  tg.Setup(0).Bmc(BmcAnswer::Complete(0, {3}));
  tg.Dispatch();
  EXPECT_EQ(tg.Text(), "");  // every TraceGate message is at 0x40: dropped at Minimum
  EXPECT_EQ(tg.HobByte(gVerbosityHobGuid), 3);
}

TEST(TraceGate, EveryModuleFollowsTheHobOnceItExists) {
  // BootMarker before TraceGate follows the register (Minimum: silent),
  // BootMarker after it follows the HOB (Maximum: prints).
  TraceGateBoard tg(0x01);
  tg.Setup(0).Bmc(BmcAnswer::Complete(0, {3}));
  tg.Dispatch("BootMarker");
  tg.Dispatch("TraceGate");
  tg.Dispatch("BootMarker");
  EXPECT_EQ(tg.board->Console().TextOf("BootMarker"),
            "Vexa OEM: BootMarker Entering...\nOemIsFirstBoot 1\nVexa OEM: BootMarker End...\n");
  EXPECT_EQ(tg.board->Console().TextOf("TraceGate"), "");

}

TEST(TraceGate, ADisabledHobSilencesTheModulesAfterIt) {
  // The register says Normal, the BMC forces Disabled.
  TraceGateBoard quiet(0x02);
  quiet.Setup(2).Bmc(BmcAnswer::Complete(0, {0}));
  quiet.Dispatch("BootMarker");
  quiet.Dispatch("TraceGate");
  quiet.Dispatch("BootMarker");
  EXPECT_EQ(quiet.board->Console().TextOf("BootMarker"),
            "Vexa OEM: BootMarker Entering...\nOemIsFirstBoot 1\nVexa OEM: BootMarker End...\n");
  EXPECT_TRUE(quiet.Printed("[OemLogLevel] Set debug level as Disable.\n"));
  EXPECT_EQ(quiet.HobByte(gVerbosityHobGuid), 0);
}

}  // namespace

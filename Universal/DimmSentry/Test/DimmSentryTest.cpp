// DimmSentry dispatched as its own image on the simulated board: the scan
// runs when the board installs the scan-trigger PPI, reads the host
// structure the test lays out, and sends its records to the board's BMC.
#include <gtest/gtest.h>

#include <array>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include <OemPcdTokens.h>
#include <Ppi/WarningLogScanTrigger.h>

#include "Board/Board.h"
#include "Board/GuidText.h"
#include "Board/HostStructure.h"

namespace {

using board::BmcAnswer;
using board::Board;
using board::BoardOptions;
using board::HostStructure;
using board::WarningEntry;
using Event = std::array<uint8_t, 3>;  // event data 1, 2, 3 of one SEL record

constexpr uint8_t kStorage = 0x0A;
constexpr uint8_t kAddSel = 0x44;

const board::ModuleImage& DimmSentryImage() {
  const board::ModuleImage* image = board::FindHostedImage("DimmSentry");
  EXPECT_NE(image, nullptr);
  return *image;
}

BoardOptions Verbose(BoardOptions options = {}) {
  options.scratchRegister = 0x02;  // Normal: information and error messages print
  return options;
}

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* format, ...) {
  char text[256];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  return text;
}

const std::string kStart = "DimmSentry - Start\n";
const std::string kLocated = "LocatePpi IpmiTransportPpi Status: Success \n";
const std::string kEnd = "DimmSentry - End\n";
const std::string kSame = "Same memory, Same info, not log \n";

std::string Enhanced(unsigned socket, unsigned channel, unsigned dimm, unsigned rank, unsigned temp, unsigned mc) {
  return Format("Enhanced warning log for socket %x, channel %x, dimm %x, rank %x, TempChannel %x, MemController %x\n",
                socket, channel, dimm, rank, temp, mc);
}

std::string Location(unsigned memlocation, unsigned major, unsigned minor, unsigned saved = 0xFF,
                     unsigned savedMajor = 0xFF, unsigned savedMinor = 0xFF) {
  return Format("Memlocation=%x, MajorCode=%x, MinorCode=%x, SavedMemlocation=%x, SavedMajor=%x, SavedMinor=%x\n",
                memlocation, major, minor, saved, savedMajor, savedMinor);
}

std::string Attempt(const std::string& status, unsigned index, unsigned ev1, unsigned major, unsigned minor) {
  return Format("OemMemErrorLogToBmc SendIpmiCommand Status: %s, Index:%x \n", status.c_str(), index) +
         Format("SelRecord.SensorNumber=0xfd, OEMEvData1=0x%x, OEMEvData2=0x%x, OEMEvData3=0x%x \n", ev1, major, minor);
}

size_t Count(const std::string& text, const std::string& line) {
  size_t count = 0;
  for (size_t at = text.find(line); at != std::string::npos; at = text.find(line, at + line.size())) ++count;
  return count;
}

bool EndsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// A board with DimmSentry dispatched and a host structure to lay out.
struct Rig {
  explicit Rig(BoardOptions options = Verbose())
      : board(options), host(board.Memory(), board.Options().memory.hostStructure) {
    dispatch = board.Dispatch(DimmSentryImage());
  }

  // Installs the scan-trigger PPI the first time, reinstalls it after;
  // returns what that scan returned.
  EFI_STATUS Scan() {
    const size_t before = board.NotificationRuns().size();
    if (triggered)
      board.ReinstallPlatformPpi(gWarningLogScanTriggerPpiGuid);
    else
      board.InstallPlatformPpi(gWarningLogScanTriggerPpiGuid);
    triggered = true;
    EXPECT_EQ(board.NotificationRuns().size(), before + 1);
    if (board.NotificationRuns().size() != before + 1) return EFI_LOAD_ERROR;
    EXPECT_EQ(board.NotificationRuns().back().module, "DimmSentry");
    return board.NotificationRuns().back().status;
  }

  std::string Text() const { return board.Console().Text(); }

  std::vector<Event> Sent() {
    std::vector<Event> events;
    for (const auto& entry : board.BmcDevice().Sel()) events.push_back({entry.record[13], entry.record[14], entry.record[15]});
    return events;
  }

  size_t Attempts() { return board.BmcDevice().ExchangesOf(kStorage, kAddSel).size(); }

  Board board;
  HostStructure host;
  board::DispatchRecord dispatch;
  bool triggered = false;
};

// An entry that is reported and never excluded, told apart by its major code.
WarningEntry Plain(uint8_t major, uint8_t socket = 0) { return {.type = 0, .majorCode = major, .socket = socket}; }

TEST(DimmSentry, EntryOnlyRegistersForTheScanTrigger) {
  Rig rig;
  EXPECT_EQ(rig.dispatch.status, EFI_SUCCESS);
  EXPECT_EQ(rig.Text(), "");
  ASSERT_EQ(rig.board.Ppis().Notifications().size(), 1u);
  const auto& notification = rig.board.Ppis().Notifications()[0];
  EXPECT_EQ(notification.owner, "DimmSentry");
  EXPECT_EQ(notification.descriptor->Flags, 0x80000020u);
  EXPECT_TRUE(board::SameGuid(*notification.descriptor->Guid, gWarningLogScanTriggerPpiGuid));
  EXPECT_TRUE(rig.board.NotificationRuns().empty());
  EXPECT_TRUE(rig.board.BmcDevice().Exchanges().empty());
}

TEST(DimmSentry, AFailedRegistrationIsIgnoredAndNoScanRuns) {
  Board board(Verbose());
  board.Faults().Add({board::Service::NotifyPpi, EFI_OUT_OF_RESOURCES});
  HostStructure(board.Memory(), board.Options().memory.hostStructure).AddWarning(Plain(0x50));
  EXPECT_EQ(board.Dispatch(DimmSentryImage()).status, EFI_SUCCESS);
  board.InstallPlatformPpi(gWarningLogScanTriggerPpiGuid);
  EXPECT_TRUE(board.NotificationRuns().empty());
  EXPECT_EQ(board.Console().Text(), "");
  EXPECT_TRUE(board.BmcDevice().Exchanges().empty());
}

TEST(DimmSentry, OneEntryBecomesOneSystemEventRecord) {
  Rig rig;
  rig.host.AddWarning({.type = 1, .majorCode = 0x05, .minorCode = 0x02, .socket = 1, .channel = 3, .dimm = 1, .rank = 2});

  EXPECT_EQ(rig.Scan(), EFI_SUCCESS);

  EXPECT_EQ(rig.Text(), kStart + kLocated + Enhanced(1, 3, 1, 2, 1, 1) + Location(0x2B, 5, 2) +
                            Attempt("Success", 0, 0x2B, 5, 2) + kEnd);
  auto exchanges = rig.board.BmcDevice().Exchanges();
  ASSERT_EQ(exchanges.size(), 1u);
  EXPECT_EQ(exchanges[0].netFn, kStorage);
  EXPECT_EQ(exchanges[0].lun, 0);
  EXPECT_EQ(exchanges[0].command, kAddSel);
  EXPECT_EQ(exchanges[0].responseCapacity, 3);
  const std::vector<uint8_t> request = {0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x00, 0x21,
                                        0x00, 0x04, 0x0C, 0xFD, 0x6F, 0x2B, 0x05, 0x02};
  EXPECT_EQ(exchanges[0].request, request);
  ASSERT_EQ(rig.board.BmcDevice().Sel().size(), 1u);
  const auto& stored = rig.board.BmcDevice().Sel()[0];
  EXPECT_EQ(stored.recordId, 1);
  EXPECT_EQ(std::vector<uint8_t>(stored.record.begin() + 2, stored.record.end()),
            std::vector<uint8_t>(request.begin() + 2, request.end()));
}

TEST(DimmSentry, AnEmptyLogIsNotRead) {
  Rig rig;
  rig.host.AddWarning(Plain(0x50));
  rig.host.SetUsedSize(0);
  EXPECT_EQ(rig.Scan(), EFI_SUCCESS);
  EXPECT_EQ(rig.Text(), kStart + kLocated + kEnd);
  EXPECT_EQ(rig.Attempts(), 0u);
}

TEST(DimmSentry, OnlyTypesBelowFourAndTenToThirteenAreReported) {
  struct Case {
    int32_t type;
    bool reported;
  };
  const Case cases[] = {{1, true},  {4, false}, {2, true},   {9, false}, {-1, true}, {14, false}, {0, true},
                        {3, true},  {10, true}, {13, true},  {5, false}, {-2147483647 - 1, true}, {0x7FFFFFFF, false}};
  Rig rig;
  std::vector<Event> expected;
  uint8_t major = 0x50;
  for (const auto& c : cases) {
    rig.host.AddWarning({.type = c.type, .majorCode = major});
    if (c.reported) expected.push_back({0x00, major, 0x00});
    ++major;
  }
  // A passed-over entry is read for its type and length only.
  rig.host.AddWarning({.type = 6, .length = 6});
  rig.host.AddWarning({.type = 11, .majorCode = major});
  expected.push_back({0x00, major, 0x00});

  EXPECT_EQ(rig.Scan(), EFI_SUCCESS);
  EXPECT_EQ(rig.Sent(), expected);
  EXPECT_EQ(Count(rig.Text(), "Enhanced warning log"), expected.size());
  EXPECT_TRUE(EndsWith(rig.Text(), kEnd));
}

TEST(DimmSentry, ExcludedCodesEndTheWholeScan) {
  struct Case {
    int32_t type;
    uint8_t major;
    uint8_t minor;
    bool excluded;
  };
  const Case cases[] = {
      {1, 0x80, 0x00, true},  {1, 0x8D, 0x33, true},  {1, 0x8E, 0x00, false}, {1, 0x7F, 0x00, false},
      {1, 0xE0, 0x00, true},  {1, 0xE2, 0x00, true},  {1, 0xE3, 0x00, false}, {1, 0x0E, 0x00, true},
      {1, 0x41, 0x07, true},  {1, 0x17, 0x01, false}, {1, 0x17, 0x02, true},  {1, 0x17, 0x00, true},
      {1, 0x07, 0x08, true},  {1, 0x07, 0x0F, true},  {1, 0x07, 0x16, true},  {1, 0x07, 0x19, true},
      {1, 0x07, 0x1C, true},  {1, 0x07, 0x09, false}, {1, 0x07, 0x01, false}, {1, 0x30, 0x00, false},
      {2, 0x30, 0x01, false}, {2, 0x30, 0x02, false}, {2, 0x30, 0x00, true},  {2, 0x30, 0x03, true},
      {2, 0x80, 0x00, false}, {2, 0x17, 0x02, false}, {3, 0x0E, 0x00, false}, {0, 0x80, 0x00, false},
      {-1, 0x80, 0x00, false}, {-1, 0x17, 0x02, false}, {10, 0x0E, 0x00, false}, {13, 0x30, 0x00, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Format("type %d major %02X minor %02X", c.type, c.major, c.minor));
    Rig rig;
    rig.host.AddWarning(Plain(0x50));
    rig.host.AddWarning(Plain(0x51, 1));
    rig.host.AddWarning({.type = c.type, .majorCode = c.major, .minorCode = c.minor, .socket = 2});
    rig.host.AddWarning(Plain(0x52, 3));

    EFI_STATUS status = rig.Scan();

    if (c.excluded) {
      EXPECT_EQ(status, EFI_ABORTED);
      EXPECT_EQ(rig.Sent(), (std::vector<Event>{{0x00, 0x50, 0x00}, {0x20, 0x51, 0x00}}));
      EXPECT_EQ(Count(rig.Text(), "Enhanced warning log"), 2u);
      EXPECT_EQ(Count(rig.Text(), kEnd), 0u);
    } else {
      EXPECT_EQ(status, EFI_SUCCESS);
      EXPECT_EQ(rig.Sent(), (std::vector<Event>{{0x00, 0x50, 0x00}, {0x20, 0x51, 0x00}, {0x40, c.major, c.minor},
                                                {0x60, 0x52, 0x00}}));
      EXPECT_TRUE(EndsWith(rig.Text(), kEnd));
    }
  }
}

TEST(DimmSentry, ChannelsFallToFourControllersOfTwo) {
  struct Case {
    uint8_t socket, channel, dimm;
    unsigned memController, tempChannel;
    uint8_t memlocation, ev1;
  };
  const Case cases[] = {
      {0, 0, 2, 0, 0, 0x00, 0x02},   // a DIMM above 1 spills into the channel bits of event data 1 only
      {0, 1, 0, 0, 1, 0x02, 0x02},  {1, 3, 1, 1, 1, 0x2B, 0x2B},  {0, 4, 0, 2, 0, 0x10, 0x10},
      {0, 5, 0, 2, 1, 0x12, 0x12},  {2, 7, 1, 3, 1, 0x5B, 0x5B},  {0, 9, 0, 3, 3, 0x1E, 0x1E},
      {0, 22, 0, 3, 16, 0x18, 0x38},  // TempChannel 16 is masked in the location, not in the record
  };
  Rig rig;
  std::string expected = kStart + kLocated;
  std::vector<Event> events;
  uint8_t major = 0x50;
  for (const auto& c : cases) {
    rig.host.AddWarning({.type = 1, .majorCode = major, .socket = c.socket, .channel = c.channel, .dimm = c.dimm});
    expected += Enhanced(c.socket, c.channel, c.dimm, 0, c.tempChannel, c.memController);
    expected += Location(c.memlocation, major, 0, events.empty() ? 0xFF : cases[events.size() - 1].memlocation,
                         events.empty() ? 0xFF : major - 1, events.empty() ? 0xFF : 0);
    expected += Attempt("Success", 0, c.ev1, major, 0);
    events.push_back({c.ev1, major, 0});
    ++major;
  }
  EXPECT_EQ(rig.Scan(), EFI_SUCCESS);
  EXPECT_EQ(rig.Text(), expected + kEnd);
  EXPECT_EQ(rig.Sent(), events);
}

TEST(DimmSentry, EveryDimmOfAChannelMeansThePresentSlotsOfAnOpenChannel) {
  struct Case {
    const char* what;
    uint8_t slot0, slot1;  // presence bytes
    uint8_t gate;
    std::vector<uint8_t> targets;
  };
  const Case cases[] = {
      {"both slots", 1, 1, 0, {0x08, 0x09}},
      {"slot 1 only", 0, 1, 0, {0x09}},
      {"slot 0 only", 1, 0, 0, {0x08}},
      {"no DIMM", 0, 0, 0, {}},
      {"presence byte 2 is not a DIMM", 2, 1, 0, {0x09}},
      {"gate closed", 1, 1, 1, {}},
      {"gate 0x80", 1, 1, 0x80, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Rig rig;
    const uint32_t channelBlock = 0x16B0A * 1 + 0x2D40 * 2;  // socket 1, channel 2
    *rig.board.Memory().At(rig.host.AddressOf(0x20830 + channelBlock)) = c.slot0;
    *rig.board.Memory().At(rig.host.AddressOf(0x20830 + channelBlock + 0x6A1)) = c.slot1;
    rig.host.SetChannelGate(1, 2, c.gate);
    rig.host.AddWarning({.type = 1, .majorCode = 0x05, .minorCode = 0x02, .socket = 1, .channel = 2, .dimm = 0xFF});
    // The same codes for DIMM 1 of the channel: the same location byte.
    rig.host.AddWarning({.type = 1, .majorCode = 0x05, .minorCode = 0x02, .socket = 1, .channel = 2, .dimm = 1});

    EXPECT_EQ(rig.Scan(), EFI_SUCCESS);

    std::vector<Event> expected;
    std::string attempts;
    for (uint8_t ev1 : c.targets) {
      expected.push_back({static_cast<uint8_t>(0x20 | ev1), 0x05, 0x02});
      attempts += Attempt("Success", 0, 0x20u | ev1, 5, 2);
    }
    EXPECT_EQ(rig.Sent(), expected);
    // Whether or not a record went out, the entry became the last report.
    EXPECT_EQ(rig.Text(), kStart + kLocated + Enhanced(1, 2, 0xFF, 0, 0, 1) + Location(0x29, 5, 2) + attempts +
                              Enhanced(1, 2, 1, 0, 0, 1) + Location(0x29, 5, 2, 0x29, 5, 2) + kSame + kEnd);
  }
}

TEST(DimmSentry, OnlyAnEntryRepeatingTheLastReportIsDropped) {
  const WarningEntry a = {.type = 1, .majorCode = 0x05, .minorCode = 0x02, .socket = 1, .channel = 3, .dimm = 1};
  WarningEntry b = a;
  b.minorCode = 0x03;
  WarningEntry dimm0 = a;
  dimm0.dimm = 0;
  WarningEntry all = a;
  all.dimm = 0xFF;
  const WarningEntry edge = {.type = 1, .majorCode = 0x05, .minorCode = 0x02, .socket = 7, .channel = 9, .dimm = 1};
  struct Case {
    const char* what;
    std::vector<WarningEntry> log;
    std::vector<uint8_t> sentEv1;
    size_t dropped;
  };
  const Case cases[] = {
      {"A, A", {a, a}, {0x2B}, 1},
      {"A, A, A", {a, a, a}, {0x2B}, 2},
      {"A, B, A: only the last report counts", {a, b, a}, {0x2B, 0x2B, 0x2B}, 0},
      {"DIMM 1, then every DIMM: same location byte", {a, all}, {0x2B}, 1},
      {"DIMM 0, then every DIMM", {dimm0, all}, {0x2A, 0x2A, 0x2B}, 0},
      {"location 0xFF is never a repeat", {edge, edge, edge}, {0xFF, 0xFF, 0xFF}, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Rig rig;
    rig.host.SetDimmPresent(1, 3, 0);
    rig.host.SetDimmPresent(1, 3, 1);
    for (const auto& entry : c.log) rig.host.AddWarning(entry);

    EXPECT_EQ(rig.Scan(), EFI_SUCCESS);

    std::vector<uint8_t> ev1;
    for (const auto& event : rig.Sent()) ev1.push_back(event[0]);
    EXPECT_EQ(ev1, c.sentEv1);
    EXPECT_EQ(Count(rig.Text(), kSame), c.dropped);
    EXPECT_EQ(Count(rig.Text(), "\nMemlocation="), c.log.size());
  }
}

TEST(DimmSentry, ARecordIsTriedTenTimesThenTheNextGoesOn) {
  Rig rig;
  for (int i = 0; i < 10; ++i) rig.board.BmcDevice().Queue(kStorage, kAddSel, BmcAnswer::TransportError(EFI_TIMEOUT));
  rig.host.AddWarning(Plain(0x50));
  rig.host.AddWarning(Plain(0x51));

  EXPECT_EQ(rig.Scan(), EFI_SUCCESS);  // the last record reached the BMC

  std::string tries;
  for (unsigned i = 0; i < 10; ++i) tries += Attempt("Time out", i, 0, 0x50, 0);
  EXPECT_EQ(rig.Text(), kStart + kLocated + Enhanced(0, 0, 0, 0, 0, 0) + Location(0, 0x50, 0) + tries +
                            Enhanced(0, 0, 0, 0, 0, 0) + Location(0, 0x51, 0, 0, 0x50, 0) +
                            Attempt("Success", 0, 0, 0x51, 0) + kEnd);
  EXPECT_EQ(rig.Attempts(), 11u);
  EXPECT_EQ(rig.Sent(), (std::vector<Event>{{0, 0x51, 0}}));
}

TEST(DimmSentry, ADroppedRecordStillCountsAsTheLastReport) {
  Rig rig;
  rig.board.BmcDevice().SetDown(true);
  rig.host.AddWarning(Plain(0x50));
  rig.host.AddWarning(Plain(0x50));

  EXPECT_EQ(rig.Scan(), EFI_TIMEOUT);  // the failure of the last record sent

  EXPECT_EQ(rig.Attempts(), 10u);
  EXPECT_EQ(Count(rig.Text(), kSame), 1u);
  EXPECT_TRUE(EndsWith(rig.Text(), Attempt("Time out", 9, 0, 0x50, 0) + Enhanced(0, 0, 0, 0, 0, 0) +
                                       Location(0, 0x50, 0, 0, 0x50, 0) + kSame + kEnd));
}

TEST(DimmSentry, AnAttemptSucceedsOnlyWhenTheBmcTakesTheRecord) {
  struct Case {
    const char* what;
    std::vector<BmcAnswer> script;  // then the BMC's own behaviour
    size_t selCapacity;
    std::vector<std::string> statuses;
    bool stored;
  };
  const std::vector<std::string> tenFull(10, "Volume Full");
  const Case cases[] = {
      {"first attempt", {}, 512, {"Success"}, true},
      {"SEL full twice, then room",
       {BmcAnswer::Complete(0xC4), BmcAnswer::Complete(0xC4)}, 512, {"Volume Full", "Volume Full", "Success"}, true},
      {"SEL full throughout", {}, 0, tenFull, false},
      {"rejected, then taken", {BmcAnswer::Complete(0xC1)}, 512, {"Device Error", "Success"}, true},
      {"no completion code written", {BmcAnswer::Silent()}, 512, {"Device Error", "Success"}, true},
      {"completion code 0 without the record ID", {BmcAnswer::Complete(0x00)}, 512, {"Success"}, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Rig rig;
    for (const auto& answer : c.script) rig.board.BmcDevice().Queue(kStorage, kAddSel, answer);
    rig.board.BmcDevice().SetSelCapacity(c.selCapacity);
    rig.host.AddWarning(Plain(0x50));

    EFI_STATUS status = rig.Scan();

    std::string tries;
    for (unsigned i = 0; i < c.statuses.size(); ++i) tries += Attempt(c.statuses[i], i, 0, 0x50, 0);
    EXPECT_EQ(rig.Text(), kStart + kLocated + Enhanced(0, 0, 0, 0, 0, 0) + Location(0, 0x50, 0) + tries + kEnd);
    EXPECT_EQ(rig.Attempts(), c.statuses.size());
    EXPECT_EQ(rig.board.BmcDevice().Sel().size(), c.stored ? 1u : 0u);
    EXPECT_EQ(status, c.statuses.back() == "Success" ? EFI_SUCCESS : EFI_VOLUME_FULL);
  }
}

TEST(DimmSentry, EveryTriggerSendsTheWholeLogAgain) {
  Rig rig;
  rig.host.AddWarning(Plain(0x50));
  rig.host.AddWarning(Plain(0x51));

  EXPECT_EQ(rig.Scan(), EFI_SUCCESS);
  EXPECT_EQ(rig.Scan(), EFI_SUCCESS);

  const std::string scan = kStart + kLocated + Enhanced(0, 0, 0, 0, 0, 0) + Location(0, 0x50, 0) +
                           Attempt("Success", 0, 0, 0x50, 0) + Enhanced(0, 0, 0, 0, 0, 0) +
                           Location(0, 0x51, 0, 0, 0x50, 0) + Attempt("Success", 0, 0, 0x51, 0) + kEnd;
  EXPECT_EQ(rig.Text(), scan + scan);
  const auto& sel = rig.board.BmcDevice().Sel();
  ASSERT_EQ(sel.size(), 4u);
  for (uint16_t i = 0; i < 4; ++i) {
    EXPECT_EQ(sel[i].recordId, i + 1);
    EXPECT_EQ(sel[i].record[14], i % 2 == 0 ? 0x50 : 0x51);
  }
}

TEST(DimmSentry, TheHostStructureAddressIsTheLowHalfOfToken17) {
  struct Case {
    const char* what;
    uint64_t high;
    bool found;
  };
  const Case cases[] = {{"high half set, low half zero", 0x00000001'00000000, false},
                        {"high half ignored", 0xABCD0000'00000000, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Rig rig;
    rig.host.AddWarning(Plain(0x50));
    const uint64_t low = c.found ? rig.host.Address() : 0;
    rig.board.Pcd().Define(_PCD_TOKEN_PcdSysHostMemoryAddress, board::PcdType::Uint64, c.high | low);

    EFI_STATUS status = rig.Scan();

    if (c.found) {
      EXPECT_EQ(status, EFI_SUCCESS);
      EXPECT_EQ(rig.Sent(), (std::vector<Event>{{0, 0x50, 0}}));
    } else {
      EXPECT_EQ(status, EFI_NOT_FOUND);
      EXPECT_EQ(rig.Text(), kStart + kLocated + "PcdSysHostMemoryAddress value is NULL!\n");
      EXPECT_EQ(rig.board.Console().Messages().back().level, 0x80000000u);
      EXPECT_EQ(rig.Attempts(), 0u);
    }
  }
}

TEST(DimmSentry, WithoutTheIpmiTransportNothingIsRead) {
  for (bool transport : {false, true}) {
    SCOPED_TRACE(transport ? "transport present: the probe sees the read" : "transport missing");
    BoardOptions options = Verbose();
    if (!transport) options.absent.insert(board::PlatformPpi::IpmiTransport);
    Rig rig(options);
    // Token 17 of the wrong size: any read of it leaves a complaint.
    rig.board.Pcd().Define(_PCD_TOKEN_PcdSysHostMemoryAddress, board::PcdType::Uint8, 0);

    EFI_STATUS status = rig.Scan();

    if (transport) {
      EXPECT_EQ(rig.board.Pcd().Complaints().size(), 1u);
      EXPECT_EQ(status, EFI_NOT_FOUND);
    } else {
      EXPECT_TRUE(rig.board.Pcd().Complaints().empty());
      EXPECT_EQ(status, EFI_NOT_FOUND);
      EXPECT_EQ(rig.Text(), kStart + "LocatePpi IpmiTransportPpi Status: Not Found \n" +
                                "gEfiPeiIpmiTransportPpiGuid ppi not ready\n" + kEnd);
    }
  }
}

TEST(DimmSentry, AMissingPcdServiceIsAnAssertionAndNoAddress) {
  BoardOptions options = Verbose();
  options.absent.insert(board::PlatformPpi::Pcd);
  Rig rig(options);
  rig.host.AddWarning(Plain(0x50));
  EXPECT_EQ(rig.Scan(), EFI_NOT_FOUND);
  ASSERT_EQ(rig.board.Console().Assertions().size(), 1u);
  EXPECT_EQ(rig.board.Console().Assertions()[0].text, "!EFI_ERROR (Status)");
  EXPECT_TRUE(EndsWith(rig.Text(), "PcdSysHostMemoryAddress value is NULL!\n"));
  EXPECT_EQ(rig.Attempts(), 0u);
}

// A log the module must not trust: the walk ends at the fault, every entry
// before it reported, nothing after it read.
TEST(DimmSentryBadLog, TheWalkEndsAtAMalformedEntry) {
  struct Case {
    const char* what;
    std::vector<WarningEntry> log;  // after one good entry of 0x20 bytes
    std::optional<uint32_t> usedSize;
    std::string message;
  };
  const Case cases[] = {
      {"Length 0", {{.type = 1, .length = 0, .majorCode = 0x51}}, 0x60,
       "[WarningLogScanNotify] Entry at offset 20: Length 0 is outside 12..40, the walk ends\n"},
      {"Length 0 of a passed-over type", {{.type = 5, .length = 0}}, 0x60,
       "[WarningLogScanNotify] Entry at offset 20: Length 0 is outside 6..40, the walk ends\n"},
      {"shorter than the fields read", {{.type = 1, .length = 0x11, .majorCode = 0x51}, Plain(0x52)}, std::nullopt,
       "[WarningLogScanNotify] Entry at offset 20: Length 11 is outside 12..31, the walk ends\n"},
      {"reaching past UsedSize", {{.type = 1, .length = 0x20, .majorCode = 0x51}}, 0x38,
       "[WarningLogScanNotify] Entry at offset 20: Length 20 is outside 12..18, the walk ends\n"},
      {"UsedSize ends inside an entry's header", {}, 0x23,
       "[WarningLogScanNotify] 3 bytes at offset 20 are too few for an entry: the walk ends\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Rig rig;
    rig.host.AddWarning(Plain(0x50));
    for (const auto& entry : c.log) rig.host.AddWarning(entry);
    if (c.usedSize) rig.host.SetUsedSize(*c.usedSize);

    EXPECT_EQ(rig.Scan(), EFI_VOLUME_CORRUPTED);

    EXPECT_EQ(rig.Sent(), (std::vector<Event>{{0, 0x50, 0}}));
    EXPECT_EQ(rig.Text(), kStart + kLocated + Enhanced(0, 0, 0, 0, 0, 0) + Location(0, 0x50, 0) +
                              Attempt("Success", 0, 0, 0x50, 0) + c.message + kEnd);
  }
}

TEST(DimmSentryBadLog, AUsedSizeBeyondTheLogWalksTheLogOnly) {
  Rig rig;
  // Two entries fill the log to its last byte; the bytes after it belong to
  // socket 0 and are made to look like one more entry.
  rig.host.AddWarning({.type = 0, .length = 0x1000, .majorCode = 0x50});
  rig.host.AddWarning({.type = 0, .length = SYS_HOST_WARNING_LOG_SIZE - 0x1000, .majorCode = 0x51});
  MemWarningLogEntry lookalike{};
  lookalike.Type = 0;
  lookalike.Length = 0x20;
  lookalike.MajorCode = 0x52;
  std::memcpy(rig.board.Memory().At(rig.host.AddressOf(0x1F14C + SYS_HOST_WARNING_LOG_SIZE), sizeof lookalike),
              &lookalike, sizeof lookalike);
  rig.host.SetUsedSize(SYS_HOST_WARNING_LOG_SIZE + 0x20);

  EXPECT_EQ(rig.Scan(), EFI_VOLUME_CORRUPTED);

  EXPECT_EQ(rig.Sent(), (std::vector<Event>{{0, 0x50, 0}, {0, 0x51, 0}}));
  EXPECT_EQ(rig.Text().find(kStart + kLocated +
                            "[WarningLogScanNotify] UsedSize 16c6 is larger than the warning log (16a6 bytes): only "
                            "the log is walked\n"),
            0u);
  EXPECT_TRUE(EndsWith(rig.Text(), Attempt("Success", 0, 0, 0x51, 0) + kEnd));
}

TEST(DimmSentryBadLog, AnEntryReachingPastTheLogEndsTheWalk) {
  const struct {
    const char* what;
    uint32_t usedSize;
    std::string messages;
  } cases[] = {
      {"UsedSize beyond the log", 0x2000,
       "[WarningLogScanNotify] UsedSize 2000 is larger than the warning log (16a6 bytes): only the log is walked\n"},
      {"UsedSize of all ones", 0xFFFFFFFF,
       "[WarningLogScanNotify] UsedSize ffffffff is larger than the warning log (16a6 bytes): only the log is "
       "walked\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Rig rig;
    rig.host.AddWarning({.type = 0, .length = 0x1000, .majorCode = 0x50});
    rig.host.AddWarning({.type = 0, .length = 0x800, .majorCode = 0x51});
    rig.host.SetUsedSize(c.usedSize);

    EXPECT_EQ(rig.Scan(), EFI_VOLUME_CORRUPTED);

    EXPECT_EQ(rig.Sent(), (std::vector<Event>{{0, 0x50, 0}}));
    EXPECT_EQ(rig.Text(), kStart + kLocated + c.messages + Enhanced(0, 0, 0, 0, 0, 0) + Location(0, 0x50, 0) +
                              Attempt("Success", 0, 0, 0x50, 0) +
                              "[WarningLogScanNotify] Entry at offset 1000: Length 800 is outside 12..6a6, the walk "
                              "ends\n" +
                              kEnd);
  }
}

TEST(DimmSentryBadLog, EveryDimmOfAChannelBeyondTheHostStructureTakesNoDimm) {
  struct Case {
    uint8_t socket, channel;
    unsigned memlocation;
    bool atRegionEnd;  // a read past the host structure would fault
  };
  const Case cases[] = {{8, 0, 0x01, false}, {0, 8, 0x1D, true}, {0xFF, 0xFF, 0xFB, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(Format("socket %u channel %u", c.socket, c.channel));
    Rig rig;
    const auto& region = rig.board.Options().memory.hostStructure;
    HostStructure host(rig.board.Memory(),
                       c.atRegionEnd ? static_cast<uint32_t>(region.End() - sizeof(SysHost)) : region.base);
    rig.board.Pcd().Define(_PCD_TOKEN_PcdSysHostMemoryAddress, board::PcdType::Uint64, host.Address());
    // Where an unchecked index would look: present DIMMs behind an open gate.
    const uint64_t slot0 = host.Address() + 0x20830 + uint64_t{c.socket} * 0x16B0A + uint64_t{c.channel} * 0x2D40;
    const bool planted = region.Contains(slot0, 0x6A1 + 1);
    EXPECT_EQ(planted, c.socket != 0xFF);
    if (planted) {
      *rig.board.Memory().At(slot0) = 1;
      *rig.board.Memory().At(slot0 + 0x6A1) = 1;
    }
    host.AddWarning({.type = 1, .majorCode = 0x05, .minorCode = 0x02, .socket = c.socket, .channel = c.channel,
                     .dimm = 0xFF});
    host.AddWarning(Plain(0x50));

    EXPECT_EQ(rig.Scan(), EFI_SUCCESS);

    EXPECT_EQ(rig.Sent(), (std::vector<Event>{{0, 0x50, 0}}));
    const std::string entry = c.channel == 0 ? Enhanced(c.socket, 0, 0xFF, 0, 0, 0)
                                             : Enhanced(c.socket, c.channel, 0xFF, 0, c.channel - 6u, 3);
    const std::string beyond =
        Format("[WarningLogScanNotify] Socket %x, channel %x is beyond the host structure (8 sockets, 8 channels): no "
               "DIMM taken\n",
               c.socket, c.channel);
    EXPECT_EQ(rig.Text(), kStart + kLocated + entry + beyond + Location(c.memlocation, 5, 2) +
                              Enhanced(0, 0, 0, 0, 0, 0) + Location(0, 0x50, 0, c.memlocation, 5, 2) +
                              Attempt("Success", 0, 0, 0x50, 0) + kEnd);
  }
}

TEST(DimmSentry, MessagesFollowTheLevelTheRegisterHolds) {
  BoardOptions options;
  options.scratchRegister = 0x01;  // Minimum: neither information nor error messages print
  Rig rig(options);
  rig.host.AddWarning(Plain(0x50));
  rig.host.AddWarning({.type = 1, .length = 0});
  rig.host.SetUsedSize(0x40);
  EXPECT_EQ(rig.Scan(), EFI_VOLUME_CORRUPTED);
  EXPECT_EQ(rig.Text(), "");
  EXPECT_EQ(rig.Sent(), (std::vector<Event>{{0, 0x50, 0}}));
}

}  // namespace

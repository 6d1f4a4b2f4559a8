// BmcHerald dispatched as its own image on the simulated board.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include <OemPcdTokens.h>
#include <Ppi/IpmiTransportPpi.h>
#include <Ppi/Pcd.h>

#include "Board/Board.h"

namespace {

using board::BmcAnswer;
using board::Board;
using board::BoardOptions;

constexpr uint8_t kConnectNetFn = 0x32;
constexpr uint8_t kConnectCommand = 0xAA;
constexpr uint8_t kBlockNetFn = 0x3C;
constexpr uint8_t kBlockCommand = 0x01;

constexpr uint64_t kAcpiBaseOffset = 0xFA040;
constexpr uint64_t kAcpiControlOffset = 0xFA044;
const board::PciAddress kAcpiBaseLow{0, 31, 2, 0x40};
const board::PciAddress kAcpiBaseHigh{0, 31, 2, 0x41};
const board::PciAddress kAcpiControl{0, 31, 2, 0x44};

// What the BMC must receive as the OEM block, and the dump of it.
const std::vector<uint8_t> kBlock = [] {
  std::vector<uint8_t> block = {0x01, 0x12, 0x00, 0x01, 0x01, 0x01, 0x01, 0x01, 0x2C, 0x00};
  block.resize(44, 0x00);
  return block;
}();
const std::string kDump =
    "01 12 00 01 01 01 01 01 2c 00 00 00 00 00 00 00 \n"
    "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 \n"
    "00 00 00 00 00 00 00 00 00 00 00 00 \n";

const board::ModuleImage& BmcHeraldImage() {
  const board::ModuleImage* image = board::FindHostedImage("BmcHerald");
  EXPECT_NE(image, nullptr);
  return *image;
}

BoardOptions Verbose(BoardOptions options = {}) {
  options.scratchRegister = 0x02;  // Normal: information and error messages print
  return options;
}

std::string Access(bool write, unsigned width, uint64_t address, uint64_t value) {
  char text[64];
  std::snprintf(text, sizeof text, "%s%u 0x%llx = 0x%llx", write ? "write" : "read", width * 8,
                static_cast<unsigned long long>(address), static_cast<unsigned long long>(value));
  return text;
}
std::string Read(unsigned width, uint64_t address, uint64_t value) { return Access(false, width, address, value); }
std::string Write(unsigned width, uint64_t address, uint64_t value) { return Access(true, width, address, value); }

std::vector<std::string> MmioAccesses(Board& board) {
  std::vector<std::string> accesses;
  for (const auto& a : board.Mmio().Log()) accesses.push_back(Access(a.write, a.width, a.address, a.value));
  return accesses;
}

void SetAcpiRegisters(Board& board, uint16_t base, uint8_t control) {
  board.Pcie().Poke8(kAcpiBaseLow, static_cast<uint8_t>(base));
  board.Pcie().Poke8(kAcpiBaseHigh, static_cast<uint8_t>(base >> 8));
  board.Pcie().Poke8(kAcpiControl, control);
}

uint16_t AcpiBase(Board& board) {
  return static_cast<uint16_t>(board.Pcie().Peek8(kAcpiBaseLow) | board.Pcie().Peek8(kAcpiBaseHigh) << 8);
}

void Script(Board& board, uint8_t netFn, uint8_t command, const std::vector<BmcAnswer>& answers) {
  for (const auto& answer : answers) board.BmcDevice().Queue(netFn, command, answer);
}

std::string ConnectLine(const std::string& status, const std::string& response) {
  return "Notify BMC connect USB eth " + status + " " + response + "\n";
}

// --- The ACPI base step -----------------------------------------------------

TEST(BmcHeraldAcpi, DecodingAlreadyOnWritesNothing) {
  struct Case {
    uint16_t base;
    uint8_t control;
  };
  for (const Case c : {Case{0x1234, 0x80}, Case{0x0000, 0xC3}, Case{0x0500, 0xFF}}) {
    Board board(Verbose());
    SetAcpiRegisters(board, c.base, c.control);
    const uint64_t pmc = board.Options().memory.pcieBase;

    board.Dispatch(BmcHeraldImage());

    EXPECT_EQ(MmioAccesses(board), (std::vector<std::string>{Read(1, pmc + kAcpiControlOffset, c.control)}))
        << "control " << int(c.control);
    EXPECT_EQ(AcpiBase(board), c.base);
    EXPECT_EQ(board.Pcie().Peek8(kAcpiControl), c.control);
  }
}

TEST(BmcHeraldAcpi, DecodingOffSetsTheBaseThenTheEnableBit) {
  struct Case {
    uint8_t control;
    uint64_t tokenHighBits;  // token 26 above bit 31: not part of the address
  };
  for (const Case c : {Case{0x00, 0}, Case{0x45, 0}, Case{0x7F, 0}, Case{0x01, 0xABCD00000000}}) {
    Board board(Verbose());
    const uint64_t pmc = board.Options().memory.pcieBase;
    board.Pcd().Define(_PCD_TOKEN_PcdPcieMmcfgBase, board::PcdType::Uint64, c.tokenHighBits | pmc);
    SetAcpiRegisters(board, 0x1234, c.control);

    board.Dispatch(BmcHeraldImage());

    const uint8_t enabled = static_cast<uint8_t>(c.control | 0x80);
    EXPECT_EQ(MmioAccesses(board), (std::vector<std::string>{
                                       Read(1, pmc + kAcpiControlOffset, c.control),
                                       Write(2, pmc + kAcpiBaseOffset, 0x0500),
                                       Read(1, pmc + kAcpiControlOffset, c.control),
                                       Write(1, pmc + kAcpiControlOffset, enabled),
                                   }))
        << "control " << int(c.control);
    EXPECT_EQ(AcpiBase(board), 0x0500);
    EXPECT_EQ(board.Pcie().Peek8(kAcpiControl), enabled);
  }
}

// A PCD service whose token 26 moves after every read shows where each
// access took its base from.
namespace movingbase {
std::vector<uint64_t> bases;
std::vector<UINTN> tokensRead;
UINT64 EFIAPI Get64(UINTN token) {
  uint64_t base = tokensRead.size() < bases.size() ? bases[tokensRead.size()] : 0;
  tokensRead.push_back(token);
  return base;
}
}  // namespace movingbase

TEST(BmcHeraldAcpi, EveryAccessFetchesTheBaseAgain) {
  BoardOptions options = Verbose();
  options.absent.insert(board::PlatformPpi::Pcd);
  Board board(options);
  const uint64_t pcieBase = board.Options().memory.pcieBase;
  movingbase::bases = {pcieBase, 0x10000000, 0x20000000};
  movingbase::tokensRead.clear();
  PCD_PPI pcd{};
  pcd.Get64 = movingbase::Get64;
  EFI_PEI_PPI_DESCRIPTOR descriptor = {EFI_PEI_PPI_DESCRIPTOR_PPI | EFI_PEI_PPI_DESCRIPTOR_TERMINATE_LIST,
                                       const_cast<EFI_GUID*>(&gPcdPpiGuid), &pcd};
  ASSERT_EQ(board.Ppis().Install(&descriptor, "test"), EFI_SUCCESS);

  board.Dispatch(BmcHeraldImage());

  // The read-modify-write of the control byte is one access: one base for both halves.
  EXPECT_EQ(MmioAccesses(board), (std::vector<std::string>{
                                     Read(1, pcieBase + kAcpiControlOffset, 0x00),
                                     Write(2, 0x10000000 + kAcpiBaseOffset, 0x0500),
                                     Read(1, 0x20000000 + kAcpiControlOffset, 0xFF),
                                     Write(1, 0x20000000 + kAcpiControlOffset, 0xFF),
                                 }));
  EXPECT_EQ(movingbase::tokensRead, (std::vector<UINTN>{26, 26, 26}));
  EXPECT_EQ(AcpiBase(board), 0x0000);
}

TEST(BmcHeraldAcpi, MissingPcdServiceIsAnAssertionAndTheRequestsStillGo) {
  BoardOptions options = Verbose();
  options.absent.insert(board::PlatformPpi::Pcd);
  Board board(options);
  Script(board, kConnectNetFn, kConnectCommand, {BmcAnswer::Complete(0)});
  Script(board, kBlockNetFn, kBlockCommand, {BmcAnswer::Complete(0)});

  auto record = board.Dispatch(BmcHeraldImage());

  // Base 0: nothing decodes at 0xFA044, it reads all ones, so decoding looks on.
  EXPECT_EQ(MmioAccesses(board), (std::vector<std::string>{Read(1, kAcpiControlOffset, 0xFF)}));
  auto assertions = board.Console().Assertions();
  ASSERT_EQ(assertions.size(), 1u);
  EXPECT_EQ(assertions[0].text, "!EFI_ERROR (Status)");
  EXPECT_EQ(board.Console().Text(),
            "\nASSERT_EFI_ERROR (Status = Not Found)\n" + ConnectLine("Success", "0") + kDump);
  EXPECT_EQ(board.BmcDevice().ExchangesOf(kBlockNetFn, kBlockCommand).size(), 1u);
  EXPECT_EQ(record.status, EFI_SUCCESS);
}

// --- The two BMC requests ---------------------------------------------------

TEST(BmcHeraldRequests, BothAcceptedAtOnce) {
  Board board(Verbose());
  Script(board, kConnectNetFn, kConnectCommand, {BmcAnswer::Complete(0)});
  Script(board, kBlockNetFn, kBlockCommand, {BmcAnswer::Complete(0)});

  auto record = board.Dispatch(BmcHeraldImage());

  EXPECT_EQ(record.status, EFI_SUCCESS);
  EXPECT_EQ(board.Console().Text(), ConnectLine("Success", "0") + kDump);
  const auto& exchanges = board.BmcDevice().Exchanges();
  ASSERT_EQ(exchanges.size(), 2u);
  EXPECT_EQ(exchanges[0].netFn, kConnectNetFn);
  EXPECT_EQ(exchanges[0].command, kConnectCommand);
  EXPECT_EQ(exchanges[0].request, std::vector<uint8_t>{0x03});
  EXPECT_EQ(exchanges[1].netFn, kBlockNetFn);
  EXPECT_EQ(exchanges[1].command, kBlockCommand);
  EXPECT_EQ(exchanges[1].request, kBlock);
  for (const auto& exchange : exchanges) {
    EXPECT_EQ(exchange.lun, 0u);
    EXPECT_EQ(exchange.responseCapacity, 1u);
  }
}

TEST(BmcHeraldRequests, DumpIsPrintedAtTheErrorLevelOneByteAtATime) {
  Board board(Verbose());
  Script(board, kConnectNetFn, kConnectCommand, {BmcAnswer::Complete(0)});
  Script(board, kBlockNetFn, kBlockCommand, {BmcAnswer::Complete(0)});

  board.Dispatch(BmcHeraldImage());

  auto messages = board.Console().Messages();
  ASSERT_EQ(messages.size(), 1u + 44u + 3u);
  EXPECT_EQ(messages[0].level, 0x40u);
  std::string dump;
  for (size_t i = 1; i < messages.size(); ++i) {
    EXPECT_EQ(messages[i].level, 0x80000000u) << "message " << i;
    dump += messages[i].text;
  }
  EXPECT_EQ(dump, kDump);
}

TEST(BmcHeraldRequests, TriesAndResults) {
  const std::string kTimeout = "Time out";
  struct Case {
    const char* what;
    std::vector<BmcAnswer> connect;
    std::vector<BmcAnswer> block;
    std::vector<std::string> connectLines;
    size_t blockTries;
    EFI_STATUS status;
    std::string errorLine;
  };
  const auto refused = BmcAnswer::Complete(0xC1);
  const auto accepted = BmcAnswer::Complete(0);
  const auto silent = BmcAnswer::Silent();
  const auto timeout = BmcAnswer::TransportError(EFI_TIMEOUT);
  const Case cases[] = {
      {"connect: a silent success leaves the 0xFF preset, so it is tried again",
       {silent, accepted}, {accepted},
       {ConnectLine("Success", "ff"), ConnectLine("Success", "0")}, 1, EFI_SUCCESS, ""},
      {"connect: the response byte is not reset between tries",
       {refused, silent, accepted}, {accepted},
       {ConnectLine("Success", "c1"), ConnectLine("Success", "c1"), ConnectLine("Success", "0")}, 1, EFI_SUCCESS,
       ""},
      {"connect: five failures are only logged; the block still goes",
       {timeout, timeout, timeout, timeout, timeout, accepted}, {accepted},
       std::vector<std::string>(5, ConnectLine(kTimeout, "ff")), 1, EFI_SUCCESS, ""},
      {"connect: five refusals",
       {refused, refused, refused, refused, refused, accepted}, {accepted},
       std::vector<std::string>(5, ConnectLine("Success", "c1")), 1, EFI_SUCCESS, ""},
      {"block: the response is preset to 0xFF again, so a silent success is tried again",
       {accepted}, {silent, accepted},
       {ConnectLine("Success", "0")}, 2, EFI_SUCCESS, ""},
      {"block: a transport error, then accepted",
       {accepted}, {BmcAnswer::TransportError(EFI_DEVICE_ERROR), accepted},
       {ConnectLine("Success", "0")}, 2, EFI_SUCCESS, ""},
      {"block: five transport errors return the fifth",
       {accepted}, {timeout, timeout, timeout, timeout, BmcAnswer::TransportError(EFI_NO_RESPONSE), accepted},
       {ConnectLine("Success", "0")}, 5, EFI_NO_RESPONSE, ""},
      {"block: refused five times is a failure",
       {accepted}, {refused, refused, refused, refused, refused, accepted},
       {ConnectLine("Success", "0")}, 5, EFI_DEVICE_ERROR,
       "BmcHeraldEntry:OEM block not accepted by BMC, response c1\n"},
      {"block: transport errors, then refused on the last try",
       {accepted}, {timeout, timeout, timeout, timeout, BmcAnswer::Complete(0xD5)},
       {ConnectLine("Success", "0")}, 5, EFI_DEVICE_ERROR,
       "BmcHeraldEntry:OEM block not accepted by BMC, response d5\n"},
      {"block: refusals, then a transport error on the last try",
       {accepted}, {refused, refused, refused, refused, timeout},
       {ConnectLine("Success", "0")}, 5, EFI_TIMEOUT, ""},
      {"block: never answered although the transport says success",
       {accepted}, {silent, silent, silent, silent, silent},
       {ConnectLine("Success", "0")}, 5, EFI_DEVICE_ERROR,
       "BmcHeraldEntry:OEM block not accepted by BMC, response ff\n"},
  };
  for (const auto& c : cases) {
    Board board(Verbose());
    Script(board, kConnectNetFn, kConnectCommand, c.connect);
    Script(board, kBlockNetFn, kBlockCommand, c.block);

    auto record = board.Dispatch(BmcHeraldImage());

    EXPECT_EQ(record.status, c.status) << c.what;
    std::string expected;
    for (const auto& line : c.connectLines) expected += line;
    expected += kDump + c.errorLine;
    EXPECT_EQ(board.Console().Text(), expected) << c.what;
    if (!c.errorLine.empty()) EXPECT_EQ(board.Console().Messages().back().level, 0x80000000u) << c.what;

    auto connects = board.BmcDevice().ExchangesOf(kConnectNetFn, kConnectCommand);
    auto blocks = board.BmcDevice().ExchangesOf(kBlockNetFn, kBlockCommand);
    EXPECT_EQ(connects.size(), c.connectLines.size()) << c.what;
    EXPECT_EQ(blocks.size(), c.blockTries) << c.what;
    EXPECT_EQ(board.BmcDevice().Exchanges().size(), connects.size() + blocks.size()) << c.what;
    for (const auto& exchange : connects) EXPECT_EQ(exchange.request, std::vector<uint8_t>{0x03}) << c.what;
    for (const auto& exchange : blocks) EXPECT_EQ(exchange.request, kBlock) << c.what;
  }
}

TEST(BmcHeraldRequests, UnscriptedBmcRejectsBothAndTheModuleSaysSo) {
  Board board(Verbose());  // the BMC answers both OEM commands "invalid command"

  auto record = board.Dispatch(BmcHeraldImage());

  EXPECT_EQ(record.status, EFI_DEVICE_ERROR);
  std::string expected;
  for (int i = 0; i < 5; ++i) expected += ConnectLine("Success", "c1");
  EXPECT_EQ(board.Console().Text(), expected + kDump + "BmcHeraldEntry:OEM block not accepted by BMC, response c1\n");
}

// A transport that claims success, refuses, and reports no bytes received:
// the length it writes back must not shrink the next try's buffer.
struct ShrinkingTransport {
  PEI_IPMI_TRANSPORT_PPI ppi;
  std::vector<uint8_t> lengthsOnEntry;

  static EFI_STATUS EFIAPI Send(PEI_IPMI_TRANSPORT_PPI* self, UINT8, UINT8, UINT8, UINT8*, UINT32, UINT8* response,
                                UINT8* responseLength) {
    auto* transport = reinterpret_cast<ShrinkingTransport*>(self);
    transport->lengthsOnEntry.push_back(*responseLength);
    *response = 0xC1;
    *responseLength = 0;
    return EFI_SUCCESS;
  }
};

TEST(BmcHeraldRequests, ResponseLengthIsOneOnEveryTry) {
  BoardOptions options = Verbose();
  options.absent.insert(board::PlatformPpi::IpmiTransport);
  Board board(options);
  ShrinkingTransport transport{{0, ShrinkingTransport::Send}, {}};
  EFI_PEI_PPI_DESCRIPTOR descriptor = {EFI_PEI_PPI_DESCRIPTOR_PPI | EFI_PEI_PPI_DESCRIPTOR_TERMINATE_LIST,
                                       const_cast<EFI_GUID*>(&gEfiPeiIpmiTransportPpiGuid), &transport.ppi};
  ASSERT_EQ(board.Ppis().Install(&descriptor, "test"), EFI_SUCCESS);

  auto record = board.Dispatch(BmcHeraldImage());

  EXPECT_EQ(transport.lengthsOnEntry, std::vector<uint8_t>(10, 1));
  EXPECT_EQ(record.status, EFI_DEVICE_ERROR);
}

TEST(BmcHeraldRequests, MissingTransportAfterTheAcpiStep) {
  BoardOptions options = Verbose();
  options.absent.insert(board::PlatformPpi::IpmiTransport);
  Board board(options);
  SetAcpiRegisters(board, 0x0000, 0x00);
  const uint64_t pmc = board.Options().memory.pcieBase;

  auto record = board.Dispatch(BmcHeraldImage());

  EXPECT_EQ(record.status, EFI_NOT_FOUND);
  EXPECT_EQ(board.Console().Text(), "BmcHeraldEntry:LocatePpi IpmiTransportPpi Not Found\n");
  EXPECT_EQ(board.Console().Messages().at(0).level, 0x40u);
  EXPECT_EQ(MmioAccesses(board).back(), Write(1, pmc + kAcpiControlOffset, 0x80));
  EXPECT_EQ(board.Pcie().Peek8(kAcpiControl), 0x80);
}

}  // namespace

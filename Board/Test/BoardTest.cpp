// The simulated board's own behaviour: what the modules rely on of the PEI
// Foundation, the variable store, the BMC and the fault plan.
#include <gtest/gtest.h>

#include <atomic>

#include <Guid/VerbosityHob.h>
#include <Library/IoLib.h>
#include <Ppi/MemoryDiscovered.h>
#include <Ppi/MpServices.h>

#include "Board/Board.h"
#include "Board/BoardError.h"
#include "Board/GuidText.h"

namespace {

using board::Board;

constexpr EFI_GUID kTestGuid = {0xA1B2C3D4, 0x1111, 0x2222, {1, 2, 3, 4, 5, 6, 7, 8}};

TEST(HobList, StartsWithAHandoffTableAndRoundsLengthsUpToEight) {
  Board board;
  auto& hobs = board.Hobs();
  EXPECT_EQ(hobs.Phit().Header.HobType, EFI_HOB_TYPE_HANDOFF);
  EXPECT_EQ(board::ToPhysical32(hobs.Start()), board.Options().memory.temporaryRam.base);

  const std::pair<uint16_t, uint16_t> lengths[] = {{25, 32}, {28, 32}, {304, 304}, {0xFFF8, 0xFFF8}};
  for (auto [requested, stored] : lengths) {
    void* hob = nullptr;
    ASSERT_EQ(hobs.Create(EFI_HOB_TYPE_GUID_EXTENSION, requested, &hob), EFI_SUCCESS) << requested;
    EXPECT_EQ(static_cast<EFI_HOB_GENERIC_HEADER*>(hob)->HobLength, stored);
    EXPECT_EQ(hobs.Walk().back().type, EFI_HOB_TYPE_END_OF_HOB_LIST);
  }
  void* hob = nullptr;
  EXPECT_EQ(hobs.Create(EFI_HOB_TYPE_GUID_EXTENSION, 0xFFF9, &hob), EFI_INVALID_PARAMETER);
}

TEST(HobList, PagesComeFromTheTopAndRunOut) {
  Board board;
  EFI_PHYSICAL_ADDRESS first = 0, second = 0;
  ASSERT_EQ(board.Hobs().AllocatePages(EfiBootServicesData, 2, &first), EFI_SUCCESS);
  ASSERT_EQ(board.Hobs().AllocatePages(EfiBootServicesData, 1, &second), EFI_SUCCESS);
  EXPECT_EQ(first, board.Options().memory.temporaryRam.End() - 2 * 4096);
  EXPECT_EQ(second, first - 4096);
  EFI_PHYSICAL_ADDRESS none = 0;
  EXPECT_EQ(board.Hobs().AllocatePages(EfiBootServicesData, 0x100000, &none), EFI_OUT_OF_RESOURCES);
}

TEST(HobList, PermanentMemoryMovesEveryHobAndScrubsTheOldList) {
  Board board;
  void* hob = nullptr;
  ASSERT_EQ(board.Hobs().Create(EFI_HOB_TYPE_GUID_EXTENSION, 32, &hob), EFI_SUCCESS);
  auto* old = static_cast<EFI_HOB_GUID_TYPE*>(hob);
  old->Name = kTestGuid;
  auto before = board.Hobs().Walk();

  board.InstallPermanentMemory();

  auto after = board.Hobs().Walk();
  ASSERT_EQ(after.size(), before.size());
  const auto& permanent = board.Options().memory.permanentMemory;
  for (size_t i = 0; i < after.size(); ++i) {
    EXPECT_TRUE(permanent.Contains(after[i].address)) << i;
    EXPECT_EQ(after[i].type, before[i].type);
    EXPECT_EQ(after[i].length, before[i].length);
  }
  EXPECT_TRUE(board::SameGuid(reinterpret_cast<const EFI_HOB_GUID_TYPE*>(after[1].bytes)->Name, kTestGuid));
  EXPECT_FALSE(board::SameGuid(old->Name, kTestGuid));
  EXPECT_TRUE(board.Ppis().IsInstalled(gEfiPeiMemoryDiscoveredPpiGuid));
}

// A notification that counts its calls through the PPI it was given.
EFI_STATUS EFIAPI CountingNotify(EFI_PEI_SERVICES**, EFI_PEI_NOTIFY_DESCRIPTOR*, void* ppi) {
  ++*static_cast<int*>(ppi);
  return EFI_SUCCESS;
}

TEST(PpiDatabase, CallbacksRunOnInstallAndAtOnceForAnInstalledPpi) {
  Board board;
  int calls = 0;
  EFI_GUID guid = kTestGuid;
  EFI_PEI_PPI_DESCRIPTOR ppi = {EFI_PEI_PPI_DESCRIPTOR_PPI | EFI_PEI_PPI_DESCRIPTOR_TERMINATE_LIST, &guid, &calls};
  EFI_PEI_NOTIFY_DESCRIPTOR notify = {
      EFI_PEI_PPI_DESCRIPTOR_NOTIFY_CALLBACK | EFI_PEI_PPI_DESCRIPTOR_TERMINATE_LIST, &guid, CountingNotify};
  auto** services = board.Services();

  ASSERT_EQ((*services)->NotifyPpi(services, &notify), EFI_SUCCESS);
  EXPECT_EQ(calls, 0);
  ASSERT_EQ((*services)->InstallPpi(services, &ppi), EFI_SUCCESS);
  EXPECT_EQ(calls, 1);
  ASSERT_EQ((*services)->ReInstallPpi(services, &ppi, &ppi), EFI_SUCCESS);
  EXPECT_EQ(calls, 2);

  EFI_PEI_NOTIFY_DESCRIPTOR late = notify;
  ASSERT_EQ((*services)->NotifyPpi(services, &late), EFI_SUCCESS);
  EXPECT_EQ(calls, 3);  // the late one at once; the first one is not re-run

  void* found = nullptr;
  EFI_PEI_PPI_DESCRIPTOR* descriptor = nullptr;
  EXPECT_EQ((*services)->LocatePpi(services, &guid, 0, &descriptor, &found), EFI_SUCCESS);
  EXPECT_EQ(found, &calls);
  EXPECT_EQ(descriptor, &ppi);
  EXPECT_EQ((*services)->LocatePpi(services, &guid, 1, nullptr, &found), EFI_NOT_FOUND);
}

TEST(PpiDatabase, ListsWithoutTheirFlagsOrTerminatorAreRefused) {
  Board board;
  EFI_GUID guid = kTestGuid;
  int interface = 0;
  EFI_PEI_PPI_DESCRIPTOR noPpiFlag = {EFI_PEI_PPI_DESCRIPTOR_TERMINATE_LIST, &guid, &interface};
  EXPECT_EQ(board.Ppis().Install(&noPpiFlag, "Test"), EFI_INVALID_PARAMETER);
  std::vector<EFI_PEI_PPI_DESCRIPTOR> unterminated(board::PpiDatabase::kMaxListLength,
                                                   {EFI_PEI_PPI_DESCRIPTOR_PPI, &guid, &interface});
  EXPECT_EQ(board.Ppis().Install(unterminated.data(), "Test"), EFI_OUT_OF_RESOURCES);
  EXPECT_FALSE(board.Ppis().IsInstalled(guid));
}

TEST(VariableStore, GetVariableFollowsTheReadOnlyVariableContract) {
  board::VariableStore store;
  store.Set(u"Setup", kTestGuid, {1, 2, 3});
  store.Set(u"IntelSetup", kTestGuid, {9});  // same GUID, other name
  uint8_t data[8] = {};
  UINTN size = 2;
  UINT32 attributes = 0;
  EXPECT_EQ(store.Get(u"Setup", &kTestGuid, &attributes, &size, data), EFI_BUFFER_TOO_SMALL);
  EXPECT_EQ(size, 3u);
  EXPECT_EQ(data[0], 0);
  EXPECT_EQ(store.Get(u"Setup", &kTestGuid, &attributes, &size, data), EFI_SUCCESS);
  EXPECT_EQ(data[2], 3);
  EXPECT_EQ(attributes, board::VariableStore::kDefaultAttributes);
  size = 8;
  EXPECT_EQ(store.Get(u"IntelSetup", &kTestGuid, nullptr, &size, data), EFI_SUCCESS);
  EXPECT_EQ(size, 1u);
  EXPECT_EQ(store.Get(u"Missing", &kTestGuid, nullptr, &size, data), EFI_NOT_FOUND);
  store.FailReads(u"Setup", kTestGuid, EFI_DEVICE_ERROR);
  EXPECT_EQ(store.Get(u"Setup", &kTestGuid, nullptr, &size, data), EFI_DEVICE_ERROR);
  EXPECT_EQ(store.Reads().size(), 5u);
}

TEST(Bmc, ScriptedAnswersComeFirstThenTheBmcsOwnBehaviour) {
  board::Bmc bmc;
  bmc.Queue(0x3C, 0x05, board::BmcAnswer::TransportError(EFI_TIMEOUT));
  bmc.Queue(0x3C, 0x05, board::BmcAnswer::Complete(0, {2}));
  bmc.Queue(0x3C, 0x05, board::BmcAnswer::Silent());
  uint8_t request = 0x32, response[2] = {0xEE, 0xEE}, length = 2;

  EXPECT_EQ(bmc.Handle(0x3C, 0, 0x05, &request, 1, response, &length), EFI_TIMEOUT);
  EXPECT_EQ(response[0], 0xEE);
  EXPECT_EQ(bmc.Handle(0x3C, 0, 0x05, &request, 1, response, &length), EFI_SUCCESS);
  EXPECT_EQ(response[0], 0);
  EXPECT_EQ(response[1], 2);
  response[0] = 0xAB;
  length = 2;
  EXPECT_EQ(bmc.Handle(0x3C, 0, 0x05, &request, 1, response, &length), EFI_SUCCESS);
  EXPECT_EQ(response[0], 0xAB);  // silent: nothing written
  length = 2;
  EXPECT_EQ(bmc.Handle(0x3C, 0, 0x05, &request, 1, response, &length), EFI_SUCCESS);
  EXPECT_EQ(response[0], board::ipmi::kCcInvalidCommand);
  EXPECT_EQ(length, 1);
  EXPECT_EQ(bmc.Exchanges().size(), 4u);

  std::vector<uint8_t> record(16, 0x5A);
  uint8_t selResponse[3] = {}, selLength = 3;
  EXPECT_EQ(bmc.Handle(0x0A, 0, 0x44, record.data(), 16, selResponse, &selLength), EFI_SUCCESS);
  ASSERT_EQ(bmc.Sel().size(), 1u);
  EXPECT_EQ(bmc.Sel()[0].recordId, 1);
  EXPECT_EQ(selResponse[1], 1);
  EXPECT_EQ(bmc.Sel()[0].record[2], 0x5A);
}

TEST(FaultPlan, SkipsThenFailsForCount) {
  board::FaultPlan plan;
  plan.Add({board::Service::CreateHob, EFI_OUT_OF_RESOURCES, 1, 2});
  std::vector<bool> failed;
  for (int i = 0; i < 5; ++i) failed.push_back(plan.Check(board::Service::CreateHob).has_value());
  EXPECT_EQ(failed, (std::vector<bool>{false, true, true, false, false}));
  EXPECT_FALSE(plan.Check(board::Service::AllocatePool).has_value());
}

// An AP procedure that marks, in the slot of the processor running it, that it ran there.
void EFIAPI MarkProcessor(void* buffer) {
  auto* ran = static_cast<std::atomic<unsigned>*>(buffer);
  ++ran[board::CurrentProcessor().number];
}

// StartupAllAPs with the board's MP services PPI, run on the boot processor.
EFI_STATUS StartupAllAps(Board& board, EFI_AP_PROCEDURE procedure, bool singleThread, void* argument) {
  void* ppi = nullptr;
  EXPECT_EQ(board.Ppis().Locate(&gEfiPeiMpServicesPpiGuid, 0, nullptr, &ppi), EFI_SUCCESS);
  auto* mp = static_cast<EFI_PEI_MP_SERVICES_PPI*>(ppi);
  EFI_STATUS status = EFI_LOAD_ERROR;
  board.RunAs("Test", [&] {
    status = mp->StartupAllAPs(board.Services(), mp, procedure, singleThread ? TRUE : FALSE, 0, argument);
  });
  return status;
}

TEST(MpServices, StartupAllApsRunsEveryApOnItsOwnProcessorAtOnceOrOneByOne) {
  constexpr unsigned kAps = 9;
  for (bool singleThread : {false, true}) {
    board::BoardOptions options;
    options.applicationProcessors = kAps;
    Board board(options);
    board.InstallMpServices();
    std::atomic<unsigned> ran[kAps + 1] = {};

    EXPECT_EQ(StartupAllAps(board, MarkProcessor, singleThread, ran), EFI_SUCCESS);
    EXPECT_EQ(ran[0], 0u) << "the boot processor runs no AP procedure";
    for (unsigned i = 1; i <= kAps; ++i) EXPECT_EQ(ran[i], 1u) << "AP " << i;
    EXPECT_EQ(board.PeakConcurrentAps(), singleThread ? 1u : kAps);
  }
}

TEST(MpServices, StartupAllApsFailsAsPlannedAndWithoutAps) {
  std::atomic<unsigned> ran[3] = {};
  {
    Board lone;
    lone.InstallMpServices();
    EXPECT_EQ(StartupAllAps(lone, MarkProcessor, false, ran), EFI_NOT_STARTED);
  }
  board::BoardOptions options;
  options.applicationProcessors = 2;
  Board board(options);
  board.InstallMpServices();
  board.Faults().Add({board::Service::StartupAllAPs, EFI_DEVICE_ERROR, 0, 1});
  EXPECT_EQ(StartupAllAps(board, MarkProcessor, false, ran), EFI_DEVICE_ERROR);
  EXPECT_EQ(ran[1] + ran[2], 0u);
  EXPECT_EQ(StartupAllAps(board, MarkProcessor, false, ran), EFI_SUCCESS);
  EXPECT_EQ(ran[1] + ran[2], 2u);
}

TEST(PhysicalMemory, RegionsAreFixedBelowTwoGigabytesAndNeverTruncated) {
  board::PhysicalMemory memory;
  memory.Map({"low", 0x20000000, 0x1000});
  EXPECT_THROW(memory.Map({"overlap", 0x20000000, 0x1000}), board::BoardError);
  EXPECT_THROW(memory.Map({"too high", 0x90000000, 0x1000}), board::BoardError);
  EXPECT_THROW(memory.At(0x20001000), board::BoardError);
  int onTheHostStack = 0;
  if (reinterpret_cast<uintptr_t>(&onTheHostStack) > 0xFFFFFFFFu)
    EXPECT_THROW(board::ToPhysical32(&onTheHostStack), board::BoardError);
  EXPECT_EQ(board::ToPhysical32(memory.At(0x20000010)), 0x20000010u);
}

TEST(PcieConfigSpace, AbsentFunctionsReadAllOnesAndDropWrites) {
  Board board;
  const uint64_t pmc = board.Options().memory.pcieBase + (31u << 15) + (2u << 12);
  board.Mmio().Write(pmc + 0x40, 2, 0x0500);
  EXPECT_EQ(board.Mmio().Read(pmc + 0x40, 2), 0x0500u);
  const uint64_t absent = board.Options().memory.pcieBase + (3u << 15);
  board.Mmio().Write(absent, 4, 0);
  EXPECT_EQ(board.Mmio().Read(absent, 4), 0xFFFFFFFFu);
  EXPECT_EQ(board.Mmio().Log().size(), 4u);
}

TEST(PortSpace, AWordGoesToTwoPortsLowByteFirstAndAFifoReadsOnePortAgain) {
  Board board;
  board.Ports().Define(0x511, 0x5A);
  UINT8 fifo[3] = {};
  board.RunAs("IoLib", [&] {
    EXPECT_EQ(IoWrite16(0x510, 0x1234), 0x1234);
    IoReadFifo8(0x511, sizeof fifo, fifo);
  });
  const auto& log = board.Ports().Log();
  ASSERT_EQ(log.size(), 5u);
  EXPECT_TRUE(log[0].write && log[0].port == 0x510 && log[0].value == 0x34);
  EXPECT_TRUE(log[1].write && log[1].port == 0x511 && log[1].value == 0x12);
  for (size_t i = 2; i < 5; ++i) EXPECT_TRUE(!log[i].write && log[i].port == 0x511) << i;
  // The word's high byte landed in the defined port, so each read gives it back.
  for (UINT8 byte : fifo) EXPECT_EQ(byte, 0x12);
}

}  // namespace

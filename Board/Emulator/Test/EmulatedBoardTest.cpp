// The emulated processors on hand-assembled IA32 code in flash: each kind of
// fault report, dropped flash writes, the stack and instruction figures, and
// the IDT path to the PEI Services table, the ports and MM7.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <iostream>
#include <sstream>

#include "Board/Board.h"
#include "EmulatedBoard.h"
#include "GuestLayout.h"

namespace board::emulator {
namespace {

using Code = std::vector<uint8_t>;

Code operator+(Code a, const Code& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

Code GuidBytes(const EFI_GUID& guid) {
  Code bytes(sizeof guid);
  std::memcpy(bytes.data(), &guid, sizeof guid);
  return bytes;
}

Code Le32(uint32_t value) {
  return {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value >> 16),
          static_cast<uint8_t>(value >> 24)};
}

constexpr uint32_t kImage = kFlashBase;
constexpr uint32_t kData = kImage + 0x800;  // the probe's data, in its image
constexpr EFI_BOOT_MODE kS3Resume = 0x11;
constexpr uint64_t kRunInstructionLimit = 1'000'000;  // the board's default would take seconds to reach

// One image, "Probe", at the bottom of flash: code at its start, data at kData.
struct Probe {
  Code code;
  std::vector<std::pair<uint32_t, std::string>> symbols = {{0, "ProbeEntry"}};
  Code data;
};

FlashContents Flash(const Probe& probe) {
  FlashContents flash;
  flash.bytes.assign(kFlashSize, 0xFF);
  std::copy(probe.code.begin(), probe.code.end(), flash.bytes.begin());
  std::copy(probe.data.begin(), probe.data.end(), flash.bytes.begin() + (kData - kImage));
  FlashImage image{"Probe", kImage, 0x1000, kImage, {}};
  for (const auto& [rva, name] : probe.symbols) image.map.Add(rva, name);
  flash.images.push_back(std::move(image));
  return flash;
}

struct ProbeRun {
  std::unique_ptr<Board> board;
  std::unique_ptr<EmulatedBoard> emulator;
  DispatchRecord dispatch;
};

ProbeRun Boot(const Probe& probe, BoardOptions options = {}, bool mpServices = false) {
  ProbeRun run;
  run.board = std::make_unique<Board>(options);
  if (mpServices) run.board->InstallMpServices();
  run.emulator = std::make_unique<EmulatedBoard>(*run.board, Flash(probe), kRunInstructionLimit);
  run.dispatch = run.emulator->Dispatch("Probe");
  return run;
}

struct FaultCase {
  const char* name;
  Code code;
  const char* kind;
  const char* instruction;
  const char* access;
  const char* calledFrom;  // empty: none
};

TEST(EmulatedFaults, EachFaultEndsTheModuleWithAReportNamingWhereAndWhat) {
  const std::vector<FaultCase> cases = {
      {"unmapped read", Code{0x90, 0xA1} + Le32(0x20000000) + Code{0xC3},  // nop; mov eax, [0x20000000]
       "read of unmapped memory", "0xfff00001 (Probe!ProbeEntry+0x1)", "read 4 byte(s) at 0x20000000", ""},
      {"call through a null pointer", Code{0x31, 0xC0, 0xFF, 0xD0, 0xC3},  // xor eax, eax; call eax
       "execution of unmapped memory", "0x00000000", "fetch", "0xfff00004 (Probe!ProbeEntry+0x4)"},
      {"jump into RAM", Code{0xB8} + Le32(0x40000000) + Code{0xFF, 0xE0},  // mov eax, 0x40000000; jmp eax
       "execution outside an image", "0x40000000", "fetch", ""},
      {"divide by zero", Code{0x31, 0xC9, 0xF7, 0xF1, 0xC3},  // xor ecx, ecx; div ecx
       "processor exception 0 (#DE divide error)", "(Probe!ProbeEntry+0x2)", "", ""},
      {"invalid opcode", Code{0x90, 0x0F, 0x0B},  // nop; ud2
       "#UD invalid opcode", "", "", ""},
      {"a loop that never calls the board", Code{0x90, 0xEB, 0xFE},  // nop; jmp $
       "ran 1000000 instructions without returning or calling the board", "0xfff00001 (Probe!ProbeEntry+0x1)", "",
       ""},
      {"write to the services table", Code{0xC7, 0x05} + Le32(kServicesTable) + Le32(0) + Code{0xC3},
       "write to read-only memory", "0xfff00000 (Probe!ProbeEntry)", "write 4 byte(s) at 0xfef00100", ""},
  };
  for (const FaultCase& c : cases) {
    SCOPED_TRACE(c.name);
    ProbeRun run = Boot({c.code});
    const auto& faults = run.emulator->Record().faults;
    ASSERT_EQ(faults.size(), 1u);
    const FaultRecord& fault = faults.front();
    EXPECT_EQ(fault.module, "Probe");
    EXPECT_EQ(fault.processor, 0u);
    EXPECT_TRUE(fault.inEntry);
    EXPECT_NE(fault.kind.find(c.kind), std::string::npos) << fault.kind;
    EXPECT_NE(fault.instruction.where.find(c.instruction), std::string::npos) << fault.instruction.where;
    EXPECT_NE(fault.access.find(c.access), std::string::npos) << fault.access;
    if (*c.calledFrom != '\0') {
      ASSERT_TRUE(fault.calledFrom.has_value());
      EXPECT_EQ(fault.calledFrom->where, c.calledFrom);
    } else {
      EXPECT_FALSE(fault.calledFrom.has_value());
    }
    EXPECT_EQ(run.dispatch.status, EFI_ABORTED);
    EXPECT_FALSE(run.board->Halted());
  }
}

TEST(EmulatedFlash, AWriteIsDroppedReportedAndNeverReadBack) {
  Probe probe;
  probe.code = Code{0xC6, 0x05} + Le32(kData) + Code{0x2A}  // mov byte [cache], 0x2A
               + Code{0x0F, 0xB6, 0x05} + Le32(kData)      // movzx eax, byte [cache]
               + Code{0xC3};
  probe.symbols.push_back({kData - kImage, "mCache"});
  probe.data = {0x07};
  ProbeRun run = Boot(probe);

  EXPECT_EQ(run.dispatch.status, EFI_STATUS{7}) << "the read after the write sees the flash byte";
  const auto& writes = run.emulator->Record().flashWrites;
  ASSERT_EQ(writes.size(), 1u);
  EXPECT_EQ(writes[0].module, "Probe");
  EXPECT_EQ(writes[0].address, kData);
  EXPECT_EQ(writes[0].bytes, std::vector<uint8_t>{0x2A});
  EXPECT_EQ(writes[0].target, "Probe!mCache");
  EXPECT_EQ(writes[0].instruction.where, "0xfff00000 (Probe!ProbeEntry)");
  EXPECT_TRUE(run.emulator->Record().faults.empty());
}

TEST(EmulatedFigures, DeepestStackAndInstructionsOfARun) {
  Probe probe;
  probe.code = Code{0x81, 0xEC} + Le32(0x400)                    // sub esp, 0x400
               + Code{0xC7, 0x04, 0x24} + Le32(1)                // mov dword [esp], 1
               + Code{0x81, 0xC4} + Le32(0x400)                  // add esp, 0x400
               + Code{0x31, 0xC0, 0xC3};                         // xor eax, eax; ret
  ProbeRun run = Boot(probe);
  const ModuleRunStats& stats = run.emulator->Record().modules.at("Probe");
  EXPECT_EQ(stats.deepestStack, 0x400u);
  EXPECT_EQ(stats.instructions, 5u);
  EXPECT_EQ(stats.runs, 1u);
  EXPECT_EQ(run.dispatch.status, EFI_SUCCESS);
}

TEST(EmulatedServices, TheIdtLeadsToTheTableAndATrapReachesTheBoard) {
  Probe probe;
  probe.code = Code{0x83, 0xEC, 0x10}          // sub esp, 16
               + Code{0x0F, 0x01, 0x0C, 0x24}  // sidt [esp]
               + Code{0x8B, 0x44, 0x24, 0x02}  // mov eax, [esp+2]     IDT base
               + Code{0x8B, 0x40, 0xFC}        // mov eax, [eax-4]     EFI_PEI_SERVICES**
               + Code{0x8B, 0x08}              // mov ecx, [eax]       the table
               + Code{0x8D, 0x54, 0x24, 0x08}  // lea edx, [esp+8]
               + Code{0x52, 0x50}              // push edx; push eax
               + Code{0xFF, 0x51, 0x28}        // call [ecx+40]        GetBootMode
               + Code{0x83, 0xC4, 0x08}        // add esp, 8
               + Code{0x8B, 0x44, 0x24, 0x08}  // mov eax, [esp+8]     the mode
               + Code{0x83, 0xC4, 0x10, 0xC3}; // add esp, 16; ret
  BoardOptions options;
  options.bootMode = kS3Resume;
  ProbeRun run = Boot(probe, options);
  EXPECT_TRUE(run.emulator->Record().faults.empty());
  EXPECT_EQ(run.dispatch.status, EFI_STATUS{kS3Resume});
  EXPECT_EQ(run.emulator->Record().traps, 1u);
}

// Prints what one call from guest code into the board costs, round trip
// (run: BoardEmulatorTest --gtest_filter=EmulatedServices.TrapCost); fails
// only on a cost far beyond it, which would make boots slow.
TEST(EmulatedServices, TrapCost) {
  constexpr uint32_t kCalls = 20000;
  Probe probe;
  probe.code = Code{0x83, 0xEC, 0x10, 0x0F, 0x01, 0x0C, 0x24}  // sub esp, 16; sidt [esp]
               + Code{0x8B, 0x44, 0x24, 0x02, 0x8B, 0x40, 0xFC} // eax = EFI_PEI_SERVICES**
               + Code{0x89, 0xC7, 0xBE} + Le32(kCalls)          // mov edi, eax; mov esi, kCalls
               + Code{0x8B, 0x0F, 0x8D, 0x54, 0x24, 0x08}       // loop: mov ecx, [edi]; lea edx, [esp+8]
               + Code{0x52, 0x57, 0xFF, 0x51, 0x28}             // push edx; push edi; call [ecx+40]
               + Code{0x83, 0xC4, 0x08, 0x4E, 0x75, 0xEF}       // add esp, 8; dec esi; jnz loop
               + Code{0x31, 0xC0, 0x83, 0xC4, 0x10, 0xC3};      // xor eax, eax; add esp, 16; ret
  const auto start = std::chrono::steady_clock::now();
  ProbeRun run = Boot(probe);
  const std::chrono::duration<double, std::micro> took = std::chrono::steady_clock::now() - start;
  ASSERT_EQ(run.emulator->Record().traps, kCalls);
  const double perCall = took.count() / kCalls;
  std::cout << "one call into the board: " << perCall << " us, round trip (" << kCalls << " calls, boot included)\n";
  EXPECT_LT(perCall, 100.0);
}

// The entry's preamble: EDI = the EFI_PEI_SERVICES** below the IDT base, ECX = the table.
const Code kFindServices = Code{0x83, 0xEC, 0x10, 0x0F, 0x01, 0x0C, 0x24}  // sub esp, 16; sidt [esp]
                           + Code{0x8B, 0x44, 0x24, 0x02}                 // mov eax, [esp+2]
                           + Code{0x8B, 0x78, 0xFC, 0x8B, 0x0F};          // mov edi, [eax-4]; mov ecx, [edi]

TEST(EmulatedServices, AFaultInACallbackEndsTheCallbackAndTheEntryGoesOn) {
  Probe probe;
  probe.code = kFindServices
               + Code{0x68} + Le32(kData) + Code{0x57}  // push descriptor; push services
               + Code{0xFF, 0x51, 0x24}                 // call [ecx+36]   NotifyPpi
               + Code{0x83, 0xC4, 0x08}                 // add esp, 8
               + Code{0xB8} + Le32(5)                   // mov eax, 5
               + Code{0x83, 0xC4, 0x10, 0xC3};          // add esp, 16; ret
  probe.code.resize(0x100, 0x90);
  probe.code = probe.code + Code{0xA1} + Le32(0x20000000) + Code{0xC3};  // the callback: an unmapped read
  probe.symbols.push_back({0x100, "ProbeCallback"});
  // A callback on the debug service, which the board installed already: it runs at once.
  probe.data = Le32(EFI_PEI_PPI_DESCRIPTOR_NOTIFY_CALLBACK | EFI_PEI_PPI_DESCRIPTOR_TERMINATE_LIST) +
               Le32(kData + 12) + Le32(kImage + 0x100) + GuidBytes(gDebugServicePpiGuid);
  ProbeRun run = Boot(probe);

  const auto& faults = run.emulator->Record().faults;
  ASSERT_EQ(faults.size(), 1u);
  EXPECT_FALSE(faults[0].inEntry);
  EXPECT_EQ(faults[0].instruction.where, "0xfff00100 (Probe!ProbeCallback)");
  EXPECT_EQ(run.dispatch.status, EFI_STATUS{5}) << "the entry ran on after the callback's fault";
  ASSERT_EQ(run.board->NotificationRuns().size(), 1u);
  EXPECT_EQ(run.board->NotificationRuns()[0].module, "Probe");
  EXPECT_EQ(run.board->NotificationRuns()[0].status, EFI_ABORTED);
}

TEST(EmulatedServices, StartupAllApsRunsTheProcedureOnEveryApEngine) {
  Probe probe;
  probe.code = kFindServices
               + Code{0x8D, 0x54, 0x24, 0x08, 0x52}                 // lea edx, [esp+8]; push edx
               + Code{0x6A, 0x00, 0x6A, 0x00, 0x68} + Le32(kData)  // push 0; push 0; push guid
               + Code{0x57, 0xFF, 0x51, 0x20, 0x83, 0xC4, 0x14}    // push edi; call [ecx+32] LocatePpi; add esp, 20
               + Code{0x8B, 0x44, 0x24, 0x08}                      // mov eax, [esp+8]   the MP PPI
               + Code{0x68} + Le32(kData + 16)                     // push argument
               + Code{0x6A, 0x00, 0x6A, 0x00, 0x68} + Le32(kImage + 0x100)  // timeout, single thread, procedure
               + Code{0x50, 0x57, 0xFF, 0x50, 0x08}                // push this; push services; call [eax+8]
               + Code{0x83, 0xC4, 0x18, 0x83, 0xC4, 0x10, 0xC3};   // add esp, 24; add esp, 16; ret
  probe.code.resize(0x100, 0x90);
  probe.code = probe.code + Code{0x8B, 0x44, 0x24, 0x04, 0x0F, 0x6F, 0x38, 0xC3};  // mov eax, [esp+4]; movq mm7, [eax]
  probe.data = GuidBytes(gEfiPeiMpServicesPpiGuid) + Le32(0x40000050) + Le32(0);
  BoardOptions options;
  options.applicationProcessors = 3;
  ProbeRun run = Boot(probe, options, true);

  EXPECT_TRUE(run.emulator->Record().faults.empty());
  EXPECT_EQ(run.dispatch.status, EFI_SUCCESS);
  const auto& cpus = run.board->Processors();
  EXPECT_EQ(cpus[0].mm7, 0u) << "the procedure runs on the APs only";
  for (size_t i = 1; i < cpus.size(); ++i) EXPECT_EQ(cpus[i].mm7, 0x40000050u) << "CPU " << i;
  EXPECT_EQ(run.emulator->Record().modules.at("Probe").runs, 4u) << "the entry and one run per AP";
}

TEST(EmulatedHardware, PortsGoToTheBoardAndMm7IsTheProcessorsRegister) {
  Probe probe;
  probe.code = Code{0x66, 0xBA, 0xFF, 0x03}            // mov dx, 0x3FF
               + Code{0xEC, 0x04, 0x01, 0xEE}          // in al, dx; add al, 1; out dx, al
               + Code{0x0F, 0x6F, 0x3D} + Le32(kData)  // movq mm7, [kData]
               + Code{0x31, 0xC0, 0xC3};
  probe.data = Le32(0x40000050) + Le32(0x12345678);
  BoardOptions options;
  options.scratchRegister = 0x02;
  options.applicationProcessors = 1;
  ProbeRun run = Boot(probe, options);
  EXPECT_TRUE(run.emulator->Record().faults.empty());
  const auto writes = run.board->Ports().Writes(0x3FF);
  ASSERT_EQ(writes.size(), 1u);
  EXPECT_EQ(writes[0].value, 0x03);
  EXPECT_EQ(run.board->Processors()[0].mm7, 0x1234567840000050u);
  EXPECT_EQ(run.board->Processors()[1].mm7, 0u) << "an AP has its own MM7";
}

TEST(EmulatedHalt, ReachingCpuDeadLoopHaltsTheBoard) {
  Probe probe;
  probe.code = Code{0xE8} + Le32(0x10 - 5) + Code{0xC3};  // call CpuDeadLoop
  probe.code.resize(0x10, 0x90);
  probe.code = probe.code + Code{0xF3, 0x90, 0xEB, 0xFC};  // pause; jmp back
  probe.symbols.push_back({0x10, "CpuDeadLoop"});
  ProbeRun run = Boot(probe);
  ASSERT_TRUE(run.board->Halted());
  EXPECT_EQ(run.board->Halt()->module, "Probe");
  EXPECT_TRUE(run.dispatch.halted);
}

TEST(LinkMap, NearestSymbolAndSharedAddresses) {
  std::istringstream map(
      "  Address         Publics by Value              Rva+Base               Lib:Object\n\n"
      " 0001:00000000       _DetectFirstBoot           0000000000000200     BootMarker.cpp.obj\n"
      " 0001:000000f0       __ModuleEntryPoint         00000000000002f0     ModuleEntry.cpp.obj\n"
      " 0001:000002cd       _DebugPrintEnabled         00000000000004cd     a.obj\n"
      " 0001:000002cd       _DebugAssertEnabled        00000000000004cd     a.obj\n"
      " 0001:00000420       ?gPcdPpiGuid@@3UGUID@@B    0000000000000620     b.obj\n");
  LinkMap parsed = LinkMap::Parse(map);
  EXPECT_EQ(parsed.Find("_ModuleEntryPoint"), 0x2F0u);
  EXPECT_EQ(parsed.Find("DetectFirstBoot"), 0x200u);
  EXPECT_EQ(parsed.Nearest(0x1FF), "");
  EXPECT_EQ(parsed.Nearest(0x200), "DetectFirstBoot");
  EXPECT_EQ(parsed.Nearest(0x2F4), "_ModuleEntryPoint+0x4");
  EXPECT_EQ(parsed.Nearest(0x4D0), "DebugPrintEnabled+0x3");
  EXPECT_TRUE(parsed.Shared(0x4CD));
  EXPECT_FALSE(parsed.Shared(0x200));
  EXPECT_EQ(parsed.Nearest(0x621), "?gPcdPpiGuid@@3UGUID@@B+0x1");
}

}  // namespace
}  // namespace board::emulator

// board-boot: boots the simulated board with the module images, as a board
// file describes the boot (or the built-in default board), and prints the
// console log as the serial line shows it, then the boot report.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <optional>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <string>

#include "Board/BoardError.h"
#include "BoardFile.h"
#include "BootReport.h"
#include "Board/Emulator/FlashVolumeImages.h"
#include "BootRunner.h"
#include "EmulationReport.h"
#include "HoldBmc.h"
#include "QemuBoot.h"
#include "QemuBmcSetup.h"
#include "QemuReport.h"
#include "RealBmc.h"
#include "SelFile.h"
#include "WarningLogLayout.h"

namespace {

constexpr int kExitHalted = 2;
constexpr int kExitBoardFile = 1;
constexpr int kExitUsage = 64;
constexpr int kExitTimeLimit = 3;

void Usage(std::ostream& out) {
  out << "usage: board-boot [--all-levels] [--json] [--sel-file FILE] [--hold-bmc] [--images VOLUME [--maps DIR]]\n"
         "                  [BOARD_FILE]\n"
         "  Boots the simulated board (the built-in default board without BOARD_FILE),\n"
         "  prints the console log and the boot report.\n"
         "  --all-levels     also show the messages the level masks dropped, marked [dropped]\n"
         "  --json           write the report (console included) as one JSON document\n"
         "  --sel-file FILE  write the SEL records the modules added as a raw SEL file\n"
         "                   (16-byte records, as `ipmitool sel readraw FILE` reads them)\n"
         "  --hold-bmc       keep the ipmi_sim that board-boot started running after the\n"
         "                   boot, until standard input ends, for ipmitool\n"
         "  --images VOLUME  run the IA32 images of a firmware volume in place, on emulated\n"
         "                   processors; fault reports name functions from NAME.map files\n"
         "                   found under --maps DIR (default: the folder above the volume's)\n"
         "Exit status: 0 the boot ran to its end, 2 a processor halted, 1 a board-file error\n"
         "(or a BMC simulator that would not start).\n"
         "\n"
         "usage: board-boot --qemu CODE_IMAGE --vars VARIABLE_STORE [--processors N] [--time-limit SECONDS]\n"
         "                  [--shell-script STARTUP.NSH] [--json] [--hold-bmc] [BOARD_FILE]\n"
         "  Boots a 32-bit OVMF code image under qemu-system-i386 (q35 with SMM, a BMC behind\n"
         "  KCS) until the UEFI shell prompt or the time limit (default 60), stops QEMU and\n"
         "  prints what reached the debug console (port 0x402), then the report. The BMC is\n"
         "  the board file's (its bmc section, reached through board-boot's relay; none when\n"
         "  its absent-ppis name ipmi-transport), or QEMU's own without a board file. The\n"
         "  board file's warning log, laid out in the host structure as on the simulated\n"
         "  board, goes to the firmware as the fw_cfg file opt/oem/host-structure. The\n"
         "  variable store is used as it is, or created empty. --shell-script: the UEFI shell\n"
         "  runs it from a virtual FAT drive (a 'reset' in it ends the boot). --processors:\n"
         "  default the board file's application processors and the BSP, else 2. --hold-bmc keeps\n"
         "  the ipmi_sim board-boot started. Exit status 3: the time limit passed.\n";
}

int BootQemu(boardboot::QemuOptions options, const std::optional<boardboot::BoardDescription>& description,
             bool json, bool holdBmc) {
  try {
    boardboot::QemuBmcSetup bmc(description ? &*description : nullptr, options);
    if (holdBmc && bmc.Simulator() == nullptr) {
      std::cerr << "board-boot: --hold-bmc needs a board whose BMC is an ipmi-sim that board-boot starts (no port)\n";
      return kExitUsage;
    }
    const boardboot::QemuRun run = boardboot::BootInQemu(options);  // QEMU is gone when it returns
    const boardboot::QemuBmcSide side = bmc.AfterTheBoot();
    if (!side.problems.empty())
      std::cerr << "board-boot: the BMC relay had " << side.problems.size()
                << " problem(s); the first: " << side.problems.front() << "\n";
    const auto report = boardboot::BuildQemuReport(options, run, side);
    if (json) {
      std::cout << report.dump(2) << "\n";
    } else {
      std::cout << "== Console (OVMF under QEMU: " << options.codeImage.string() << ") ==\n" << run.debugConsole;
      if (!run.debugConsole.empty() && run.debugConsole.back() != '\n') std::cout << "\n";
      boardboot::PrintQemuReport(std::cout, report);
    }
    if (holdBmc) {
      std::cout.flush();
      boardboot::HoldBmc(*bmc.Simulator(), std::cerr);
    }
    return run.timedOut ? kExitTimeLimit : 0;
  } catch (const board::BoardError& error) {
    std::cerr << "board-boot: " << error.what() << "\n";
    return kExitBoardFile;
  }
}

// A BMC that could not be reached is said on stderr too, not only in the report.
void WarnAboutTransportFailures(std::ostream& err, const board::IpmiBackend& ipmi) {
  size_t failed = 0;
  const board::IpmiExchange* last = nullptr;
  for (const auto& exchange : ipmi.Exchanges())
    if (!exchange.transportNote.empty()) {
      ++failed;
      last = &exchange;
    }
  if (last != nullptr)
    err << "board-boot: " << failed << " of " << ipmi.Exchanges().size()
        << " IPMI tries failed at the transport; the last: " << last->transportNote << "\n";
}

}  // namespace

int main(int argc, char** argv) {
  boardboot::ReportOptions options;
  bool json = false;
  bool holdBmc = false;
  std::string path;
  std::string images;
  std::string maps;
  std::string selFile;
  boardboot::QemuOptions qemu;
  std::optional<unsigned> processors;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--qemu" && i + 1 < argc) qemu.codeImage = argv[++i];
    else if (arg == "--vars" && i + 1 < argc) qemu.variableStore = argv[++i];
    else if (arg == "--shell-script" && i + 1 < argc) qemu.shellScript = argv[++i];
    else if (arg == "--processors" && i + 1 < argc) processors = static_cast<unsigned>(std::atoi(argv[++i]));
    else if (arg == "--time-limit" && i + 1 < argc) qemu.timeLimit = std::chrono::seconds(std::atoi(argv[++i]));
    else if (arg == "--all-levels") options.allLevels = true;
    else if (arg == "--json") json = true;
    else if (arg == "--images" && i + 1 < argc) images = argv[++i];
    else if (arg == "--maps" && i + 1 < argc) maps = argv[++i];
    else if (arg == "--hold-bmc") holdBmc = true;
    else if (arg == "--sel-file" && i + 1 < argc) selFile = argv[++i];
    else if (arg == "--help" || arg == "-h") { Usage(std::cout); return 0; }
    else if (!arg.starts_with("-") && path.empty()) path = arg;
    else { Usage(std::cerr); return kExitUsage; }
  }

  if (!qemu.codeImage.empty()) {
    if (qemu.variableStore.empty() || processors == 0u || qemu.timeLimit.count() < 1 || !images.empty()) {
      Usage(std::cerr);
      return kExitUsage;
    }
    std::optional<boardboot::BoardDescription> description;
    if (!path.empty()) {
      try {
        description = boardboot::LoadBoardFile(path);
        qemu.hostStructure = boardboot::HostStructureBytes(description->warningLog);
        // The board's processors: its application processors and the BSP.
        qemu.processors = description->options.applicationProcessors + 1;
      } catch (const boardboot::BoardFileError& error) {
        std::cerr << "board-boot: " << error.what() << "\n";
        return kExitBoardFile;
      } catch (const board::BoardError& error) {
        std::cerr << "board-boot: " << path << ": " << error.what() << "\n";
        return kExitBoardFile;
      }
    }
    if (processors) qemu.processors = *processors;
    return BootQemu(qemu, description, json, holdBmc);
  }

  boardboot::BoardDescription description;
  try {
    description = path.empty() ? boardboot::DefaultBoard() : boardboot::LoadBoardFile(path);
  } catch (const boardboot::BoardFileError& error) {
    std::cerr << "board-boot: " << error.what() << "\n";
    return kExitBoardFile;
  }

  if (holdBmc && !(description.ipmiSim && !description.ipmiSim->port)) {
    std::cerr << "board-boot: --hold-bmc needs a board whose BMC is an ipmi-sim that board-boot starts (no port)\n";
    return kExitUsage;
  }

  try {
    // Declared before the board: the simulator outlives every use of the link.
    std::unique_ptr<boardboot::RealBmc> realBmc;
    if (description.ipmiSim) realBmc = boardboot::RealBmc::Open(*description.ipmiSim, description.selCapacity, description.bmc);
    std::unique_ptr<board::IpmiBackend> ipmi = realBmc ? realBmc->TakeBackend() : nullptr;
    boardboot::EmulatedBoot emulated;
    std::unique_ptr<board::Board> hosted;
    if (images.empty()) {
      hosted = boardboot::RunBoot(description, std::move(ipmi));
    } else {
      const std::filesystem::path volume = std::filesystem::absolute(images);
      const std::filesystem::path mapsUnder = maps.empty() ? volume.parent_path().parent_path() : std::filesystem::path(maps);
      emulated = boardboot::RunEmulatedBoot(description, board::emulator::LoadFlashVolume(volume, mapsUnder),
                                            std::move(ipmi));
    }
    board::Board* board = hosted ? hosted.get() : emulated.board.get();
    auto report = boardboot::BuildReport(*board, description.source);
    if (emulated.emulator) boardboot::AddEmulation(report, *emulated.emulator);
    if (json) {
      std::cout << report.dump(2) << "\n";
    } else {
      std::cout << "== Console (" << description.source << ") ==\n";
      boardboot::PrintConsole(std::cout, *board, options);
      boardboot::PrintReport(std::cout, report);
      boardboot::PrintEmulation(std::cout, report);
    }
    if (!selFile.empty()) {
      auto sel = board->Ipmi().AddedSel();
      boardboot::WriteRawSel(selFile, sel.entries);
      if (!sel.error.empty()) std::cerr << "board-boot: " << selFile << " lacks records: " << sel.error << "\n";
    }
    WarnAboutTransportFailures(std::cerr, board->Ipmi());
    if (holdBmc) {
      std::cout.flush();
      boardboot::HoldBmc(*realBmc->Process(), std::cerr);
    }
    if (board->Halted()) {
      std::cerr << "board-boot: the boot stopped: " << board->Halt()->module << " halted CPU "
                << board->Halt()->processor << " in a dead loop\n";
      return kExitHalted;
    }
    return 0;
  } catch (const board::BoardError& error) {
    std::cerr << "board-boot: " << description.source << ": " << error.what() << "\n";
    return kExitBoardFile;
  }
}

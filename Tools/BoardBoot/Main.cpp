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
#include "QemuReport.h"
#include "Board/SelReadback.h"
#include "Board/VmBmcRelay.h"
#include "RealBmc.h"
#include "ReportText.h"
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
         "  runs it from a virtual FAT drive (a 'reset' in it ends the boot). --hold-bmc keeps\n"
         "  the ipmi_sim board-boot started. Exit status 3: the time limit passed.\n";
}

// The BMC the board file gives QEMU: none when it has no IPMI transport;
// else board-boot's relay, with the file's scripted answers in front of
// ipmi_sim (or of the board's own BMC). Without a board file, QEMU's own.
struct QemuBmcSetup {
  std::unique_ptr<board::IpmiSimProcess> simulator;  // declared first: outlives the relay
  std::optional<board::Endpoint> simulatorAt;
  std::unique_ptr<board::VmBmcRelay> relay;
  std::string description = "QEMU's ipmi-bmc-sim (its SEL is not read back)";
};

// QEMU's KCS interface stays busy for good after a request the BMC leaves
// unanswered: every later request times out without reaching the BMC. So a
// board that wants transport errors cannot be booted there.
void RefuseUnanswerable(const boardboot::BoardDescription& description) {
  if (description.bmcDown)
    throw board::BoardError("bmc.down cannot be booted under QEMU: its KCS interface never recovers from an "
                            "unanswered request");
  for (const auto& script : description.bmc)
    for (const auto& answer : script.answers)
      if (EFI_ERROR(answer.transportStatus) || answer.writeNothing)
        throw board::BoardError("the answers to netfn " + boardboot::Hex(script.netFn, 2) + " command " +
                                boardboot::Hex(script.command, 2) +
                                " include a transport error or a silent answer, which cannot be booted under QEMU: "
                                "only a BMC that answers can reach it over KCS, and its KCS interface never "
                                "recovers from an unanswered request");
}

QemuBmcSetup SetUpQemuBmc(const boardboot::BoardDescription* description, boardboot::QemuOptions& options) {
  QemuBmcSetup setup;
  if (description == nullptr) return setup;
  if (description->options.absent.contains(board::PlatformPpi::IpmiTransport)) {
    options.bmc = boardboot::QemuBmc::None;
    setup.description = "none: no IPMI device (the board has no IPMI transport)";
    return setup;
  }
  RefuseUnanswerable(*description);
  board::Bmc script = boardboot::ScriptedAnswers(description->bmc);
  if (description->ipmiSim) {
    if (description->ipmiSim->port) {
      setup.simulatorAt = board::Endpoint{description->ipmiSim->host, *description->ipmiSim->port};
      setup.description = "ipmi_sim at " + setup.simulatorAt->ToString() + ", not started by board-boot";
    } else {
      board::IpmiSimConfig config;
      if (description->selCapacity) config.selCapacity = *description->selCapacity;
      setup.simulator = board::IpmiSimProcess::Start(config);
      setup.simulatorAt = setup.simulator->Serial();
      setup.description = "ipmi_sim started by board-boot (pid " + std::to_string(setup.simulator->Pid()) +
                          "), LAN channel at " + setup.simulator->Lan().ToString();
    }
  } else {
    script.SetDown(description->bmcDown);
    if (description->selCapacity) script.SetSelCapacity(*description->selCapacity);
    setup.description = "the board's own BMC";
  }
  if (!description->bmc.empty()) setup.description += ", the board file's scripted answers in front";
  setup.relay = std::make_unique<board::VmBmcRelay>(std::move(script), setup.simulatorAt);
  setup.description += "; QEMU's ipmi-bmc-extern reaches it through board-boot's relay at " +
                       setup.relay->Listening().ToString();
  options.bmc = boardboot::QemuBmc::External;
  options.externalBmc = setup.relay->Listening();
  return setup;
}

int BootQemu(boardboot::QemuOptions options, const std::optional<boardboot::BoardDescription>& description,
             bool json, bool holdBmc) {
  try {
    QemuBmcSetup bmc = SetUpQemuBmc(description ? &*description : nullptr, options);
    if (holdBmc && !bmc.simulator) {
      std::cerr << "board-boot: --hold-bmc needs a board whose BMC is an ipmi-sim that board-boot starts (no port)\n";
      return kExitUsage;
    }
    const boardboot::QemuRun run = boardboot::BootInQemu(options);  // QEMU is gone when it returns
    boardboot::QemuBmcSide side;
    side.description = bmc.description;
    if (bmc.relay) {
      bmc.relay->Stop();  // closes its connection to the simulator, so the SEL can be read on another
      side.relayed = true;
      side.requests = bmc.relay->Requests();
      side.controls = bmc.relay->Controls();
      side.problems = bmc.relay->Problems();
      if (!side.problems.empty())
        std::cerr << "board-boot: the BMC relay had " << side.problems.size()
                  << " problem(s); the first: " << side.problems.front() << "\n";
      if (bmc.simulatorAt) {
        board::IpmiSimLink link(*bmc.simulatorAt, std::chrono::milliseconds(2000));
        side.sel = board::ReadWholeSel(link);
      } else {
        side.sel = board::SelReadout{bmc.relay->Script().Sel(), {}};
      }
    }
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
      boardboot::HoldBmc(*bmc.simulator, std::cerr);
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
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--qemu" && i + 1 < argc) qemu.codeImage = argv[++i];
    else if (arg == "--vars" && i + 1 < argc) qemu.variableStore = argv[++i];
    else if (arg == "--shell-script" && i + 1 < argc) qemu.shellScript = argv[++i];
    else if (arg == "--processors" && i + 1 < argc) qemu.processors = static_cast<unsigned>(std::atoi(argv[++i]));
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
    if (qemu.variableStore.empty() || qemu.processors < 1 || qemu.timeLimit.count() < 1 || !images.empty()) {
      Usage(std::cerr);
      return kExitUsage;
    }
    std::optional<boardboot::BoardDescription> description;
    if (!path.empty()) {
      try {
        description = boardboot::LoadBoardFile(path);
        qemu.hostStructure = boardboot::HostStructureBytes(description->warningLog);
      } catch (const boardboot::BoardFileError& error) {
        std::cerr << "board-boot: " << error.what() << "\n";
        return kExitBoardFile;
      } catch (const board::BoardError& error) {
        std::cerr << "board-boot: " << path << ": " << error.what() << "\n";
        return kExitBoardFile;
      }
    }
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

// board-boot: boots the simulated board with the module images, as a board
// file describes the boot (or the built-in default board), and prints the
// console log as the serial line shows it, then the boot report.
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

namespace {

constexpr int kExitHalted = 2;
constexpr int kExitBoardFile = 1;
constexpr int kExitUsage = 64;

void Usage(std::ostream& out) {
  out << "usage: board-boot [--all-levels] [--json] [--images VOLUME [--maps DIR]] [BOARD_FILE]\n"
         "  Boots the simulated board (the built-in default board without BOARD_FILE),\n"
         "  prints the console log and the boot report.\n"
         "  --all-levels  also show the messages the level masks dropped, marked [dropped]\n"
         "  --json        write the report (console included) as one JSON document\n"
         "  --images VOLUME  run the IA32 images of a firmware volume in place, on emulated\n"
         "                processors; fault reports name functions from NAME.map files found\n"
         "                under --maps DIR (default: the folder above the volume's folder)\n"
         "Exit status: 0 the boot ran to its end, 2 a processor halted, 1 a board-file error.\n";
}

}  // namespace

int main(int argc, char** argv) {
  boardboot::ReportOptions options;
  bool json = false;
  std::string path;
  std::string images;
  std::string maps;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--all-levels") options.allLevels = true;
    else if (arg == "--json") json = true;
    else if (arg == "--images" && i + 1 < argc) images = argv[++i];
    else if (arg == "--maps" && i + 1 < argc) maps = argv[++i];
    else if (arg == "--help" || arg == "-h") { Usage(std::cout); return 0; }
    else if (!arg.starts_with("-") && path.empty()) path = arg;
    else { Usage(std::cerr); return kExitUsage; }
  }

  boardboot::BoardDescription description;
  try {
    description = path.empty() ? boardboot::DefaultBoard() : boardboot::LoadBoardFile(path);
  } catch (const boardboot::BoardFileError& error) {
    std::cerr << "board-boot: " << error.what() << "\n";
    return kExitBoardFile;
  }

  try {
    boardboot::EmulatedBoot emulated;
    std::unique_ptr<board::Board> hosted;
    if (images.empty()) {
      hosted = boardboot::RunBoot(description);
    } else {
      const std::filesystem::path volume = std::filesystem::absolute(images);
      emulated = boardboot::RunEmulatedBoot(
          description, board::emulator::LoadFlashVolume(volume, maps.empty() ? volume.parent_path().parent_path() : std::filesystem::path(maps)));
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

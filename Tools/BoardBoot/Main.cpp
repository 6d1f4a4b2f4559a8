// board-boot: boots the simulated board with the module images and prints
// the console log as the serial line shows it, then the boot report.
#include <iostream>

#include "Board/BoardError.h"
#include "BootReport.h"
#include "DefaultBoard.h"

namespace {

int Boot(const boardboot::BootPlan& plan) {
  board::Board board(plan.options);
  plan.prepare(board);
  for (const auto& step : plan.steps) {
    switch (step.kind) {
      case boardboot::BootStep::Kind::Dispatch: {
        const board::ModuleImage* image = board::FindHostedImage(step.module);
        if (image == nullptr) throw board::BoardError("no module image named " + step.module);
        board.Dispatch(*image);
        break;
      }
      case boardboot::BootStep::Kind::PermanentMemory: board.InstallPermanentMemory(); break;
      case boardboot::BootStep::Kind::MpServices: board.InstallMpServices(); break;
      case boardboot::BootStep::Kind::PlatformPpi: board.InstallPlatformPpi(step.ppi); break;
    }
  }
  std::cout << "== Console ==\n";
  boardboot::PrintConsoleLog(std::cout, board);
  boardboot::PrintReport(std::cout, board);
  return board.Halted() ? 2 : 0;
}

}  // namespace

int main(int argc, char** argv) {
  (void)argv;
  if (argc > 1) {
    std::cerr << "usage: board-boot   (boots the built-in default board)\n";
    return 64;
  }
  try {
    return Boot(boardboot::DefaultBoard());
  } catch (const board::BoardError& error) {
    std::cerr << "board-boot: " << error.what() << "\n";
    return 1;
  }
}

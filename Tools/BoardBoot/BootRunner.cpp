#include "BootRunner.h"

#include "Board/BoardError.h"

namespace boardboot {

namespace {
void Prepare(board::Board& board, const BoardDescription& description) {
  for (const auto& pcd : description.pcd) board.Pcd().Define(pcd.token, pcd.type, pcd.value);
  for (const auto& variable : description.variables) {
    board.Variables().Set(variable.name, variable.guid, variable.bytes);
    if (variable.readError) board.Variables().FailReads(variable.name, variable.guid, *variable.readError);
  }
  for (const auto& byte : description.pcie) {
    board.Pcie().AddFunction(byte.at.bus, byte.at.device, byte.at.function);
    board.Pcie().Poke8(byte.at, byte.value);
  }
  board.BmcDevice().SetDown(description.bmcDown);
  if (description.selCapacity) board.BmcDevice().SetSelCapacity(*description.selCapacity);
  for (const auto& script : description.bmc)
    for (const auto& answer : script.answers) board.BmcDevice().Queue(script.netFn, script.command, answer);
  for (const auto& fault : description.faults) board.Faults().Add(fault);
}
}  // namespace

std::unique_ptr<board::Board> RunBoot(const BoardDescription& description) {
  auto board = std::make_unique<board::Board>(description.options);
  Prepare(*board, description);
  for (const auto& step : description.steps) {
    switch (step.kind) {
      case BootStep::Kind::Dispatch: {
        const board::ModuleImage* image = board::FindHostedImage(step.module);
        if (image == nullptr) throw board::BoardError("no module image named " + step.module);
        board->Dispatch(*image);
        break;
      }
      case BootStep::Kind::PermanentMemory:
        if (!board->Halted()) board->InstallPermanentMemory();
        break;
      case BootStep::Kind::MpServices:
        board->InstallMpServices();
        break;
      case BootStep::Kind::PlatformPpi:
        board->InstallPlatformPpi(step.ppi);
        break;
    }
  }
  return board;
}

}  // namespace boardboot

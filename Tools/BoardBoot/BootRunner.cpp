#include "BootRunner.h"

#include <Guid/StaticPointerTableHob.h>
#include <Ppi/WarningLogScanTrigger.h>

#include "Board/BoardError.h"
#include "Board/HostStructure.h"
#include "WarningLogLayout.h"

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

  if (DescribesHostStructure(description.warningLog)) {
    board::HostStructure host(board.Memory(), board.Options().memory.hostStructure);
    LayOutWarningLog(host, description.warningLog);
  }

  // A table HOB that an earlier module created, before any dispatch.
  if (const auto& table = description.staticPointerTable) {
    void* hob = nullptr;
    if (EFI_ERROR(board.Hobs().Create(EFI_HOB_TYPE_GUID_EXTENSION, table->hobLength, &hob)))
      throw board::BoardError("the static pointer table HOB does not fit in the HOB list");
    auto* header = static_cast<EFI_HOB_GUID_TYPE*>(hob);
    header->Header.HobLength = table->hobLength;  // exactly as given, even when it is wrong
    header->Name = gStaticPointerTableHobGuid;
    if (table->hobLength >= sizeof(STATIC_POINTER_TABLE_HOB)) {
      auto* data = &reinterpret_cast<STATIC_POINTER_TABLE_HOB*>(hob)->Table;
      for (auto [type, pointer] : table->pointers) data->Pointer[type] = pointer;
      for (auto [type, address] : table->newAddresses) data->Migration[type].NewAddress = address;
    }
  }
}
}  // namespace

namespace {
template <typename Dispatch>
void RunSteps(board::Board& board, const BoardDescription& description, Dispatch&& dispatch) {
  for (const auto& step : description.steps) {
    switch (step.kind) {
      case BootStep::Kind::Dispatch:
        dispatch(step.module);
        break;
      case BootStep::Kind::PermanentMemory:
        if (!board.Halted()) board.InstallPermanentMemory();
        break;
      case BootStep::Kind::MpServices:
        board.InstallMpServices();
        break;
      case BootStep::Kind::PlatformPpi:
        board.InstallPlatformPpi(step.ppi);
        break;
      case BootStep::Kind::ScanTrigger:
        if (board.Ppis().IsInstalled(gWarningLogScanTriggerPpiGuid))
          board.ReinstallPlatformPpi(gWarningLogScanTriggerPpiGuid);
        else
          board.InstallPlatformPpi(gWarningLogScanTriggerPpiGuid);
        break;
    }
  }
}
}  // namespace

std::unique_ptr<board::Board> RunBoot(const BoardDescription& description, std::unique_ptr<board::IpmiBackend> ipmi) {
  auto board = std::make_unique<board::Board>(description.options);
  if (ipmi) board->AttachIpmiBackend(std::move(ipmi));
  Prepare(*board, description);
  RunSteps(*board, description, [&](const std::string& module) {
    const board::ModuleImage* image = board::FindHostedImage(module);
    if (image == nullptr) throw board::BoardError("no module image named " + module);
    board->Dispatch(*image);
  });
  return board;
}

EmulatedBoot RunEmulatedBoot(const BoardDescription& description, board::emulator::FlashContents flash,
                             std::unique_ptr<board::IpmiBackend> ipmi) {
  EmulatedBoot boot;
  boot.board = std::make_unique<board::Board>(description.options);
  if (ipmi) boot.board->AttachIpmiBackend(std::move(ipmi));
  Prepare(*boot.board, description);
  boot.emulator = std::make_unique<board::emulator::EmulatedBoard>(*boot.board, std::move(flash));
  RunSteps(*boot.board, description, [&](const std::string& module) { boot.emulator->Dispatch(module); });
  return boot;
}

}  // namespace boardboot

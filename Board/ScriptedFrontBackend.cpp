#include "ScriptedFrontBackend.h"

namespace board {

ScriptedFrontBackend::ScriptedFrontBackend(Bmc script, std::unique_ptr<IpmiBackend> behind)
    : script_(std::move(script)), behind_(std::move(behind)) {}

EFI_STATUS ScriptedFrontBackend::Handle(uint8_t netFn, uint8_t lun, uint8_t command, const uint8_t* request,
                                        uint32_t requestLength, uint8_t* response, uint8_t* responseLength) {
  IpmiBackend& answering = script_.HasScripted(netFn, command) ? static_cast<IpmiBackend&>(script_) : *behind_;
  if (&answering == &script_) ++scripted_;
  EFI_STATUS status = answering.Handle(netFn, lun, command, request, requestLength, response, responseLength);
  exchanges_.push_back(answering.Exchanges().back());
  return status;
}

std::vector<std::string> ScriptedFrontBackend::Summary() const {
  std::vector<std::string> lines = behind_->Summary();
  lines.push_back("scripted answers in front of it: " + std::to_string(scripted_) + " of " +
                  std::to_string(exchanges_.size()) + " tries answered by the board file's script");
  return lines;
}

}  // namespace board

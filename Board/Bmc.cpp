#include "Bmc.h"

#include <algorithm>

namespace board {

BmcAnswer BmcAnswer::Complete(uint8_t completionCode, std::vector<uint8_t> payload) {
  BmcAnswer answer;
  answer.completionCode = completionCode;
  answer.payload = std::move(payload);
  return answer;
}

BmcAnswer BmcAnswer::TransportError(EFI_STATUS status) {
  BmcAnswer answer;
  answer.transportStatus = status;
  return answer;
}

BmcAnswer BmcAnswer::Silent() {
  BmcAnswer answer;
  answer.writeNothing = true;
  return answer;
}

void Bmc::Queue(uint8_t netFn, uint8_t command, BmcAnswer answer) {
  script_[{netFn, command}].push_back(std::move(answer));
}

bool Bmc::HasScripted(uint8_t netFn, uint8_t command) const {
  auto found = script_.find({netFn, command});
  return found != script_.end() && !found->second.empty();
}

BmcAnswer Bmc::OwnAnswer(uint8_t netFn, uint8_t command, const std::vector<uint8_t>& request) {
  if (netFn == ipmi::kNetFnStorage && command == ipmi::kCmdAddSelEntry) {
    if (request.size() != 16) return BmcAnswer::Complete(ipmi::kCcRequestDataLengthInvalid);
    if (sel_.size() >= selCapacity_) return BmcAnswer::Complete(ipmi::kCcOutOfSpace);
    auto id = static_cast<uint16_t>(sel_.size() + 1);
    std::vector<uint8_t> record = request;
    record[0] = static_cast<uint8_t>(id);
    record[1] = static_cast<uint8_t>(id >> 8);
    sel_.push_back({id, std::move(record)});
    return BmcAnswer::Complete(ipmi::kCcSuccess, {static_cast<uint8_t>(id), static_cast<uint8_t>(id >> 8)});
  }
  return BmcAnswer::Complete(ipmi::kCcInvalidCommand);
}

EFI_STATUS Bmc::Handle(uint8_t netFn, uint8_t lun, uint8_t command, const uint8_t* request, uint32_t requestLength,
                       uint8_t* response, uint8_t* responseLength) {
  IpmiExchange exchange;
  exchange.netFn = netFn;
  exchange.lun = lun;
  exchange.command = command;
  if (request != nullptr) exchange.request.assign(request, request + std::min<uint32_t>(requestLength, 256));
  exchange.responseCapacity = responseLength == nullptr ? 0 : *responseLength;

  BmcAnswer answer;
  if (down_) {
    answer = BmcAnswer::TransportError(EFI_TIMEOUT);
  } else if (auto& queue = script_[{netFn, command}]; !queue.empty()) {
    answer = queue.front();
    queue.pop_front();
  } else {
    answer = OwnAnswer(netFn, command, exchange.request);
  }

  exchange.status = answer.transportStatus;
  if (!EFI_ERROR(answer.transportStatus) && !answer.writeNothing) {
    if (response == nullptr || responseLength == nullptr) {
      exchange.status = EFI_INVALID_PARAMETER;
    } else {
      std::vector<uint8_t> full{answer.completionCode};
      full.insert(full.end(), answer.payload.begin(), answer.payload.end());
      size_t written = std::min<size_t>(full.size(), exchange.responseCapacity);
      std::copy_n(full.begin(), written, response);
      exchange.response.assign(full.begin(), full.begin() + static_cast<ptrdiff_t>(written));
      *responseLength = static_cast<uint8_t>(written);
      exchange.responseLength = *responseLength;
      // A response that did not fit is a transport failure, as a real
      // interface reports it.
      if (written < full.size()) exchange.status = EFI_BUFFER_TOO_SMALL;
    }
  }
  exchanges_.push_back(exchange);
  return exchange.status;
}

std::vector<IpmiExchange> Bmc::ExchangesOf(uint8_t netFn, uint8_t command) const {
  std::vector<IpmiExchange> matching;
  for (const auto& exchange : exchanges_)
    if (exchange.netFn == netFn && exchange.command == command) matching.push_back(exchange);
  return matching;
}

}  // namespace board

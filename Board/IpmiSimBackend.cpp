#include "IpmiSimBackend.h"

#include <algorithm>

#include "Bmc.h"
#include "SelReadback.h"

namespace board {

namespace {
// Longest request a PEI module may hand the link: a 255-byte frame less header and checksum.
constexpr uint32_t kMaxRequestBytes = 251;
}  // namespace

IpmiSimBackend::IpmiSimBackend(std::unique_ptr<IpmiSimLink> link, std::string description)
    : link_(std::move(link)), description_(std::move(description)) {}

EFI_STATUS IpmiSimBackend::StatusFor(LinkFailure failure) {
  switch (failure) {
    case LinkFailure::NotReachable: return EFI_NO_RESPONSE;
    case LinkFailure::ConnectionLost: return EFI_DEVICE_ERROR;
    case LinkFailure::TimedOut: return EFI_TIMEOUT;
  }
  return EFI_DEVICE_ERROR;
}

EFI_STATUS IpmiSimBackend::Handle(uint8_t netFn, uint8_t lun, uint8_t command, const uint8_t* request,
                                  uint32_t requestLength, uint8_t* response, uint8_t* responseLength) {
  IpmiExchange& exchange = exchanges_.emplace_back();
  exchange.netFn = netFn;
  exchange.lun = lun;
  exchange.command = command;
  exchange.responseCapacity = responseLength == nullptr ? 0 : *responseLength;
  if ((request == nullptr && requestLength != 0) || requestLength > kMaxRequestBytes || response == nullptr ||
      responseLength == nullptr) {
    exchange.status = EFI_INVALID_PARAMETER;
    exchange.transportNote = "not sent: the request or the response buffer is missing or too long";
    ++failures_["not sent"];
    return exchange.status;
  }
  if (request != nullptr) exchange.request.assign(request, request + requestLength);

  LinkResult result = link_->Exchange(netFn, lun, command, exchange.request);
  if (!result.reply) {
    exchange.status = StatusFor(result.failure);
    exchange.transportNote = std::string(LinkFailureName(result.failure)) + ": " + result.detail;
    ++failures_[LinkFailureName(result.failure)];
    return exchange.status;
  }

  std::vector<uint8_t> full{result.reply->completionCode};
  full.insert(full.end(), result.reply->data.begin(), result.reply->data.end());
  if (netFn == ipmi::kNetFnStorage && command == ipmi::kCmdAddSelEntry && full[0] == ipmi::kCcSuccess &&
      full.size() >= 3)
    addedRecordIds_.push_back(static_cast<uint16_t>(full[1] | (full[2] << 8)));

  size_t written = std::min<size_t>(full.size(), exchange.responseCapacity);
  std::copy_n(full.begin(), written, response);
  *responseLength = static_cast<uint8_t>(written);
  exchange.response.assign(full.begin(), full.begin() + static_cast<ptrdiff_t>(written));
  exchange.responseLength = *responseLength;
  exchange.status = EFI_SUCCESS;
  // A response that did not fit is a transport failure, as a real interface reports it.
  if (written < full.size()) {
    exchange.status = EFI_BUFFER_TOO_SMALL;
    exchange.transportNote = "the reply has " + std::to_string(full.size()) + " bytes, the buffer " +
                             std::to_string(written);
    ++failures_["reply too long for the buffer"];
  }
  return exchange.status;
}

SelReadout IpmiSimBackend::AddedSel() {
  SelReadout readout;
  for (uint16_t id : addedRecordIds_) {
    SelEntryRead read = ReadSelEntry(*link_, id);
    if (!read.entry) {
      readout.error = read.error;
      break;
    }
    // Listed under the ID the BMC gave when it was added.
    readout.entries.push_back({id, std::move(read.entry->record)});
  }
  return readout;
}

std::vector<std::string> IpmiSimBackend::Summary() const {
  std::vector<std::string> lines{description_};
  std::string link = "link: " + link_->Where().ToString() + ", VM serial codec";
  if (link_->Version()) link += " version " + std::to_string(*link_->Version());
  link += ", reply time-out " + std::to_string(link_->ReplyTimeout().count()) + " ms, " +
          std::to_string(link_->Connections()) + " connection(s)";
  lines.push_back(link);

  unsigned refused = 0;
  for (const auto& exchange : exchanges_)
    if (exchange.status == EFI_SUCCESS && !exchange.response.empty() && exchange.response[0] != ipmi::kCcSuccess)
      ++refused;
  std::string tries = std::to_string(exchanges_.size()) + " tries";
  for (const auto& [kind, count] : failures_) tries += ", " + std::to_string(count) + " " + kind;
  tries += ", " + std::to_string(refused) + " answered with a non-zero completion code";
  lines.push_back(tries);
  for (const auto& discarded : link_->Discarded()) lines.push_back("discarded: " + discarded);
  return lines;
}

}  // namespace board

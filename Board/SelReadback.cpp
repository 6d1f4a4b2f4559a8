#include "SelReadback.h"

#include <chrono>
#include <thread>

#include "Bmc.h"

namespace board {

namespace {
constexpr uint8_t kCmdGetSelEntry = 0x43;
constexpr uint8_t kCcNotPresent = 0xCB;
constexpr uint16_t kFirstRecord = 0x0000;
constexpr uint16_t kLastRecord = 0xFFFF;
constexpr size_t kSelRecordBytes = 16;
// More records than a SEL can hold means the chain of next IDs loops.
constexpr size_t kMostRecords = 0xFFFF;
constexpr int kFirstReadRetries = 40;
}  // namespace

SelReadout ReadWholeSel(IpmiSimLink& link) {
  SelReadout readout;
  uint16_t id = kFirstRecord;
  while (id != kLastRecord) {
    if (readout.entries.size() == kMostRecords) {
      readout.error = "the SEL's next-record chain does not end";
      break;
    }
    // Reservation 0 serves a read of a whole record from offset 0.
    const uint8_t request[] = {0x00, 0x00, static_cast<uint8_t>(id), static_cast<uint8_t>(id >> 8), 0x00, 0xFF};
    LinkResult result = link.Exchange(ipmi::kNetFnStorage, 0, kCmdGetSelEntry, request);
    // The simulator serves one serial connection at a time and resets a new
    // one until it has seen the last one close: try the first read again.
    for (int retry = 0; retry < kFirstReadRetries && id == kFirstRecord && !result.reply &&
                        result.failure == LinkFailure::ConnectionLost;
         ++retry) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      result = link.Exchange(ipmi::kNetFnStorage, 0, kCmdGetSelEntry, request);
    }
    if (!result.reply) {
      readout.error = "Get SEL Entry " + std::to_string(id) + ": " + LinkFailureName(result.failure) + ": " + result.detail;
      break;
    }
    const LinkReply& reply = *result.reply;
    if (id == kFirstRecord && reply.completionCode == kCcNotPresent) break;  // empty
    if (reply.completionCode != ipmi::kCcSuccess || reply.data.size() != 2 + kSelRecordBytes) {
      readout.error = "Get SEL Entry " + std::to_string(id) + ": completion code " +
                      std::to_string(reply.completionCode) + ", " + std::to_string(reply.data.size()) + " bytes";
      break;
    }
    std::vector<uint8_t> record(reply.data.begin() + 2, reply.data.end());
    readout.entries.push_back({static_cast<uint16_t>(record[0] | (record[1] << 8)), std::move(record)});
    id = static_cast<uint16_t>(reply.data[0] | (reply.data[1] << 8));
  }
  return readout;
}

}  // namespace board

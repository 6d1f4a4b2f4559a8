#include "SelReadback.h"

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

SelEntryRead ReadSelEntryWith(IpmiSimLink& link, uint16_t id, bool firstOfLink) {
  SelEntryRead read;
  // Reservation 0 serves a read of a whole record from offset 0.
  const uint8_t request[] = {0x00, 0x00, static_cast<uint8_t>(id), static_cast<uint8_t>(id >> 8), 0x00, 0xFF};
  LinkResult result = firstOfLink ? FirstExchange(link, ipmi::kNetFnStorage, 0, kCmdGetSelEntry, request)
                                  : link.Exchange(ipmi::kNetFnStorage, 0, kCmdGetSelEntry, request);
  if (!result.reply) {
    read.failure = result.failure;
    read.error = "Get SEL Entry " + std::to_string(id) + ": " + LinkFailureName(result.failure) + ": " + result.detail;
    return read;
  }
  const LinkReply& reply = *result.reply;
  read.completionCode = reply.completionCode;
  if (reply.completionCode != ipmi::kCcSuccess || reply.data.size() != 2 + kSelRecordBytes) {
    read.error = "Get SEL Entry " + std::to_string(id) + ": completion code " + std::to_string(reply.completionCode) +
                 ", " + std::to_string(reply.data.size()) + " bytes";
    return read;
  }
  std::vector<uint8_t> record(reply.data.begin() + 2, reply.data.end());
  read.entry = SelEntry{static_cast<uint16_t>(record[0] | (record[1] << 8)), std::move(record)};
  read.next = static_cast<uint16_t>(reply.data[0] | (reply.data[1] << 8));
  return read;
}

}  // namespace

SelEntryRead ReadSelEntry(IpmiSimLink& link, uint16_t id) { return ReadSelEntryWith(link, id, false); }

SelReadout ReadWholeSel(IpmiSimLink& link) {
  SelReadout readout;
  uint16_t id = kFirstRecord;
  while (id != kLastRecord) {
    if (readout.entries.size() == kMostRecords) {
      readout.error = "the SEL's next-record chain does not end";
      break;
    }
    SelEntryRead read = ReadSelEntryWith(link, id, id == kFirstRecord);
    if (id == kFirstRecord && read.completionCode == kCcNotPresent) break;  // empty
    if (!read.entry) {
      readout.error = read.error;
      break;
    }
    readout.entries.push_back(std::move(*read.entry));
    id = read.next;
  }
  return readout;
}

}  // namespace board

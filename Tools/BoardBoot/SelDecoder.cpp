#include "SelDecoder.h"

#include <cstdio>
#include <string>

namespace boardboot {

namespace {
std::string Hex2(unsigned value) {
  char text[8];
  std::snprintf(text, sizeof text, "%02x", value & 0xFF);
  return text;
}

const char* SensorTypeName(uint8_t type) {
  switch (type) {
    case 0x01: return "Temperature";
    case 0x02: return "Voltage";
    case 0x04: return "Fan";
    case 0x07: return "Processor";
    case 0x0C: return "Memory";
    case 0x0F: return "System Firmware Progress";
    case 0x10: return "Event Logging Disabled";
    case 0x12: return "System Event";
    default: return "Unknown";
  }
}

std::string EventTypeName(uint8_t type) {
  if (type == 0x01) return "Threshold";
  if (type >= 0x02 && type <= 0x0C) return "Generic Discrete";
  if (type == 0x6F) return "Sensor-specific Discrete";
  if (type >= 0x70 && type <= 0x7F) return "OEM";
  return "Unspecified";
}

// What a reader of the IPMI layout makes of event data 1's low nibble on a
// memory sensor: the event offset.
const char* MemoryOffsetName(unsigned offset) {
  static const char* const kNames[] = {"Correctable ECC", "Uncorrectable ECC", "Parity", "Memory Scrub Failed",
                                       "Memory Device Disabled", "Correctable ECC logging limit reached",
                                       "Presence Detected", "Configuration Error", "Spare", "Throttled",
                                       "Critical Overtemperature"};
  return offset < std::size(kNames) ? kNames[offset] : "no such memory offset";
}
}  // namespace

nlohmann::json DecodeSelRecord(const board::SelEntry& entry) {
  const auto& r = entry.record;
  nlohmann::json out = {{"id", entry.recordId}};
  std::string raw;
  for (uint8_t b : r) raw += Hex2(b);
  out["raw"] = raw;
  if (r.size() != 16 || r[2] != 0x02) {
    out["ipmitool"] = "record " + std::to_string(entry.recordId) + ": not a system event record";
    out["decoded"] = "";
    return out;
  }
  uint8_t sensorType = r[10], sensorNumber = r[11], typeAndDirection = r[12];
  uint8_t data1 = r[13], data2 = r[14], data3 = r[15];
  bool deassertion = (typeAndDirection & 0x80) != 0;
  char id[8];
  std::snprintf(id, sizeof id, "%04x", entry.recordId);
  out["ipmitool"] = std::string(id) + " | " + SensorTypeName(sensorType) + " #0x" + Hex2(sensorNumber) + " | " +
                    EventTypeName(typeAndDirection & 0x7F) + " | " + (deassertion ? "Deassertion" : "Assertion") +
                    " Event | Event Data " + Hex2(data1) + Hex2(data2) + Hex2(data3) + " | Generator " +
                    Hex2(r[8]) + Hex2(r[7]) + " | EvM Rev " + Hex2(r[9]) + " | offset 0x" + Hex2(data1 & 0x0F) +
                    (sensorType == 0x0C ? std::string(" (") + MemoryOffsetName(data1 & 0x0F) + ")" : "");
  unsigned socket = data1 >> 5, controller = (data1 >> 3) & 3, channel = (data1 >> 1) & 3, dimm = data1 & 1;
  out["location"] = {{"socket", socket}, {"controller", controller}, {"channel", channel}, {"dimm", dimm},
                     {"major", data2}, {"minor", data3}};
  out["decoded"] = "socket " + std::to_string(socket) + ", controller " + std::to_string(controller) +
                   ", channel " + std::to_string(channel) + ", dimm " + std::to_string(dimm) + ", major 0x" +
                   Hex2(data2) + ", minor 0x" + Hex2(data3);
  return out;
}

}  // namespace boardboot

#include "PcieConfigSpace.h"

#include <tuple>

#include "BoardError.h"

namespace board {

namespace {
uint32_t Key(uint8_t bus, uint8_t device, uint8_t function) {
  return uint32_t{bus} << 8 | uint32_t{device} << 3 | function;
}
}  // namespace

bool PciAddress::operator<(const PciAddress& other) const {
  return std::tie(bus, device, function, offset) < std::tie(other.bus, other.device, other.function, other.offset);
}

PciAddress PcieConfigSpace::Decode(uint64_t address) const {
  uint64_t relative = address - base_;
  return {static_cast<uint8_t>(relative >> 20), static_cast<uint8_t>((relative >> 15) & 0x1F),
          static_cast<uint8_t>((relative >> 12) & 0x7), static_cast<uint16_t>(relative & 0xFFF)};
}

void PcieConfigSpace::AddFunction(uint8_t bus, uint8_t device, uint8_t function) {
  if (device > 31 || function > 7) throw BoardError("no such PCI function");
  functions_.try_emplace(Key(bus, device, function), Function{});
}

const PcieConfigSpace::Function* PcieConfigSpace::Find(const PciAddress& at) const {
  auto found = functions_.find(Key(at.bus, at.device, at.function));
  return found == functions_.end() ? nullptr : &found->second;
}

void PcieConfigSpace::Poke8(const PciAddress& at, uint8_t value) {
  auto found = functions_.find(Key(at.bus, at.device, at.function));
  if (found == functions_.end()) throw BoardError("PCI function is not present");
  found->second.at(at.offset) = value;
}

uint8_t PcieConfigSpace::Peek8(const PciAddress& at) const {
  const Function* function = Find(at);
  return function == nullptr ? 0xFF : function->at(at.offset);
}

uint64_t PcieConfigSpace::Read(uint64_t address, unsigned width) const {
  PciAddress at = Decode(address);
  const Function* function = Find(at);
  uint64_t value = 0;
  for (unsigned i = 0; i < width; ++i) {
    uint8_t byte = 0xFF;
    if (function != nullptr && at.offset + i < 4096) byte = (*function)[at.offset + i];
    value |= uint64_t{byte} << (8 * i);
  }
  return value;
}

void PcieConfigSpace::Write(uint64_t address, unsigned width, uint64_t value) {
  PciAddress at = Decode(address);
  auto found = functions_.find(Key(at.bus, at.device, at.function));
  if (found == functions_.end()) return;  // an absent function drops writes
  for (unsigned i = 0; i < width && at.offset + i < 4096; ++i)
    found->second[at.offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

}  // namespace board

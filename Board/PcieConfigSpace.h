// Memory-mapped PCI Express configuration space (ECAM): base + bus<<20 +
// device<<15 + function<<12 + offset. Only functions the board declares are
// present; the others read all ones, as an absent function does.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>

namespace board {

struct PciAddress {
  uint8_t bus = 0;
  uint8_t device = 0;
  uint8_t function = 0;
  uint16_t offset = 0;

  bool operator<(const PciAddress& other) const;
};

class PcieConfigSpace {
 public:
  static constexpr uint32_t kWindowSize = 256u << 20;  // 256 buses

  explicit PcieConfigSpace(uint64_t base) : base_(base) {}

  uint64_t Base() const { return base_; }
  bool Decodes(uint64_t address, unsigned width) const {
    return address >= base_ && address - base_ + width <= kWindowSize;
  }
  PciAddress Decode(uint64_t address) const;

  // Declares a function present, its 4 KiB configuration space all zero.
  void AddFunction(uint8_t bus, uint8_t device, uint8_t function);
  void Poke8(const PciAddress& at, uint8_t value);
  uint8_t Peek8(const PciAddress& at) const;

  uint64_t Read(uint64_t address, unsigned width) const;
  void Write(uint64_t address, unsigned width, uint64_t value);

 private:
  using Function = std::array<uint8_t, 4096>;
  const Function* Find(const PciAddress& at) const;

  uint64_t base_;
  std::map<uint32_t, Function> functions_;  // key: bus<<8 | device<<3 | function
};

}  // namespace board

// The simulated board with its processors emulated: the real IA32 images
// run from flash on Unicorn engines, one per processor, over the board's own
// memory, ports, PCIe space and services. The board itself (PPI database,
// HOBs, variables, PCDs, BMC, console) is the one the hosted build uses.
#pragma once

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "Board/Board.h"
#include "EmulatedCpu.h"
#include "EmulationRecord.h"
#include "FlashContents.h"
#include "GuestServices.h"

namespace board::emulator {

// Page-aligned host memory behind a guest region.
class GuestRegion {
 public:
  GuestRegion(uint32_t base, uint32_t size, uint32_t permissions);
  ~GuestRegion();
  GuestRegion(const GuestRegion&) = delete;
  GuestRegion& operator=(const GuestRegion&) = delete;

  uint32_t Base() const { return base_; }
  uint32_t Permissions() const { return permissions_; }
  std::span<uint8_t> Bytes() const { return {data_, size_}; }

 private:
  uint32_t base_, size_, permissions_;
  uint8_t* data_;
};

class EmulatedBoard final : public CpuHost {
 public:
  EmulatedBoard(Board& board, FlashContents flash,
                uint64_t runInstructionLimit = EmulatedCpu::kDefaultRunInstructionLimit);
  ~EmulatedBoard() override;

  // Dispatches the image called module from flash on the boot processor.
  // Throws BoardError when flash holds no such image.
  DispatchRecord Dispatch(const std::string& module);

  const EmulationRecord& Record() const { return record_; }

 private:
  void MapShared(uc_engine* engine) override;
  uint64_t Trap(EmulatedCpu& cpu, uint32_t address) override;
  std::vector<uint32_t> InterceptAddresses() const override;
  bool IsDeadLoop(uint32_t address) const override { return deadLoops_.contains(address); }
  CodeLocation Locate(uint32_t address) const override;
  bool InImage(uint32_t address) const override;
  std::string RunningModule() const override { return board_.RunningModule(); }
  uint64_t RunInstructionLimit() const override { return runInstructionLimit_; }
  ModuleRunStats& StatsOf(const std::string& module) override { return record_.modules[module]; }
  void FlashWritten(EmulatedCpu& cpu, uint32_t address, unsigned size, uint64_t value) override;
  void UndoFlashWrites() override;

  const FlashImage* ImageAt(uint32_t address) const;

  Board& board_;
  uint64_t runInstructionLimit_;
  std::vector<FlashImage> images_;
  std::vector<std::unique_ptr<GuestRegion>> regions_;
  GuestRegion* flash_ = nullptr;
  std::vector<uint8_t> pristineFlash_;
  bool flashDirty_ = false;
  std::set<uint32_t> deadLoops_;     // each image's CpuDeadLoop
  EmulationRecord record_;
  std::vector<std::unique_ptr<EmulatedCpu>> cpus_;
  std::unique_ptr<GuestServices> services_;
};

}  // namespace board::emulator

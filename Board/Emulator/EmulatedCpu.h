// One IA32 processor of the board, emulated: a Unicorn engine over the
// board's shared memory. It calls guest functions the way the PEI Foundation
// does (cdecl, on its own stack) and hands every call of a trap slot or an
// intercepted function to its host; port I/O goes to the board's ports
// through the IN/OUT hooks, MMIO to the board's PCIe window.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include <unicorn/unicorn.h>

#include "EmulationRecord.h"

namespace board {
class Board;
}

namespace board::emulator {

// A fault that ends the guest run it happened in.
struct GuestFault {
  FaultRecord record;
};

class EmulatedCpu;

// What a processor needs from the emulated board around it.
class CpuHost {
 public:
  virtual ~CpuHost() = default;
  // Maps every shared region (board memory, flash, services, traps, stacks) into engine.
  virtual void MapShared(uc_engine* engine) = 0;
  // Handles the call of a trap slot or an intercepted function at address; returns EDX:EAX.
  virtual uint64_t Trap(EmulatedCpu& cpu, uint32_t address) = 0;
  virtual std::vector<uint32_t> InterceptAddresses() const = 0;
  virtual bool IsDeadLoop(uint32_t address) const = 0;
  virtual CodeLocation Locate(uint32_t address) const = 0;
  virtual bool InImage(uint32_t address) const = 0;
  virtual std::string RunningModule() const = 0;
  virtual uint64_t RunInstructionLimit() const = 0;
  virtual ModuleRunStats& StatsOf(const std::string& module) = 0;
  // A write to flash: recorded, and undone before anything reads flash again.
  virtual void FlashWritten(EmulatedCpu& cpu, uint32_t address, unsigned size, uint64_t value) = 0;
  virtual void UndoFlashWrites() = 0;
};

class EmulatedCpu {
 public:
  // A run that executes this many instructions without returning or calling
  // the board is a fault. Counted by the instruction hook: Unicorn's own
  // time-out starts a thread at every start (hundreds of microseconds per
  // call into the board), and its count argument may never stop a run on
  // code already translated.
  static constexpr uint64_t kDefaultRunInstructionLimit = 200'000'000;
  static constexpr uint32_t kStackPaint = 0x5AA55AA5;

  EmulatedCpu(unsigned number, Board& board, CpuHost& host, std::span<uint8_t> stack, uint32_t stackBase,
              uint32_t idtBase, uint16_t idtLimit);
  ~EmulatedCpu();
  EmulatedCpu(const EmulatedCpu&) = delete;
  EmulatedCpu& operator=(const EmulatedCpu&) = delete;

  unsigned Number() const { return number_; }

  // Calls function with args (cdecl) and runs until it returns; its EDX:EAX.
  // Throws GuestFault, or ProcessorHalted when it reaches a dead loop.
  uint64_t Call(uint32_t function, std::span<const uint32_t> args);

  // While a trap is handled: the arguments of the trapped call.
  uint32_t Arg(unsigned index);
  uint64_t Arg64(unsigned index);  // a UINT64 in slots index and index + 1

  // Guest memory as this processor sees it; a failed access is a GuestFault
  // of the running module (a pointer it passed to a service).
  void Read(uint32_t address, void* out, size_t length);
  void Write(uint32_t address, const void* data, size_t length);
  uint32_t Read32(uint32_t address);
  void Write32(uint32_t address, uint32_t value);

  uint64_t Mm7();  // the mantissa of FP7: Unicorn's MM registers read 0
  void SetMm7(uint64_t value);
  uint32_t Eip();

 private:
  struct Pending {
    std::optional<uint32_t> trap;
    std::optional<FaultRecord> fault;
  };
  static void OnTrap(uc_engine* uc, uint64_t address, uint32_t size, void* self);
  static void OnInstruction(uc_engine* uc, uint64_t address, uint32_t size, void* self);
  static bool OnBadAccess(uc_engine* uc, uc_mem_type type, uint64_t address, int size, int64_t value, void* self);
  static bool OnWriteProtected(uc_engine* uc, uc_mem_type type, uint64_t address, int size, int64_t value, void* self);
  static void OnFlashRead(uc_engine* uc, uc_mem_type type, uint64_t address, int size, int64_t value, void* self);
  static void OnInterrupt(uc_engine* uc, uint32_t number, void* self);
  static uint32_t OnIn(uc_engine* uc, uint32_t port, int size, void* self);
  static void OnOut(uc_engine* uc, uint32_t port, int size, uint32_t value, void* self);
  static uint64_t OnMmioRead(uc_engine* uc, uint64_t offset, unsigned size, void* self);
  static void OnMmioWrite(uc_engine* uc, uint64_t offset, unsigned size, uint64_t value, void* self);

  uint32_t Reg(int id);
  void SetReg(int id, uint32_t value);
  FaultRecord Fault(std::string kind, uint32_t instruction, std::string access);
  void Check(uc_err error, const char* what);
  uint32_t DeepestUse(uint32_t entryEsp) const;

  unsigned number_;
  Board& board_;
  CpuHost& host_;
  std::span<uint8_t> stack_;
  uint32_t stackBase_;
  uc_engine* uc_ = nullptr;
  uc_context* pristine_ = nullptr;
  std::vector<uc_hook> hooks_;
  Pending pending_;
  uint64_t* instructionCounter_ = nullptr;
  uint64_t sinceStart_ = 0;  // instructions since the last uc_emu_start
  uint64_t runInstructionLimit_ = kDefaultRunInstructionLimit;
  unsigned depth_ = 0;
};

}  // namespace board::emulator

#include "EmulatedCpu.h"

#include <cstdio>
#include <cstring>

#include "Board/Board.h"
#include "Board/BoardError.h"
#include "GuestLayout.h"

namespace board::emulator {

namespace {
std::string Hex(uint64_t value) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%08llx", static_cast<unsigned long long>(value));
  return text;
}

std::string Access(const char* what, int size, uint64_t address) {
  return std::string(what) + " " + std::to_string(size) + " byte(s) at " + Hex(address);
}

const char* ExceptionName(uint32_t vector) {
  static constexpr const char* kNames[] = {"#DE divide error", "#DB debug", "NMI", "#BP breakpoint", "#OF overflow",
                                           "#BR bound range", "#UD invalid opcode", "#NM no math coprocessor",
                                           "#DF double fault", "coprocessor segment overrun", "#TS invalid TSS",
                                           "#NP segment not present", "#SS stack fault", "#GP general protection",
                                           "#PF page fault", "reserved", "#MF x87 error", "#AC alignment check",
                                           "#MC machine check", "#XM SIMD exception"};
  return vector < std::size(kNames) ? kNames[vector] : "software interrupt";
}

// The x87 register as Unicorn reads and writes it: 64-bit mantissa, 16-bit sign and exponent.
struct Float80 {
  uint64_t mantissa = 0;
  uint16_t exponent = 0;
  uint8_t padding[6] = {};
};
}  // namespace

EmulatedCpu::EmulatedCpu(unsigned number, Board& board, CpuHost& host, std::span<uint8_t> stack, uint32_t stackBase,
                         uint32_t idtBase, uint16_t idtLimit)
    : number_(number), board_(board), host_(host), stack_(stack), stackBase_(stackBase) {
  Check(uc_open(UC_ARCH_X86, UC_MODE_32, &uc_), "open an IA32 engine");
  host_.MapShared(uc_);
  runInstructionLimit_ = host_.RunInstructionLimit();
  const uint64_t pcieBase = board_.Options().memory.pcieBase;
  Check(uc_mmio_map(uc_, pcieBase, PcieConfigSpace::kWindowSize, OnMmioRead, this, OnMmioWrite, this),
        "map the PCIe configuration window");

  auto add = [&](int type, void* callback, uint64_t begin, uint64_t end, int instruction = -1) {
    uc_hook hook;
    uc_err error = instruction < 0 ? uc_hook_add(uc_, &hook, type, callback, this, begin, end)
                                   : uc_hook_add(uc_, &hook, type, callback, this, begin, end, instruction);
    Check(error, "add a hook");
    hooks_.push_back(hook);
  };
  add(UC_HOOK_CODE, reinterpret_cast<void*>(OnTrap), kTrapBase, kTrapBase + kTrapSize - 1);
  for (uint32_t address : host_.InterceptAddresses()) add(UC_HOOK_CODE, reinterpret_cast<void*>(OnTrap), address, address);
  add(UC_HOOK_CODE, reinterpret_cast<void*>(OnInstruction), kFlashBase, uint64_t{kFlashBase} + kFlashSize - 1);
  add(UC_HOOK_MEM_UNMAPPED | UC_HOOK_MEM_READ_PROT | UC_HOOK_MEM_FETCH_PROT, reinterpret_cast<void*>(OnBadAccess), 1,
      0);
  add(UC_HOOK_MEM_WRITE_PROT, reinterpret_cast<void*>(OnWriteProtected), 1, 0);
  add(UC_HOOK_MEM_READ, reinterpret_cast<void*>(OnFlashRead), kFlashBase, uint64_t{kFlashBase} + kFlashSize - 1);
  add(UC_HOOK_INTR, reinterpret_cast<void*>(OnInterrupt), 1, 0);
  add(UC_HOOK_INSN, reinterpret_cast<void*>(OnIn), 1, 0, UC_X86_INS_IN);
  add(UC_HOOK_INSN, reinterpret_cast<void*>(OnOut), 1, 0, UC_X86_INS_OUT);

  uc_x86_mmr idtr{0, idtBase, idtLimit, 0};
  Check(uc_reg_write(uc_, UC_X86_REG_IDTR, &idtr), "load the IDTR");
  Check(uc_context_alloc(uc_, &pristine_), "allocate a context");
  Check(uc_context_save(uc_, pristine_), "save the reset context");
}

EmulatedCpu::~EmulatedCpu() {
  if (pristine_ != nullptr) uc_context_free(pristine_);
  if (uc_ != nullptr) uc_close(uc_);
}

void EmulatedCpu::Check(uc_err error, const char* what) {
  if (error != UC_ERR_OK) throw BoardError(std::string("emulator: cannot ") + what + ": " + uc_strerror(error));
}

uint32_t EmulatedCpu::Reg(int id) {
  uint32_t value = 0;
  Check(uc_reg_read(uc_, id, &value), "read a register");
  return value;
}

void EmulatedCpu::SetReg(int id, uint32_t value) { Check(uc_reg_write(uc_, id, &value), "write a register"); }

uint32_t EmulatedCpu::Eip() { return Reg(UC_X86_REG_EIP); }

uint64_t EmulatedCpu::Mm7() {
  Float80 fp7;
  Check(uc_reg_read(uc_, UC_X86_REG_FP7, &fp7), "read FP7");
  return fp7.mantissa;
}

void EmulatedCpu::SetMm7(uint64_t value) {
  Float80 fp7;
  Check(uc_reg_read(uc_, UC_X86_REG_FP7, &fp7), "read FP7");
  fp7.mantissa = value;
  Check(uc_reg_write(uc_, UC_X86_REG_FP7, &fp7), "write FP7");
}

FaultRecord EmulatedCpu::Fault(std::string kind, uint32_t instruction, std::string access) {
  FaultRecord record;
  record.module = host_.RunningModule();
  record.processor = number_;
  record.kind = std::move(kind);
  record.instruction = host_.Locate(instruction);
  record.access = std::move(access);
  return record;
}

void EmulatedCpu::Read(uint32_t address, void* out, size_t length) {
  if (length != 0 && uc_mem_read(uc_, address, out, length) != UC_ERR_OK)
    throw GuestFault{Fault("a service was handed unmapped memory", Eip(), Access("read", static_cast<int>(length), address))};
}

void EmulatedCpu::Write(uint32_t address, const void* data, size_t length) {
  if (length == 0) return;
  if (address >= kFlashBase || uc_mem_write(uc_, address, data, length) != UC_ERR_OK)
    throw GuestFault{Fault("a service was handed memory it cannot write", Eip(),
                           Access("write", static_cast<int>(length), address))};
}

uint32_t EmulatedCpu::Read32(uint32_t address) {
  uint32_t value = 0;
  Read(address, &value, sizeof value);
  return value;
}

void EmulatedCpu::Write32(uint32_t address, uint32_t value) { Write(address, &value, sizeof value); }

uint32_t EmulatedCpu::Arg(unsigned index) { return Read32(Reg(UC_X86_REG_ESP) + 4 + 4 * index); }

uint64_t EmulatedCpu::Arg64(unsigned index) { return Arg(index) | uint64_t{Arg(index + 1)} << 32; }

uint32_t EmulatedCpu::DeepestUse(uint32_t entryEsp) const {
  const uint32_t limit = entryEsp - stackBase_;
  uint32_t offset = 0;
  while (offset + 4 <= limit) {
    uint32_t word;
    std::memcpy(&word, stack_.data() + offset, sizeof word);
    if (word != kStackPaint) break;
    offset += 4;
  }
  return limit - offset;
}

uint64_t EmulatedCpu::Call(uint32_t function, std::span<const uint32_t> args) {
  const bool nested = depth_ > 0;
  uc_context* outer = nullptr;
  if (nested) {
    Check(uc_context_alloc(uc_, &outer), "allocate a context");
    Check(uc_context_save(uc_, outer), "save a context");
  }
  // A nested call (a callback run while the module waits in a service) goes
  // below the caller's frame, as it would on the real stack.
  const uint32_t top = nested ? (Reg(UC_X86_REG_ESP) - 64) & ~15u : stackBase_ + static_cast<uint32_t>(stack_.size());
  const uint32_t entryEsp = top - 4 * static_cast<uint32_t>(args.size() + 1);
  if (entryEsp < stackBase_ + 256) throw GuestFault{Fault("the stack is exhausted", function, "")};
  for (uint32_t at = stackBase_; at + 4 <= entryEsp; at += 4)
    std::memcpy(stack_.data() + (at - stackBase_), &kStackPaint, 4);
  std::vector<uint32_t> frame{kReturnAddress};
  frame.insert(frame.end(), args.begin(), args.end());
  std::memcpy(stack_.data() + (entryEsp - stackBase_), frame.data(), frame.size() * 4);

  ModuleRunStats& stats = host_.StatsOf(host_.RunningModule());
  ++stats.runs;
  uint64_t* callerCounter = instructionCounter_;
  instructionCounter_ = &stats.instructions;
  ++depth_;
  // Leaves the engine as the caller had it, whatever ends the run; MM7 keeps
  // what the run left in it, as a processor register does.
  // The stack figure counts runs that fault or halt too: they may be the deepest.
  struct Restore {
    EmulatedCpu& cpu;
    uc_context* outer;
    uint64_t* counter;
    ModuleRunStats& stats;
    uint32_t entryEsp;
    ~Restore() {
      stats.deepestStack = std::max(stats.deepestStack, cpu.DeepestUse(entryEsp));
      const uint64_t mm7 = cpu.Mm7();
      uc_context_restore(cpu.uc_, outer != nullptr ? outer : cpu.pristine_);
      cpu.SetMm7(mm7);
      if (outer != nullptr) uc_context_free(outer);
      cpu.instructionCounter_ = counter;
      --cpu.depth_;
    }
  } restore{*this, outer, callerCounter, stats, entryEsp};

  SetReg(UC_X86_REG_ESP, entryEsp);
  SetReg(UC_X86_REG_EBP, 0);
  uint32_t pc = function;
  for (;;) {
    pending_ = {};
    sinceStart_ = 0;
    const uc_err error = uc_emu_start(uc_, pc, kReturnAddress, 0, 0);
    host_.UndoFlashWrites();
    const Pending stop = pending_;
    const uint32_t eip = Eip();
    if (stop.fault) throw GuestFault{*stop.fault};
    if (error == UC_ERR_INSN_INVALID) throw GuestFault{Fault("processor exception 6 (#UD invalid opcode)", eip, "")};
    if (error != UC_ERR_OK) throw GuestFault{Fault(std::string("emulation stopped: ") + uc_strerror(error), eip, "")};
    if (stop.trap) {
      if (host_.IsDeadLoop(*stop.trap)) throw ProcessorHalted{number_};
      const uint64_t result = host_.Trap(*this, *stop.trap);
      // Return from the trapped function as its RET would.
      const uint32_t esp = Reg(UC_X86_REG_ESP);
      pc = Read32(esp);
      SetReg(UC_X86_REG_ESP, esp + 4);
      SetReg(UC_X86_REG_EAX, static_cast<uint32_t>(result));
      SetReg(UC_X86_REG_EDX, static_cast<uint32_t>(result >> 32));
      continue;
    }
    if (eip == kReturnAddress) break;
    throw GuestFault{Fault("emulation stopped without a reason", eip, "")};
  }
  return Reg(UC_X86_REG_EAX) | uint64_t{Reg(UC_X86_REG_EDX)} << 32;
}

void EmulatedCpu::OnTrap(uc_engine* uc, uint64_t address, uint32_t, void* self) {
  static_cast<EmulatedCpu*>(self)->pending_.trap = static_cast<uint32_t>(address);
  uc_emu_stop(uc);
}

void EmulatedCpu::OnInstruction(uc_engine* uc, uint64_t address, uint32_t, void* self) {
  auto* cpu = static_cast<EmulatedCpu*>(self);
  if (cpu->instructionCounter_ != nullptr) ++*cpu->instructionCounter_;
  if (++cpu->sinceStart_ > cpu->runInstructionLimit_ && !cpu->pending_.fault) {
    cpu->pending_.fault = cpu->Fault("ran " + std::to_string(cpu->runInstructionLimit_) +
                                         " instructions without returning or calling the board",
                                     static_cast<uint32_t>(address), "");
    uc_emu_stop(uc);
  }
}

bool EmulatedCpu::OnBadAccess(uc_engine* uc, uc_mem_type type, uint64_t address, int size, int64_t, void* self) {
  auto* cpu = static_cast<EmulatedCpu*>(self);
  uint32_t eip = 0;
  uc_reg_read(uc, UC_X86_REG_EIP, &eip);
  std::optional<FaultRecord> fault;
  switch (type) {
    case UC_MEM_READ_UNMAPPED:
      fault = cpu->Fault("read of unmapped memory", eip, Access("read", size, address));
      break;
    case UC_MEM_WRITE_UNMAPPED:
      fault = cpu->Fault("write to unmapped memory", eip, Access("write", size, address));
      break;
    case UC_MEM_READ_PROT:
      fault = cpu->Fault("read of protected memory", eip, Access("read", size, address));
      break;
    case UC_MEM_FETCH_UNMAPPED:
    case UC_MEM_FETCH_PROT: {
      const bool unmapped = type == UC_MEM_FETCH_UNMAPPED;
      fault = cpu->Fault(unmapped ? "execution of unmapped memory" : "execution outside an image",
                         static_cast<uint32_t>(address), Access("fetch", size, address));
      // Reached by a call: the return address is on top of the stack.
      uint32_t esp = 0, returnAddress = 0;
      uc_reg_read(uc, UC_X86_REG_ESP, &esp);
      if (uc_mem_read(uc, esp, &returnAddress, 4) == UC_ERR_OK && cpu->host_.InImage(returnAddress))
        fault->calledFrom = cpu->host_.Locate(returnAddress);
      break;
    }
    default:
      fault = cpu->Fault("bad memory access", eip, Access("access", size, address));
  }
  if (!cpu->pending_.fault) cpu->pending_.fault = fault;
  return false;
}

bool EmulatedCpu::OnWriteProtected(uc_engine* uc, uc_mem_type, uint64_t address, int size, int64_t value, void* self) {
  auto* cpu = static_cast<EmulatedCpu*>(self);
  if (address >= kFlashBase && address + size <= uint64_t{kFlashBase} + kFlashSize) {
    cpu->host_.FlashWritten(*cpu, static_cast<uint32_t>(address), static_cast<unsigned>(size),
                            static_cast<uint64_t>(value));
    return true;  // the write lands in the engine's copy and is undone before the next read
  }
  uint32_t eip = 0;
  uc_reg_read(uc, UC_X86_REG_EIP, &eip);
  if (!cpu->pending_.fault) cpu->pending_.fault = cpu->Fault("write to read-only memory", eip, Access("write", size, address));
  return false;
}

void EmulatedCpu::OnFlashRead(uc_engine*, uc_mem_type, uint64_t, int, int64_t, void* self) {
  static_cast<EmulatedCpu*>(self)->host_.UndoFlashWrites();
}

void EmulatedCpu::OnInterrupt(uc_engine* uc, uint32_t vector, void* self) {
  auto* cpu = static_cast<EmulatedCpu*>(self);
  uint32_t eip = 0;
  uc_reg_read(uc, UC_X86_REG_EIP, &eip);
  if (!cpu->pending_.fault)
    cpu->pending_.fault =
        cpu->Fault("processor exception " + std::to_string(vector) + " (" + ExceptionName(vector) + ")", eip, "");
  uc_emu_stop(uc);
}

uint32_t EmulatedCpu::OnIn(uc_engine*, uint32_t port, int size, void* self) {
  auto& ports = static_cast<EmulatedCpu*>(self)->board_.Ports();
  uint32_t value = 0;
  for (int i = 0; i < size; ++i) value |= uint32_t{ports.Read8(static_cast<uint16_t>(port + i))} << (8 * i);
  return value;
}

void EmulatedCpu::OnOut(uc_engine*, uint32_t port, int size, uint32_t value, void* self) {
  auto& ports = static_cast<EmulatedCpu*>(self)->board_.Ports();
  for (int i = 0; i < size; ++i) ports.Write8(static_cast<uint16_t>(port + i), static_cast<uint8_t>(value >> (8 * i)));
}

uint64_t EmulatedCpu::OnMmioRead(uc_engine*, uint64_t offset, unsigned size, void* self) {
  auto* cpu = static_cast<EmulatedCpu*>(self);
  return cpu->board_.Mmio().Read(cpu->board_.Options().memory.pcieBase + offset, size);
}

void EmulatedCpu::OnMmioWrite(uc_engine*, uint64_t offset, unsigned size, uint64_t value, void* self) {
  auto* cpu = static_cast<EmulatedCpu*>(self);
  cpu->board_.Mmio().Write(cpu->board_.Options().memory.pcieBase + offset, size, value);
}

}  // namespace board::emulator

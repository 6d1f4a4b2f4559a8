#include "EmulatedBoard.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "Board/BoardError.h"
#include "GuestLayout.h"
#include "Ia32Status.h"

namespace board::emulator {

namespace {
constexpr uint32_t kPage = 0x1000;

std::string Hex(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08x", value);
  return text;
}
}  // namespace

GuestRegion::GuestRegion(uint32_t base, uint32_t size, uint32_t permissions)
    : base_(base), size_(size), permissions_(permissions),
      data_(static_cast<uint8_t*>(std::aligned_alloc(kPage, size))) {
  if (data_ == nullptr) throw BoardError("emulator: out of host memory");
  std::memset(data_, 0, size);
}

GuestRegion::~GuestRegion() { std::free(data_); }

EmulatedBoard::EmulatedBoard(Board& board, FlashContents flash, uint64_t runInstructionLimit)
    : board_(board), runInstructionLimit_(runInstructionLimit), images_(std::move(flash.images)) {
  const unsigned count = static_cast<unsigned>(board_.Processors().size());
  if (count > kMaxProcessors) throw BoardError("emulator: more than " + std::to_string(kMaxProcessors) + " processors");
  if (flash.bytes.size() != kFlashSize) throw BoardError("emulator: flash is not " + std::to_string(kFlashSize) + " bytes");

  flash_ = regions_.emplace_back(std::make_unique<GuestRegion>(kFlashBase, kFlashSize, UC_PROT_READ | UC_PROT_EXEC)).get();
  std::memcpy(flash_->Bytes().data(), flash.bytes.data(), kFlashSize);
  pristineFlash_ = std::move(flash.bytes);
  GuestRegion& services = *regions_.emplace_back(std::make_unique<GuestRegion>(kServicesBase, kServicesSize, UC_PROT_READ));
  GuestRegion& traps = *regions_.emplace_back(std::make_unique<GuestRegion>(kTrapBase, kTrapSize, UC_PROT_READ | UC_PROT_EXEC));
  std::memset(traps.Bytes().data(), 0xC3, kTrapSize);  // RET: never executed, the code hook takes the call first
  GuestRegion& returnPage =
      *regions_.emplace_back(std::make_unique<GuestRegion>(kReturnAddress, kReturnPageSize, UC_PROT_READ | UC_PROT_EXEC));
  std::memset(returnPage.Bytes().data(), 0xF4, kReturnPageSize);  // HLT
  GuestRegion& stacks =
      *regions_.emplace_back(std::make_unique<GuestRegion>(kStacksBase, kStackSize * count, UC_PROT_READ | UC_PROT_WRITE));

  for (const FlashImage& image : images_) {
    if (auto loop = image.map.Find("CpuDeadLoop"); loop && !image.map.Shared(*loop)) deadLoops_.insert(image.base + *loop);
  }

  services_ = std::make_unique<GuestServices>(board_, services.Bytes(), cpus_, record_);
  services_->LayOut();
  for (unsigned i = 0; i < count; ++i) {
    const Processor& processor = board_.Processors()[i];
    const uint32_t idt = static_cast<uint32_t>(processor.idtrBase);
    cpus_.push_back(std::make_unique<EmulatedCpu>(i, board_, *this, stacks.Bytes().subspan(size_t{kStackSize} * i, kStackSize),
                                                  kStacksBase + kStackSize * i, idt, processor.idtrLimit));
    cpus_.back()->SetMm7(processor.mm7);
  }
  // The services pointer the guest finds through its IDTR: the UINTN below the IDT base.
  const uint32_t cell = kServicesCell;
  std::memcpy(board_.Memory().At(board_.Processors().front().idtrBase - 4, 4), &cell, 4);

  board_.SetNotificationInvoker(
      [this](const Notification& n, const EFI_PEI_PPI_DESCRIPTOR& ppi) { return services_->InvokeNotification(n, ppi); });
}

EmulatedBoard::~EmulatedBoard() { board_.SetNotificationInvoker(nullptr); }

void EmulatedBoard::MapShared(uc_engine* engine) {
  auto map = [&](uint32_t base, uint32_t size, uint32_t permissions, void* host, const std::string& name) {
    if (uc_err error = uc_mem_map_ptr(engine, base, size, permissions, host); error != UC_ERR_OK)
      throw BoardError("emulator: cannot map " + name + " at " + Hex(base) + ": " + uc_strerror(error));
  };
  // The board's memory is the host's own at the same addresses: guest and board share every byte.
  for (const MemoryRegion& region : board_.Memory().Regions())
    map(region.base, region.size, UC_PROT_READ | UC_PROT_WRITE, board_.Memory().At(region.base, region.size), region.name);
  for (const auto& region : regions_)
    map(region->Base(), static_cast<uint32_t>(region->Bytes().size()), region->Permissions(), region->Bytes().data(),
        "an emulator region");
}

std::vector<uint32_t> EmulatedBoard::InterceptAddresses() const {
  return {deadLoops_.begin(), deadLoops_.end()};
}

uint64_t EmulatedBoard::Trap(EmulatedCpu& cpu, uint32_t address) {
  if (address < kTrapBase || (address - kTrapBase) % kTrapSlotSize != 0 ||
      (address - kTrapBase) / kTrapSlotSize >= static_cast<uint32_t>(Trap::Count))
    throw GuestFault{{RunningModule(), cpu.Number(), "call into the board's trap page off any slot", Locate(address), "", {}, false}};
  return services_->Handle(cpu, static_cast<emulator::Trap>((address - kTrapBase) / kTrapSlotSize));
}

const FlashImage* EmulatedBoard::ImageAt(uint32_t address) const {
  for (const FlashImage& image : images_)
    if (address >= image.base && address - image.base < image.size) return &image;
  return nullptr;
}

bool EmulatedBoard::InImage(uint32_t address) const { return ImageAt(address) != nullptr; }

CodeLocation EmulatedBoard::Locate(uint32_t address) const {
  CodeLocation location{address, Hex(address)};
  if (const FlashImage* image = ImageAt(address)) {
    std::string symbol = image->map.Nearest(address - image->base);
    location.where += " (" + image->name + (symbol.empty() ? "" : "!" + symbol) + ")";
  } else if (address >= kTrapBase && address < kTrapBase + kTrapSize) {
    location.where += " (board service trap)";
  }
  return location;
}

void EmulatedBoard::FlashWritten(EmulatedCpu& cpu, uint32_t address, unsigned size, uint64_t value) {
  FlashWriteRecord write;
  write.module = RunningModule();
  write.processor = cpu.Number();
  write.instruction = Locate(cpu.Eip());
  write.address = address;
  for (unsigned i = 0; i < size; ++i) write.bytes.push_back(static_cast<uint8_t>(value >> (8 * i)));
  if (const FlashImage* image = ImageAt(address)) {
    std::string symbol = image->map.Nearest(address - image->base);
    write.target = image->name + (symbol.empty() ? "" : "!" + symbol);
  }
  record_.flashWrites.push_back(std::move(write));
  flashDirty_ = true;
}

void EmulatedBoard::UndoFlashWrites() {
  if (!flashDirty_) return;
  std::memcpy(flash_->Bytes().data(), pristineFlash_.data(), kFlashSize);
  flashDirty_ = false;
}

DispatchRecord EmulatedBoard::Dispatch(const std::string& module) {
  const FlashImage* image = nullptr;
  for (const FlashImage& candidate : images_)
    if (candidate.name == module) image = &candidate;
  if (image == nullptr) throw BoardError("flash holds no module image named " + module);
  return board_.Dispatch(module, [&]() -> EFI_STATUS {
    EmulatedCpu& bsp = *cpus_.front();
    // The file handle a PEI core passes is the module's file in flash; the image base stands for it.
    const uint32_t args[] = {image->base, kServicesCell};
    struct SyncOnExit {
      GuestServices& services;
      EmulatedCpu& cpu;
      ~SyncOnExit() { services.SyncMm7(cpu); }
    } sync{*services_, bsp};
    try {
      return FromGuestStatus(static_cast<uint32_t>(bsp.Call(image->entry, args)));
    } catch (GuestFault& fault) {
      return services_->Faulted(std::move(fault.record), true);
    }
  });
}

}  // namespace board::emulator

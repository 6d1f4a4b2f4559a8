#include "Board.h"

#include <algorithm>
#include <cstring>
#include <latch>
#include <thread>

#include <Guid/VerbosityHob.h>
#include <OemPcdTokens.h>
#include <Ppi/MemoryDiscovered.h>
#include <Register/VerbosityScratch.h>

#include "BoardError.h"
#include "PrintFormat.h"

namespace board {

namespace {
// The IDT lives in the processor-data region; the PEI Services pointer is
// the UINTN just below its base, where IDT-based PEI cores keep it.
constexpr uint32_t kIdtOffset = 0x100;
constexpr uint16_t kIdtLimit = 256 * 16 - 1;
constexpr const char* kPlatform = "Platform";

// The PCH power-management controller the board carries.
constexpr uint8_t kPmcDevice = 31;
constexpr uint8_t kPmcFunction = 2;
}  // namespace

// The PI entry points of the board's services. Those without a This
// argument (PCD, debug service) find the board through the processor that
// runs them.
struct BoardServices {
  static Board& Of(const EFI_PEI_SERVICES** services) {
    return *reinterpret_cast<const Board::ServicesAnchor*>(services)->board;
  }

  // PEI Services.
  static EFI_STATUS EFIAPI InstallPpi(const EFI_PEI_SERVICES** s, const EFI_PEI_PPI_DESCRIPTOR* list) {
    Board& b = Of(s);
    if (auto fault = b.faults_.Check(Service::InstallPpi)) return *fault;
    return b.ppis_.Install(list, b.running_);
  }
  static EFI_STATUS EFIAPI ReInstallPpi(const EFI_PEI_SERVICES** s, const EFI_PEI_PPI_DESCRIPTOR* oldPpi,
                                        const EFI_PEI_PPI_DESCRIPTOR* newPpi) {
    Board& b = Of(s);
    return b.ppis_.Reinstall(oldPpi, newPpi, b.running_);
  }
  static EFI_STATUS EFIAPI LocatePpi(const EFI_PEI_SERVICES** s, const EFI_GUID* guid, UINTN instance,
                                     EFI_PEI_PPI_DESCRIPTOR** descriptor, void** ppi) {
    return Of(s).ppis_.Locate(guid, instance, descriptor, ppi);
  }
  static EFI_STATUS EFIAPI NotifyPpi(const EFI_PEI_SERVICES** s, const EFI_PEI_NOTIFY_DESCRIPTOR* list) {
    Board& b = Of(s);
    if (auto fault = b.faults_.Check(Service::NotifyPpi)) return *fault;
    return b.ppis_.Notify(list, b.running_);
  }
  static EFI_STATUS EFIAPI GetBootMode(const EFI_PEI_SERVICES** s, EFI_BOOT_MODE* mode) {
    if (mode == nullptr) return EFI_INVALID_PARAMETER;
    *mode = Of(s).hobs_->Phit().BootMode;
    return EFI_SUCCESS;
  }
  static EFI_STATUS EFIAPI SetBootMode(const EFI_PEI_SERVICES** s, EFI_BOOT_MODE mode) {
    Of(s).hobs_->Phit().BootMode = mode;
    return EFI_SUCCESS;
  }
  static EFI_STATUS EFIAPI GetHobList(const EFI_PEI_SERVICES** s, void** hobList) {
    if (hobList == nullptr) return EFI_INVALID_PARAMETER;
    *hobList = Of(s).hobs_->Start();
    return EFI_SUCCESS;
  }
  static EFI_STATUS EFIAPI CreateHob(const EFI_PEI_SERVICES** s, UINT16 type, UINT16 length, void** hob) {
    Board& b = Of(s);
    if (auto fault = b.faults_.Check(Service::CreateHob)) return *fault;
    return b.hobs_->Create(type, length, hob);
  }
  static EFI_STATUS EFIAPI AllocatePages(const EFI_PEI_SERVICES** s, EFI_MEMORY_TYPE type, UINTN pages,
                                         EFI_PHYSICAL_ADDRESS* memory) {
    Board& b = Of(s);
    if (auto fault = b.faults_.Check(Service::AllocatePages)) return *fault;
    return b.hobs_->AllocatePages(type, pages, memory);
  }
  static EFI_STATUS EFIAPI AllocatePool(const EFI_PEI_SERVICES** s, UINTN size, void** buffer) {
    Board& b = Of(s);
    if (auto fault = b.faults_.Check(Service::AllocatePool)) return *fault;
    return b.hobs_->AllocatePool(size, buffer);
  }
  static void EFIAPI CopyMem(void* destination, void* source, UINTN length) {
    if (length != 0) std::memmove(destination, source, length);
  }
  static void EFIAPI SetMem(void* buffer, UINTN size, UINT8 value) {
    if (size != 0) std::memset(buffer, value, size);
  }
  static EFI_STATUS EFIAPI InstallPeiMemory(const EFI_PEI_SERVICES**, EFI_PHYSICAL_ADDRESS, UINT64) {
    // Permanent memory is a platform event of the board, not a module's call.
    return EFI_UNSUPPORTED;
  }

  // Read-only variable PPI.
  static EFI_STATUS EFIAPI GetVariable(const EFI_PEI_READ_ONLY_VARIABLE2_PPI* self, const CHAR16* name,
                                       const EFI_GUID* guid, UINT32* attributes, UINTN* dataSize, void* data) {
    auto* record = reinterpret_cast<const Board::VariablePpiRecord*>(self);
    return record->board->variables_.Get(name, guid, attributes, dataSize, data);
  }
  static EFI_STATUS EFIAPI NextVariableName(const EFI_PEI_READ_ONLY_VARIABLE2_PPI*, UINTN*, CHAR16*, EFI_GUID*) {
    return EFI_UNSUPPORTED;
  }

  // IPMI transport.
  static EFI_STATUS EFIAPI SendIpmiCommand(PEI_IPMI_TRANSPORT_PPI* self, UINT8 netFn, UINT8 lun, UINT8 command,
                                           UINT8* request, UINT32 requestLength, UINT8* response,
                                           UINT8* responseLength) {
    auto* record = reinterpret_cast<Board::IpmiPpiRecord*>(self);
    return record->board->Ipmi().Handle(netFn, lun, command, request, requestLength, response, responseLength);
  }

  // PCD PPI.
  static uint64_t Get(UINTN token, PcdType type) { return Board::Current().pcd_.Get(token, type); }
  static EFI_STATUS Set(UINTN token, PcdType type, uint64_t value) {
    Board& b = Board::Current();
    if (auto fault = b.faults_.Check(Service::PcdSet)) {
      b.pcd_.RecordRefusedSet(token, value, *fault);
      return *fault;
    }
    return b.pcd_.Set(token, type, value);
  }
  static void EFIAPI SetSku(UINTN) {}
  static UINT8 EFIAPI Get8(UINTN t) { return static_cast<UINT8>(Get(t, PcdType::Uint8)); }
  static UINT16 EFIAPI Get16(UINTN t) { return static_cast<UINT16>(Get(t, PcdType::Uint16)); }
  static UINT32 EFIAPI Get32(UINTN t) { return static_cast<UINT32>(Get(t, PcdType::Uint32)); }
  static UINT64 EFIAPI Get64(UINTN t) { return Get(t, PcdType::Uint64); }
  static void* EFIAPI GetPtr(UINTN) { return nullptr; }
  static BOOLEAN EFIAPI GetBool(UINTN t) { return static_cast<BOOLEAN>(Get(t, PcdType::Boolean)); }
  static UINTN EFIAPI GetSize(UINTN t) {
    auto token = Board::Current().pcd_.Find(t);
    return token ? PcdTypeSize(token->type) : 0;
  }
  static UINT8 EFIAPI Get8Ex(const EFI_GUID*, UINTN) { return 0; }
  static UINT16 EFIAPI Get16Ex(const EFI_GUID*, UINTN) { return 0; }
  static UINT32 EFIAPI Get32Ex(const EFI_GUID*, UINTN) { return 0; }
  static UINT64 EFIAPI Get64Ex(const EFI_GUID*, UINTN) { return 0; }
  static void* EFIAPI GetPtrEx(const EFI_GUID*, UINTN) { return nullptr; }
  static BOOLEAN EFIAPI GetBoolEx(const EFI_GUID*, UINTN) { return FALSE; }
  static UINTN EFIAPI GetSizeEx(const EFI_GUID*, UINTN) { return 0; }
  static EFI_STATUS EFIAPI Set8(UINTN t, UINT8 v) { return Set(t, PcdType::Uint8, v); }
  static EFI_STATUS EFIAPI Set16(UINTN t, UINT16 v) { return Set(t, PcdType::Uint16, v); }
  static EFI_STATUS EFIAPI Set32(UINTN t, UINT32 v) { return Set(t, PcdType::Uint32, v); }
  static EFI_STATUS EFIAPI Set64(UINTN t, UINT64 v) { return Set(t, PcdType::Uint64, v); }
  static EFI_STATUS EFIAPI SetPtr(UINTN, UINTN*, void*) { return EFI_UNSUPPORTED; }
  static EFI_STATUS EFIAPI SetBool(UINTN t, BOOLEAN v) { return Set(t, PcdType::Boolean, v); }
  static EFI_STATUS EFIAPI Set8Ex(const EFI_GUID*, UINTN, UINT8) { return EFI_UNSUPPORTED; }
  static EFI_STATUS EFIAPI Set16Ex(const EFI_GUID*, UINTN, UINT16) { return EFI_UNSUPPORTED; }
  static EFI_STATUS EFIAPI Set32Ex(const EFI_GUID*, UINTN, UINT32) { return EFI_UNSUPPORTED; }
  static EFI_STATUS EFIAPI Set64Ex(const EFI_GUID*, UINTN, UINT64) { return EFI_UNSUPPORTED; }
  static EFI_STATUS EFIAPI SetPtrEx(const EFI_GUID*, UINTN, UINTN*, void*) { return EFI_UNSUPPORTED; }
  static EFI_STATUS EFIAPI SetBoolEx(const EFI_GUID*, UINTN, BOOLEAN) { return EFI_UNSUPPORTED; }
  static EFI_STATUS EFIAPI CallbackOnSet(const EFI_GUID*, UINTN, PCD_PPI_CALLBACK) { return EFI_UNSUPPORTED; }
  static EFI_STATUS EFIAPI CancelCallback(const EFI_GUID*, UINTN, PCD_PPI_CALLBACK) { return EFI_UNSUPPORTED; }
  static EFI_STATUS EFIAPI GetNextToken(const EFI_GUID*, UINTN*) { return EFI_UNSUPPORTED; }
  static EFI_STATUS EFIAPI GetNextTokenSpace(const EFI_GUID**) { return EFI_UNSUPPORTED; }

  // Debug service PPI.
  static void EFIAPI Print(UINT32 level, const CHAR8* format, VA_LIST marker) {
    Board& b = Board::Current();
    VaListArgumentReader arguments(marker);
    b.console_.Message(b.running_, level, FormatPrintLib(format == nullptr ? "" : format, arguments));
  }
  static void EFIAPI Assert(const CHAR8* file, UINT32 line, const CHAR8* description) {
    Board& b = Board::Current();
    b.console_.Assertion(b.running_, file == nullptr ? "" : file, line, description == nullptr ? "" : description);
  }

  // MP services PPI.
  static EFI_STATUS EFIAPI GetNumberOfProcessors(const EFI_PEI_SERVICES** s, EFI_PEI_MP_SERVICES_PPI*, UINTN* count,
                                                 UINTN* enabled) {
    if (count == nullptr || enabled == nullptr) return EFI_INVALID_PARAMETER;
    *count = *enabled = Of(s).processors_.size();
    return EFI_SUCCESS;
  }
  static EFI_STATUS EFIAPI GetProcessorInfo(const EFI_PEI_SERVICES** s, EFI_PEI_MP_SERVICES_PPI*, UINTN number,
                                            EFI_PROCESSOR_INFORMATION* info) {
    Board& b = Of(s);
    if (info == nullptr) return EFI_INVALID_PARAMETER;
    if (number >= b.processors_.size()) return EFI_NOT_FOUND;
    *info = {};
    info->ProcessorId = number;
    info->StatusFlag = PROCESSOR_ENABLED_BIT | PROCESSOR_HEALTH_STATUS_BIT | (number == 0 ? PROCESSOR_AS_BSP_BIT : 0);
    info->Location.Core = static_cast<UINT32>(number);
    return EFI_SUCCESS;
  }
  static EFI_STATUS EFIAPI StartupAllAPs(const EFI_PEI_SERVICES** s, EFI_PEI_MP_SERVICES_PPI*,
                                         EFI_AP_PROCEDURE procedure, BOOLEAN singleThread, UINTN, void* argument) {
    return Of(s).StartupAllAps(procedure, singleThread != FALSE, argument);
  }
  static EFI_STATUS EFIAPI StartupThisAP(const EFI_PEI_SERVICES**, EFI_PEI_MP_SERVICES_PPI*, EFI_AP_PROCEDURE, UINTN,
                                         UINTN, void*) {
    return EFI_UNSUPPORTED;
  }
  static EFI_STATUS EFIAPI SwitchBSP(const EFI_PEI_SERVICES**, EFI_PEI_MP_SERVICES_PPI*, UINTN, BOOLEAN) {
    return EFI_UNSUPPORTED;
  }
  static EFI_STATUS EFIAPI EnableDisableAP(const EFI_PEI_SERVICES**, EFI_PEI_MP_SERVICES_PPI*, UINTN, BOOLEAN,
                                           UINT32*) {
    return EFI_UNSUPPORTED;
  }
  static EFI_STATUS EFIAPI WhoAmI(const EFI_PEI_SERVICES**, EFI_PEI_MP_SERVICES_PPI*, UINTN* number) {
    if (number == nullptr) return EFI_INVALID_PARAMETER;
    *number = CurrentProcessor().number;
    return EFI_SUCCESS;
  }
};

Board& Board::Current() {
  Board* board = CurrentProcessor().board;
  if (board == nullptr) throw BoardError("the running processor belongs to no board");
  return *board;
}

Board::Board(BoardOptions options)
    : options_(std::move(options)),
      pcie_(options_.memory.pcieBase),
      mmio_(memory_, pcie_),
      ppis_([this](const Notification& n, const EFI_PEI_PPI_DESCRIPTOR& p) { RunNotification(n, p); }) {
  const MemoryMap& map = options_.memory;
  memory_.Map(map.temporaryRam);
  memory_.Map(map.permanentMemory);
  memory_.Map(map.hostStructure);
  memory_.Map(map.processorData);
  hobs_ = std::make_unique<HobList>(memory_, map.temporaryRam, options_.bootMode);

  for (unsigned i = 0; i <= options_.applicationProcessors; ++i) {
    Processor& cpu = processors_.emplace_back();
    cpu.number = i;
    cpu.bootProcessor = i == 0;
    cpu.board = this;
    cpu.idtrBase = map.processorData.base + kIdtOffset;
    cpu.idtrLimit = kIdtLimit;
  }

  BuildServicesTable();
  auto* slot = reinterpret_cast<const EFI_PEI_SERVICES***>(memory_.At(map.processorData.base + kIdtOffset - sizeof(UINTN),
                                                                       sizeof(UINTN)));
  *slot = Services();

  ports_.Define(VERBOSITY_SCRATCH_PORT, options_.scratchRegister);
  pcie_.AddFunction(0, kPmcDevice, kPmcFunction);

  pcd_.Define(_PCD_TOKEN_PcdSysHostMemoryAddress, PcdType::Uint64, map.hostStructure.base);
  pcd_.Define(_PCD_TOKEN_PcdPcieMmcfgBase, PcdType::Uint64, map.pcieBase);
  pcd_.Define(_PCD_TOKEN_PcdOemIsFirstBoot, PcdType::Boolean, 0);
  pcd_.Define(_PCD_TOKEN_PcdDebugRasLogLevel, PcdType::Uint8, 0);
  pcd_.Define(_PCD_TOKEN_PcdIioPortValueFlagClear, PcdType::Uint8, 0);
  pcd_.Define(_PCD_TOKEN_PcdIioPortValueFlagSet, PcdType::Uint8, 0);
  pcd_.Define(_PCD_TOKEN_PcdIioPresetSelector, PcdType::Uint16, 0);

  const auto& absent = options_.absent;
  RunOnBsp(kPlatform, [&] {
    if (!absent.contains(PlatformPpi::DebugService)) InstallBoardPpi(gDebugServicePpiGuid, &debugPpi_);
    if (!absent.contains(PlatformPpi::Pcd)) InstallBoardPpi(gPcdPpiGuid, &pcdPpi_);
    if (!absent.contains(PlatformPpi::ReadOnlyVariable)) InstallBoardPpi(gEfiPeiReadOnlyVariable2PpiGuid, &variablePpi_);
    if (!absent.contains(PlatformPpi::IpmiTransport)) InstallBoardPpi(gEfiPeiIpmiTransportPpiGuid, &ipmiPpi_);
  });
}

Board::~Board() = default;

void Board::BuildServicesTable() {
  using S = BoardServices;
  table_.Hdr.Signature = PEI_SERVICES_SIGNATURE;
  table_.Hdr.Revision = PEI_SERVICES_REVISION;
  table_.Hdr.HeaderSize = sizeof(EFI_PEI_SERVICES);
  table_.InstallPpi = S::InstallPpi;
  table_.ReInstallPpi = S::ReInstallPpi;
  table_.LocatePpi = S::LocatePpi;
  table_.NotifyPpi = S::NotifyPpi;
  table_.GetBootMode = S::GetBootMode;
  table_.SetBootMode = S::SetBootMode;
  table_.GetHobList = S::GetHobList;
  table_.CreateHob = S::CreateHob;
  table_.InstallPeiMemory = S::InstallPeiMemory;
  table_.AllocatePages = S::AllocatePages;
  table_.AllocatePool = S::AllocatePool;
  table_.CopyMem = S::CopyMem;
  table_.SetMem = S::SetMem;
  anchor_ = {&table_, this};

  variablePpi_ = {{S::GetVariable, S::NextVariableName}, this};
  ipmiPpi_ = {{0, S::SendIpmiCommand}, this};
  mpPpi_ = {{S::GetNumberOfProcessors, S::GetProcessorInfo, S::StartupAllAPs, S::StartupThisAP, S::SwitchBSP,
             S::EnableDisableAP, S::WhoAmI},
            this};
  pcdPpi_ = {S::SetSku,   S::Get8,      S::Get16,   S::Get32,    S::Get64,    S::GetPtr,        S::GetBool,
             S::GetSize,  S::Get8Ex,    S::Get16Ex, S::Get32Ex,  S::Get64Ex,  S::GetPtrEx,     S::GetBoolEx,
             S::GetSizeEx, S::Set8,     S::Set16,   S::Set32,    S::Set64,    S::SetPtr,        S::SetBool,
             S::Set8Ex,   S::Set16Ex,   S::Set32Ex, S::Set64Ex,  S::SetPtrEx, S::SetBoolEx,     S::CallbackOnSet,
             S::CancelCallback, S::GetNextToken, S::GetNextTokenSpace};
  debugPpi_ = {S::Print, S::Assert};
}

void Board::InstallBoardPpi(const EFI_GUID& guid, void* interface) {
  const EFI_GUID& stored = boardGuids_.emplace_back(guid);
  EFI_PEI_PPI_DESCRIPTOR& descriptor = boardDescriptors_.emplace_back();
  descriptor.Flags = EFI_PEI_PPI_DESCRIPTOR_PPI | EFI_PEI_PPI_DESCRIPTOR_TERMINATE_LIST;
  descriptor.Guid = const_cast<EFI_GUID*>(&stored);
  descriptor.Ppi = interface;
  if (EFI_STATUS status = ppis_.Install(&descriptor, kPlatform); EFI_ERROR(status))
    throw BoardError("the board could not install its own PPI " + GuidToString(guid));
}

void Board::RunOnBsp(const std::string& module, const std::function<void()>& work) {
  if (halt_) return;
  ProcessorBinding binding(Bsp());
  std::string previous = running_;
  running_ = module;
  try {
    work();
  } catch (const ProcessorHalted& halted) {
    halt_ = HaltRecord{running_, halted.processor};
  }
  running_ = previous;
}

void Board::RunNotification(const Notification& notification, const EFI_PEI_PPI_DESCRIPTOR& ppi) {
  std::string previous = running_;
  running_ = notification.owner;
  // A dead loop unwinds through here to RunOnBsp; restore on the normal path only.
  EFI_STATUS status =
      invokeNotification_
          ? invokeNotification_(notification, ppi)
          : notification.descriptor->Notify(const_cast<EFI_PEI_SERVICES**>(Services()),
                                            const_cast<EFI_PEI_NOTIFY_DESCRIPTOR*>(notification.descriptor), ppi.Ppi);
  notificationRuns_.push_back({notification.owner, *ppi.Guid, status});
  running_ = previous;
}

DispatchRecord Board::Dispatch(const ModuleImage& image) {
  return Dispatch(std::string(image.name), [&] {
    image.Reload();
    void* fileHandle = &fileHandles_.emplace_back(fileHandles_.size() + 1);
    return image.entry(fileHandle, Services());
  });
}

DispatchRecord Board::Dispatch(const std::string& module, const std::function<EFI_STATUS()>& runEntry) {
  DispatchRecord record{module};
  if (halt_) {
    dispatches_.push_back(record);
    return record;
  }
  record.ran = true;
  RunOnBsp(record.module, [&] {
    record.status = runEntry();
    ppis_.RunPendingDispatchNotifications();
  });
  record.halted = halt_.has_value() && halt_->module == record.module;
  dispatches_.push_back(record);
  return record;
}

void Board::InstallPermanentMemory() {
  if (memoryInstalled_) throw BoardError("permanent memory is already installed");
  memoryInstalled_ = true;
  hobs_->MoveTo(options_.memory.permanentMemory);
  RunOnBsp(kPlatform, [&] { InstallBoardPpi(gEfiPeiMemoryDiscoveredPpiGuid, &emptyInterface_); });
}

void Board::InstallMpServices() {
  RunOnBsp(kPlatform, [&] { InstallBoardPpi(gEfiPeiMpServicesPpiGuid, &mpPpi_); });
}

void Board::InstallPlatformPpi(const EFI_GUID& guid) {
  RunOnBsp(kPlatform, [&] { InstallBoardPpi(guid, &emptyInterface_); });
}

void Board::ReinstallPlatformPpi(const EFI_GUID& guid) {
  auto installed = std::find_if(boardDescriptors_.rbegin(), boardDescriptors_.rend(),
                                [&](const EFI_PEI_PPI_DESCRIPTOR& d) { return SameGuid(*d.Guid, guid); });
  if (installed == boardDescriptors_.rend())
    throw BoardError("the board has not installed " + GuidToString(guid) + " to reinstall it");
  const EFI_PEI_PPI_DESCRIPTOR* descriptor = &*installed;
  RunOnBsp(kPlatform, [&] {
    if (EFI_ERROR((*Services())->ReInstallPpi(Services(), descriptor, descriptor)))
      throw BoardError("the board could not reinstall its own PPI " + GuidToString(guid));
  });
}

EFI_STATUS Board::StartupAllAps(EFI_AP_PROCEDURE procedure, bool singleThread, void* argument) {
  if (auto fault = faults_.Check(Service::StartupAllAPs)) return *fault;
  if (procedure == nullptr) return EFI_INVALID_PARAMETER;
  if (processors_.size() < 2) return EFI_NOT_STARTED;

  const auto apCount = static_cast<ptrdiff_t>(processors_.size() - 1);
  std::latch start(singleThread ? 1 : apCount);
  // An AP that has run the procedure stays under way until every AP has run
  // it: however short the procedure, all APs of one call are running at once.
  std::latch finish(singleThread ? 1 : apCount);
  std::atomic<bool> apHalted{false};
  auto runOn = [&](Processor& ap) {
    ProcessorBinding binding(ap);
    if (!singleThread) start.arrive_and_wait();  // all APs begin together
    unsigned now = ++runningAps_;
    for (unsigned peak = peakConcurrentAps_.load(); now > peak && !peakConcurrentAps_.compare_exchange_weak(peak, now);) {
    }
    try {
      procedure(argument);
    } catch (const ProcessorHalted&) {
      apHalted = true;
    }
    if (!singleThread) finish.arrive_and_wait();
    --runningAps_;
  };

  if (singleThread) {
    for (size_t i = 1; i < processors_.size(); ++i) std::thread(runOn, std::ref(processors_[i])).join();
  } else {
    std::vector<std::thread> threads;
    for (size_t i = 1; i < processors_.size(); ++i) threads.emplace_back(runOn, std::ref(processors_[i]));
    for (auto& thread : threads) thread.join();
  }
  if (apHalted) throw BoardError("an application processor halted in a dead loop");
  return EFI_SUCCESS;
}

}  // namespace board

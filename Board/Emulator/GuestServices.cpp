#include "GuestServices.h"

#include <cstring>

#include "Board/BoardError.h"
#include "Board/GuidText.h"
#include "GuestArguments.h"
#include "GuestLayout.h"
#include "Ia32Status.h"

namespace board::emulator {

namespace {
constexpr size_t kMaxFormatChars = 0x10000;
constexpr size_t kMaxVariableNameChars = 1024;

// A notification whose callback is guest code: the board never calls this
// pointer (the invoker runs the guest function), it only has to be non-null.
EFI_STATUS EFIAPI GuestCallbackPlaceholder(EFI_PEI_SERVICES**, EFI_PEI_NOTIFY_DESCRIPTOR*, VOID*) {
  throw BoardError("a guest notification callback was called as host code");
}

uint64_t Status(EFI_STATUS status) { return ToGuestStatus(status); }
}  // namespace

uint32_t TrapAddress(Trap trap) { return kTrapBase + kTrapSlotSize * static_cast<uint32_t>(trap); }

static_assert(kTrapSlotSize * static_cast<uint32_t>(Trap::Count) <= kTrapSize);

GuestServices::GuestServices(Board& board, std::span<uint8_t> services, std::vector<std::unique_ptr<EmulatedCpu>>& cpus,
                             EmulationRecord& record)
    : board_(board), services_(services), cpus_(cpus), record_(record) {}

template <typename T>
void GuestServices::Put(uint32_t address, const T& value) {
  if (address < kServicesBase || address - kServicesBase + sizeof(T) > services_.size())
    throw BoardError("emulator: the guest services region is full");
  std::memcpy(services_.data() + (address - kServicesBase), &value, sizeof(T));
}

void GuestServices::LayOut() {
  auto slots = [&](uint32_t at, std::initializer_list<Trap> traps) {
    for (Trap trap : traps) {
      Put<uint32_t>(at, trap == Trap::Count ? 0 : TrapAddress(trap));
      at += 4;
    }
  };
  constexpr Trap kNone = Trap::Count;  // a table entry the board leaves empty

  Put<uint32_t>(kServicesCell, kServicesTable);
  Put<uint64_t>(kServicesTable, PEI_SERVICES_SIGNATURE);
  Put<uint32_t>(kServicesTable + 8, PEI_SERVICES_REVISION);
  Put<uint32_t>(kServicesTable + 12, kPeiServicesTableSize);
  slots(kServicesTable + 24, {Trap::InstallPpi, Trap::ReInstallPpi, Trap::LocatePpi, Trap::NotifyPpi, Trap::GetBootMode,
                              Trap::SetBootMode, Trap::GetHobList, Trap::CreateHob, kNone, kNone, kNone,
                              Trap::InstallPeiMemory, Trap::AllocatePages, Trap::AllocatePool, Trap::CopyMem,
                              Trap::SetMem});
  slots(kVariablePpi, {Trap::GetVariable, Trap::NextVariableName});
  for (uint32_t i = 0; i < 31; ++i)
    Put<uint32_t>(kPcdPpi + 4 * i, TrapAddress(static_cast<Trap>(static_cast<uint32_t>(Trap::PcdSetSku) + i)));
  Put<uint64_t>(kIpmiPpi, 0);
  slots(kIpmiPpi + 8, {Trap::SendIpmiCommand});
  slots(kDebugPpi, {Trap::Print, Trap::Assert});
  slots(kMpPpi, {Trap::GetNumberOfProcessors, Trap::GetProcessorInfo, Trap::StartupAllAPs, Trap::StartupThisAP,
                 Trap::SwitchBSP, Trap::EnableDisableAP, Trap::WhoAmI});
  Put<uint64_t>(kEmptyPpi, 0);
}

void GuestServices::SyncMm7(EmulatedCpu& cpu) { board_.Processors()[cpu.Number()].mm7 = cpu.Mm7(); }

EFI_STATUS GuestServices::Faulted(FaultRecord fault, bool inEntry) {
  fault.inEntry = inEntry;
  record_.faults.push_back(std::move(fault));
  return EFI_ABORTED;
}

const EFI_GUID* GuestServices::ShadowGuid(EmulatedCpu& cpu, uint32_t guid) {
  if (guid == 0) return nullptr;
  EFI_GUID& copy = guids_.emplace_back();
  cpu.Read(guid, &copy, sizeof copy);
  return &copy;
}

const EFI_PEI_PPI_DESCRIPTOR* GuestServices::ShadowPpis(EmulatedCpu& cpu, uint32_t list, size_t maxEntries) {
  if (list == 0) return nullptr;
  auto& shadow = ppiLists_.emplace_back();
  shadow.reserve(maxEntries);
  // Read as far as the database will look: to the terminator or the first entry it refuses.
  for (size_t i = 0; i < maxEntries; ++i) {
    const uint32_t at = list + static_cast<uint32_t>(i) * kPpiDescriptorSize;
    uint32_t fields[3];
    cpu.Read(at, fields, sizeof fields);
    EFI_PEI_PPI_DESCRIPTOR& entry = shadow.emplace_back();
    entry.Flags = fields[0];
    entry.Guid = const_cast<EFI_GUID*>(ShadowGuid(cpu, fields[1]));
    entry.Ppi = reinterpret_cast<void*>(uintptr_t{fields[2]});
    const bool refused = (entry.Flags & EFI_PEI_PPI_DESCRIPTOR_PPI) == 0 || entry.Guid == nullptr || entry.Ppi == nullptr;
    if (refused || (entry.Flags & EFI_PEI_PPI_DESCRIPTOR_TERMINATE_LIST) != 0) break;
  }
  for (size_t i = 0; i < shadow.size(); ++i) guestOfPpi_[&shadow[i]] = list + static_cast<uint32_t>(i) * kPpiDescriptorSize;
  return shadow.data();
}

const EFI_PEI_NOTIFY_DESCRIPTOR* GuestServices::ShadowNotifications(EmulatedCpu& cpu, uint32_t list) {
  if (list == 0) return nullptr;
  auto& shadow = notifyLists_.emplace_back();
  shadow.reserve(PpiDatabase::kMaxListLength);
  std::vector<GuestNotify> guest;
  for (size_t i = 0; i < PpiDatabase::kMaxListLength; ++i) {
    const uint32_t at = list + static_cast<uint32_t>(i) * kPpiDescriptorSize;
    uint32_t fields[3];
    cpu.Read(at, fields, sizeof fields);
    EFI_PEI_NOTIFY_DESCRIPTOR& entry = shadow.emplace_back();
    entry.Flags = fields[0];
    entry.Guid = const_cast<EFI_GUID*>(ShadowGuid(cpu, fields[1]));
    entry.Notify = fields[2] != 0 ? GuestCallbackPlaceholder : nullptr;
    guest.push_back({at, fields[2]});
    const bool refused =
        (entry.Flags & EFI_PEI_PPI_DESCRIPTOR_NOTIFY_TYPES) == 0 || entry.Guid == nullptr || entry.Notify == nullptr;
    if (refused || (entry.Flags & EFI_PEI_PPI_DESCRIPTOR_TERMINATE_LIST) != 0) break;
  }
  for (size_t i = 0; i < shadow.size(); ++i) guestOfNotify_[&shadow[i]] = guest[i];
  return shadow.data();
}

uint32_t GuestServices::GuestInterface(const EFI_PEI_PPI_DESCRIPTOR& descriptor) const {
  if (guestOfPpi_.contains(&descriptor)) return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(descriptor.Ppi));
  // One of the board's own PPIs: its record in guest memory.
  const EFI_GUID& guid = *descriptor.Guid;
  if (SameGuid(guid, gEfiPeiReadOnlyVariable2PpiGuid)) return kVariablePpi;
  if (SameGuid(guid, gPcdPpiGuid)) return kPcdPpi;
  if (SameGuid(guid, gEfiPeiIpmiTransportPpiGuid)) return kIpmiPpi;
  if (SameGuid(guid, gDebugServicePpiGuid)) return kDebugPpi;
  if (SameGuid(guid, gEfiPeiMpServicesPpiGuid)) return kMpPpi;
  return kEmptyPpi;
}

uint32_t GuestServices::GuestDescriptor(const EFI_PEI_PPI_DESCRIPTOR* descriptor) {
  if (auto shadow = guestOfPpi_.find(descriptor); shadow != guestOfPpi_.end()) return shadow->second;
  if (auto copy = boardDescriptorCopies_.find(descriptor); copy != boardDescriptorCopies_.end()) return copy->second;
  const uint32_t at = kBoardDescriptors + kBoardDescriptorSize * static_cast<uint32_t>(boardDescriptorCopies_.size());
  Put<uint32_t>(at, static_cast<uint32_t>(descriptor->Flags));
  Put<uint32_t>(at + 4, at + kPpiDescriptorSize);
  Put<uint32_t>(at + 8, GuestInterface(*descriptor));
  Put<EFI_GUID>(at + kPpiDescriptorSize, *descriptor->Guid);
  boardDescriptorCopies_[descriptor] = at;
  return at;
}

EFI_STATUS GuestServices::InvokeNotification(const Notification& notification, const EFI_PEI_PPI_DESCRIPTOR& ppi) {
  auto guest = guestOfNotify_.find(notification.descriptor);
  if (guest == guestOfNotify_.end()) throw BoardError("emulator: a notification the guest did not register");
  EmulatedCpu& bsp = *cpus_.front();
  const uint32_t args[] = {kServicesCell, guest->second.descriptor, GuestInterface(ppi)};
  try {
    const auto status = static_cast<uint32_t>(bsp.Call(guest->second.function, args));
    SyncMm7(bsp);
    return FromGuestStatus(status);
  } catch (GuestFault& fault) {
    SyncMm7(bsp);
    return Faulted(std::move(fault.record), false);
  }
}

uint64_t GuestServices::Handle(EmulatedCpu& cpu, Trap trap) {
  ++record_.traps;
  if (trap <= Trap::SetMem) return PeiService(cpu, trap);
  if (trap >= Trap::PcdSetSku && trap <= Trap::PcdGetNextTokenSpace) return Pcd(cpu, trap);
  if (trap >= Trap::GetNumberOfProcessors && trap <= Trap::WhoAmI) return Mp(cpu, trap);
  switch (trap) {
    case Trap::GetVariable:
      return GetVariable(cpu);
    case Trap::NextVariableName:
      return Status(EFI_UNSUPPORTED);
    case Trap::SendIpmiCommand:
      return SendIpmiCommand(cpu);
    case Trap::Print: {
      const uint32_t level = cpu.Arg(0), format = cpu.Arg(1), marker = cpu.Arg(2);
      const std::string text = format == 0 ? std::string() : ReadGuestString<char>(cpu, format, kMaxFormatChars);
      GuestArguments arguments(cpu, marker);
      board_.Console().Message(board_.RunningModule(), level, FormatPrintLib(text, arguments));
      return 0;
    }
    case Trap::Assert: {
      const uint32_t file = cpu.Arg(0), line = cpu.Arg(1), description = cpu.Arg(2);
      board_.Console().Assertion(board_.RunningModule(),
                                 file == 0 ? "" : ReadGuestString<char>(cpu, file, kMaxFormatChars), line,
                                 description == 0 ? "" : ReadGuestString<char>(cpu, description, kMaxFormatChars));
      return 0;
    }
    default:
      throw BoardError("emulator: no handler for trap " + std::to_string(static_cast<uint32_t>(trap)));
  }
}

uint64_t GuestServices::PeiService(EmulatedCpu& cpu, Trap trap) {
  const std::string& running = board_.RunningModule();
  HobList& hobs = board_.Hobs();
  FaultPlan& faults = board_.Faults();
  switch (trap) {
    case Trap::InstallPpi: {
      if (auto fault = faults.Check(Service::InstallPpi)) return Status(*fault);
      const EFI_PEI_PPI_DESCRIPTOR* list = ShadowPpis(cpu, cpu.Arg(1), PpiDatabase::kMaxListLength);
      // Known before the install runs callbacks, which may reinstall these very descriptors.
      if (list != nullptr)
        for (const EFI_PEI_PPI_DESCRIPTOR& entry : ppiLists_.back()) ppiOfGuest_[guestOfPpi_.at(&entry)] = &entry;
      return Status(board_.Ppis().Install(list, running));
    }
    case Trap::ReInstallPpi: {
      const uint32_t oldGuest = cpu.Arg(1);
      const EFI_PEI_PPI_DESCRIPTOR* oldPpi = nullptr;
      if (oldGuest != 0) {
        auto found = ppiOfGuest_.find(oldGuest);
        oldPpi = found != ppiOfGuest_.end() ? found->second : &unknownDescriptor_;
      }
      const EFI_PEI_PPI_DESCRIPTOR* newPpi = ShadowPpis(cpu, cpu.Arg(2), 1);
      if (newPpi != nullptr) ppiOfGuest_[cpu.Arg(2)] = newPpi;
      return Status(board_.Ppis().Reinstall(oldPpi, newPpi, running));
    }
    case Trap::LocatePpi: {
      const EFI_GUID* guid = ShadowGuid(cpu, cpu.Arg(1));
      const uint32_t instance = cpu.Arg(2), descriptorOut = cpu.Arg(3), ppiOut = cpu.Arg(4);
      EFI_PEI_PPI_DESCRIPTOR* descriptor = nullptr;
      void* ppi = nullptr;
      // The database hands back the descriptor it holds; the guest gets the guest one.
      EFI_STATUS status = board_.Ppis().Locate(guid, instance, &descriptor, ppiOut != 0 ? &ppi : nullptr);
      if (!EFI_ERROR(status)) {
        if (descriptorOut != 0) cpu.Write32(descriptorOut, GuestDescriptor(descriptor));
        cpu.Write32(ppiOut, GuestInterface(*descriptor));
      }
      return Status(status);
    }
    case Trap::NotifyPpi: {
      if (auto fault = faults.Check(Service::NotifyPpi)) return Status(*fault);
      return Status(board_.Ppis().Notify(ShadowNotifications(cpu, cpu.Arg(1)), running));
    }
    case Trap::GetBootMode: {
      if (cpu.Arg(1) == 0) return Status(EFI_INVALID_PARAMETER);
      cpu.Write32(cpu.Arg(1), hobs.Phit().BootMode);
      return Status(EFI_SUCCESS);
    }
    case Trap::SetBootMode:
      hobs.Phit().BootMode = cpu.Arg(1);
      return Status(EFI_SUCCESS);
    case Trap::GetHobList: {
      if (cpu.Arg(1) == 0) return Status(EFI_INVALID_PARAMETER);
      cpu.Write32(cpu.Arg(1), ToPhysical32(hobs.Start()));
      return Status(EFI_SUCCESS);
    }
    case Trap::CreateHob: {
      if (auto fault = faults.Check(Service::CreateHob)) return Status(*fault);
      void* hob = nullptr;
      EFI_STATUS status = hobs.Create(static_cast<uint16_t>(cpu.Arg(1)), static_cast<uint16_t>(cpu.Arg(2)), &hob);
      if (!EFI_ERROR(status) && cpu.Arg(3) != 0) cpu.Write32(cpu.Arg(3), ToPhysical32(hob));
      return Status(status);
    }
    case Trap::InstallPeiMemory:
      return Status(EFI_UNSUPPORTED);
    case Trap::AllocatePages: {
      if (auto fault = faults.Check(Service::AllocatePages)) return Status(*fault);
      EFI_PHYSICAL_ADDRESS memory = 0;
      EFI_STATUS status = hobs.AllocatePages(static_cast<EFI_MEMORY_TYPE>(cpu.Arg(1)), cpu.Arg(2), &memory);
      if (!EFI_ERROR(status) && cpu.Arg(3) != 0) cpu.Write(cpu.Arg(3), &memory, sizeof memory);
      return Status(status);
    }
    case Trap::AllocatePool: {
      if (auto fault = faults.Check(Service::AllocatePool)) return Status(*fault);
      void* buffer = nullptr;
      EFI_STATUS status = hobs.AllocatePool(cpu.Arg(1), &buffer);
      if (!EFI_ERROR(status) && cpu.Arg(2) != 0) cpu.Write32(cpu.Arg(2), ToPhysical32(buffer));
      return Status(status);
    }
    case Trap::CopyMem: {
      std::vector<uint8_t> bytes(cpu.Arg(2));
      cpu.Read(cpu.Arg(1), bytes.data(), bytes.size());
      cpu.Write(cpu.Arg(0), bytes.data(), bytes.size());
      return 0;
    }
    case Trap::SetMem: {
      std::vector<uint8_t> bytes(cpu.Arg(1), static_cast<uint8_t>(cpu.Arg(2)));
      cpu.Write(cpu.Arg(0), bytes.data(), bytes.size());
      return 0;
    }
    default:
      throw BoardError("emulator: not a PEI service trap");
  }
}

uint32_t GuestServices::GetVariable(EmulatedCpu& cpu) {
  const uint32_t name = cpu.Arg(1), guid = cpu.Arg(2), attributesOut = cpu.Arg(3), sizeInOut = cpu.Arg(4),
                 data = cpu.Arg(5);
  std::u16string nameText;
  if (name != 0) nameText = ReadGuestString<char16_t>(cpu, name, kMaxVariableNameChars);
  const EFI_GUID* vendor = ShadowGuid(cpu, guid);
  UINT32 attributes = 0;
  UINTN size = sizeInOut != 0 ? cpu.Read32(sizeInOut) : 0;
  std::vector<uint8_t> buffer(data != 0 ? size : 0);
  if (!buffer.empty()) cpu.Read(data, buffer.data(), buffer.size());
  EFI_STATUS status = board_.Variables().Get(name != 0 ? nameText.c_str() : nullptr, vendor,
                                            attributesOut != 0 ? &attributes : nullptr,
                                            sizeInOut != 0 ? &size : nullptr, data != 0 ? buffer.data() : nullptr);
  if (status == EFI_SUCCESS && !buffer.empty()) cpu.Write(data, buffer.data(), buffer.size());
  if (sizeInOut != 0) cpu.Write32(sizeInOut, static_cast<uint32_t>(size));
  if (attributesOut != 0 && status == EFI_SUCCESS) cpu.Write32(attributesOut, attributes);
  return ToGuestStatus(status);
}

uint32_t GuestServices::SendIpmiCommand(EmulatedCpu& cpu) {
  const auto netFn = static_cast<uint8_t>(cpu.Arg(1)), lun = static_cast<uint8_t>(cpu.Arg(2)),
             command = static_cast<uint8_t>(cpu.Arg(3));
  const uint32_t requestAt = cpu.Arg(4), requestLength = cpu.Arg(5), responseAt = cpu.Arg(6), lengthAt = cpu.Arg(7);
  std::vector<uint8_t> request(requestAt != 0 ? requestLength : 0);
  if (!request.empty()) cpu.Read(requestAt, request.data(), request.size());
  uint8_t length = 0;
  if (lengthAt != 0) cpu.Read(lengthAt, &length, 1);
  std::vector<uint8_t> response(responseAt != 0 ? length : 0);
  if (!response.empty()) cpu.Read(responseAt, response.data(), response.size());
  EFI_STATUS status = board_.Ipmi().Handle(netFn, lun, command, requestAt != 0 ? request.data() : nullptr,
                                               requestLength, responseAt != 0 ? response.data() : nullptr,
                                               lengthAt != 0 ? &length : nullptr);
  if (!response.empty()) cpu.Write(responseAt, response.data(), response.size());
  if (lengthAt != 0) cpu.Write(lengthAt, &length, 1);
  return ToGuestStatus(status);
}

uint32_t GuestServices::PcdSet(UINTN token, PcdType type, uint64_t value) {
  if (auto fault = board_.Faults().Check(Service::PcdSet)) {
    board_.Pcd().RecordRefusedSet(token, value, *fault);
    return ToGuestStatus(*fault);
  }
  return ToGuestStatus(board_.Pcd().Set(token, type, value));
}

uint64_t GuestServices::Pcd(EmulatedCpu& cpu, Trap trap) {
  PcdDatabase& pcd = board_.Pcd();
  switch (trap) {
    case Trap::PcdSetSku:
      return 0;
    case Trap::PcdGet8:
      return static_cast<uint8_t>(pcd.Get(cpu.Arg(0), PcdType::Uint8));
    case Trap::PcdGet16:
      return static_cast<uint16_t>(pcd.Get(cpu.Arg(0), PcdType::Uint16));
    case Trap::PcdGet32:
      return static_cast<uint32_t>(pcd.Get(cpu.Arg(0), PcdType::Uint32));
    case Trap::PcdGet64:
      return pcd.Get(cpu.Arg(0), PcdType::Uint64);
    case Trap::PcdGetBool:
      return static_cast<uint8_t>(pcd.Get(cpu.Arg(0), PcdType::Boolean));
    case Trap::PcdGetSize: {
      auto token = pcd.Find(cpu.Arg(0));
      return token ? PcdTypeSize(token->type) : 0;
    }
    case Trap::PcdSet8:
      return PcdSet(cpu.Arg(0), PcdType::Uint8, static_cast<uint8_t>(cpu.Arg(1)));
    case Trap::PcdSet16:
      return PcdSet(cpu.Arg(0), PcdType::Uint16, static_cast<uint16_t>(cpu.Arg(1)));
    case Trap::PcdSet32:
      return PcdSet(cpu.Arg(0), PcdType::Uint32, cpu.Arg(1));
    case Trap::PcdSet64:
      return PcdSet(cpu.Arg(0), PcdType::Uint64, cpu.Arg64(1));
    case Trap::PcdSetBool:
      return PcdSet(cpu.Arg(0), PcdType::Boolean, static_cast<uint8_t>(cpu.Arg(1)));
    case Trap::PcdGetPtr:
    case Trap::PcdGet8Ex:
    case Trap::PcdGet16Ex:
    case Trap::PcdGet32Ex:
    case Trap::PcdGet64Ex:
    case Trap::PcdGetPtrEx:
    case Trap::PcdGetBoolEx:
    case Trap::PcdGetSizeEx:
      return 0;
    default:
      return ToGuestStatus(EFI_UNSUPPORTED);
  }
}

uint64_t GuestServices::Mp(EmulatedCpu& cpu, Trap trap) {
  const auto count = static_cast<uint32_t>(cpus_.size());
  switch (trap) {
    case Trap::GetNumberOfProcessors: {
      const uint32_t countOut = cpu.Arg(2), enabledOut = cpu.Arg(3);
      if (countOut == 0 || enabledOut == 0) return Status(EFI_INVALID_PARAMETER);
      cpu.Write32(countOut, count);
      cpu.Write32(enabledOut, count);
      return Status(EFI_SUCCESS);
    }
    case Trap::GetProcessorInfo: {
      const uint32_t number = cpu.Arg(2), infoOut = cpu.Arg(3);
      if (infoOut == 0) return Status(EFI_INVALID_PARAMETER);
      if (number >= count) return Status(EFI_NOT_FOUND);
      uint8_t info[kProcessorInfoSize] = {};
      const uint64_t id = number;
      const uint32_t flags =
          PROCESSOR_ENABLED_BIT | PROCESSOR_HEALTH_STATUS_BIT | (number == 0 ? PROCESSOR_AS_BSP_BIT : 0);
      std::memcpy(info, &id, 8);
      std::memcpy(info + 8, &flags, 4);
      std::memcpy(info + 16, &number, 4);  // Location.Core
      cpu.Write(infoOut, info, sizeof info);
      return Status(EFI_SUCCESS);
    }
    case Trap::StartupAllAPs:
      return StartupAllAps(cpu);
    case Trap::WhoAmI: {
      if (cpu.Arg(2) == 0) return Status(EFI_INVALID_PARAMETER);
      cpu.Write32(cpu.Arg(2), cpu.Number());
      return Status(EFI_SUCCESS);
    }
    default:
      return Status(EFI_UNSUPPORTED);
  }
}

uint32_t GuestServices::StartupAllAps(EmulatedCpu& cpu) {
  if (auto fault = board_.Faults().Check(Service::StartupAllAPs)) return ToGuestStatus(*fault);
  const uint32_t procedure = cpu.Arg(2), argument = cpu.Arg(5);
  if (procedure == 0) return ToGuestStatus(EFI_INVALID_PARAMETER);
  if (cpus_.size() < 2) return ToGuestStatus(EFI_NOT_STARTED);
  // Each AP is its own engine over the shared memory; they run one after
  // another on this thread, so the board sees their calls in a fixed order.
  bool apHalted = false;
  const uint32_t args[] = {argument};
  for (size_t i = 1; i < cpus_.size(); ++i) {
    EmulatedCpu& ap = *cpus_[i];
    try {
      ap.Call(procedure, args);
    } catch (GuestFault& fault) {
      Faulted(std::move(fault.record), false);
    } catch (const ProcessorHalted&) {
      apHalted = true;
    }
    SyncMm7(ap);
  }
  if (apHalted) throw BoardError("an application processor halted in a dead loop");
  return ToGuestStatus(EFI_SUCCESS);
}

}  // namespace board::emulator

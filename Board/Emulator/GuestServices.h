// The board's PEI Services table and interface records as IA32 code sees
// them: laid out in guest memory, every function a trap slot, and the trap
// handlers that carry each call to the board. Descriptors a module installs
// or registers live in its image (or its stack); the board's PPI database
// holds a host copy of each, and this class maps between the two.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <span>
#include <vector>

#include "Board/Board.h"
#include "EmulatedCpu.h"
#include "EmulationRecord.h"

namespace board::emulator {

// The board operations, one trap slot each, in table order within each record.
enum class Trap : uint32_t {
  InstallPpi, ReInstallPpi, LocatePpi, NotifyPpi, GetBootMode, SetBootMode, GetHobList, CreateHob,
  InstallPeiMemory, AllocatePages, AllocatePool, CopyMem, SetMem,
  GetVariable, NextVariableName,
  SendIpmiCommand,
  PcdSetSku, PcdGet8, PcdGet16, PcdGet32, PcdGet64, PcdGetPtr, PcdGetBool, PcdGetSize,
  PcdGet8Ex, PcdGet16Ex, PcdGet32Ex, PcdGet64Ex, PcdGetPtrEx, PcdGetBoolEx, PcdGetSizeEx,
  PcdSet8, PcdSet16, PcdSet32, PcdSet64, PcdSetPtr, PcdSetBool,
  PcdSet8Ex, PcdSet16Ex, PcdSet32Ex, PcdSet64Ex, PcdSetPtrEx, PcdSetBoolEx,
  PcdCallbackOnSet, PcdCancelCallback, PcdGetNextToken, PcdGetNextTokenSpace,
  Print, Assert,
  GetNumberOfProcessors, GetProcessorInfo, StartupAllAPs, StartupThisAP, SwitchBSP, EnableDisableAP, WhoAmI,
  Count
};

uint32_t TrapAddress(Trap trap);

class GuestServices {
 public:
  // services is the host memory behind the guest services region.
  GuestServices(Board& board, std::span<uint8_t> services, std::vector<std::unique_ptr<EmulatedCpu>>& cpus,
                EmulationRecord& record);

  // Writes the table and the records, each function its trap slot.
  void LayOut();

  uint64_t Handle(EmulatedCpu& cpu, Trap trap);

  // Runs a notification callback a module registered, on the boot processor.
  EFI_STATUS InvokeNotification(const Notification& notification, const EFI_PEI_PPI_DESCRIPTOR& ppi);

  // Copies the processor's MM7 into the board's view of it.
  void SyncMm7(EmulatedCpu& cpu);
  // A fault that ended a run the board started: recorded, and the run's status.
  EFI_STATUS Faulted(FaultRecord fault, bool inEntry);

 private:
  struct GuestNotify {
    uint32_t descriptor = 0;
    uint32_t function = 0;
  };

  uint64_t PeiService(EmulatedCpu& cpu, Trap trap);
  uint64_t Pcd(EmulatedCpu& cpu, Trap trap);
  uint64_t Mp(EmulatedCpu& cpu, Trap trap);
  uint32_t GetVariable(EmulatedCpu& cpu);
  uint32_t SendIpmiCommand(EmulatedCpu& cpu);
  uint32_t StartupAllAps(EmulatedCpu& cpu);
  uint32_t PcdSet(UINTN token, PcdType type, uint64_t value);

  // Host copies of count-limited guest descriptor lists, as the database reads them.
  const EFI_PEI_PPI_DESCRIPTOR* ShadowPpis(EmulatedCpu& cpu, uint32_t list, size_t maxEntries);
  const EFI_PEI_NOTIFY_DESCRIPTOR* ShadowNotifications(EmulatedCpu& cpu, uint32_t list);
  const EFI_GUID* ShadowGuid(EmulatedCpu& cpu, uint32_t guid);
  uint32_t GuestDescriptor(const EFI_PEI_PPI_DESCRIPTOR* descriptor);
  uint32_t GuestInterface(const EFI_PEI_PPI_DESCRIPTOR& descriptor) const;

  template <typename T>
  void Put(uint32_t address, const T& value);

  Board& board_;
  std::span<uint8_t> services_;
  std::vector<std::unique_ptr<EmulatedCpu>>& cpus_;
  EmulationRecord& record_;

  std::deque<EFI_GUID> guids_;
  std::deque<std::vector<EFI_PEI_PPI_DESCRIPTOR>> ppiLists_;
  std::deque<std::vector<EFI_PEI_NOTIFY_DESCRIPTOR>> notifyLists_;
  std::map<const EFI_PEI_PPI_DESCRIPTOR*, uint32_t> guestOfPpi_;
  std::map<uint32_t, const EFI_PEI_PPI_DESCRIPTOR*> ppiOfGuest_;
  std::map<const EFI_PEI_NOTIFY_DESCRIPTOR*, GuestNotify> guestOfNotify_;
  std::map<const EFI_PEI_PPI_DESCRIPTOR*, uint32_t> boardDescriptorCopies_;
  EFI_PEI_PPI_DESCRIPTOR unknownDescriptor_{};  // what a guest pointer to no installed descriptor becomes
};

}  // namespace board::emulator

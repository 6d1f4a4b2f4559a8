// The simulated board: memory, processors, port I/O, PCIe configuration
// space, the BMC, the variable store, the PCD database and the debug console,
// with the PEI Foundation's services over them. Modules see it only through
// the PI interfaces (the PEI Services table found through the IDT, PPIs) and
// the hardware library instances.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include <Ppi/DebugServicePpi.h>
#include <Ppi/IpmiTransportPpi.h>
#include <Ppi/MpServices.h>
#include <Ppi/Pcd.h>
#include <Ppi/ReadOnlyVariable2.h>

#include "Bmc.h"
#include "DebugConsole.h"
#include "FaultPlan.h"
#include "HobList.h"
#include "MmioSpace.h"
#include "ModuleImage.h"
#include "PcdDatabase.h"
#include "PcieConfigSpace.h"
#include "PhysicalMemory.h"
#include "PortSpace.h"
#include "PpiDatabase.h"
#include "Processor.h"
#include "VariableStore.h"

namespace board {

// Where the board puts things. The same on every run, below 2 GiB.
struct MemoryMap {
  MemoryRegion temporaryRam{"temporary RAM", 0x7E000000, 0x00100000};
  MemoryRegion permanentMemory{"permanent memory", 0x40000000, 0x04000000};
  MemoryRegion hostStructure{"host structure", 0x30000000, 0x00200000};
  MemoryRegion processorData{"processor data", 0x7EF00000, 0x00010000};
  uint64_t pcieBase = 0x80000000;
};

// The PPIs the platform installs at power-on; any may be left out.
enum class PlatformPpi { ReadOnlyVariable, Pcd, IpmiTransport, DebugService };

struct BoardOptions {
  MemoryMap memory;
  unsigned applicationProcessors = 0;
  uint8_t scratchRegister = 0x00;  // port 0x3FF before anything runs
  std::set<PlatformPpi> absent;
  EFI_BOOT_MODE bootMode = BOOT_WITH_FULL_CONFIGURATION;
};

struct DispatchRecord {
  std::string module;
  bool ran = false;     // false: the board had halted before
  bool halted = false;  // the module ended in a dead loop
  EFI_STATUS status = EFI_SUCCESS;
};

// One notification callback that ran to its end (a dead loop ends none).
struct NotificationRecord {
  std::string module;  // the module that registered it
  EFI_GUID ppi{};      // the PPI whose installation ran it
  EFI_STATUS status = EFI_SUCCESS;
};

struct HaltRecord {
  std::string module;
  unsigned processor = 0;
};

class Board {
 public:
  explicit Board(BoardOptions options = {});
  ~Board();
  Board(const Board&) = delete;
  Board& operator=(const Board&) = delete;

  const BoardOptions& Options() const { return options_; }
  PhysicalMemory& Memory() { return memory_; }
  PortSpace& Ports() { return ports_; }
  PcieConfigSpace& Pcie() { return pcie_; }
  MmioSpace& Mmio() { return mmio_; }
  VariableStore& Variables() { return variables_; }
  PcdDatabase& Pcd() { return pcd_; }
  Bmc& BmcDevice() { return bmc_; }
  // What answers the IPMI transport PPI: the scripted BMC above unless a
  // backend was attached (before the first module asks).
  void AttachIpmiBackend(std::unique_ptr<IpmiBackend> backend) { ipmiBackend_ = std::move(backend); }
  IpmiBackend& Ipmi() { return ipmiBackend_ ? *ipmiBackend_ : static_cast<IpmiBackend&>(bmc_); }
  DebugConsole& Console() { return console_; }
  const DebugConsole& Console() const { return console_; }
  FaultPlan& Faults() { return faults_; }
  HobList& Hobs() { return *hobs_; }
  PpiDatabase& Ppis() { return ppis_; }
  Processor& Bsp() { return processors_.front(); }
  std::deque<Processor>& Processors() { return processors_; }
  const EFI_PEI_SERVICES** Services() { return &anchor_.table; }

  // Runs image's entry point on the boot processor, then any dispatch-type
  // notifications it caused.
  DispatchRecord Dispatch(const ModuleImage& image);
  // The same for a module whose entry point only runEntry can call (an image
  // run on an emulated processor); runEntry returns the entry's status.
  DispatchRecord Dispatch(const std::string& module, const std::function<EFI_STATUS()>& runEntry);

  // How a notification callback is called: the hosted board calls the
  // descriptor's function; an emulator runs it on an emulated processor.
  using NotificationInvoker = std::function<EFI_STATUS(const Notification&, const EFI_PEI_PPI_DESCRIPTOR& ppi)>;
  void SetNotificationInvoker(NotificationInvoker invoker) { invokeNotification_ = std::move(invoker); }

  // Platform events, run on the boot processor as the PEI Foundation would.
  void InstallPermanentMemory();
  void InstallMpServices();
  // Installs (again, if it is installed) a platform PPI of the given name
  // with an empty interface; notifications on it run.
  void InstallPlatformPpi(const EFI_GUID& guid);
  // Reinstalls, through ReInstallPpi on the same descriptor, the platform
  // PPI of the given name the board installed last; notifications on it run
  // again. Throws BoardError when the board has not installed it.
  void ReinstallPlatformPpi(const EFI_GUID& guid);

  // Runs code on the boot processor as module (for tests that call a module
  // routine directly). A dead loop ends it and halts the board.
  template <typename Function>
  void RunAs(const std::string& module, Function&& function) {
    RunOnBsp(module, [&] { function(); });
  }

  bool Halted() const { return halt_.has_value(); }
  const std::optional<HaltRecord>& Halt() const { return halt_; }
  const std::vector<DispatchRecord>& Dispatches() const { return dispatches_; }
  const std::vector<NotificationRecord>& NotificationRuns() const { return notificationRuns_; }
  const std::string& RunningModule() const { return running_; }
  bool MemoryInstalled() const { return memoryInstalled_; }

  // How many APs were under way in one StartupAllAPs call at the same time,
  // at most: every AP when they run at once, 1 when they run one by one.
  unsigned PeakConcurrentAps() const { return peakConcurrentAps_.load(); }

  // The board that the processor running the caller belongs to.
  static Board& Current();

 private:
  struct ServicesAnchor {
    const EFI_PEI_SERVICES* table;  // first: PeiServices points here
    Board* board;
  };
  struct VariablePpiRecord {
    EFI_PEI_READ_ONLY_VARIABLE2_PPI ppi;
    Board* board;
  };
  struct IpmiPpiRecord {
    PEI_IPMI_TRANSPORT_PPI ppi;
    Board* board;
  };
  struct MpPpiRecord {
    EFI_PEI_MP_SERVICES_PPI ppi;
    Board* board;
  };
  friend struct BoardServices;

  void RunOnBsp(const std::string& module, const std::function<void()>& work);
  void RunNotification(const Notification& notification, const EFI_PEI_PPI_DESCRIPTOR& ppi);
  void InstallBoardPpi(const EFI_GUID& guid, void* interface);
  EFI_STATUS StartupAllAps(EFI_AP_PROCEDURE procedure, bool singleThread, void* argument);
  void BuildServicesTable();

  BoardOptions options_;
  PhysicalMemory memory_;
  PortSpace ports_;
  PcieConfigSpace pcie_;
  MmioSpace mmio_;
  VariableStore variables_;
  PcdDatabase pcd_;
  Bmc bmc_;
  std::unique_ptr<IpmiBackend> ipmiBackend_;
  DebugConsole console_;
  FaultPlan faults_;
  PpiDatabase ppis_;
  std::unique_ptr<HobList> hobs_;
  std::deque<Processor> processors_;

  EFI_PEI_SERVICES table_{};
  ServicesAnchor anchor_{};
  VariablePpiRecord variablePpi_{};
  IpmiPpiRecord ipmiPpi_{};
  MpPpiRecord mpPpi_{};
  PCD_PPI pcdPpi_{};
  DEBUG_SERVICE_PPI debugPpi_{};
  std::deque<EFI_GUID> boardGuids_;
  std::deque<EFI_PEI_PPI_DESCRIPTOR> boardDescriptors_;
  uint64_t emptyInterface_ = 0;
  std::deque<uint64_t> fileHandles_;

  NotificationInvoker invokeNotification_;
  std::string running_;
  std::optional<HaltRecord> halt_;
  std::vector<DispatchRecord> dispatches_;
  std::vector<NotificationRecord> notificationRuns_;
  bool memoryInstalled_ = false;
  std::atomic<unsigned> runningAps_{0};
  std::atomic<unsigned> peakConcurrentAps_{0};
};

}  // namespace board

// The PEI Foundation's PPI database: installed PPIs, registered notifications,
// and the dispatch of callbacks when a matching PPI is installed (at once for
// a PPI already installed when the notification is registered, as a PEI core
// does).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include <PiPei.h>

namespace board {

struct InstalledPpi {
  const EFI_PEI_PPI_DESCRIPTOR* descriptor = nullptr;
  std::string owner;  // the module or board part that installed it
};

struct Notification {
  const EFI_PEI_NOTIFY_DESCRIPTOR* descriptor = nullptr;
  std::string owner;  // the module that registered it; its callbacks run as that module
};

class PpiDatabase {
 public:
  // Runs one notification callback; the board sets the running module around it.
  using CallbackRunner = std::function<void(const Notification&, const EFI_PEI_PPI_DESCRIPTOR&)>;

  // The longest descriptor list accepted: a list whose terminator is missing
  // is refused instead of read past its end.
  static constexpr size_t kMaxListLength = 64;

  explicit PpiDatabase(CallbackRunner runner) : runner_(std::move(runner)) {}

  EFI_STATUS Install(const EFI_PEI_PPI_DESCRIPTOR* list, const std::string& owner);
  EFI_STATUS Reinstall(const EFI_PEI_PPI_DESCRIPTOR* oldPpi, const EFI_PEI_PPI_DESCRIPTOR* newPpi,
                       const std::string& owner);
  EFI_STATUS Locate(const EFI_GUID* guid, UINTN instance, EFI_PEI_PPI_DESCRIPTOR** descriptor, void** ppi) const;
  EFI_STATUS Notify(const EFI_PEI_NOTIFY_DESCRIPTOR* list, const std::string& owner);

  // Dispatch-type notifications wait until the running module returns.
  void RunPendingDispatchNotifications();

  bool IsInstalled(const EFI_GUID& guid) const;
  const std::vector<InstalledPpi>& Installed() const { return installed_; }
  const std::vector<Notification>& Notifications() const { return notifications_; }

 private:
  void Announce(const EFI_PEI_PPI_DESCRIPTOR& ppi);

  CallbackRunner runner_;
  std::vector<InstalledPpi> installed_;
  std::vector<Notification> notifications_;
  std::vector<std::pair<Notification, const EFI_PEI_PPI_DESCRIPTOR*>> pendingDispatch_;
};

}  // namespace board

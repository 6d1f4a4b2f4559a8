#include "PpiDatabase.h"

#include "GuidText.h"

namespace board {

EFI_STATUS PpiDatabase::Install(const EFI_PEI_PPI_DESCRIPTOR* list, const std::string& owner) {
  if (list == nullptr) return EFI_INVALID_PARAMETER;
  // Validate the whole list before installing any of it.
  size_t count = 0;
  for (;; ++count) {
    if (count == kMaxListLength) return EFI_OUT_OF_RESOURCES;
    const auto& entry = list[count];
    if ((entry.Flags & EFI_PEI_PPI_DESCRIPTOR_PPI) == 0 || entry.Guid == nullptr || entry.Ppi == nullptr)
      return EFI_INVALID_PARAMETER;
    if (entry.Flags & EFI_PEI_PPI_DESCRIPTOR_TERMINATE_LIST) break;
  }
  for (size_t i = 0; i <= count; ++i) installed_.push_back({&list[i], owner});
  for (size_t i = 0; i <= count; ++i) Announce(list[i]);
  return EFI_SUCCESS;
}

EFI_STATUS PpiDatabase::Reinstall(const EFI_PEI_PPI_DESCRIPTOR* oldPpi, const EFI_PEI_PPI_DESCRIPTOR* newPpi,
                                  const std::string& owner) {
  if (oldPpi == nullptr || newPpi == nullptr || newPpi->Guid == nullptr || newPpi->Ppi == nullptr ||
      (newPpi->Flags & EFI_PEI_PPI_DESCRIPTOR_PPI) == 0)
    return EFI_INVALID_PARAMETER;
  for (auto& entry : installed_) {
    if (entry.descriptor == oldPpi) {
      entry = {newPpi, owner};
      Announce(*newPpi);
      return EFI_SUCCESS;
    }
  }
  return EFI_NOT_FOUND;
}

EFI_STATUS PpiDatabase::Locate(const EFI_GUID* guid, UINTN instance, EFI_PEI_PPI_DESCRIPTOR** descriptor,
                               void** ppi) const {
  if (guid == nullptr || ppi == nullptr) return EFI_INVALID_PARAMETER;
  UINTN seen = 0;
  for (const auto& entry : installed_) {
    if (!SameGuid(*entry.descriptor->Guid, *guid)) continue;
    if (seen++ == instance) {
      if (descriptor != nullptr) *descriptor = const_cast<EFI_PEI_PPI_DESCRIPTOR*>(entry.descriptor);
      *ppi = entry.descriptor->Ppi;
      return EFI_SUCCESS;
    }
  }
  return EFI_NOT_FOUND;
}

EFI_STATUS PpiDatabase::Notify(const EFI_PEI_NOTIFY_DESCRIPTOR* list, const std::string& owner) {
  if (list == nullptr) return EFI_INVALID_PARAMETER;
  size_t count = 0;
  for (;; ++count) {
    if (count == kMaxListLength) return EFI_OUT_OF_RESOURCES;
    const auto& entry = list[count];
    if ((entry.Flags & EFI_PEI_PPI_DESCRIPTOR_NOTIFY_TYPES) == 0 || entry.Guid == nullptr || entry.Notify == nullptr)
      return EFI_INVALID_PARAMETER;
    if (entry.Flags & EFI_PEI_PPI_DESCRIPTOR_TERMINATE_LIST) break;
  }
  const size_t firstNew = notifications_.size();
  for (size_t i = 0; i <= count; ++i) notifications_.push_back({&list[i], owner});

  // A callback registered for a PPI that is already installed runs at once.
  const std::vector<InstalledPpi> alreadyInstalled = installed_;
  const std::vector<Notification> added(notifications_.begin() + static_cast<ptrdiff_t>(firstNew),
                                        notifications_.end());
  for (const auto& notification : added) {
    if ((notification.descriptor->Flags & EFI_PEI_PPI_DESCRIPTOR_NOTIFY_CALLBACK) == 0) continue;
    for (const auto& ppi : alreadyInstalled)
      if (SameGuid(*ppi.descriptor->Guid, *notification.descriptor->Guid)) runner_(notification, *ppi.descriptor);
  }
  return EFI_SUCCESS;
}

void PpiDatabase::Announce(const EFI_PEI_PPI_DESCRIPTOR& ppi) {
  // Copy: a callback may register further notifications while we iterate.
  const std::vector<Notification> current = notifications_;
  for (const auto& notification : current) {
    if (!SameGuid(*notification.descriptor->Guid, *ppi.Guid)) continue;
    if (notification.descriptor->Flags & EFI_PEI_PPI_DESCRIPTOR_NOTIFY_CALLBACK)
      runner_(notification, ppi);
    else
      pendingDispatch_.push_back({notification, &ppi});
  }
}

void PpiDatabase::RunPendingDispatchNotifications() {
  while (!pendingDispatch_.empty()) {
    auto next = pendingDispatch_.front();
    pendingDispatch_.erase(pendingDispatch_.begin());
    runner_(next.first, *next.second);
  }
}

bool PpiDatabase::IsInstalled(const EFI_GUID& guid) const {
  for (const auto& entry : installed_)
    if (SameGuid(*entry.descriptor->Guid, guid)) return true;
  return false;
}

}  // namespace board

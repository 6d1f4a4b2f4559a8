// The platform's dynamic PCD database: tokens by number, each with its type.
// Every set is logged with the old and the new value.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <Uefi/UefiBaseType.h>

namespace board {

enum class PcdType { Uint8, Uint16, Uint32, Uint64, Boolean };

std::string PcdTypeName(PcdType type);
unsigned PcdTypeSize(PcdType type);

struct PcdToken {
  PcdType type;
  uint64_t value = 0;
};

struct PcdChange {
  UINTN token = 0;
  uint64_t oldValue = 0;
  uint64_t newValue = 0;
  EFI_STATUS status = EFI_SUCCESS;
};

// A module asked for a token the database does not have, or with the wrong size.
struct PcdComplaint {
  UINTN token = 0;
  std::string what;
};

class PcdDatabase {
 public:
  void Define(UINTN token, PcdType type, uint64_t value);
  std::optional<PcdToken> Find(UINTN token) const;
  const std::map<UINTN, PcdToken>& Tokens() const { return tokens_; }

  // Gets as the PCD PPI does: 0 for an unknown token or a size mismatch (both
  // also recorded as complaints).
  uint64_t Get(UINTN token, PcdType asType);
  // Sets as the PCD PPI does: EFI_NOT_FOUND for an unknown token,
  // EFI_INVALID_PARAMETER for a size mismatch.
  EFI_STATUS Set(UINTN token, PcdType asType, uint64_t value);
  // Records a set refused before it reached the database (an injected fault).
  void RecordRefusedSet(UINTN token, uint64_t value, EFI_STATUS status);

  const std::vector<PcdChange>& Changes() const { return changes_; }
  const std::vector<PcdComplaint>& Complaints() const { return complaints_; }

 private:
  std::map<UINTN, PcdToken> tokens_;
  std::vector<PcdChange> changes_;
  std::vector<PcdComplaint> complaints_;
};

}  // namespace board

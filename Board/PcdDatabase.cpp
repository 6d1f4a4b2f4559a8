#include "PcdDatabase.h"

namespace board {

std::string PcdTypeName(PcdType type) {
  switch (type) {
    case PcdType::Uint8: return "UINT8";
    case PcdType::Uint16: return "UINT16";
    case PcdType::Uint32: return "UINT32";
    case PcdType::Uint64: return "UINT64";
    case PcdType::Boolean: return "BOOLEAN";
  }
  return "?";
}

unsigned PcdTypeSize(PcdType type) {
  switch (type) {
    case PcdType::Uint8: case PcdType::Boolean: return 1;
    case PcdType::Uint16: return 2;
    case PcdType::Uint32: return 4;
    case PcdType::Uint64: return 8;
  }
  return 0;
}

namespace {
uint64_t Truncate(PcdType type, uint64_t value) {
  if (type == PcdType::Boolean) return value != 0;
  unsigned bits = PcdTypeSize(type) * 8;
  return bits == 64 ? value : value & ((uint64_t{1} << bits) - 1);
}
}  // namespace

void PcdDatabase::Define(UINTN token, PcdType type, uint64_t value) { tokens_[token] = {type, Truncate(type, value)}; }

std::optional<PcdToken> PcdDatabase::Find(UINTN token) const {
  auto found = tokens_.find(token);
  if (found == tokens_.end()) return std::nullopt;
  return found->second;
}

uint64_t PcdDatabase::Get(UINTN token, PcdType asType) {
  auto found = tokens_.find(token);
  if (found == tokens_.end()) {
    complaints_.push_back({token, "get of an unknown token as " + PcdTypeName(asType)});
    return 0;
  }
  if (PcdTypeSize(found->second.type) != PcdTypeSize(asType)) {
    complaints_.push_back({token, "get as " + PcdTypeName(asType) + " of a " + PcdTypeName(found->second.type)});
    return 0;
  }
  return found->second.value;
}

EFI_STATUS PcdDatabase::Set(UINTN token, PcdType asType, uint64_t value) {
  auto found = tokens_.find(token);
  if (found == tokens_.end()) {
    complaints_.push_back({token, "set of an unknown token as " + PcdTypeName(asType)});
    changes_.push_back({token, 0, value, EFI_NOT_FOUND});
    return EFI_NOT_FOUND;
  }
  if (PcdTypeSize(found->second.type) != PcdTypeSize(asType)) {
    complaints_.push_back({token, "set as " + PcdTypeName(asType) + " of a " + PcdTypeName(found->second.type)});
    changes_.push_back({token, found->second.value, value, EFI_INVALID_PARAMETER});
    return EFI_INVALID_PARAMETER;
  }
  uint64_t old = found->second.value;
  found->second.value = Truncate(found->second.type, value);
  changes_.push_back({token, old, found->second.value, EFI_SUCCESS});
  return EFI_SUCCESS;
}

void PcdDatabase::RecordRefusedSet(UINTN token, uint64_t value, EFI_STATUS status) {
  auto found = tokens_.find(token);
  changes_.push_back({token, found == tokens_.end() ? 0 : found->second.value, value, status});
}

}  // namespace board

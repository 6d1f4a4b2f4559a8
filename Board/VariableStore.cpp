#include "VariableStore.h"

#include <cstring>

namespace board {

namespace {
constexpr size_t kMaxNameLength = 1024;
}

bool VariableKey::operator<(const VariableKey& other) const {
  if (name != other.name) return name < other.name;
  return std::memcmp(&guid, &other.guid, sizeof guid) < 0;
}

void VariableStore::Set(std::u16string name, const EFI_GUID& guid, std::vector<uint8_t> data, uint32_t attributes) {
  variables_[{std::move(name), guid}] = {std::move(data), attributes};
}

void VariableStore::Remove(const std::u16string& name, const EFI_GUID& guid) { variables_.erase({name, guid}); }

void VariableStore::FailReads(std::u16string name, const EFI_GUID& guid, EFI_STATUS status) {
  failures_[{std::move(name), guid}] = status;
}

const std::vector<uint8_t>* VariableStore::Find(const std::u16string& name, const EFI_GUID& guid) const {
  auto found = variables_.find({name, guid});
  return found == variables_.end() ? nullptr : &found->second.data;
}

EFI_STATUS VariableStore::Get(const char16_t* name, const EFI_GUID* guid, uint32_t* attributes, UINTN* dataSize,
                              void* data) {
  if (name == nullptr || guid == nullptr || dataSize == nullptr) return EFI_INVALID_PARAMETER;
  auto text = ReadVariableName(name);
  if (!text || text->empty()) return EFI_INVALID_PARAMETER;
  VariableKey key{*text, *guid};
  auto record = [&](EFI_STATUS status) {
    reads_.push_back({key, *dataSize, status});
    return status;
  };

  if (auto failure = failures_.find(key); failure != failures_.end()) return record(failure->second);
  auto found = variables_.find(key);
  if (found == variables_.end()) return record(EFI_NOT_FOUND);
  const auto& variable = found->second;
  if (*dataSize < variable.data.size()) {
    EFI_STATUS status = record(EFI_BUFFER_TOO_SMALL);
    *dataSize = variable.data.size();
    return status;
  }
  if (data == nullptr && !variable.data.empty()) return record(EFI_INVALID_PARAMETER);
  if (!variable.data.empty()) std::memcpy(data, variable.data.data(), variable.data.size());
  EFI_STATUS status = record(EFI_SUCCESS);
  *dataSize = variable.data.size();
  if (attributes != nullptr) *attributes = variable.attributes;
  return status;
}

std::optional<std::u16string> ReadVariableName(const char16_t* name) {
  std::u16string text;
  for (size_t i = 0; i < kMaxNameLength; ++i) {
    if (name[i] == u'\0') return text;
    text.push_back(name[i]);
  }
  return std::nullopt;
}

std::string Utf16ToUtf8(const std::u16string& text) {
  std::string out;
  for (char16_t c : text) {
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (c >> 6)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xE0 | (c >> 12)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
  return out;
}

}  // namespace board

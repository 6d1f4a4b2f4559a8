#include "Depex.h"

#include <algorithm>

namespace flash {

Bytes EncodeDepex(const std::vector<Guid>& allOf) {
  Bytes expression;
  if (allOf.empty()) expression.push_back(static_cast<std::uint8_t>(DepexOpcode::True));
  for (std::size_t i = 0; i < allOf.size(); ++i) {
    expression.push_back(static_cast<std::uint8_t>(DepexOpcode::Push));
    expression.insert(expression.end(), allOf[i].bytes.begin(), allOf[i].bytes.end());
    if (i > 0) expression.push_back(static_cast<std::uint8_t>(DepexOpcode::And));
  }
  expression.push_back(static_cast<std::uint8_t>(DepexOpcode::End));
  return expression;
}

std::optional<std::vector<Guid>> DecodeDepex(ByteView expression) {
  std::vector<Guid> allOf;
  std::size_t at = 0;
  auto next = [&]() -> std::optional<DepexOpcode> {
    if (at >= expression.size()) return std::nullopt;
    return static_cast<DepexOpcode>(expression[at++]);
  };
  if (!expression.empty() && expression[0] == static_cast<std::uint8_t>(DepexOpcode::True)) {
    return expression.size() == 2 && expression[1] == static_cast<std::uint8_t>(DepexOpcode::End)
               ? std::optional(allOf)
               : std::nullopt;
  }
  while (auto opcode = next()) {
    if (*opcode == DepexOpcode::End) {
      return at == expression.size() && !allOf.empty() ? std::optional(allOf) : std::nullopt;
    }
    if (*opcode != DepexOpcode::Push || expression.size() - at < 16) return std::nullopt;
    Guid guid;
    std::copy_n(expression.begin() + static_cast<std::ptrdiff_t>(at), 16, guid.bytes.begin());
    at += 16;
    allOf.push_back(guid);
    if (allOf.size() > 1 && next() != DepexOpcode::And) return std::nullopt;
  }
  return std::nullopt;
}

}  // namespace flash

// PEI dependency expressions: the conjunction of PPIs a PEIM needs before the
// PEI Foundation may dispatch it, or TRUE when it needs none.
#pragma once

#include <optional>
#include <vector>

#include "Bytes.h"
#include "Guid.h"

namespace flash {

// PI dependency expression opcodes.
enum class DepexOpcode : std::uint8_t { Push = 0x02, And = 0x03, True = 0x06, End = 0x08 };

// PUSH a, PUSH b, AND, ..., END; or TRUE, END for none.
[[nodiscard]] Bytes EncodeDepex(const std::vector<Guid>& allOf);
// The PPIs of an expression of that form; nullopt for any other expression.
[[nodiscard]] std::optional<std::vector<Guid>> DecodeDepex(ByteView expression);

}  // namespace flash

// The PPIs a module's dependency expression may name, by their GUID names in
// the project's headers.
#pragma once

#include <optional>
#include <string_view>

#include "Guid.h"

namespace flash {

[[nodiscard]] std::optional<Guid> FindPpi(std::string_view name);
// The name of a known PPI, or its GUID as text.
[[nodiscard]] std::string PpiName(const Guid& guid);

}  // namespace flash

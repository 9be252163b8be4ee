#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zandor {

// The registered table drivers in registration order; the first is the default.
const std::vector<std::string>& tableDrivers();
const std::string& defaultTableDriver();
// The registered name for a requested one (upper case, at most 32 characters); the default
// for an empty request, nothing when the name is not registered.
std::optional<std::string> findTableDriver(std::string_view requested);

}  // namespace zandor

#pragma once

#include <cstdint>
#include <string_view>

namespace zandor::test {

// The values back from CDX numeric, date and integer keys (the inverses of sortableDouble
// and sortableInteger): what the tests compare keys with.
double sortableDoubleValue(std::string_view key);
std::int32_t sortableIntegerValue(std::string_view key);

}  // namespace zandor::test

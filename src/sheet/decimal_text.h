#pragma once

#include <optional>
#include <string_view>

namespace zandor::sheet {

// The double std::from_chars reads from the whole of text, for the plain decimal numbers
// that writers put into cells ("36001", "-13.49"): at most 15 digits, a point anywhere among
// them, no exponent. Nothing for any other text; the caller asks from_chars then.
std::optional<double> plainDecimal(std::string_view text);

}  // namespace zandor::sheet

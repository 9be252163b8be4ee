#pragma once

#include <string>
#include <string_view>

#include "base/value.h"

namespace zandor {

// Reads the number at the start of a text: leading blanks, tabs, CRs and LFs skipped, an
// optional sign, digits, at most one point and its decimals; reading stops at the first
// other character. No digits give 0. "12abc" gives 12, "1.234,56" gives 1.234.
Number parseLeadingNumber(std::string_view text);

// The number as plain decimal digits without blanks: 1 gives "1", 12.5 gives "12.5".
std::string numberToPlainText(const Number& number);

}  // namespace zandor

#pragma once

#include <string>

#include "base/value.h"

namespace zandor {

// The text of a number in a numeric field of the given length and decimals: right-aligned,
// blanks on the left, the minus sign directly before the first digit, a point before the
// decimals when there are any. A floating number whose shortest decimal form (the one that
// reads back as the same double) has no more decimals than the field is written in that
// form; others are cut to 16 significant digits and rounded half up at the last decimal
// kept (a dropped 4 followed only by nines counts as 5).
struct NumberFieldText {
  std::string text;  // exactly `length` bytes; all asterisks when the number does not fit
  bool fits = true;
};

NumberFieldText numberToFieldText(const Number& number, int length, int decimals);

}  // namespace zandor

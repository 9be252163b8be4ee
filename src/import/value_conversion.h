#pragma once

#include <optional>
#include <string>

#include "base/value.h"

namespace zandor {

struct AppState;
class ImportLog;

// Turns a cell value into a value that a field of the target type accepts. Problems are
// never raised: each writes one entry to the log, adds 1 to state.nErrors and yields a fixed
// replacement value. A length of 0 or below means no length limit.
Value TYPANPASSEN(AppState& state, Value value, const std::string& targetType, int length,
                  ImportLog& log, long row);

// What TYPANPASSEN gives where it has no problem to report; nothing where it would report
// one (and touches neither log nor state either way).
std::optional<Value> convertQuietly(Value value, const std::string& targetType, int length);

// The whole-number part of a number (cut towards zero) as plain decimal digits with a
// leading minus when negative; nothing when the number is not finite.
std::optional<std::string> wholeNumberText(const Number& number);

}  // namespace zandor

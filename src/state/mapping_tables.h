#pragma once

#include <array>
#include <vector>

#include "base/value.h"

namespace zandor {

// Rows of fixed slots, addressed by position; the slot order is part of the profile file
// format and never changes. Slot constants are 0-based indexes into the row.
using FieldRow = std::array<Value, 9>;
using FieldTable = std::vector<FieldRow>;
using ColumnRow = std::array<Value, 3>;
using ColumnTable = std::vector<ColumnRow>;

namespace field_slot {
constexpr int kFieldNo = 0;     // nFieldNo
constexpr int kFieldName = 1;   // cFieldName
constexpr int kFieldType = 2;   // cFieldType
constexpr int kFieldLen = 3;    // nFieldLen
constexpr int kFieldDec = 4;    // nFieldDec
constexpr int kColCaption = 5;  // xColCaption
constexpr int kColLetters = 6;  // cColLetters
constexpr int kColNo = 7;       // xColNo
constexpr int kSpare = 8;       // cSpare
}  // namespace field_slot

namespace column_slot {
constexpr int kColNo = 0;       // nColNo
constexpr int kColHeading = 1;  // cColHeading
constexpr int kColLetters = 2;  // cColLetters
}  // namespace column_slot

}  // namespace zandor

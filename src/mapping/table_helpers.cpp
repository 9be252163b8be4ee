#include "mapping/table_helpers.h"

#include <algorithm>

#include "state/app_state.h"

namespace zandor {

namespace {

template <std::size_t N>
std::vector<Value> slotOfRows(const std::vector<std::array<Value, N>>& rows, int slot) {
  std::vector<Value> result;
  result.reserve(rows.size());
  for (const auto& row : rows) {
    result.push_back(slot >= 1 && static_cast<std::size_t>(slot) <= N ? row[slot - 1] : Value());
  }
  return result;
}

}  // namespace

std::string EXCELSPALTE(int n) {
  // Letters numbered A = 1 to Z = 26, written like digits of a base without a zero.
  std::string letters;
  while (n > 0) {
    const int rest = (n - 1) % 26;
    letters += static_cast<char>('A' + rest);
    n = (n - 1) / 26;
  }
  std::reverse(letters.begin(), letters.end());
  return letters;
}

std::vector<Value> AEINDIM(const FieldTable& table, int slot) {
  return slotOfRows(table, slot);
}

std::vector<Value> AEINDIM(const ColumnTable& table, int slot) {
  return slotOfRows(table, slot);
}

bool AINIT(AppState& state) {
  state.aFields = FieldTable{};
  state.aColumns = ColumnTable{};
  return true;
}

}  // namespace zandor

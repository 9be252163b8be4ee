#include "mapping/field_list.h"

#include <algorithm>
#include <numeric>

#include "base/number_text.h"

namespace zandor {

namespace {

double numberOf(const Number& n) {
  return n.isInteger ? static_cast<double>(n.integer) : n.real;
}

// Order of values of one slot: empty values first, then numbers by value, then texts by
// their bytes; other kinds by kind.
bool lessThan(const Value& a, const Value& b) {
  const auto rank = [](const Value& v) {
    if (v.isNil()) return 0;
    if (v.isNumber()) return 1;
    if (v.isText()) return 2;
    return 3;
  };
  if (rank(a) != rank(b)) return rank(a) < rank(b);
  if (a.isNumber()) return numberOf(a.asNumber()) < numberOf(b.asNumber());
  if (a.isText()) return a.asText() < b.asText();
  return false;
}

}  // namespace

std::string cellText(const Value& value) {
  if (value.isText()) return value.asText();
  if (value.isNumber()) return numberToPlainText(value.asNumber());
  if (value.isLogical()) return value.asLogical() ? ".T." : ".F.";
  return {};
}

std::string FieldListModel::cell(int row, int column) const {
  if (row < 0 || row >= rowCount() || column < 0 || column >= 9) return {};
  return cellText(fields_[static_cast<std::size_t>(row)][static_cast<std::size_t>(column)]);
}

std::vector<GridColumn> fieldListColumns() {
  // Columns 7 to 9 carry no header of their own and show the letters every column of the
  // list has by position.
  return {
      {"Nr.", 25, false},     {"Feldname", 100, false}, {"Typ", 0, false},
      {"L\xe4nge", 0, false}, {"Nachkomma", 0, false},  {"Excel-Spalte", 125, true},
      {"G", 0, false},        {"H", 0, false},          {"I", 0, false},
  };
}

int sortFields(FieldTable& fields, int slot, bool ascending, int follow) {
  if (slot < 0 || slot >= 9) return follow;
  std::vector<std::size_t> order(fields.size());
  std::iota(order.begin(), order.end(), std::size_t{0});
  const auto s = static_cast<std::size_t>(slot);
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
    return ascending ? lessThan(fields[a][s], fields[b][s]) : lessThan(fields[b][s], fields[a][s]);
  });
  FieldTable sorted;
  sorted.reserve(fields.size());
  int followed = -1;
  for (std::size_t i = 0; i < order.size(); ++i) {
    if (static_cast<int>(order[i]) == follow) followed = static_cast<int>(i);
    sorted.push_back(std::move(fields[order[i]]));
  }
  fields = std::move(sorted);
  return followed;
}

}  // namespace zandor

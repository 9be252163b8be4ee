#include "table/area_record.h"

#include "table/field_value.h"

namespace zandor {

const std::string& AreaRecord::bytes() const {
  // An appended record has no earlier state; its original is the record itself.
  if (state_ == State::Original && !area_.originalRecord().empty()) return area_.originalRecord();
  return area_.record();
}

int AreaRecord::fieldIndex(std::string_view upperName) const {
  return area_.fieldIndex(upperName);
}

FieldInfo AreaRecord::field(int index) const {
  return area_.fields().at(static_cast<std::size_t>(index));
}

Value AreaRecord::fieldValue(int index) const {
  if (index < 0 || index >= static_cast<int>(area_.fields().size())) return Value();
  return decodeField(area_.fields()[static_cast<std::size_t>(index)], bytes(), area_.memo());
}

std::optional<std::string_view> AreaRecord::textFieldBytes(int index) const {
  if (index < 0 || index >= static_cast<int>(area_.fields().size())) return std::nullopt;
  const FieldInfo& f = area_.fields()[static_cast<std::size_t>(index)];
  const std::string& b = bytes();
  const auto length = static_cast<std::size_t>(f.length);
  if (f.type != 'C' || f.offset + length > b.size()) return std::nullopt;
  return std::string_view(b).substr(f.offset, length);
}

bool AreaRecord::deleted() const {
  const std::string& b = bytes();
  return !b.empty() && b[0] == '*';
}

}  // namespace zandor

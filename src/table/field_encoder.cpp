#include "table/field_encoder.h"

#include "table/field_value.h"
#include "table/table_error.h"
#include "table/work_area.h"

namespace zandor {

std::optional<FieldEncoder> FieldEncoder::of(const WorkArea& area, int index) {
  const auto& fields = area.fields();
  if (index < 0 || index >= static_cast<int>(fields.size())) return std::nullopt;
  if (area.isReadOnly() || area.layout().encrypted || area.hasNullFlags()) return std::nullopt;
  const FieldInfo& field = fields[static_cast<std::size_t>(index)];
  if (field.autoIncrement || field.varLengthBit >= 0 || field.nullBit >= 0) return std::nullopt;
  switch (field.type) {
    case 'C':
    case 'N':
    case 'F':
    case 'D':
    case 'L':
      break;
    default:
      return std::nullopt;
  }
  std::optional<TableCodePage> page;
  if (area.translatesText(field)) page = area.codePage();
  return FieldEncoder(field, std::move(page));
}

bool FieldEncoder::encode(const Value& value, std::string& record) const {
  try {
    if (value.isText() && page_) {
      std::optional<std::string> bytes = page_->fromAnsi(value.asText());
      if (!bytes) return false;
      encodeField(field_, record, Value::text(std::move(*bytes)), nullptr);
    } else {
      encodeField(field_, record, value, nullptr);
    }
  } catch (const TableError&) {
    return false;
  }
  return true;
}

}  // namespace zandor

#pragma once

#include <optional>
#include <string>

#include "base/value.h"
#include "table/code_page.h"
#include "table/dbf_layout.h"

namespace zandor {

class WorkArea;

// Encodes values for one field the way WorkArea::putField() stores them, so that a record's
// bytes can be made on another thread: it keeps copies of what it needs and nothing of the
// area.
class FieldEncoder {
 public:
  // Nothing for a field that putField() does not store within its own bytes alone (memo,
  // varchar, auto-increment or nullable fields, tables with NULL flags) or that it would not
  // store at all (read-only tables, no such field).
  static std::optional<FieldEncoder> of(const WorkArea& area, int index);

  const FieldInfo& field() const { return field_; }
  // Writes the field's bytes for value into record at the field's place; false where
  // putField() would refuse the value (the bytes are not to be used then).
  bool encode(const Value& value, std::string& record) const;

 private:
  FieldEncoder(FieldInfo field, std::optional<TableCodePage> page)
      : field_(std::move(field)), page_(std::move(page)) {}

  FieldInfo field_;
  std::optional<TableCodePage> page_;  // where text is translated
};

}  // namespace zandor

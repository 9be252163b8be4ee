#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/value.h"
#include "table/dbf_layout.h"

namespace zandor {

// The record an expression is evaluated against. The table layer implements it over its
// record buffer; compiled expressions keep field indexes, so a context must keep the field
// numbering it had at compile time.
class RecordContext {
 public:
  virtual ~RecordContext() = default;
  // Index of the field with this name (given in upper case), or -1.
  virtual int fieldIndex(std::string_view upperName) const = 0;
  virtual FieldInfo field(int index) const = 0;
  // The field's current value: C blank padded text, N number, D date, L logical.
  virtual Value fieldValue(int index) const = 0;
  // The stored bytes of a C field, for callers that only copy them (the same text that
  // fieldValue gives); nullopt where a context holds no such bytes or the field is no C field.
  virtual std::optional<std::string_view> textFieldBytes(int /*index*/) const {
    return std::nullopt;
  }
  virtual std::uint32_t recordNumber() const = 0;
  virtual bool deleted() const = 0;
  virtual std::string alias() const = 0;
  // True for a Visual FoxPro table that belongs to a database container, whose index
  // expressions may use the container's long field names.
  virtual bool inDatabaseContainer() const { return false; }
};

}  // namespace zandor

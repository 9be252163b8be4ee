#pragma once

#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "base/value.h"
#include "table/record_context.h"

namespace zandor {

// A key or FOR expression that cannot be compiled or evaluated (syntax error, unknown
// field or function, wrong argument types). The index opener turns it into the damage error.
class ExpressionError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// An xBase expression compiled once against a table's fields and evaluated per record.
// Fields may be written with an "alias->" or "table." qualifier, which is ignored.
class Expression {
 public:
  struct Node;

  Expression() = default;
  // Throws ExpressionError.
  static Expression compile(std::string_view text, const RecordContext& fields);
  // Throws ExpressionError for values of the wrong kind.
  Value evaluate(const RecordContext& record) const;
  const std::string& text() const { return text_; }
  // A field alone or UPPER() of a field: its index, and whether it is upper-cased. A key
  // of that form can be made from the field's stored bytes without evaluating.
  struct FieldForm {
    int field = -1;
    bool upper = false;
  };
  std::optional<FieldForm> fieldForm() const;
  bool valid() const { return root_ != nullptr; }

 private:
  std::string text_;
  std::shared_ptr<const Node> root_;
};

}  // namespace zandor

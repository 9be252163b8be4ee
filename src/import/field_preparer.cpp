#include "import/field_preparer.h"

#include "import/value_conversion.h"

namespace zandor {

CellPreparer::Result FieldPreparer::prepare(std::size_t index, const Value& value,
                                            std::string& record) const {
  if (index >= targets_.size()) return Result::Unprepared;
  const Target& target = targets_[index];
  if (!target.encoder || value.isError()) return Result::Unprepared;
  if (value.isNil()) return Result::Nothing;
  // A text that fits a text field is what TYPANPASSEN gives back unchanged; no copy for it.
  const bool plainText =
      target.type == "C" && value.isText() &&
      (target.length <= 0 || value.asText().size() <= static_cast<std::size_t>(target.length));
  if (plainText) return target.encoder->encode(value, record) ? Result::Bytes : Result::Unprepared;
  const std::optional<Value> converted = convertQuietly(value, target.type, target.length);
  if (!converted) return Result::Unprepared;
  if (converted->isNil()) return Result::Nothing;
  return target.encoder->encode(*converted, record) ? Result::Bytes : Result::Unprepared;
}

}  // namespace zandor

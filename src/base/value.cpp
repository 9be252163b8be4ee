#include "base/value.h"

#include "base/text.h"

namespace zandor {

bool Number::operator==(const Number& other) const {
  if (isInteger && other.isInteger) return integer == other.integer;
  return toDouble() == other.toDouble();
}

Value Value::text(std::string bytes) {
  Value v;
  v.data_ = std::move(bytes);
  return v;
}

Value Value::integer(std::int64_t n, int width) {
  Value v;
  v.data_ = Number{true, n, 0.0, width, 0};
  return v;
}

Value Value::real(double d, int decimals, int width) {
  Value v;
  v.data_ = Number{false, 0, d, width, decimals};
  return v;
}

Value Value::number(const Number& n) {
  Value v;
  v.data_ = n;
  return v;
}

Value Value::date(std::int32_t day, std::int32_t millis) {
  Value v;
  v.data_ = Date{day, millis};
  return v;
}

Value Value::logical(bool b) {
  Value v;
  v.data_ = b;
  return v;
}

Value Value::list(std::vector<Value> items) {
  Value v;
  v.data_ = std::move(items);
  return v;
}

Value Value::object(std::shared_ptr<AutomationObject> object) {
  Value v;
  v.data_ = std::move(object);
  return v;
}

Value Value::error(std::string text) {
  Value v;
  v.data_ = CellError{std::move(text)};
  return v;
}

char Value::type() const {
  static constexpr char kCodes[] = {'U', 'C', 'N', 'D', 'L', 'A', 'O', 'E'};
  return kCodes[data_.index()];
}

bool Value::isEmpty() const {
  switch (kind()) {
    case Kind::Empty:
      return true;
    case Kind::Text:
      return isBlankText(asText());
    case Kind::Number:
      return asNumber().isZero();
    case Kind::Date:
      return asDate().day == 0 && asDate().millis == 0;
    case Kind::Logical:
      return !asLogical();
    case Kind::List:
      return asList().empty();
    case Kind::Object:
      return asObject() == nullptr;
    case Kind::Error:
      return false;
  }
  return true;
}

bool Value::operator==(const Value& other) const {
  return data_ == other.data_;
}

}  // namespace zandor

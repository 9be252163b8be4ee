#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <variant>
#include <vector>

namespace zandor {

// An object of the spreadsheet automation bridge, carried inside a Value of kind O.
class AutomationObject {
 public:
  virtual ~AutomationObject() = default;
  virtual std::string className() const = 0;
};

// A number as the runtime keeps it: whole or floating, plus how it is displayed.
struct Number {
  bool isInteger = true;
  std::int64_t integer = 0;
  double real = 0.0;
  int width = 10;
  int decimals = 0;

  double toDouble() const { return isInteger ? static_cast<double>(integer) : real; }
  bool isZero() const { return isInteger ? integer == 0 : real == 0.0; }
  bool operator==(const Number& other) const;
};

// Julian day number (2415019 is 30.12.1899; 0 means no day) and milliseconds of the day.
struct Date {
  std::int32_t day = 0;
  std::int32_t millis = 0;

  bool operator==(const Date&) const = default;
};

// The error value a spreadsheet cell shows ("#NV", "#DIV/0!"): neither empty nor data.
struct CellError {
  std::string text;
  bool operator==(const CellError&) const = default;
};

// A dynamically typed value: empty, text (Windows-1252 bytes), number, date, logical,
// list, automation object or a cell's error value.
class Value {
 public:
  enum class Kind { Empty, Text, Number, Date, Logical, List, Object, Error };

  Value() = default;
  static Value text(std::string bytes);
  static Value integer(std::int64_t n, int width = 10);
  static Value real(double d, int decimals = 2, int width = 10);
  static Value number(const Number& n);
  static Value date(std::int32_t day, std::int32_t millis = 0);
  static Value logical(bool b);
  static Value list(std::vector<Value> items);
  static Value object(std::shared_ptr<AutomationObject> object);
  static Value error(std::string text);

  Kind kind() const { return static_cast<Kind>(data_.index()); }
  // The one-letter type code: U, C, N, D, L, A, O or E.
  char type() const;
  // The empty-value rule: nothing, blank text, 0, false, or a date without day and time.
  bool isEmpty() const;

  bool isText() const { return kind() == Kind::Text; }
  bool isNumber() const { return kind() == Kind::Number; }
  bool isDate() const { return kind() == Kind::Date; }
  bool isLogical() const { return kind() == Kind::Logical; }
  bool isList() const { return kind() == Kind::List; }
  bool isObject() const { return kind() == Kind::Object; }
  bool isNil() const { return kind() == Kind::Empty; }
  bool isError() const { return kind() == Kind::Error; }

  // Accessors; each requires the matching kind (std::bad_variant_access otherwise).
  const std::string& asText() const { return std::get<std::string>(data_); }
  const Number& asNumber() const { return std::get<Number>(data_); }
  const Date& asDate() const { return std::get<Date>(data_); }
  bool asLogical() const { return std::get<bool>(data_); }
  const std::vector<Value>& asList() const { return std::get<std::vector<Value>>(data_); }
  std::vector<Value>& asList() { return std::get<std::vector<Value>>(data_); }
  const std::shared_ptr<AutomationObject>& asObject() const {
    return std::get<std::shared_ptr<AutomationObject>>(data_);
  }
  const std::string& asErrorText() const { return std::get<CellError>(data_).text; }

  bool operator==(const Value& other) const;

 private:
  std::variant<std::monostate, std::string, Number, Date, bool, std::vector<Value>,
               std::shared_ptr<AutomationObject>, CellError>
      data_;
};

}  // namespace zandor

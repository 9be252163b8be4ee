#include "table/index_key.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "base/date.h"
#include "base/text.h"
#include "table/number_field.h"

namespace zandor {

char keyTypeOf(const Value& v) {
  switch (v.kind()) {
    case Value::Kind::Text:
      return 'C';
    case Value::Kind::Number:
      return 'N';
    case Value::Kind::Date:
      return 'D';
    case Value::Kind::Logical:
      return 'L';
    default:
      return '?';
  }
}

std::string sortableDouble(double value) {
  if (value == 0.0) value = 0.0;  // -0.0 sorts as 0
  std::uint64_t bits = 0;
  std::memcpy(&bits, &value, sizeof bits);
  std::string out(8, '\0');
  for (int i = 0; i < 8; ++i) out[i] = static_cast<char>((bits >> (56 - 8 * i)) & 0xFF);
  if ((static_cast<unsigned char>(out[0]) & 0x80) == 0) {
    out[0] = static_cast<char>(static_cast<unsigned char>(out[0]) | 0x80);
  } else {
    for (char& c : out) c = static_cast<char>(~static_cast<unsigned char>(c));
  }
  return out;
}

namespace {

std::string textKey(const Value& value, int length, bool upperCase) {
  std::string text = value.isText() ? value.asText() : std::string();
  if (upperCase) text = upperAZ(text);
  return padRight(text, static_cast<std::size_t>(length));
}

double numberOf(const Value& value) {
  if (value.isNumber()) return value.asNumber().toDouble();
  if (value.isDate()) return value.asDate().day;
  return 0.0;
}

}  // namespace

std::string sortableInteger(std::int32_t value) {
  const std::uint32_t bits = static_cast<std::uint32_t>(value) ^ 0x80000000u;
  std::string out(4, '\0');
  for (int i = 0; i < 4; ++i) out[i] = static_cast<char>((bits >> (24 - 8 * i)) & 0xFF);
  return out;
}

std::string cdxKey(const Value& value, char type, int length, bool upperCase) {
  switch (type) {
    case 'I': {
      const double v = numberOf(value);
      const double clamped = std::clamp(std::round(v), -2147483648.0, 2147483647.0);
      return sortableInteger(static_cast<std::int32_t>(clamped));
    }
    case 'N':
    case 'D':
      return sortableDouble(numberOf(value));
    case 'L':
      return std::string(1, value.isLogical() && value.asLogical() ? 'T' : 'F');
    default:
      return textKey(value, length, upperCase);
  }
}

std::string ntxNumberKey(double value, int length, int decimals) {
  if (length <= 0) return {};
  bool negative = value < 0;
  char buffer[400];
  int dec = decimals < 0 ? 0 : (decimals > 30 ? 30 : decimals);
  std::snprintf(buffer, sizeof buffer, "%0*.*f", length, dec, std::fabs(value));
  std::string text(buffer);
  if (static_cast<int>(text.size()) > length) text.assign(static_cast<std::size_t>(length), '*');
  if (negative) {
    for (char& c : text) {
      if (c >= '0' && c <= '9') c = static_cast<char>(0x5C - c);  // '0' -> ',' ... '9' -> '#'
    }
  }
  return text;
}

std::string ntxFieldTextKey(const Number& value, int length, int decimals) {
  if (length <= 1) return std::string(length > 0 ? 1 : 0, '\0');
  return numberToFieldText(value, length - 1, decimals).text + std::string(1, '\0');
}

std::string ntxKey(const Value& value, char type, int length, int decimals, bool upperCase,
                   NtxNumberForm form) {
  switch (type) {
    case 'N':
      if (form == NtxNumberForm::FieldText) {
        return ntxFieldTextKey(value.isNumber() ? value.asNumber() : Number{}, length, decimals);
      }
      return ntxNumberKey(value.isNumber() ? value.asNumber().toDouble() : 0.0, length, decimals);
    case 'D':
      return padRight(dateToDigits(value.isDate() ? value.asDate().day : 0),
                      static_cast<std::size_t>(length));
    case 'L':
      return padRight(value.isLogical() && value.asLogical() ? "T" : "F",
                      static_cast<std::size_t>(length));
    default:
      return textKey(value, length, upperCase);
  }
}

std::string cdxSearchKey(const Value& value, char type, int length, bool upperCase) {
  if (type == 'C' && value.isText()) {
    std::string text = value.asText().substr(0, static_cast<std::size_t>(length));
    return upperCase ? upperAZ(text) : text;
  }
  return cdxKey(value, type, length, upperCase);
}

std::string ntxSearchKey(const Value& value, char type, int length, int decimals, bool upperCase,
                         NtxNumberForm form) {
  if (value.isText()) {
    std::string text = value.asText().substr(0, static_cast<std::size_t>(length));
    return upperCase ? upperAZ(text) : text;
  }
  return ntxKey(value, type, length, decimals, upperCase, form);
}

}  // namespace zandor

#include "table/field_value.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

#include "base/date.h"
#include "base/number_text.h"
#include "table/memo_file.h"
#include "table/number_field.h"
#include "table/table_error.h"

namespace zandor {

namespace {

std::uint64_t readLe(const char* p, int n) {
  std::uint64_t v = 0;
  for (int i = n - 1; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(p[i]);
  return v;
}

double readDoubleLe(const char* p) {
  return std::bit_cast<double>(readLe(p, 8));
}

Value numberFromText(std::string_view text, int decimals, int width) {
  const Number parsed = parseLeadingNumber(text);
  if (decimals == 0 && parsed.isInteger) return Value::integer(parsed.integer, width);
  return Value::real(parsed.toDouble(), decimals, width);
}

// Binary fields are zero in a new record; everything else starts blank.
bool isBinaryField(const FieldInfo& f) {
  switch (f.type) {
    case 'I':
    case '2':
    case '4':
    case '8':
    case 'O':
    case 'Y':
    case 'T':
    case '@':
    case '=':
    case '^':
    case '+':
    case '0':
    case 'V':
    case 'Q':
      return true;
    case 'B':
      return f.length != 10;
    case 'D':
      return f.length == 3 || f.length == 4;
    case 'M':
    case 'G':
    case 'P':
    case 'W':
      return f.length != 10;
    default:
      return false;
  }
}

bool nullFlagSet(const FieldInfo& field, int bit, std::string_view record) {
  if (bit < 0) return false;
  const std::size_t at = field.nullFlagsOffset + static_cast<std::size_t>(bit / 8);
  return at < record.size() && (static_cast<unsigned char>(record[at]) >> (bit % 8) & 1) != 0;
}

Error dataTypeError() {
  return tableError(gen::kDataType, sub::kDataType, "Data type error");
}

}  // namespace

std::uint32_t memoBlockOf(const FieldInfo& field, std::string_view record) {
  const char* p = record.data() + field.offset;
  if (field.length == 4) return static_cast<std::uint32_t>(readLe(p, 4));
  const Number n = parseLeadingNumber(std::string_view(p, static_cast<std::size_t>(field.length)));
  const double d = n.toDouble();
  return d > 0 && d <= 4294967295.0 ? static_cast<std::uint32_t>(d) : 0;
}

Value decodeField(const FieldInfo& field, std::string_view record, const MemoFile* memo) {
  if (field.offset + static_cast<std::size_t>(field.length) > record.size()) return Value();
  const char* p = record.data() + field.offset;
  const auto len = static_cast<std::size_t>(field.length);
  if (nullFlagSet(field, field.nullBit, record)) return Value();
  switch (field.type) {
    case 'V':
    case 'Q':
      if (nullFlagSet(field, field.varLengthBit, record)) {
        return Value::text(
            std::string(p, std::min<std::size_t>(static_cast<unsigned char>(p[len - 1]), len - 1)));
      }
      return Value::text(std::string(p, len));
    case 'C':
    case '0':
      return Value::text(std::string(p, len));
    case 'N':
    case 'F':
      return numberFromText(std::string_view(p, len), field.decimals, field.length);
    case 'D':
      if (len == 3 || len == 4) {
        const auto day = static_cast<std::int32_t>(readLe(p, static_cast<int>(len)));
        return Value::date(day);
      }
      return Value::date(len >= 8 ? digitsToDate(std::string_view(p, 8)) : 0);
    case 'L':
      return Value::logical(*p == 'T' || *p == 't' || *p == 'Y' || *p == 'y');
    case 'I':
    case '+':
    case '4':
      if (len >= 4) return Value::integer(static_cast<std::int32_t>(readLe(p, 4)), field.length);
      break;
    case '2':
      if (len >= 2) return Value::integer(static_cast<std::int16_t>(readLe(p, 2)), field.length);
      break;
    case '8':
    case 'O':
      if (len >= 8) return Value::real(readDoubleLe(p), field.decimals, 20);
      break;
    case 'Y':
      if (len >= 8) {
        const auto raw = static_cast<std::int64_t>(readLe(p, 8));
        return Value::real(static_cast<double>(raw) / 10000.0, 4, 20);
      }
      break;
    case 'T':
    case '@':
      if (len >= 8) {
        if (field.type == '@') {
          // dBase timestamp: big-endian double of milliseconds since 1.1.4713 BC.
          std::uint64_t bits = 0;
          for (int i = 0; i < 8; ++i) bits = bits << 8 | static_cast<unsigned char>(p[i]);
          const double ms = std::bit_cast<double>(bits);
          if (ms <= 0) return Value::date(0);
          const auto day = static_cast<std::int32_t>(ms / 86400000.0);
          return Value::date(day, static_cast<std::int32_t>(ms - day * 86400000.0));
        }
        // Visual FoxPro stores whole seconds, often as one millisecond less: the value is
        // the second it means.
        auto day = static_cast<std::int32_t>(readLe(p, 4));
        auto millis = static_cast<std::int32_t>(readLe(p + 4, 4));
        millis = (millis + 500) / 1000 * 1000;
        if (millis >= 86400000 && day != 0) {
          millis -= 86400000;
          ++day;
        }
        return Value::date(day, millis);
      }
      break;
    case 'B':
      if (len == 8) return Value::real(readDoubleLe(p), field.decimals, 20);
      break;
    default:
      break;
  }
  if (field.isMemo()) {
    if (!memo) return Value::text({});
    for (;;) {
      try {
        return Value::text(memo->read(memoBlockOf(field, record)));
      } catch (const TableError& e) {
        if (raiseError(e.error()) == ErrorAnswer::Retry) continue;
        return Value::text({});
      }
    }
  }
  return Value::text(std::string(p, len));
}

void encodeField(const FieldInfo& field, std::string& record, const Value& value, MemoFile* memo) {
  char* p = record.data() + field.offset;
  const auto len = static_cast<std::size_t>(field.length);
  switch (field.type) {
    case 'C':
      if (!value.isText()) throw TableError(dataTypeError());
      {
        const std::string& text = value.asText();
        const std::size_t n = std::min(text.size(), len);
        std::memcpy(p, text.data(), n);
        std::memset(p + n, ' ', len - n);
      }
      return;
    case 'N':
    case 'F': {
      if (!value.isNumber()) throw TableError(dataTypeError());
      const NumberFieldText out = numberToFieldText(value.asNumber(), field.length, field.decimals);
      std::memcpy(p, out.text.data(), len);
      if (!out.fits)
        throw TableError(tableError(gen::kDataWidth, sub::kDataWidth, "Data width error"));
      return;
    }
    case 'D': {
      if (!value.isDate()) throw TableError(dataTypeError());
      const std::int32_t day = value.asDate().day;
      if (len == 3 || len == 4) {
        for (std::size_t i = 0; i < len; ++i) p[i] = static_cast<char>(day >> (8 * i));
        return;
      }
      std::memset(p, ' ', len);
      const YearMonthDay ymd = calendarDate(day);
      if (day > 0 && ymd.year >= 0 && ymd.year <= 9999 && len >= 8) {
        const int parts[] = {ymd.year / 100, ymd.year % 100, ymd.month, ymd.day};
        for (int i = 0; i < 4; ++i) {
          p[2 * i] = static_cast<char>('0' + parts[i] / 10);
          p[2 * i + 1] = static_cast<char>('0' + parts[i] % 10);
        }
      }
      return;
    }
    case 'L':
      if (!value.isLogical()) throw TableError(dataTypeError());
      *p = value.asLogical() ? 'T' : 'F';
      return;
    case 'I': {
      // Whole numbers only: a key field of this type must hold what was written.
      if (!value.isNumber() || len != 4) throw TableError(dataTypeError());
      const double v = value.asNumber().toDouble();
      if (v != std::floor(v) || v < -2147483648.0 || v > 2147483647.0) {
        throw TableError(tableError(gen::kDataWidth, sub::kDataWidth, "Data width error"));
      }
      const auto bits = static_cast<std::uint32_t>(static_cast<std::int32_t>(v));
      for (int i = 0; i < 4; ++i) p[i] = static_cast<char>(bits >> (8 * i));
      return;
    }
    default:
      break;
  }
  if (field.isMemo() && (field.length == 10 || field.length == 4)) {
    if (!value.isText() || !memo) throw TableError(dataTypeError());
    const std::string& text = value.asText();
    const std::uint32_t block = text.empty() ? 0 : memo->write(text);
    if (field.length == 4) {
      for (int i = 0; i < 4; ++i) p[i] = static_cast<char>(block >> (8 * i));
    } else if (block == 0) {
      std::memset(p, ' ', len);
    } else {
      const std::string digits = std::to_string(block);
      std::memset(p, ' ', len - digits.size());
      std::memcpy(p + len - digits.size(), digits.data(), digits.size());
    }
    return;
  }
  throw TableError(dataTypeError());
}

std::string blankRecord(const std::vector<FieldInfo>& fields, std::size_t recordLength) {
  std::string record(recordLength, ' ');
  for (const FieldInfo& f : fields) {
    if (isBinaryField(f))
      std::memset(record.data() + f.offset, 0, static_cast<std::size_t>(f.length));
  }
  return record;
}

}  // namespace zandor

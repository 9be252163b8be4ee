#include "mapping/profile_codec.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "base/date.h"
#include "base/number_text.h"

namespace zandor {

namespace {

void putLength(std::string& out, std::size_t n) {
  out += static_cast<char>(n & 0xFF);
  out += static_cast<char>((n >> 8) & 0xFF);
}

bool encodeScalar(const Value& value, std::string& out) {
  std::string payload;
  char type = value.type();
  switch (value.kind()) {
    case Value::Kind::Text:
      payload = value.asText();
      break;
    case Value::Kind::Number:
      payload = numberToPlainText(value.asNumber());
      break;
    case Value::Kind::Logical:
      payload = value.asLogical() ? ".T." : ".F.";
      break;
    case Value::Kind::Date:
      payload = dateToText(value.asDate().day);
      break;
    default:
      // Nothing else has a text form; it is stored as an empty value.
      type = 'U';
      break;
  }
  if (payload.size() > kMaxItemLength) return false;
  out += type;
  putLength(out, payload.size());
  out += payload;
  return true;
}

bool encodeList(const std::vector<Value>& list, std::string& out, int depth) {
  std::string body;
  if (list.size() > kMaxItemLength || depth >= kMaxListDepth) return false;
  putLength(body, list.size());
  for (const Value& element : list) {
    const bool fits = element.isList() ? encodeList(element.asList(), body, depth + 1)
                                       : encodeScalar(element, body);
    if (!fits || body.size() > kMaxItemLength) return false;
  }
  out += 'A';
  putLength(out, body.size());
  out += body;
  return true;
}

class Reader {
 public:
  explicit Reader(std::string_view bytes) : bytes_(bytes) {}

  std::optional<std::vector<Value>> list(int depth) {
    char type;
    std::string_view payload;
    if (!item(type, payload) || type != 'A') return std::nullopt;
    return listPayload(payload, depth);
  }

  bool atEnd() const { return pos_ == bytes_.size(); }

 private:
  // Reads a 16-bit two's complement length; negative lengths are damage.
  bool length(std::size_t& n) {
    if (bytes_.size() - pos_ < 2) return false;
    const auto low = static_cast<unsigned char>(bytes_[pos_]);
    const auto high = static_cast<unsigned char>(bytes_[pos_ + 1]);
    pos_ += 2;
    if (high & 0x80) return false;
    n = low | (static_cast<std::size_t>(high) << 8);
    return true;
  }

  bool item(char& type, std::string_view& payload) {
    if (pos_ >= bytes_.size()) return false;
    type = bytes_[pos_++];
    std::size_t n = 0;
    if (!length(n) || bytes_.size() - pos_ < n) return false;
    payload = bytes_.substr(pos_, n);
    pos_ += n;
    return true;
  }

  std::optional<std::vector<Value>> listPayload(std::string_view payload, int depth) {
    if (depth >= kMaxListDepth) return std::nullopt;
    Reader inner(payload);
    std::size_t count = 0;
    if (!inner.length(count)) return std::nullopt;
    std::vector<Value> result;
    // Every element takes at least 3 bytes, so a count larger than that cannot be met.
    if (count > payload.size() / 3) return std::nullopt;
    result.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
      char type;
      std::string_view data;
      if (!inner.item(type, data)) return std::nullopt;
      std::optional<Value> element = type == 'A' ? listValue(data, depth + 1) : scalar(type, data);
      if (!element) return std::nullopt;
      result.push_back(std::move(*element));
    }
    if (!inner.atEnd()) return std::nullopt;
    return result;
  }

  std::optional<Value> listValue(std::string_view payload, int depth) {
    std::optional<std::vector<Value>> items = listPayload(payload, depth);
    if (!items) return std::nullopt;
    return Value::list(std::move(*items));
  }

  static std::optional<Value> scalar(char type, std::string_view data) {
    switch (type) {
      case 'C':
        return Value::text(std::string(data));
      case 'N':
        return number(data);
      case 'L':
        if (data == ".T.") return Value::logical(true);
        if (data == ".F.") return Value::logical(false);
        return std::nullopt;
      case 'D':
        return Value::date(textToDate(data));
      default:
        return Value();
    }
  }

  // Only what the encoder writes: an optional minus, digits, and a point with digits.
  static std::optional<Value> number(std::string_view text) {
    std::size_t i = text.size() > 0 && text[0] == '-' ? 1 : 0;
    std::size_t intDigits = 0, fracDigits = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i, ++intDigits;
    if (i < text.size() && text[i] == '.') {
      ++i;
      while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i, ++fracDigits;
      if (fracDigits == 0) return std::nullopt;
    }
    if (intDigits == 0 || i != text.size()) return std::nullopt;
    const Number n = parseLeadingNumber(text);
    // Hundreds of digits overflow a double; such a number was never written by us.
    if (!n.isInteger && !std::isfinite(n.real)) return std::nullopt;
    return Value::number(n);
  }

  std::string_view bytes_;
  std::size_t pos_ = 0;
};

}  // namespace

std::optional<std::string> ASAVE(const std::vector<Value>& list) {
  std::string out;
  if (!encodeList(list, out, 0)) return std::nullopt;
  return out;
}

std::optional<std::vector<Value>> AREAD(std::string_view bytes) {
  Reader reader(bytes);
  std::optional<std::vector<Value>> list = reader.list(0);
  if (!list || !reader.atEnd()) return std::nullopt;
  return list;
}

}  // namespace zandor

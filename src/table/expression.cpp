#include "table/expression.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "base/date.h"
#include "base/local_clock.h"
#include "base/number_text.h"
#include "base/text.h"

namespace zandor {

namespace {

enum class Op {
  Literal,
  Field,
  Neg,
  Not,
  Add,
  Sub,
  Mul,
  Div,
  Mod,
  Pow,
  Eq,
  ExactEq,
  Ne,
  Lt,
  Le,
  Gt,
  Ge,
  Contains,
  And,
  Or,
  Iif,
  Call
};

using Args = std::vector<Value>;
using Builtin = Value (*)(const Args&, const RecordContext&);

}  // namespace

struct Expression::Node {
  Op op = Op::Literal;
  Value literal;
  int field = -1;
  Builtin function = nullptr;
  std::vector<std::unique_ptr<Node>> args;
};

namespace {

using Node = Expression::Node;
using NodePtr = std::unique_ptr<Node>;

[[noreturn]] void fail(const std::string& what) {
  throw ExpressionError(what);
}

// ---- values ----

const std::string& text(const Value& v, const char* fn) {
  if (!v.isText()) fail(std::string(fn) + ": text expected");
  return v.asText();
}

double num(const Value& v, const char* fn) {
  if (!v.isNumber()) fail(std::string(fn) + ": number expected");
  return v.asNumber().toDouble();
}

long long whole(const Value& v, const char* fn) {
  return static_cast<long long>(std::trunc(num(v, fn)));
}

std::int32_t day(const Value& v, const char* fn) {
  if (!v.isDate()) fail(std::string(fn) + ": date expected");
  return v.asDate().day;
}

Value numberValue(double d, int decimals, int width = 0) {
  if (decimals == 0 && std::fabs(d) < 9e15 && d == std::trunc(d)) {
    return Value::integer(static_cast<std::int64_t>(d), width > 0 ? width : 10);
  }
  return Value::real(d, decimals, width > 0 ? width : 10 + (decimals > 0 ? decimals + 1 : 0));
}

int decimalsOf(const Value& v) {
  return v.isNumber() ? v.asNumber().decimals : 0;
}

std::string fixed(double d, int width, int decimals) {
  if (width <= 0) return {};
  char buf[512];
  int dec = std::clamp(decimals, 0, 30);
  // Halves round away from zero, as the runtime's STR() does (printf rounds to even).
  double f = std::pow(10.0, dec);
  double scaled = d * f;
  if (std::fabs(scaled) < 1e15) d = std::round(scaled + (scaled >= 0 ? 1e-7 : -1e-7)) / f;
  std::snprintf(buf, sizeof buf, "%*.*f", std::min(width, 300), dec, d);
  std::string s(buf);
  if (static_cast<int>(s.size()) > width) return std::string(static_cast<std::size_t>(width), '*');
  return s;
}

// Blank-padded comparison of two texts.
int compareText(const std::string& a, const std::string& b) {
  std::size_t n = std::max(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    unsigned char x = i < a.size() ? static_cast<unsigned char>(a[i]) : ' ';
    unsigned char y = i < b.size() ? static_cast<unsigned char>(b[i]) : ' ';
    if (x != y) return x < y ? -1 : 1;
  }
  return 0;
}

int compareValues(const Value& a, const Value& b) {
  if (a.isText() && b.isText()) return compareText(a.asText(), b.asText());
  if (a.isNumber() && b.isNumber()) {
    double x = a.asNumber().toDouble(), y = b.asNumber().toDouble();
    return x < y ? -1 : (x > y ? 1 : 0);
  }
  if (a.isDate() && b.isDate()) {
    return a.asDate().day < b.asDate().day ? -1 : (a.asDate().day > b.asDate().day ? 1 : 0);
  }
  if (a.isLogical() && b.isLogical()) return static_cast<int>(a.asLogical()) - b.asLogical();
  fail("Vergleich von Werten verschiedener Typen");
}

// ---- functions ----

std::size_t count(const Value& v, const char* fn) {
  long long n = whole(v, fn);
  return n < 0 ? 0 : static_cast<std::size_t>(std::min<long long>(n, 65535));
}

Value fnUpper(const Args& a, const RecordContext&) {
  return Value::text(upperAZ(text(a[0], "UPPER")));
}
Value fnLower(const Args& a, const RecordContext&) {
  std::string s = text(a[0], "LOWER");
  for (char& c : s) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return Value::text(s);
}
Value fnStr(const Args& a, const RecordContext&) {
  const Value& v = a[0];
  double d = num(v, "STR");
  int width = a.size() > 1 ? static_cast<int>(whole(a[1], "STR")) : v.asNumber().width;
  int decimals = a.size() > 2 ? static_cast<int>(whole(a[2], "STR"))
                              : (a.size() > 1 ? 0 : v.asNumber().decimals);
  if (a.size() == 1 && width <= 0) width = 10;
  return Value::text(fixed(d, width, decimals));
}
Value fnStrZero(const Args& a, const RecordContext& r) {
  std::string s = fnStr(a, r).asText();
  bool negative = false;
  for (char& c : s) {
    if (c == '-') {
      negative = true;
      c = '0';
    }
    if (c == ' ') c = '0';
  }
  if (negative && !s.empty()) s[0] = '-';
  return Value::text(s);
}
Value fnDtos(const Args& a, const RecordContext&) {
  return Value::text(dateToDigits(day(a[0], "DTOS")));
}
Value fnDtoc(const Args& a, const RecordContext&) {
  return Value::text(dateToText(day(a[0], "DTOC")));
}
Value fnCtod(const Args& a, const RecordContext&) {
  return Value::date(textToDate(text(a[0], "CTOD")));
}
Value fnStod(const Args& a, const RecordContext&) {
  return Value::date(digitsToDate(text(a[0], "STOD")));
}
Value fnDate(const Args&, const RecordContext&) {
  const LocalClock today = localClock();
  return Value::date(dayNumber(today.year, today.month, today.day));
}
Value fnYear(const Args& a, const RecordContext&) {
  return Value::integer(calendarDate(day(a[0], "YEAR")).year);
}
Value fnMonth(const Args& a, const RecordContext&) {
  return Value::integer(calendarDate(day(a[0], "MONTH")).month);
}
Value fnDay(const Args& a, const RecordContext&) {
  return Value::integer(calendarDate(day(a[0], "DAY")).day);
}
Value fnLeft(const Args& a, const RecordContext&) {
  const std::string& s = text(a[0], "LEFT");
  return Value::text(s.substr(0, std::min(s.size(), count(a[1], "LEFT"))));
}
Value fnRight(const Args& a, const RecordContext&) {
  const std::string& s = text(a[0], "RIGHT");
  std::size_t n = std::min(s.size(), count(a[1], "RIGHT"));
  return Value::text(s.substr(s.size() - n));
}
Value fnSubstr(const Args& a, const RecordContext&) {
  const std::string& s = text(a[0], "SUBSTR");
  long long start = whole(a[1], "SUBSTR");
  if (start < 0) start = static_cast<long long>(s.size()) + start + 1;
  if (start < 1) start = 1;
  auto from = static_cast<std::size_t>(start - 1);
  if (from >= s.size()) return Value::text("");
  std::size_t n = a.size() > 2 ? count(a[2], "SUBSTR") : s.size();
  return Value::text(s.substr(from, n));
}
Value fnRtrim(const Args& a, const RecordContext&) {
  return Value::text(trimRight(text(a[0], "TRIM")));
}
Value fnLtrim(const Args& a, const RecordContext&) {
  const std::string& s = text(a[0], "LTRIM");
  std::size_t i = 0;
  while (i < s.size() && s[i] == ' ') ++i;
  return Value::text(s.substr(i));
}
Value fnAlltrim(const Args& a, const RecordContext&) {
  return Value::text(trimBlanks(text(a[0], "ALLTRIM")));
}
std::string asPadText(const Value& v) {
  if (v.isText()) return v.asText();
  if (v.isNumber()) return trimBlanks(fixed(v.asNumber().toDouble(), 20, v.asNumber().decimals));
  if (v.isDate()) return dateToText(v.asDate().day);
  fail("PAD: Text erwartet");
}
char padChar(const Args& a) {
  if (a.size() > 2 && a[2].isText() && !a[2].asText().empty()) return a[2].asText()[0];
  return ' ';
}
Value fnPadr(const Args& a, const RecordContext&) {
  std::string s = asPadText(a[0]);
  std::size_t n = count(a[1], "PADR");
  s.resize(n, padChar(a));
  return Value::text(s);
}
Value fnPadl(const Args& a, const RecordContext&) {
  std::string s = asPadText(a[0]);
  std::size_t n = count(a[1], "PADL");
  if (s.size() >= n) return Value::text(s.substr(0, n));
  return Value::text(std::string(n - s.size(), padChar(a)) + s);
}
Value fnPadc(const Args& a, const RecordContext&) {
  std::string s = asPadText(a[0]);
  std::size_t n = count(a[1], "PADC");
  if (s.size() >= n) return Value::text(s.substr(0, n));
  std::size_t left = (n - s.size()) / 2;
  return Value::text(std::string(left, padChar(a)) + s +
                     std::string(n - s.size() - left, padChar(a)));
}
Value fnVal(const Args& a, const RecordContext&) {
  return Value::number(parseLeadingNumber(text(a[0], "VAL")));
}
Value fnDeleted(const Args&, const RecordContext& r) {
  return Value::logical(r.deleted());
}
Value fnRecno(const Args&, const RecordContext& r) {
  return Value::integer(r.recordNumber());
}
Value fnAbs(const Args& a, const RecordContext&) {
  return numberValue(std::fabs(num(a[0], "ABS")), decimalsOf(a[0]));
}
Value fnInt(const Args& a, const RecordContext&) {
  return numberValue(std::trunc(num(a[0], "INT")), 0);
}
Value fnRound(const Args& a, const RecordContext&) {
  double d = num(a[0], "ROUND");
  long long places = whole(a[1], "ROUND");
  double f = std::pow(10.0, static_cast<double>(places));
  double r = std::round(d * f) / f;
  return numberValue(r, places > 0 ? static_cast<int>(places) : 0);
}
Value fnMax(const Args& a, const RecordContext&) {
  return compareValues(a[0], a[1]) >= 0 ? a[0] : a[1];
}
Value fnMin(const Args& a, const RecordContext&) {
  return compareValues(a[0], a[1]) <= 0 ? a[0] : a[1];
}
Value fnLen(const Args& a, const RecordContext&) {
  return Value::integer(static_cast<std::int64_t>(text(a[0], "LEN").size()));
}
Value fnSpace(const Args& a, const RecordContext&) {
  return Value::text(std::string(count(a[0], "SPACE"), ' '));
}
Value fnReplicate(const Args& a, const RecordContext&) {
  const std::string& s = text(a[0], "REPLICATE");
  std::size_t n = count(a[1], "REPLICATE");
  if (s.size() * n > 65535) fail("REPLICATE: Ergebnis zu lang");
  std::string out;
  for (std::size_t i = 0; i < n; ++i) out += s;
  return Value::text(out);
}
Value fnEmpty(const Args& a, const RecordContext&) {
  return Value::logical(a[0].isEmpty());
}
Value fnAt(const Args& a, const RecordContext&) {
  auto pos = text(a[1], "AT").find(text(a[0], "AT"));
  return Value::integer(pos == std::string::npos || text(a[0], "AT").empty()
                            ? 0
                            : static_cast<std::int64_t>(pos) + 1);
}
Value fnChr(const Args& a, const RecordContext&) {
  return Value::text(std::string(1, static_cast<char>(whole(a[0], "CHR") & 0xFF)));
}
Value fnAsc(const Args& a, const RecordContext&) {
  const std::string& s = text(a[0], "ASC");
  return Value::integer(s.empty() ? 0 : static_cast<unsigned char>(s[0]));
}
Value fnTransform(const Args& a, const RecordContext&) {
  const Value& v = a[0];
  std::string picture = text(a[1], "TRANSFORM");
  if (v.isText()) {
    return Value::text(picture.rfind("@!", 0) == 0 ? upperAZ(v.asText()) : v.asText());
  }
  if (v.isNumber()) {
    auto point = picture.find('.');
    bool digits = picture.find('9') != std::string::npos || picture.find('#') != std::string::npos;
    if (digits && picture[0] != '@') {
      int decimals = point == std::string::npos ? 0 : static_cast<int>(picture.size() - point - 1);
      return Value::text(
          fixed(v.asNumber().toDouble(), static_cast<int>(picture.size()), decimals));
    }
    return Value::text(fixed(v.asNumber().toDouble(), v.asNumber().width, v.asNumber().decimals));
  }
  if (v.isDate()) return Value::text(dateToText(v.asDate().day));
  if (v.isLogical()) return Value::text(v.asLogical() ? "T" : "F");
  fail("TRANSFORM: nicht unterst\xfctzter Wert");
}

struct FunctionDef {
  const char* name;
  Builtin fn;
  int minArgs;
  int maxArgs;
};

const FunctionDef kFunctions[] = {
    {"UPPER", fnUpper, 1, 1},
    {"LOWER", fnLower, 1, 1},
    {"STR", fnStr, 1, 3},
    {"STRZERO", fnStrZero, 1, 3},
    {"DTOS", fnDtos, 1, 1},
    {"DTOC", fnDtoc, 1, 1},
    {"CTOD", fnCtod, 1, 1},
    {"STOD", fnStod, 1, 1},
    {"DATE", fnDate, 0, 0},
    {"YEAR", fnYear, 1, 1},
    {"MONTH", fnMonth, 1, 1},
    {"DAY", fnDay, 1, 1},
    {"LEFT", fnLeft, 2, 2},
    {"RIGHT", fnRight, 2, 2},
    {"SUBSTR", fnSubstr, 2, 3},
    {"TRIM", fnRtrim, 1, 1},
    {"RTRIM", fnRtrim, 1, 1},
    {"LTRIM", fnLtrim, 1, 1},
    {"ALLTRIM", fnAlltrim, 1, 1},
    {"PADR", fnPadr, 2, 3},
    {"PADL", fnPadl, 2, 3},
    {"PADC", fnPadc, 2, 3},
    {"VAL", fnVal, 1, 1},
    {"DELETED", fnDeleted, 0, 0},
    {"RECNO", fnRecno, 0, 0},
    {"ABS", fnAbs, 1, 1},
    {"INT", fnInt, 1, 1},
    {"ROUND", fnRound, 2, 2},
    {"MAX", fnMax, 2, 2},
    {"MIN", fnMin, 2, 2},
    {"LEN", fnLen, 1, 1},
    {"SPACE", fnSpace, 1, 1},
    {"REPLICATE", fnReplicate, 2, 2},
    {"EMPTY", fnEmpty, 1, 1},
    {"AT", fnAt, 2, 2},
    {"CHR", fnChr, 1, 1},
    {"ASC", fnAsc, 1, 1},
    {"TRANSFORM", fnTransform, 2, 2},
};

// ---- lexer ----

enum class Tok { End, Number, String, Date, Logical, Ident, Op, LParen, RParen, Comma };

struct Token {
  Tok kind = Tok::End;
  std::string text;  // identifiers upper case; operators normalised (".AND." -> "AND")
  Value value;
};

class Lexer {
 public:
  explicit Lexer(std::string_view s) : s_(s) {}

  std::vector<Token> run() {
    std::vector<Token> out;
    for (;;) {
      Token t = next();
      out.push_back(t);
      if (t.kind == Tok::End) break;
      if (out.size() > 10000) fail("Ausdruck zu lang");
    }
    return out;
  }

 private:
  char peek(std::size_t ahead = 0) const { return i_ + ahead < s_.size() ? s_[i_ + ahead] : '\0'; }
  static bool identStart(char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '_'; }
  static bool identChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

  // ".AND." and friends at the current position; empty when there is none.
  std::string dotWord() const {
    if (peek() != '.') return {};
    std::size_t j = i_ + 1;
    std::string w;
    while (j < s_.size() && std::isalpha(static_cast<unsigned char>(s_[j]))) w += s_[j++];
    if (j >= s_.size() || s_[j] != '.') return {};
    w = upperAZ(w);
    static const char* kWords[] = {"AND", "OR", "NOT", "T", "F", "Y", "N"};
    for (const char* k : kWords) {
      if (w == k) return w;
    }
    return {};
  }

  Token next() {
    while (peek() == ' ' || peek() == '\t' || peek() == '\r' || peek() == '\n') ++i_;
    Token t;
    char c = peek();
    if (c == '\0') return t;
    std::string word = dotWord();
    if (!word.empty()) {
      i_ += word.size() + 2;
      if (word == "T" || word == "Y" || word == "F" || word == "N") {
        t.kind = Tok::Logical;
        t.value = Value::logical(word == "T" || word == "Y");
      } else {
        t.kind = Tok::Op;
        t.text = word;
      }
      return t;
    }
    if (std::isdigit(static_cast<unsigned char>(c)) ||
        (c == '.' && std::isdigit(static_cast<unsigned char>(peek(1))))) {
      std::size_t start = i_;
      while (std::isdigit(static_cast<unsigned char>(peek()))) ++i_;
      int decimals = 0;
      if (peek() == '.' && std::isdigit(static_cast<unsigned char>(peek(1)))) {
        ++i_;
        while (std::isdigit(static_cast<unsigned char>(peek()))) {
          ++i_;
          ++decimals;
        }
      }
      std::string digits(s_.substr(start, i_ - start));
      t.kind = Tok::Number;
      t.value = numberValue(std::strtod(digits.c_str(), nullptr), decimals);
      return t;
    }
    if (c == '"' || c == '\'' || c == '[') {
      char close = c == '[' ? ']' : c;
      std::size_t end = s_.find(close, i_ + 1);
      if (end == std::string_view::npos)
        fail(
            "Text ohne schlie\xdf"
            "endes Anf\xfchrungszeichen");
      t.kind = Tok::String;
      t.value = Value::text(std::string(s_.substr(i_ + 1, end - i_ - 1)));
      i_ = end + 1;
      return t;
    }
    if (c == '{') {
      std::size_t end = s_.find('}', i_);
      if (end == std::string_view::npos)
        fail(
            "Datum ohne schlie\xdf"
            "ende Klammer");
      std::string inner = trimBlanks(s_.substr(i_ + 1, end - i_ - 1));
      i_ = end + 1;
      t.kind = Tok::Date;
      if (inner.empty()) {
        t.value = Value::date(0);
      } else if (inner[0] == '^') {
        int y = 0, m = 0, d = 0;
        if (std::sscanf(inner.c_str() + 1, "%d-%d-%d", &y, &m, &d) != 3)
          fail("ung\xfcltiges Datum");
        t.value = Value::date(dayNumber(y, m, d));
      } else {
        t.value = Value::date(textToDate(inner));
      }
      return t;
    }
    if (identStart(c)) {
      std::size_t start = i_;
      while (identChar(peek())) ++i_;
      std::string name = upperAZ(s_.substr(start, i_ - start));
      // alias->field and table.field: keep only the field name
      std::size_t after = i_;
      while (after < s_.size() && s_[after] == ' ') ++after;
      if (after + 1 < s_.size() && s_[after] == '-' && s_[after + 1] == '>') {
        i_ = after + 2;
        while (peek() == ' ') ++i_;
        if (!identStart(peek())) fail("Feldname nach -> erwartet");
        return next();
      }
      if (peek() == '.' && identStart(peek(1)) && dotWord().empty()) {
        ++i_;
        return next();
      }
      t.kind = Tok::Ident;
      t.text = name;
      return t;
    }
    ++i_;
    t.kind = Tok::Op;
    switch (c) {
      case '(':
        t.kind = Tok::LParen;
        return t;
      case ')':
        t.kind = Tok::RParen;
        return t;
      case ',':
        t.kind = Tok::Comma;
        return t;
      case '*':
        if (peek() == '*') {
          ++i_;
          t.text = "^";
        } else {
          t.text = "*";
        }
        return t;
      case '=':
        if (peek() == '=') {
          ++i_;
          t.text = "==";
        } else {
          t.text = "=";
        }
        return t;
      case '!':
        if (peek() == '=') {
          ++i_;
          t.text = "!=";
        } else {
          t.text = "NOT";
        }
        return t;
      case '<':
        if (peek() == '=' || peek() == '>') {
          t.text = peek() == '=' ? "<=" : "!=";
          ++i_;
        } else {
          t.text = "<";
        }
        return t;
      case '>':
        if (peek() == '=') {
          ++i_;
          t.text = ">=";
        } else {
          t.text = ">";
        }
        return t;
      case '#':
        t.text = "!=";
        return t;
      case '+':
      case '-':
      case '/':
      case '%':
      case '^':
      case '$':
        t.text = std::string(1, c);
        return t;
      default:
        fail(std::string("unexpected character '") + c + "'");
    }
  }

  std::string_view s_;
  std::size_t i_ = 0;
};

// ---- parser ----

class Parser {
 public:
  Parser(std::vector<Token> tokens, const RecordContext& fields)
      : t_(std::move(tokens)), fields_(fields) {}

  NodePtr parse() {
    NodePtr n = orExpr();
    if (cur().kind != Tok::End) fail("unerwarteter Text nach dem Ausdruck");
    return n;
  }

 private:
  const Token& cur() const { return t_[p_]; }
  bool isOp(const char* op) const { return cur().kind == Tok::Op && cur().text == op; }
  static NodePtr make(Op op, NodePtr a, NodePtr b = nullptr) {
    auto n = std::make_unique<Node>();
    n->op = op;
    n->args.push_back(std::move(a));
    if (b) n->args.push_back(std::move(b));
    return n;
  }
  void enter() {
    if (++depth_ > 200) fail("Ausdruck zu tief verschachtelt");
  }

  NodePtr orExpr() {
    NodePtr n = andExpr();
    while (isOp("OR")) {
      ++p_;
      n = make(Op::Or, std::move(n), andExpr());
    }
    return n;
  }
  NodePtr andExpr() {
    NodePtr n = notExpr();
    while (isOp("AND")) {
      ++p_;
      n = make(Op::And, std::move(n), notExpr());
    }
    return n;
  }
  NodePtr notExpr() {
    if (isOp("NOT")) {
      ++p_;
      enter();
      NodePtr n = make(Op::Not, notExpr());
      --depth_;
      return n;
    }
    return relExpr();
  }
  NodePtr relExpr() {
    NodePtr n = addExpr();
    for (;;) {
      Op op;
      if (isOp("="))
        op = Op::Eq;
      else if (isOp("=="))
        op = Op::ExactEq;
      else if (isOp("!="))
        op = Op::Ne;
      else if (isOp("<"))
        op = Op::Lt;
      else if (isOp("<="))
        op = Op::Le;
      else if (isOp(">"))
        op = Op::Gt;
      else if (isOp(">="))
        op = Op::Ge;
      else if (isOp("$"))
        op = Op::Contains;
      else
        return n;
      ++p_;
      n = make(op, std::move(n), addExpr());
    }
  }
  NodePtr addExpr() {
    NodePtr n = mulExpr();
    while (isOp("+") || isOp("-")) {
      Op op = isOp("+") ? Op::Add : Op::Sub;
      ++p_;
      n = make(op, std::move(n), mulExpr());
    }
    return n;
  }
  NodePtr mulExpr() {
    NodePtr n = powExpr();
    while (isOp("*") || isOp("/") || isOp("%")) {
      Op op = isOp("*") ? Op::Mul : (isOp("/") ? Op::Div : Op::Mod);
      ++p_;
      n = make(op, std::move(n), powExpr());
    }
    return n;
  }
  NodePtr powExpr() {
    NodePtr n = unary();
    while (isOp("^")) {
      ++p_;
      n = make(Op::Pow, std::move(n), unary());
    }
    return n;
  }
  NodePtr unary() {
    if (isOp("-") || isOp("+")) {
      bool negate = isOp("-");
      ++p_;
      enter();
      NodePtr operand = unary();
      --depth_;
      if (negate) return make(Op::Neg, std::move(operand));
      return operand;
    }
    return primary();
  }
  NodePtr primary() {
    const Token& t = cur();
    switch (t.kind) {
      case Tok::Number:
      case Tok::String:
      case Tok::Date:
      case Tok::Logical: {
        auto n = std::make_unique<Node>();
        n->literal = t.value;
        ++p_;
        return n;
      }
      case Tok::LParen: {
        ++p_;
        enter();
        NodePtr n = orExpr();
        --depth_;
        if (cur().kind != Tok::RParen) fail("fehlende )");
        ++p_;
        return n;
      }
      case Tok::Ident:
        return identifier();
      default:
        fail("Operand erwartet");
    }
  }
  NodePtr identifier() {
    std::string name = cur().text;
    ++p_;
    if (cur().kind != Tok::LParen) {
      int index = fields_.fieldIndex(name);
      if (index < 0) fail("unbekanntes Feld " + name);
      auto n = std::make_unique<Node>();
      n->op = Op::Field;
      n->field = index;
      return n;
    }
    ++p_;
    enter();
    std::vector<NodePtr> args;
    if (cur().kind != Tok::RParen) {
      for (;;) {
        args.push_back(orExpr());
        if (cur().kind == Tok::Comma) {
          ++p_;
          continue;
        }
        break;
      }
    }
    --depth_;
    if (cur().kind != Tok::RParen) fail("fehlende ) nach den Argumenten von " + name);
    ++p_;
    auto n = std::make_unique<Node>();
    n->args = std::move(args);
    if (name == "IIF" || name == "IF") {
      if (n->args.size() != 3) fail("IIF braucht drei Argumente");
      n->op = Op::Iif;
      return n;
    }
    for (const auto& f : kFunctions) {
      if (name == f.name) {
        int argc = static_cast<int>(n->args.size());
        if (argc < f.minArgs || argc > f.maxArgs)
          fail("falsche Zahl von Argumenten f\xfcr " + name);
        n->op = Op::Call;
        n->function = f.fn;
        return n;
      }
    }
    fail("unbekannte Funktion " + name);
  }

  std::vector<Token> t_;
  const RecordContext& fields_;
  std::size_t p_ = 0;
  int depth_ = 0;
};

// ---- evaluation ----

Value eval(const Node& n, const RecordContext& r);

Value arithmetic(Op op, const Value& a, const Value& b) {
  if (op == Op::Add || op == Op::Sub) {
    if (a.isText() && b.isText()) {
      if (op == Op::Add) return Value::text(a.asText() + b.asText());
      std::string left = trimRight(a.asText());
      std::size_t blanks = a.asText().size() - left.size();
      return Value::text(left + b.asText() + std::string(blanks, ' '));
    }
    if (a.isDate() && b.isNumber()) {
      double d = b.asNumber().toDouble();
      return Value::date(a.asDate().day + static_cast<std::int32_t>(op == Op::Add ? d : -d));
    }
    if (op == Op::Add && a.isNumber() && b.isDate()) {
      return Value::date(b.asDate().day + static_cast<std::int32_t>(a.asNumber().toDouble()));
    }
    if (op == Op::Sub && a.isDate() && b.isDate()) {
      return Value::integer(a.asDate().day - b.asDate().day);
    }
  }
  if (!a.isNumber() || !b.isNumber()) fail("Rechnung mit Werten falschen Typs");
  const Number& x = a.asNumber();
  const Number& y = b.asNumber();
  int dec = std::max(x.decimals, y.decimals);
  if (x.isInteger && y.isInteger && (op == Op::Add || op == Op::Sub || op == Op::Mul)) {
    std::int64_t r = 0;
    bool overflow = op == Op::Add   ? __builtin_add_overflow(x.integer, y.integer, &r)
                    : op == Op::Sub ? __builtin_sub_overflow(x.integer, y.integer, &r)
                                    : __builtin_mul_overflow(x.integer, y.integer, &r);
    if (!overflow) return Value::integer(r);
  }
  double p = x.toDouble(), q = y.toDouble();
  switch (op) {
    case Op::Add:
      return numberValue(p + q, dec);
    case Op::Sub:
      return numberValue(p - q, dec);
    case Op::Mul:
      return numberValue(p * q, x.decimals + y.decimals);
    case Op::Div:
      if (q == 0) fail("Division durch null");
      return numberValue(p / q, std::max(dec, 2));
    case Op::Mod:
      if (q == 0) fail("Division durch null");
      return numberValue(std::fmod(p, q), dec);
    default:
      return numberValue(std::pow(p, q), dec);
  }
}

bool logical(const Value& v) {
  if (!v.isLogical()) fail("logischer Wert erwartet");
  return v.asLogical();
}

Value eval(const Node& n, const RecordContext& r) {
  switch (n.op) {
    case Op::Literal:
      return n.literal;
    case Op::Field:
      return r.fieldValue(n.field);
    case Op::Neg: {
      Value v = eval(*n.args[0], r);
      if (!v.isNumber()) fail("Minus vor einem Wert, der keine Zahl ist");
      Number x = v.asNumber();
      if (x.isInteger) {
        x.integer = -x.integer;
      } else {
        x.real = -x.real;
      }
      return Value::number(x);
    }
    case Op::Not:
      return Value::logical(!logical(eval(*n.args[0], r)));
    case Op::And:
      return Value::logical(logical(eval(*n.args[0], r)) && logical(eval(*n.args[1], r)));
    case Op::Or:
      return Value::logical(logical(eval(*n.args[0], r)) || logical(eval(*n.args[1], r)));
    case Op::Iif:
      return logical(eval(*n.args[0], r)) ? eval(*n.args[1], r) : eval(*n.args[2], r);
    case Op::Call: {
      Args args;
      args.reserve(n.args.size());
      for (const auto& a : n.args) args.push_back(eval(*a, r));
      return n.function(args, r);
    }
    case Op::Add:
    case Op::Sub:
    case Op::Mul:
    case Op::Div:
    case Op::Mod:
    case Op::Pow:
      return arithmetic(n.op, eval(*n.args[0], r), eval(*n.args[1], r));
    default:
      break;
  }
  Value a = eval(*n.args[0], r);
  Value b = eval(*n.args[1], r);
  switch (n.op) {
    case Op::Eq:
      if (a.isText() && b.isText()) {
        // Without SET EXACT a text equals another that it begins with.
        return Value::logical(beginsWith(a.asText(), b.asText()));
      }
      return Value::logical(compareValues(a, b) == 0);
    case Op::ExactEq:
      if (a.isText() && b.isText()) return Value::logical(a.asText() == b.asText());
      return Value::logical(compareValues(a, b) == 0);
    case Op::Ne:
      if (a.isText() && b.isText()) return Value::logical(!beginsWith(a.asText(), b.asText()));
      return Value::logical(compareValues(a, b) != 0);
    case Op::Lt:
      return Value::logical(compareValues(a, b) < 0);
    case Op::Le:
      return Value::logical(compareValues(a, b) <= 0);
    case Op::Gt:
      return Value::logical(compareValues(a, b) > 0);
    case Op::Ge:
      return Value::logical(compareValues(a, b) >= 0);
    case Op::Contains:
      return Value::logical(text(b, "$").find(text(a, "$")) != std::string::npos);
    default:
      fail("unbekannter Operator");
  }
}

}  // namespace

Expression Expression::compile(std::string_view text, const RecordContext& fields) {
  std::string source = trimRight(text);
  if (trimBlanks(source).empty()) fail("leerer Ausdruck");
  Parser parser(Lexer(source).run(), fields);
  Expression e;
  e.text_ = source;
  e.root_ = parser.parse();
  return e;
}

std::optional<Expression::FieldForm> Expression::fieldForm() const {
  if (!root_) return std::nullopt;
  if (root_->op == Op::Field) return FieldForm{root_->field, false};
  if (root_->op == Op::Call && root_->function == fnUpper && root_->args.size() == 1 &&
      root_->args[0]->op == Op::Field) {
    return FieldForm{root_->args[0]->field, true};
  }
  return std::nullopt;
}

Value Expression::evaluate(const RecordContext& record) const {
  if (!root_) fail("kein Ausdruck");
  try {
    return eval(*root_, record);
  } catch (const std::bad_variant_access&) {
    fail("Wert falschen Typs");
  }
}

}  // namespace zandor

// CSV text read as the spreadsheet application with German settings types it.

#include <cmath>
#include <string>
#include <vector>

#include "base/encoding.h"
#include "sheet/serial_date.h"
#include "sheet/sheet_error.h"
#include "sheet/unicode_text.h"
#include "sheet/workbook_data.h"

namespace zandor::sheet {

namespace {

bool isDigit(char16_t c) {
  return c >= u'0' && c <= u'9';
}

// The separator most used on the first line outside quotes; ";" wins ties, then ",", tab.
char16_t detectSeparator(std::u16string_view text) {
  int semicolons = 0, commas = 0, tabs = 0;
  bool quoted = false;
  for (char16_t c : text) {
    if (c == u'"')
      quoted = !quoted;
    else if (!quoted && (c == u'\n' || c == u'\r'))
      break;
    else if (!quoted && c == u';')
      ++semicolons;
    else if (!quoted && c == u',')
      ++commas;
    else if (!quoted && c == u'\t')
      ++tabs;
  }
  if (semicolons >= commas && semicolons >= tabs && semicolons > 0) return u';';
  if (commas >= tabs && commas > 0) return u',';
  if (tabs > 0) return u'\t';
  return u';';
}

// German number: [sign] digits with optional "." thousands groups, optional "," decimals,
// optional exponent, optional "%". A whole number with a leading zero ("00123") is text.
bool germanNumber(std::u16string_view s, double* out) {
  std::size_t i = 0;
  std::string literal;
  if (i < s.size() && (s[i] == u'-' || s[i] == u'+')) {
    if (s[i] == u'-') literal += '-';
    ++i;
  }
  const std::size_t intStart = i;
  std::size_t groupDigits = 0;
  bool grouped = false;
  std::size_t intDigits = 0;
  while (i < s.size() && (isDigit(s[i]) || s[i] == u'.')) {
    if (s[i] == u'.') {
      // Thousands separator: 1 to 3 digits before the first, exactly 3 between.
      if ((grouped ? groupDigits != 3 : (groupDigits == 0 || groupDigits > 3))) return false;
      grouped = true;
      groupDigits = 0;
    } else {
      literal += static_cast<char>(s[i]);
      ++groupDigits;
      ++intDigits;
    }
    ++i;
  }
  if (grouped && groupDigits != 3) return false;
  if (intDigits > 1 && s[intStart] == u'0') return false;  // keeps article numbers as text
  std::size_t fracDigits = 0;
  if (i < s.size() && s[i] == u',') {
    literal += '.';
    ++i;
    while (i < s.size() && isDigit(s[i])) {
      literal += static_cast<char>(s[i++]);
      ++fracDigits;
    }
  }
  if (intDigits + fracDigits == 0) return false;
  if (i < s.size() && (s[i] == u'e' || s[i] == u'E')) {
    literal += 'e';
    ++i;
    if (i < s.size() && (s[i] == u'-' || s[i] == u'+')) literal += static_cast<char>(s[i++]);
    std::size_t expDigits = 0;
    while (i < s.size() && isDigit(s[i])) {
      literal += static_cast<char>(s[i++]);
      ++expDigits;
    }
    if (expDigits == 0) return false;
  }
  bool percent = false;
  if (i < s.size() && s[i] == u'%') {
    percent = true;
    ++i;
  }
  if (i != s.size()) return false;
  double d = std::strtod(literal.c_str(), nullptr);
  if (!std::isfinite(d)) return false;
  *out = percent ? d / 100 : d;
  return true;
}

bool number(std::u16string_view s, std::size_t& i, int minDigits, int maxDigits, int* out) {
  int n = 0, v = 0;
  while (i < s.size() && isDigit(s[i]) && n < maxDigits) {
    v = v * 10 + (s[i++] - u'0');
    ++n;
  }
  *out = v;
  return n >= minDigits;
}

bool timePart(std::u16string_view s, std::size_t& i, double* fraction) {
  int h, m, sec = 0;
  if (!number(s, i, 1, 2, &h) || i >= s.size() || s[i++] != u':' || !number(s, i, 2, 2, &m))
    return false;
  if (i < s.size() && s[i] == u':') {
    ++i;
    if (!number(s, i, 2, 2, &sec)) return false;
  }
  if (h > 23 || m > 59 || sec > 59) return false;
  *fraction = (h * 3600.0 + m * 60.0 + sec) / 86400.0;
  return true;
}

// "15.03.2012", "15.03.12", "1.3.2012", optionally with " 08:30[:15]"; or a time alone.
bool germanDate(std::u16string_view s, double* serial) {
  std::size_t i = 0;
  double fraction = 0;
  if (s.size() >= 4 && (s[1] == u':' || s[2] == u':')) {
    if (!timePart(s, i, &fraction) || i != s.size()) return false;
    *serial = fraction;
    return true;
  }
  int d, m, y;
  if (!number(s, i, 1, 2, &d) || i >= s.size() || s[i++] != u'.' || !number(s, i, 1, 2, &m) ||
      i >= s.size() || s[i++] != u'.')
    return false;
  const std::size_t yearStart = i;
  if (!number(s, i, 2, 4, &y)) return false;
  const std::size_t yearDigits = i - yearStart;
  if (yearDigits == 3) return false;
  if (yearDigits == 2) y += y < 30 ? 2000 : 1900;
  double day;
  if (!serialFromDate(y, m, d, &day)) return false;
  if (i < s.size() && s[i] == u' ') {
    ++i;
    if (!timePart(s, i, &fraction)) return false;
  }
  if (i != s.size()) return false;
  *serial = day + fraction;
  return true;
}

bool equalsIgnoringCase(std::u16string_view a, std::u16string_view upper) {
  if (a.size() != upper.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char16_t c = a[i];
    if (c >= u'a' && c <= u'z') c -= 32;
    if (c != upper[i]) return false;
  }
  return true;
}

Cell typedCell(std::u16string_view field, TextPool& texts) {
  Cell cell;
  if (field.empty()) return cell;
  // Numbers, dates and logicals may carry blanks around them; texts keep theirs.
  std::size_t b = 0, e = field.size();
  while (b < e && field[b] == u' ') ++b;
  while (e > b && field[e - 1] == u' ') --e;
  const std::u16string_view core = field.substr(b, e - b);
  double d;
  if (equalsIgnoringCase(core, u"WAHR") || equalsIgnoringCase(core, u"FALSCH")) {
    cell.kind = CellKind::Boolean;
    cell.flag = core.size() == 4;
  } else if (germanNumber(core, &d)) {
    cell.kind = CellKind::Number;
    cell.number = d;
  } else if (germanDate(core, &d)) {
    cell.kind = CellKind::Date;
    cell.number = d;
  } else {
    cell.kind = CellKind::Text;
    cell.text = texts.add(field);
  }
  return cell;
}

}  // namespace

void readCsv(std::string_view bytes, std::u16string sheetName, WorkbookData& book) {
  std::u16string text;
  if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") {
    text = utf8ToUtf16(bytes.substr(3));
  } else if (isValidUtf8(bytes)) {
    text = utf8ToUtf16(bytes);
  } else {
    text = cp1252ToUtf16(bytes);
  }
  const char16_t sep = detectSeparator(text);

  CellStoreBuilder builder(book.limits.maxCells);
  std::uint32_t row = 1, col = 1;
  std::u16string field;
  bool quoted = false, wasQuoted = false;
  auto endField = [&] {
    if (col > kMaxColumns)
      throw SheetReadError("Zeile " + std::to_string(row) + " hat mehr als " +
                           std::to_string(kMaxColumns) + " Spalten.");
    // A quoted field is typed too, as the application does.
    Cell cell = typedCell(field, book.texts);
    cell.column = col;
    if (cell.kind != CellKind::Empty) builder.add(row, cell);
    field.clear();
    wasQuoted = false;
    ++col;
  };
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (quoted) {
      if (c == u'"') {
        if (i + 1 < text.size() && text[i + 1] == u'"') {
          field += u'"';
          ++i;
        } else {
          quoted = false;
        }
      } else {
        field += c;
      }
    } else if (c == u'"' && field.empty() && !wasQuoted) {
      quoted = wasQuoted = true;
    } else if (c == sep) {
      endField();
    } else if (c == u'\r' || c == u'\n') {
      if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') ++i;
      endField();
      ++row;  // rows beyond the sheet's limit are refused when they carry a cell
      col = 1;
    } else {
      field += c;
    }
  }
  if (!field.empty() || col > 1 || wasQuoted) endField();
  book.sheets.push_back({std::move(sheetName), builder.finish(), nullptr, true});
  book.activeSheet = 0;
}

}  // namespace zandor::sheet

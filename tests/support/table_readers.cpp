#include "support/table_readers.h"

#include <gtest/gtest.h>

#include "base/date.h"
#include "base/error.h"
#include "base/text.h"
#include "support/test_support.h"
#include "table/code_page.h"
#include "table/number_field.h"
#include "table/work_areas.h"

namespace zandor::test {
namespace {

std::string escaped(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\\')
      out += "\\\\";
    else if (c == '\t')
      out += "\\t";
    else if (c == '\n')
      out += "\\n";
    else if (c == '\r')
      out += "\\r";
    else
      out += c;
  }
  return out;
}

std::string script(const char* name) {
  return std::string(ZANDOR_SOURCE_DIR) + "/tests/support/crosscheck/" + name;
}

}  // namespace

std::string ourDump(const std::string& path, bool dbase4MemoLeftOut) {
  WorkAreas areas;
  ErrorGuard guard;
  areas.DBUSEAREA(true, "", path, "PRUEFEN", true, true);
  WorkArea& area = *areas.current();
  const std::uint8_t version = area.layout().version;
  const bool leaveOutMemo = dbase4MemoLeftOut && (version == 0x04 || version == 0x7B ||
                                                  version == 0x8B || version == 0x8C);
  std::string out;
  for (std::uint32_t r = 1; r <= area.recCount(); ++r) {
    area.goTo(r);
    out += std::to_string(r) + '\t' + (area.deleted() ? '*' : ' ');
    for (std::size_t i = 0; i < area.fields().size(); ++i) {
      const FieldInfo& f = area.fields()[i];
      if (std::string_view("CNFDLM").find(f.type) == std::string_view::npos) continue;
      const Value v = area.fieldValue(static_cast<int>(i));
      std::string text;
      switch (f.type) {
        case 'N':
        case 'F':
          text = trimBlanks(numberToFieldText(v.asNumber(), 60, f.decimals).text);
          break;
        case 'D':
          text = trimBlanks(dateToDigits(v.asDate().day));
          break;
        case 'L':
          text = v.asLogical() ? "T" : "F";
          break;
        case 'M':
          text = leaveOutMemo ? "-" : trimRight(v.asText());
          break;
        default:
          text = trimRight(v.asText());
      }
      out += '\t' + escaped(text);
    }
    out += '\n';
  }
  return out;
}

namespace {

// The name Perl's Encode knows the table's code page by, when its text is translated.
std::string perlPageOf(const std::string& path) {
  const std::string header = readBytes(path).substr(0, 32);
  if (header.size() < 30) return {};
  const auto page = TableCodePage::ofMark(static_cast<std::uint8_t>(header[29]));
  if (!page || !page->translates() || page->number() >= 10000) return {};
  return "cp" + std::to_string(page->number());
}

}  // namespace

bool readerDump(const std::string& reader, const std::string& path, std::string* out) {
  const std::string command =
      reader == "dbfread"
          ? "/usr/bin/python3 '" + script("dbfread_dump.py") + "' '" + path + "' 2>/dev/null"
          : "perl '" + script("xbase_dump.pl") + "' '" + path + "' " + perlPageOf(path) +
                " 2>/dev/null";
  return runCommand(command, out) == 0;
}

void expectReadersAgree(const std::string& path) {
  for (const char* reader : {"dbfread", "xbase"}) {
    const std::string ours = ourDump(path, reader == std::string("dbfread"));
    std::string theirs;
    ASSERT_TRUE(readerDump(reader, path, &theirs)) << reader << " cannot read " << path;
    EXPECT_EQ(ours, theirs) << reader << " on " << path;
  }
}

}  // namespace zandor::test

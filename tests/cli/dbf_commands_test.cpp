// The table commands of zandor-cli: dump and struct.
#include <gtest/gtest.h>

#include "base/date.h"
#include "support/test_support.h"
#include "table/table_create.h"
#include "table/table_test_util.h"
#include "table/work_areas.h"

namespace zandor {
namespace {

using test::readBytes;
using test::TempDir;
using test::writeBytes;

TEST(DbfCliTest, DumpAndStructPrintTheTable) {
  TempDir dir;
  const std::string path = dir.file("kunden.dbf");
  createTable(path, {{"NAME", 'C', 12, 0},
                     {"WERT", 'N', 7, 2},
                     {"TAG", 'D', 8, 0},
                     {"OK", 'L', 1, 0},
                     {"TEXT", 'M', 10, 0}});
  {
    WorkAreas areas;
    ASSERT_TRUE(areas.DBUSEAREA(true, "", path, "cAlias", std::nullopt, false));
    areas.DBAPPEND();
    areas.FIELDPUT(1, Value::text("M\xfcller\t\\ "));
    areas.FIELDPUT(2, Value::real(-3.5));
    areas.FIELDPUT(3, Value::date(dayNumber(2013, 1, 22)));
    areas.FIELDPUT(4, Value::logical(true));
    areas.FIELDPUT(5, Value::text("a\r\nb"));
    areas.DBAPPEND();
  }
  std::string bytes = readBytes(path);
  bytes[test::u16At(bytes, 8) + 39] = '*';  // second record deleted
  writeBytes(path, bytes);
  std::string out;
  ASSERT_EQ(test::runCommand("'" + test::cliPath() + "' dbf dump '" + path + "'", &out), 0);
  EXPECT_EQ(out,
            "1\t \tM\xc3\xbcller\\t\\\\\t-3.50\t20130122\tT\ta\\r\\nb\n"
            "2\t*\t\t0.00\t\tF\t\n");
  ASSERT_EQ(test::runCommand("'" + test::cliPath() + "' dbf struct '" + path + "'", &out), 0);
  EXPECT_EQ(
      out,
      "NAME\tC\t12\t0\t0\nWERT\tN\t7\t2\t0\nTAG\tD\t8\t0\t0\nOK\tL\t1\t0\t0\nTEXT\tM\t10\t0\t0\n");
  EXPECT_NE(
      test::runCommand(
          "'" + test::cliPath() + "' dbf dump '" + dir.file("fehlt.dbf") + "' 2>/dev/null", &out),
      0);
}

}  // namespace
}  // namespace zandor

#include <gtest/gtest.h>

#include <filesystem>

#include "base/date.h"
#include "base/text.h"
#include "support/peers.h"
#include "support/table_readers.h"
#include "support/test_support.h"
#include "table/number_field.h"
#include "table/table_create.h"
#include "table/table_error.h"
#include "table/unsupported.h"
#include "table_test_util.h"

namespace zandor {
namespace {

namespace fs = std::filesystem;
using test::errorOf;
using test::expectReadersAgree;
using test::ourDump;
using test::readerDump;
using test::runCommand;
using test::TempDir;

// dBase level 7 layouts (48-byte descriptors) are refused as not supported and a table
// whose memo file is missing as not to be opened; everything else must open.
bool expectedRefusal(const fs::path& file, int* genCode) {
  const std::string name = file.filename().string();
  if (name.starts_with("Seged7") || name.starts_with("BDE_TEST_7") || name == "dbase_8c.dbf") {
    *genCode = kUnsupportedGenCode;
    return true;
  }
  if (name == "no_memofile.dbf") {
    *genCode = gen::kOpen;
    return true;
  }
  return false;
}

std::vector<fs::path> peerTables() {
  std::vector<fs::path> tables;
  for (const auto& entry :
       fs::recursive_directory_iterator(test::sharedDir() / "fixtures" / "peers")) {
    if (entry.is_regular_file() && upperAZ(entry.path().extension().string()) == ".DBF") {
      tables.push_back(entry.path());
    }
  }
  std::sort(tables.begin(), tables.end());
  return tables;
}

TEST(CrossCheckTest, EveryPeerTableOpensAndReadsLikeTheIndependentReaders) {
  ZANDOR_REQUIRE_PEERS();
  ZANDOR_REQUIRE_SHARED();
  int compared = 0;
  for (const fs::path& table : peerTables()) {
    SCOPED_TRACE(table.string());
    int refusal = 0;
    if (expectedRefusal(table, &refusal)) {
      WorkAreas areas;
      auto e = errorOf([&] { areas.DBUSEAREA(true, "", table.string(), "X", true, true); });
      ASSERT_TRUE(e.has_value());
      EXPECT_EQ(e->genCode, refusal);
      continue;
    }
    for (const char* reader : {"dbfread", "xbase"}) {
      const std::string ours = ourDump(table.string(), reader == std::string("dbfread"));
      std::string theirs;
      ASSERT_TRUE(readerDump(reader, table.string(), &theirs)) << reader;
      EXPECT_EQ(ours, theirs) << reader;
      ++compared;
    }
  }
  EXPECT_GE(compared, 140);
}

// Values that exercise every field type we write.
void fillRecords(WorkAreas& areas, int firstNumber) {
  const struct {
    const char* name;
    double price;
    std::int64_t count;
    int year;
    bool active;
    const char* note;
  } rows[] = {
      {"M\xfcller & S\xf6hne", 1234.565, -12, 2013, true, "Zeile 1\r\nZeile 2\tmit Tab"},
      {"", -0.005, 0, 0, false, ""},
      {"Stra\xdf"
       "e 7\\8",
       99999.994, 99999, 1899, true, "x"},
  };
  int n = firstNumber;
  for (const auto& row : rows) {
    ASSERT_TRUE(areas.DBAPPEND());
    WorkArea& a = *areas.current();
    const auto put = [&](const char* field, const Value& v) {
      const int index = a.fieldIndex(field);
      if (index < 0) return;
      const char type = a.fields()[static_cast<std::size_t>(index)].type;
      const char wanted = type == 'F' ? 'N' : type == 'M' ? 'C' : type;
      if (wanted == v.type()) areas.FIELDPUT(index + 1, v);  // another writer's field type
    };
    put("KUNDE", Value::text(std::to_string(n)));
    put("NUMMER", Value::text(std::to_string(n)));
    put("NAME", Value::text(row.name));
    put("NAME1", Value::text(row.name));
    put("BEZEICH", Value::text(row.name));
    put("PREIS", Value::real(row.price));
    put("UMSATZ", Value::real(row.price * 3));
    put("MENGE", Value::integer(row.count));
    put("GEBDAT", Value::date(row.year ? dayNumber(row.year, 2, 28) : 0));
    put("DATUM", Value::date(row.year ? dayNumber(row.year, 12, 31) : 0));
    put("AKTIV", Value::logical(row.active));
    put("NOTIZ", Value::text(row.note + std::string(n % 2 ? 700 : 0, 'm')));
    ++n;
  }
}

TEST(CrossCheckTest, TablesWeCreateAndFillReadAlike) {
  ZANDOR_REQUIRE_PEERS();
  for (MemoKind kind : {MemoKind::Dbt3, MemoKind::Dbt4, MemoKind::Fpt}) {
    SCOPED_TRACE(static_cast<int>(kind));
    TempDir dir;
    const std::string path = dir.file("kunden.dbf");
    createTable(path,
                {{"KUNDE", 'C', 10, 0},
                 {"NAME", 'C', 300, 0},
                 {"PREIS", 'N', 10, 2},
                 {"MENGE", 'N', 5, 0},
                 {"DATUM", 'D', 8, 0},
                 {"AKTIV", 'L', 1, 0},
                 {"NOTIZ", 'M', 10, 0}},
                kind);
    {
      WorkAreas areas;
      ASSERT_TRUE(areas.DBUSEAREA(true, "", path, "cAlias", std::nullopt, false));
      fillRecords(areas, 1);
      areas.current()->goTo(2);
      areas.FIELDPUT(1, Value::text("geaendert"));
      areas.FIELDPUT(7, Value::text("neuer Text"));
    }
    expectReadersAgree(path);
  }
}

TEST(CrossCheckTest, PeerTablesReadAlikeAfterWeAppend) {
  ZANDOR_REQUIRE_PEERS();
  ZANDOR_REQUIRE_SHARED();
  const char* copies[] = {
      "writers/pydbf/KUNDEN.DBF",       "writers/pydbf/ARTIKEL.DBF",
      "writers/libreoffice/KUNDEN.DBF", "writers/gdal/KUNDEN.dbf",
      "writers/npm_dbffile/KUNDEN.DBF", "writers/xbase64_i386_append/ARTIKEL.DBF",
      "writers/perl_xbase/KUNDEN.DBF",  "dbd-xbase/test.dbf",
      "dbfread/memotest.dbf",           "codebase/examples/DATA1.DBF"};
  for (const char* relative : copies) {
    SCOPED_TRACE(relative);
    TempDir dir;
    const fs::path table = test::copyFixture(std::string("peers/") + relative, dir.path());
    for (const char* memoExt : {".dbt", ".DBT", ".fpt", ".FPT"}) {
      fs::path memo = test::sharedDir() / "fixtures" / "peers" / fs::path(relative).parent_path() /
                      (table.stem().string() + memoExt);
      if (fs::exists(memo)) {
        test::copyFixture(
            (fs::path("peers") / fs::path(relative).parent_path() / memo.filename()).string(),
            dir.path());
      }
    }
    const std::string before = test::readBytes(table);
    const std::string beforeDump = ourDump(table.string());
    {
      WorkAreas areas;
      ASSERT_TRUE(areas.DBUSEAREA(true, "DBFCDX", table.string(), "cAlias", std::nullopt, false));
      fillRecords(areas, 90001);
    }
    const std::string after = test::readBytes(table);
    // Records that were there are untouched; the three new ones follow.
    const std::size_t headerLength = test::u16At(before, 8);
    const std::size_t recordLength = test::u16At(after, 10);
    const std::uint32_t oldCount = test::u32At(before, 4);
    EXPECT_EQ(test::u32At(after, 4), oldCount + 3);
    EXPECT_EQ(after.substr(32, headerLength - 32), before.substr(32, headerLength - 32));
    EXPECT_EQ(after.substr(headerLength, oldCount * recordLength),
              before.substr(headerLength, oldCount * recordLength));
    EXPECT_EQ(after.size(), headerLength + (oldCount + 3) * recordLength + 1);
    EXPECT_TRUE(ourDump(table.string()).starts_with(beforeDump));
    expectReadersAgree(table.string());
  }
}

}  // namespace
}  // namespace zandor

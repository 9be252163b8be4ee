// Numeric NTX keys: the published zero-filled form in the files we create, and the
// field-text form of another writer recognised, checked, sought and kept when we maintain
// or rebuild such a file.
#include <gtest/gtest.h>

#include <cstdlib>
#include <set>

#include "base/text.h"
#include "index_model.h"
#include "support/index_peer.h"
#include "support/test_support.h"
#include "table/area_record.h"
#include "table/index_build.h"
#include "table/index_key.h"
#include "table/index_open.h"
#include "table/ntx_file.h"
#include "table_test_util.h"

namespace zandor::test {
namespace {

using ValueRec = std::multiset<std::pair<double, std::uint32_t>>;

const char* const kWriterDirs[] = {"peers/writers/xbase64_i386_append",
                                   "peers/writers/xbase64_i386_reindex"};

std::string withNul(const std::string& text) {
  return text + std::string(1, '\0');
}

int cli(const std::string& args, std::string* out = nullptr) {
  return runCommand("'" + cliPath() + "' " + args + " 2>&1", out);
}

// KUNDEN.DBF and UMSATZ.NTX of a writer, copied into the directory; answers the table.
std::string copyWriterFiles(const char* writerDir, const TempDir& dir) {
  copyFixture(std::string(writerDir) + "/KUNDEN.DBF", dir.path());
  copyFixture(std::string(writerDir) + "/UMSATZ.NTX", dir.path());
  return dir.file("KUNDEN.DBF");
}

// The UMSATZ text of every record as the table file stores it.
std::vector<std::string> umsatzTexts(const std::string& table) {
  const std::string bytes = readBytes(table);
  std::size_t offset = 1;
  int length = 0;
  for (const FieldInfo& f : dbfFields(table)) {
    if (f.name == "UMSATZ") {
      length = f.length;
      break;
    }
    offset += static_cast<std::size_t>(f.length);
  }
  EXPECT_GT(length, 0);
  std::vector<std::string> texts;
  for (std::uint32_t r = 1; r <= u32At(bytes, 4); ++r) {
    texts.push_back(rawRecord(bytes, r).substr(offset, static_cast<std::size_t>(length)));
  }
  return texts;
}

ValueRec valuesOf(const std::vector<std::string>& texts) {
  ValueRec out;
  for (std::size_t i = 0; i < texts.size(); ++i) {
    out.emplace(std::strtod(texts[i].c_str(), nullptr), static_cast<std::uint32_t>(i + 1));
  }
  return out;
}

// Every stored key must be the record's field text followed by a NUL.
void expectFieldTextKeys(const std::string& table, const std::string& ntx) {
  const std::vector<std::string> texts = umsatzTexts(table);
  const auto file = NtxFile::open(ntx, false);
  const auto keys = scanAll(file->order(0));
  EXPECT_EQ(keys.size(), texts.size());
  for (const IndexEntry& e : keys) {
    ASSERT_GE(e.recno, 1u);
    ASSERT_LE(e.recno, texts.size());
    EXPECT_EQ(e.key, withNul(texts[e.recno - 1])) << e.recno;
  }
}

// What the independent reader lists, as values; and that its sequence is ours.
void expectPeerReadsTheTable(const std::string& table, const std::string& ntx) {
#ifdef _WIN32  // the independent reader runs on the Linux side (scripts/windows-crosscheck)
  (void)table;
  (void)ntx;
  return;
#endif
  const PeerListing theirs = peerListing(table, ntx, "");
  ASSERT_TRUE(theirs.ok) << theirs.raw.substr(0, 300);
  ValueRec got;
  for (const auto& [k, r] : theirs.entries) got.emplace(std::strtod(k.c_str(), nullptr), r);
  EXPECT_EQ(got, valuesOf(umsatzTexts(table)));
  const auto file = NtxFile::open(ntx, false);
  const auto ours = scanAll(file->order(0));
  ASSERT_EQ(ours.size(), theirs.entries.size());
  for (std::size_t k = 0; k < ours.size(); ++k) {
    EXPECT_EQ(ours[k].recno, theirs.entries[k].second) << k;
  }
}

TEST(NtxNumberKeyTest, BothFormsSpellTheNumberAsTheirWritersDo) {
  const Value umsatz = Value::real(-1234.5, 2, 12);
  // Published form: full key length, zeros in front, negative digits mapped.
  EXPECT_EQ(ntxKey(Value::real(8892.66, 2, 12), 'N', 12, 2, false), "000008892.66");
  EXPECT_EQ(ntxKey(umsatz, 'N', 12, 2, false), ",,,,,+*)(.',");
  // Field-text form: the field's 12 characters and a NUL.
  const auto fieldText = NtxNumberForm::FieldText;
  EXPECT_EQ(ntxKey(umsatz, 'N', 13, 2, false, fieldText), withNul("    -1234.50"));
  EXPECT_EQ(ntxKey(Value::integer(0), 'N', 13, 2, false, fieldText), withNul("        0.00"));
  EXPECT_EQ(ntxKey(Value::real(1e15, 2, 20), 'N', 13, 2, false, fieldText),
            withNul(std::string(12, '*')));
  EXPECT_EQ(ntxKey(Value::text("x"), 'N', 13, 2, false, fieldText), withNul("        0.00"));
  EXPECT_EQ(ntxSearchKey(Value::real(98403.29, 2, 12), 'N', 13, 2, false, fieldText),
            withNul("    98403.29"));
}

TEST(NtxNumberKeyTest, FilesOfAnotherWriterCheckCleanAndFindEveryValue) {
  ZANDOR_REQUIRE_SHARED();
  for (const char* writer : kWriterDirs) {
    SCOPED_TRACE(writer);
    TempDir dir;
    const std::string table = copyWriterFiles(writer, dir);
    const std::string ntx = dir.file("UMSATZ.NTX");
    EXPECT_EQ(checkIndex(table, ntx), std::vector<std::string>{});
    std::string out;
    EXPECT_EQ(cli("dbf check '" + table + "' '" + ntx + "'", &out), 0) << out;

    const auto area = WorkArea::open(table, "DBFNTX", true, true);
    const auto file = NtxFile::open(ntx, false);
    const AreaRecord record(*area);
    const std::vector<BoundOrder> orders = bindOrders(*file, IndexDriver::Ntx, record);
    IndexOrder& order = *orders.front().order;
    EXPECT_EQ(order.info().numberForm, NtxNumberForm::FieldText);
    EXPECT_EQ(order.info().decimals, 2);  // the header says 0
    const int field = area->fieldIndex("UMSATZ");
    ASSERT_GE(field, 0);
    for (std::uint32_t r = 1; r <= area->recCount(); ++r) {
      area->goTo(r);
      const Value v = area->fieldValue(field);
      const auto hit = order.seek(order.searchKeyFor(v));
      ASSERT_TRUE(hit.has_value()) << r;
      EXPECT_EQ(hit->key, order.keyFor(v)) << r;
      area->goTo(hit->recno);
      EXPECT_EQ(area->fieldValue(field).asNumber().toDouble(), v.asNumber().toDouble()) << r;
    }
    EXPECT_FALSE(order.seek(order.searchKeyFor(Value::real(1.23, 2, 12))).has_value());
    // A seek with text compares the stored bytes.
    const auto text = order.seek("    -1234.50");
    ASSERT_TRUE(text.has_value());
    EXPECT_EQ(text->recno, 4u);
  }
}

TEST(NtxNumberKeyTest, OurWritesKeepTheFormOfAnotherWritersFile) {
  ZANDOR_REQUIRE_SHARED();
  TempDir dir;
  const std::string table = copyWriterFiles(kWriterDirs[0], dir);
  const std::string ntx = dir.file("UMSATZ.NTX");
  {
    WorkAreas areas;
    ASSERT_TRUE(areas.DBUSEAREA(true, "DBFNTX", table, "cAlias", std::nullopt, false));
    ASSERT_TRUE(areas.ORDLISTADD(dir.file("umsatz")));
    const int umsatz = areas.current()->fieldIndex("UMSATZ") + 1;
    ASSERT_GT(umsatz, 0);
    // Enough keys to split the single page of the file, negative and equal ones among them.
    for (int i = 0; i < 90; ++i) {
      areas.DBAPPEND();
      const double v = (i % 3 == 0) ? 0.0 : (i * 1234.56 - 40000.0);
      areas.FIELDPUT(umsatz, Value::real(v, 2, 12));
    }
    areas.current()->goTo(4);  // was -1234.50
    areas.FIELDPUT(umsatz, Value::real(777.77, 2, 12));
    areas.current()->goTo(5);
    areas.FIELDPUT(umsatz, Value::real(-5.5, 2, 12));
    ASSERT_TRUE(areas.DBSEEK(Value::real(777.77, 2, 12)));
    EXPECT_EQ(areas.current()->recNo(), 4u);
    ASSERT_TRUE(areas.DBSEEK(Value::real(-5.5, 2, 12)));
    EXPECT_EQ(areas.current()->recNo(), 5u);
    EXPECT_FALSE(areas.DBSEEK(Value::real(-1234.5, 2, 12)));
  }
  EXPECT_EQ(checkIndex(table, ntx), std::vector<std::string>{});
  expectFieldTextKeys(table, ntx);
  expectPeerReadsTheTable(table, ntx);
}

TEST(NtxNumberKeyTest, RebuildingAnotherWritersFileKeepsItsForm) {
  ZANDOR_REQUIRE_SHARED();
  TempDir dir;
  const std::string table = copyWriterFiles(kWriterDirs[1], dir);
  const std::string ntx = dir.file("UMSATZ.NTX");
  reindexFile(table, ntx);
  EXPECT_EQ(u16At(readBytes(ntx), 14), 13u);
  EXPECT_EQ(checkIndex(table, ntx), std::vector<std::string>{});
  expectFieldTextKeys(table, ntx);
  expectPeerReadsTheTable(table, ntx);
}

// Without keys to look at, a key one byte longer than the field tells the form.
TEST(NtxNumberKeyTest, EmptyFileOfAnotherWriterGetsItsFirstKeysInItsForm) {
  ZANDOR_REQUIRE_SHARED();
  TempDir dir;
  const std::string table = copyWriterFiles(kWriterDirs[0], dir);
  const std::string ntx = dir.file("UMSATZ.NTX");
  {
    // Take every key out through the file itself, as a rebuild of an empty table would leave it.
    const auto file = NtxFile::open(ntx, true);
    for (const IndexEntry& e : scanAll(file->order(0))) {
      ASSERT_TRUE(file->order(0).remove(e.key, e.recno));
    }
    file->commit();
  }
  {
    WorkAreas areas;
    ASSERT_TRUE(areas.DBUSEAREA(true, "DBFNTX", table, "cAlias", std::nullopt, false));
    ASSERT_TRUE(areas.ORDLISTADD(dir.file("umsatz")));
    const int umsatz = areas.current()->fieldIndex("UMSATZ") + 1;
    areas.DBAPPEND();
    areas.FIELDPUT(umsatz, Value::real(-42.1, 2, 12));
  }
  const auto file = NtxFile::open(ntx, false);
  const auto keys = scanAll(file->order(0));
  ASSERT_EQ(keys.size(), 1u);
  EXPECT_EQ(keys.front().key, withNul("      -42.10"));
  EXPECT_EQ(keys.front().recno, 21u);
}

TEST(NtxNumberKeyTest, FilesWeCreateUseTheZeroFilledForm) {
  ZANDOR_REQUIRE_SHARED();
  TempDir dir;
  const std::string table = copyWriterFiles(kWriterDirs[0], dir);
  const std::string ntx = dir.file("OWN.NTX");
  createIndex(table, ntx, "", "UMSATZ");
  {
    WorkAreas areas;
    ASSERT_TRUE(areas.DBUSEAREA(true, "DBFNTX", table, "cAlias", std::nullopt, false));
    ASSERT_TRUE(areas.ORDLISTADD(ntx));
    const int umsatz = areas.current()->fieldIndex("UMSATZ") + 1;
    areas.DBAPPEND();
    areas.FIELDPUT(umsatz, Value::real(-99.5, 2, 12));
    ASSERT_TRUE(areas.DBSEEK(Value::real(-99.5, 2, 12)));
    EXPECT_EQ(areas.current()->recNo(), 21u);
  }
  EXPECT_EQ(checkIndex(table, ntx), std::vector<std::string>{});
  const auto file = NtxFile::open(ntx, false);
  EXPECT_EQ(file->order(0).info().keyLength, 12);
  const auto keys = scanAll(file->order(0));
  ASSERT_EQ(keys.size(), 21u);
  // Numeric order: the negatives first, lowest first.
  EXPECT_EQ(keys[0].key, ",,,,,+*)(.',");  // -1234.50
  EXPECT_EQ(keys[0].recno, 4u);
  EXPECT_EQ(keys[1].key, ",,,,,,,##.',");  // -99.50
  EXPECT_EQ(keys[1].recno, 21u);
  EXPECT_EQ(keys[2].key, "000000000.00");
}

}  // namespace
}  // namespace zandor::test

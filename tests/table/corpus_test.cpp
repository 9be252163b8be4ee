#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>

#include "base/encoding.h"
#include "base/text.h"
#include "support/index_key_values.h"
#include "support/index_peer.h"
#include "support/peers.h"
#include "support/test_support.h"
#include "table/cdx_file.h"
#include "table/index_build.h"
#include "table/index_error.h"
#include "table/index_key.h"
#include "table/unsupported.h"
#include "table_test_util.h"

namespace zandor {
namespace {

namespace fs = std::filesystem;
using test::errorOf;

// Files other programs wrote: each is either maintained exactly or refused for writing
// before any byte changes, with the feature named.
struct CorpusCase {
  const char* folder;
  const char* table;
  const char* refusal;  // part of the feature named in the refusal; nullptr: maintained
};

const CorpusCase kCorpus[] = {
    {"01_vfp_candidate_tag_not_maintained", "setup.dbf", nullptr},
    {"02_vfp_integer_key_cdx_refused", "calls.dbf", nullptr},
    {"03_vfp_nullable_key_prefix", "texto.dbf", nullptr},
    {"04_vfp_collation_tag", "DEFAPATH.DBF", "Sortierfolge PINYIN"},
    {"05_vfp_page_attribute_check_false_positive", "dtl.DBF", nullptr},
    {"06_vfp_autoinc_not_advanced", "dbase_31.dbf", nullptr},
    {"07_numeric_truncation", "coutwildrnp.dbf", nullptr},
    {"08_excel_dbf_decimal_count_on_C_field", "wrong-exented-character-field.dbf", nullptr},
    {"09_vfp_datetime_truncated", "calls.dbf", nullptr},
    {"10_vfp_varchar_length_byte", "dbase_32.dbf", "Varchar"},
    {"11_dbase5_header_only_dbt_refused", "KOE2.DBF", nullptr},
    {"12_dbase7_refused_as_corrupt", "dbase_8c.dbf", "dBase-7-Tabelle"},
};

std::map<std::string, std::string> contents(const fs::path& dir) {
  std::map<std::string, std::string> files;
  for (const auto& e : fs::directory_iterator(dir)) {
    files[e.path().filename().string()] = test::readBytes(e.path());
  }
  return files;
}

std::vector<fs::path> indexFilesIn(const fs::path& dir) {
  std::vector<fs::path> out;
  for (const auto& e : fs::directory_iterator(dir)) {
    if (upperAZ(e.path().extension().string()) == ".CDX") out.push_back(e.path());
  }
  return out;
}

TEST(CorpusTest, EveryFileIsMaintainedOrRefusedBeforeAnyByteChanges) {
  ZANDOR_REQUIRE_PEERS();
  ZANDOR_REQUIRE_SHARED();
  for (const CorpusCase& c : kCorpus) {
    SCOPED_TRACE(c.folder);
    test::TempDir dir;
    fs::copy(test::sharedDir() / "fixtures" / "peers" / "corpus" / c.folder, dir.path());
    for (const auto& e : fs::directory_iterator(dir.path())) {
      fs::permissions(e.path(), fs::perms::owner_write, fs::perm_options::add);
    }
    const std::string table = dir.file(c.table);
    const auto before = contents(dir.path());
    WorkAreas areas;
    // As the import opens its table: exclusive, for writing, with the structural index.
    const auto refused = errorOf([&] {
      ASSERT_TRUE(areas.DBUSEAREA(true, "DBFCDX", table, "cAlias", std::nullopt, false));
      ASSERT_TRUE(areas.DBAPPEND());
      WorkArea& area = *areas.current();
      for (std::size_t i = 0; i < area.fields().size(); ++i) {
        if (area.fields()[i].type == 'C') {
          areas.FIELDPUT(static_cast<int>(i) + 1, Value::text("Zandor"));
          break;
        }
      }
      areas.DBCLOSEAREA();
    });
    if (c.refusal) {
      ASSERT_TRUE(refused.has_value());
      EXPECT_TRUE(isUnsupportedError(*refused)) << refused->text();
      EXPECT_NE(refused->description.find(c.refusal), std::string::npos) << refused->description;
      EXPECT_EQ(contents(dir.path()), before);
      continue;
    }
    ASSERT_FALSE(refused.has_value()) << refused->text();
    EXPECT_NE(test::readBytes(table), before.at(c.table));
    for (const fs::path& index : indexFilesIn(dir.path())) {
      EXPECT_EQ(unsupportedIndexFeature(table, index.string()), std::nullopt);
      const auto problems = checkIndex(table, index.string());
      EXPECT_TRUE(problems.empty()) << problems.front();
      // The independent reader, where it reads the tag, lists as many keys as we hold.
      WorkAreas reading;
      ASSERT_TRUE(reading.DBUSEAREA(true, "DBFCDX", table, "R", true, true));
      ASSERT_TRUE(reading.ORDLISTADD(index.string()));
      for (const BoundOrder& b : reading.indexes(reading.currentArea())->files().back()->orders) {
        const auto theirs = test::peerListing(table, index.string(), b.order->info().name);
        if (!theirs.ok) continue;
        std::size_t ours = 0;
        for (auto e = b.order->first(); e; e = b.order->next()) ++ours;
        EXPECT_EQ(theirs.entries.size(), ours) << b.order->info().name;
      }
    }
  }
}

// Reindex and repair refuse an index file whose keys they could not build as its writer
// does, and check says so instead of reporting damage; nothing is written.
TEST(CorpusTest, CheckReindexAndRepairSayNotSupported) {
  ZANDOR_REQUIRE_SHARED();
  test::TempDir dir;
  const fs::path cdx =
      test::copyFixture("peers/corpus/04_vfp_collation_tag/defapath.CDX", dir.path());
  const fs::path dbf =
      test::copyFixture("peers/corpus/04_vfp_collation_tag/DEFAPATH.DBF", dir.path());
  for (const auto& e : fs::directory_iterator(dir.path())) {
    fs::permissions(e.path(), fs::perms::owner_write, fs::perm_options::add);
  }
  const auto before = contents(dir.path());
  const std::string files = " '" + dbf.string() + "' '" + cdx.string() + "' 2>&1";
  for (const char* command : {"check", "reindex", "repair"}) {
    SCOPED_TRACE(command);
    std::string out;
    EXPECT_EQ(test::runCommand(test::cliPath() + " dbf " + command + files, &out), 1);
    EXPECT_NE(out.find(cp1252ToUtf8("icht unterst\xfctzt: Tag DEFAKEY")), std::string::npos) << out;
    EXPECT_NE(out.find("PINYIN"), std::string::npos) << out;
    EXPECT_EQ(out.find("Fehler"), std::string::npos) << out;
    EXPECT_EQ(contents(dir.path()), before);
  }
  // Reading in stored order goes on.
  std::string out;
  EXPECT_EQ(test::runCommand(
                test::cliPath() + " dbf dump '" + dbf.string() + "' --index '" + cdx.string() + "'",
                &out),
            0);
  EXPECT_FALSE(out.empty());
}

class CopiedCorpus : public ::testing::Test {
 protected:
  test::TempDir dir;
  std::string copy(const std::string& relative) {
    const fs::path to = test::copyFixture("peers/corpus/" + relative, dir.path());
    fs::permissions(to, fs::perms::owner_write, fs::perm_options::add);
    return to.string();
  }
};

// A candidate (primary-key) tag takes the key of every record, each key once: a record
// whose key another record holds is refused, appended or changed, and nothing of it is
// written; a rebuild keeps the tag a candidate tag.
TEST_F(CopiedCorpus, CandidateTagsHoldEveryKeyOnce) {
  ZANDOR_REQUIRE_SHARED();
  const std::string table = copy("01_vfp_candidate_tag_not_maintained/setup.dbf");
  const std::string cdx = copy("01_vfp_candidate_tag_not_maintained/setup.CDX");
  const auto before = contents(dir.path());
  {
    WorkAreas areas;
    ASSERT_TRUE(areas.DBUSEAREA(true, "DBFCDX", table, "cAlias", std::nullopt, false));
    const std::uint32_t count = areas.current()->recCount();
    ASSERT_TRUE(areas.DBAPPEND());
    areas.FIELDPUT(1, Value::text("CONTACTS"));
    auto refused = errorOf([&] { areas.commitRecord(); });
    ASSERT_TRUE(refused.has_value());
    EXPECT_TRUE(isDuplicateKeyError(*refused)) << refused->text();
    EXPECT_EQ(areas.current()->recCount(), count);
    areas.current()->goTo(1);
    areas.FIELDPUT(1, Value::text("CONTACTS"));
    refused = errorOf([&] { areas.commitRecord(); });
    ASSERT_TRUE(refused.has_value());
    EXPECT_TRUE(isDuplicateKeyError(*refused));
    EXPECT_EQ(areas.FIELDGET(1), Value::text(padRight("CALLS", 50)));
  }
  EXPECT_EQ(contents(dir.path()), before);
  {
    WorkAreas areas;
    ASSERT_TRUE(areas.DBUSEAREA(true, "DBFCDX", table, "cAlias", std::nullopt, false));
    ASSERT_TRUE(areas.DBAPPEND());
    areas.FIELDPUT(1, Value::text("NEU"));
    areas.current()->goTo(2);
    areas.FIELDPUT(1, Value::text("KONTAKTE"));  // its old key goes, the new one comes
  }
  EXPECT_TRUE(checkIndex(table, cdx).empty()) << checkIndex(table, cdx).front();
  reindexFile(table, cdx);
  auto file = CdxFile::open(cdx, false);
  EXPECT_TRUE(file->order(0).info().candidate);
  EXPECT_FALSE(file->order(0).info().custom);
  EXPECT_TRUE(checkIndex(table, cdx).empty());
  // A key missing from the tag is found by the check.
  {
    auto writable = CdxFile::open(cdx, true);
    const auto first = writable->order(0).first();
    ASSERT_TRUE(first.has_value());
    ASSERT_TRUE(writable->order(0).remove(first->key, first->recno));
    writable->commit();
  }
  const auto problems = checkIndex(table, cdx);
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_NE(problems.front().find("fehl"), std::string::npos) << problems.front();
}

// Integer keys: four bytes, big-endian with the sign bit flipped, in the order of the
// values; seeking, appending and changing keep them as Visual FoxPro has them.
TEST_F(CopiedCorpus, IntegerKeysAreReadSoughtAndMaintained) {
  ZANDOR_REQUIRE_PEERS();
  ZANDOR_REQUIRE_SHARED();
  EXPECT_EQ(sortableInteger(1), std::string("\x80\x00\x00\x01", 4));
  EXPECT_EQ(sortableInteger(-1), std::string("\x7f\xff\xff\xff", 4));
  EXPECT_LT(sortableInteger(-5), sortableInteger(3));
  EXPECT_EQ(test::sortableIntegerValue(sortableInteger(-123456)), -123456);
  const std::string table = copy("02_vfp_integer_key_cdx_refused/calls.dbf");
  const std::string cdx = copy("02_vfp_integer_key_cdx_refused/calls.CDX");
  copy("02_vfp_integer_key_cdx_refused/calls.FPT");
  {
    WorkAreas areas;
    ASSERT_TRUE(areas.DBUSEAREA(true, "DBFCDX", table, "cAlias", std::nullopt, false));
    ASSERT_TRUE(areas.ORDLISTADD(cdx));
    EXPECT_TRUE(areas.DBSEEK(Value::integer(7)));
    EXPECT_EQ(areas.current()->recNo(), 7u);
    EXPECT_FALSE(areas.DBSEEK(Value::integer(-7)));
    for (int id : {-40, 1000000, 300}) {
      ASSERT_TRUE(areas.DBAPPEND());
      areas.FIELDPUT(1, Value::integer(id));
    }
    EXPECT_TRUE(areas.DBSEEK(Value::integer(-40)));
    EXPECT_EQ(areas.current()->recNo(), areas.current()->recCount() - 2);
    areas.current()->goTo(3);
    areas.FIELDPUT(1, Value::integer(256));
  }
  EXPECT_TRUE(checkIndex(table, cdx).empty()) << checkIndex(table, cdx).front();
  // The independent reader decodes keys of negative values its own way: those are left out.
  const auto theirs = test::peerListing(table, cdx, "CALL_ID");
  ASSERT_TRUE(theirs.ok) << theirs.raw;
  std::vector<long> keys;
  for (const auto& [key, recno] : theirs.entries) {
    if (std::stol(key) < 0x7FFFFFFFL) keys.push_back(std::stol(key));
  }
  ASSERT_EQ(keys.size() + 1, theirs.entries.size());
  EXPECT_EQ(keys.back(), 1000000);
  EXPECT_TRUE(std::is_sorted(keys.begin(), keys.end()));
  EXPECT_NE(std::find(keys.begin(), keys.end(), 256), keys.end());
  EXPECT_EQ(std::find(keys.begin(), keys.end(), 3), keys.end());
}

// Index formats we do not read are named as not supported.
TEST_F(CopiedCorpus, NdxAndIdxFilesAreNotSupported) {
  ZANDOR_REQUIRE_SHARED();
  const fs::path peers = test::sharedDir() / "fixtures" / "peers";
  const std::string table = (peers / "dbd-xbase" / "ndx-char.dbf").string();
  const std::string ndx = (peers / "dbd-xbase" / "ndx-char.ndx").string();
  EXPECT_EQ(unsupportedIndexFeature(table, ndx), std::optional<std::string>("dBase-Index (NDX)"));
  const std::string idx = (peers / "writers" / "perl_xbase" / "KUNDE.IDX").string();
  const std::string kunden = (peers / "writers" / "perl_xbase" / "KUNDEN.DBF").string();
  EXPECT_EQ(unsupportedIndexFeature(kunden, idx),
            std::optional<std::string>("FoxPro-Einzelindex (IDX)"));
  WorkAreas areas;
  ASSERT_TRUE(areas.DBUSEAREA(true, "DBFNTX", table, "cAlias", true, true));
  const auto refused = errorOf([&] { areas.ORDLISTADD(ndx); });
  ASSERT_TRUE(refused.has_value());
  EXPECT_TRUE(isUnsupportedError(*refused)) << refused->text();
}

// Keys of nullable fields carry their marker byte: seeking a value finds it.
TEST_F(CopiedCorpus, NullMarkedKeysAreSoughtWithTheirMarker) {
  ZANDOR_REQUIRE_SHARED();
  const std::string table = copy("03_vfp_nullable_key_prefix/texto.dbf");
  const std::string cdx = copy("03_vfp_nullable_key_prefix/TEXTO.CDX");
  copy("03_vfp_nullable_key_prefix/texto.fpt");
  WorkAreas areas;
  ASSERT_TRUE(areas.DBUSEAREA(true, "DBFCDX", table, "cAlias", true, true));
  ASSERT_TRUE(areas.ORDLISTADD(cdx));
  EXPECT_TRUE(areas.DBSEEK(Value::text("1.03A")));
  EXPECT_EQ(areas.current()->recNo(), 4u);
  EXPECT_TRUE(areas.DBSEEK(Value::text("1.02")));
  EXPECT_EQ(areas.current()->recNo(), 2u);
  EXPECT_FALSE(areas.DBSEEK(Value::text("9")));
}

// Varchar values show without the length byte their _NullFlags bit announces, a value that
// fills its field in full; NULL values show empty, whatever their field's type.
TEST_F(CopiedCorpus, VarcharAndNullValuesShowAsTheirWriterMeantThem) {
  ZANDOR_REQUIRE_SHARED();
  const std::string varchar = copy("10_vfp_varchar_length_byte/dbase_32.dbf");
  std::string out;
  ASSERT_EQ(test::runCommand(test::cliPath() + " dbf dump '" + varchar + "'", &out), 0);
  EXPECT_EQ(out, "1\t \tBad Meets Evil\n");
  // The same record with its bit clear: the field is the value in full.
  std::string bytes = test::readBytes(varchar);
  const std::size_t record = test::u16At(bytes, 8);
  ASSERT_EQ(bytes[record + 251], '\x01');
  bytes[record + 251] = '\0';
  bytes.replace(record + 1, 250, std::string(250, 'x'));
  test::writeBytes(varchar, bytes);
  ASSERT_EQ(test::runCommand(test::cliPath() + " dbf dump '" + varchar + "'", &out), 0);
  EXPECT_EQ(out, "1\t \t" + std::string(250, 'x') + "\n");

  // Record 4 of this table with every nullable field NULL (C, memo, date, C, C).
  const std::string nullable = copy("03_vfp_nullable_key_prefix/texto.dbf");
  copy("03_vfp_nullable_key_prefix/texto.fpt");
  bytes = test::readBytes(nullable);
  const std::size_t fourth = test::u16At(bytes, 8) + 3 * test::u16At(bytes, 10);
  ASSERT_EQ(bytes[fourth + 273], '\0');
  bytes[fourth + 273] = '\x1f';
  test::writeBytes(nullable, bytes);
  ASSERT_EQ(test::runCommand(test::cliPath() + " dbf dump '" + nullable + "'", &out), 0);
  EXPECT_NE(out.find("\n4\t \t\t\t\t\t\n5\t \t1.03B\t"), std::string::npos) << out;
  EXPECT_NE(out.find("\n3\t \t1.03\t"), std::string::npos) << out;
}

// Tables with nullable fields and tags whose keys carry the NULL marker: records whose
// _NullFlags are all clear (every record of the samples) are written and keyed as Visual
// FoxPro does, with the marker 0x80 before the value and the flags left clear; a record
// holding NULL values is not changed, since the samples do not show which bit belongs to
// which field, and check, reindex and repair say "not supported" for such a table.
TEST_F(CopiedCorpus, NullableFieldsAndNullMarkedKeysAreMaintainedWhileNoRecordIsNull) {
  ZANDOR_REQUIRE_SHARED();
  const std::string table = copy("03_vfp_nullable_key_prefix/texto.dbf");
  const std::string cdx = copy("03_vfp_nullable_key_prefix/TEXTO.CDX");
  copy("03_vfp_nullable_key_prefix/texto.fpt");
  {
    WorkAreas areas;
    ASSERT_TRUE(areas.DBUSEAREA(true, "DBFCDX", table, "cAlias", std::nullopt, false));
    ASSERT_TRUE(areas.ORDLISTADD(cdx));
    ASSERT_TRUE(areas.DBAPPEND());
    EXPECT_TRUE(areas.putField(1, Value::text("0.99")));
    EXPECT_TRUE(areas.putField(5, Value::text("neu")));
    areas.current()->goTo(2);
    EXPECT_TRUE(areas.putField(1, Value::text("1.02X")));
    EXPECT_TRUE(areas.DBSEEK(Value::text("0.99")));
    EXPECT_EQ(areas.current()->recNo(), 6u);
  }
  std::string bytes = test::readBytes(table);
  EXPECT_EQ(test::rawRecord(bytes, 6).substr(1, 5), "0.99 ");
  EXPECT_EQ(test::rawRecord(bytes, 6)[273], '\0');
  EXPECT_EQ(unsupportedIndexFeature(table, cdx), std::nullopt);
  EXPECT_TRUE(checkIndex(table, cdx).empty()) << checkIndex(table, cdx).front();
  {
    auto file = CdxFile::open(cdx, false);
    std::vector<std::string> keys;
    for (auto e = file->order(0).first(); e; e = file->order(0).next()) keys.push_back(e->key);
    ASSERT_EQ(keys.size(), 6u);
    EXPECT_EQ(keys.front(),
              "\x80"
              "0.99 ");
    EXPECT_EQ(keys[2],
              "\x80"
              "1.02X");
  }
  // A rebuild keeps the marker and the option bit that announces it.
  reindexFile(table, cdx);
  EXPECT_TRUE(checkIndex(table, cdx).empty());
  {
    auto file = CdxFile::open(cdx, false);
    EXPECT_TRUE(file->order(0).info().nullMarked);
    const auto first = file->order(0).first();
    ASSERT_TRUE(first.has_value());
    EXPECT_EQ(first->key,
              "\x80"
              "0.99 ");
  }

  // Record 3 with a NULL value: its fields are refused, and the index is not rebuilt.
  const std::size_t third = test::u16At(bytes, 8) + 2 * test::u16At(bytes, 10);
  bytes[third + 273] = '\x10';
  test::writeBytes(table, bytes);
  const std::string indexBefore = test::readBytes(cdx);
  {
    WorkAreas areas;
    ASSERT_TRUE(areas.DBUSEAREA(true, "DBFCDX", table, "cAlias", std::nullopt, false));
    ASSERT_TRUE(areas.ORDLISTADD(cdx));
    areas.current()->goTo(3);
    const auto refused = test::errorOf([&] { areas.FIELDPUT(1, Value::text("1.03Z")); });
    ASSERT_TRUE(refused.has_value());
    EXPECT_EQ(refused->genCode, gen::kDataType);
  }
  EXPECT_EQ(test::readBytes(table), bytes);
  EXPECT_EQ(test::readBytes(cdx), indexBefore);
  const auto feature = unsupportedIndexFeature(table, cdx);
  ASSERT_TRUE(feature.has_value());
  EXPECT_NE(feature->find("Datensatz 3"), std::string::npos) << *feature;
  EXPECT_THROW(reindexFile(table, cdx), std::exception);
  EXPECT_EQ(test::readBytes(cdx), indexBefore);
}

// Visual FoxPro date-times stored one millisecond short of a whole second read as that
// second, so values written in the same second compare equal and show alike.
TEST_F(CopiedCorpus, DateTimesReadAsTheSecondTheyMean) {
  ZANDOR_REQUIRE_SHARED();
  const std::string table = copy("09_vfp_datetime_truncated/calls.dbf");
  copy("09_vfp_datetime_truncated/calls.FPT");
  WorkAreas areas;
  ASSERT_TRUE(areas.DBUSEAREA(true, "DBFCDX", table, "cAlias", true, true));
  const std::string raw = test::rawRecord(test::readBytes(table), 1);
  ASSERT_EQ(test::u32At(raw, 21), 48938999u);  // CALL_TIME as stored: 13:35:38.999
  EXPECT_EQ(areas.FIELDGET(4), Value::date(2415019, 48939000));
  EXPECT_EQ(areas.FIELDGET(3), Value::date(2449678, 48939000));
  std::string out;
  ASSERT_EQ(test::runCommand(test::cliPath() + " dbf dump '" + table + "'", &out), 0);
  EXPECT_EQ(out.substr(0, out.find('\n')).find("13:35:38"), std::string::npos);
  EXPECT_NE(out.find("18991230 13:35:39"), std::string::npos) << out.substr(0, 200);
}

}  // namespace
}  // namespace zandor

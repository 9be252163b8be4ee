// Keys maintained through the work area API against an in-memory model of the table,
// for both drivers; rebuilt files must agree with incrementally maintained ones, and a
// process killed mid-run must leave index files that match what it wrote.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <random>

#include "index_model.h"
#include "support/test_support.h"
#include "table/area_record.h"
#include "table/cdx_file.h"
#include "table/index_build.h"
#include "table/ntx_file.h"
#include "table/table_create.h"
#include "table/table_repair.h"
#include "table_test_util.h"

namespace zandor::test {
namespace {

struct Row {
  std::string kunde;  // blank padded to 6
  std::string name;
  int nr = 0;
  bool aktiv = false;
};

struct IndexedTable {
  std::string driver;
  std::vector<std::string> indexFiles;  // the first one's first order controls
};

// KUNDEN.dbf with its index files, all empty.
IndexedTable makeIndexedTable(const TempDir& dir, bool cdx) {
  const std::string table = dir.file("KUNDEN.dbf");
  createTable(
      table, {{"KUNDE", 'C', 6, 0}, {"NAME", 'C', 12, 0}, {"NR", 'N', 6, 0}, {"AKTIV", 'L', 1, 0}});
  if (cdx) {
    const std::string multi = dir.file("multi.cdx");
    createIndex(table, multi, "KUNDE", "KUNDE");
    createIndex(table, multi, "NAMED", "UPPER(NAME)", "", false, true);
    createIndex(table, multi, "AKT", "KUNDE+NAME", "AKTIV");
    createIndex(table, multi, "NRT", "NR");
    // The structural index comes with the table by itself.
    createIndex(table, dir.file("kunden.cdx"), "NRD", "NR", "NR > 10", false, true);
    return {"DBFCDX", {multi, dir.file("kunden.cdx")}};
  }
  createIndex(table, dir.file("kunde.ntx"), "", "KUNDE");
  createIndex(table, dir.file("nr.ntx"), "", "NR");
  createIndex(table, dir.file("named.ntx"), "", "UPPER(NAME)+KUNDE", "AKTIV", false, true);
  return {"DBFNTX", {dir.file("kunde.ntx"), dir.file("nr.ntx"), dir.file("named.ntx")}};
}

class Model {
 public:
  explicit Model(unsigned seed) : rng_(seed) {}

  std::string text(int maxLength, const char* alphabet) {
    const int n = pick(0, maxLength);
    std::string s;
    for (int i = 0; i < n; ++i) s += alphabet[pick(0, static_cast<int>(std::strlen(alphabet)) - 1)];
    return s;
  }
  int pick(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }

  // The record the controlling KUNDE order finds first for a search text.
  std::uint32_t expectedSeek(const std::string& search) const {
    const std::string prefix = search.substr(0, 6);
    std::uint32_t best = 0;
    for (std::uint32_t r = 1; r <= rows.size(); ++r) {
      const std::string& k = rows[r - 1].kunde;
      if (k.compare(0, prefix.size(), prefix) != 0) continue;
      if (best == 0 || k < rows[best - 1].kunde) best = r;
    }
    return best;
  }

  std::vector<Row> rows;

 private:
  std::mt19937 rng_;
};

std::string padded(const std::string& s, std::size_t n) {
  return (s + std::string(n, ' ')).substr(0, n);
}

bool openIndexed(WorkAreas& areas, const std::string& table, const IndexedTable& setup,
                 bool shared) {
  if (!areas.DBUSEAREA(true, setup.driver, table, "cAlias", shared, false)) return false;
  for (const std::string& f : setup.indexFiles) {
    if (!areas.ORDLISTADD(f)) return false;
  }
  return true;
}

void writeRow(WorkAreas& areas, const Row& row, int mask) {
  areas.DBRLOCK();
  if (mask & 1) areas.FIELDPUT(1, Value::text(row.kunde));
  if (mask & 2) areas.FIELDPUT(2, Value::text(row.name));
  if (mask & 4) areas.FIELDPUT(3, Value::integer(row.nr));
  if (mask & 8) areas.FIELDPUT(4, Value::logical(row.aktiv));
}

// Every order of the file in its sequence (bound to the table, which fixes the key types).
std::vector<std::vector<IndexEntry>> scanFile(const std::string& table, const std::string& path) {
  const bool cdx = path.ends_with(".cdx");
  std::unique_ptr<IndexFile> file;
  if (cdx) {
    file = CdxFile::open(path, false);
  } else {
    file = NtxFile::open(path, false);
  }
  const auto area = WorkArea::open(table, cdx ? "DBFCDX" : "DBFNTX", true, true);
  bindOrders(*file, cdx ? IndexDriver::Cdx : IndexDriver::Ntx, AreaRecord(*area));
  std::vector<std::vector<IndexEntry>> orders;
  for (std::size_t i = 0; i < file->orderCount(); ++i) orders.push_back(scanAll(file->order(i)));
  return orders;
}

void runModel(bool cdx, unsigned seed) {
  TempDir dir;
  const IndexedTable setup = makeIndexedTable(dir, cdx);
  const std::string table = dir.file("KUNDEN.dbf");
  // ZANDOR_MODEL_SEED varies the runs, as for the engine's own model runs.
  const char* extra = std::getenv("ZANDOR_MODEL_SEED");
  Model model(seed + (extra ? static_cast<unsigned>(std::strtoul(extra, nullptr, 10)) : 0));
  const char* keyChars = "AB1 ";
  auto randomRow = [&] {
    Row r;
    r.kunde = padded(model.text(6, keyChars), 6);
    r.name = padded(model.text(12, "xyXY "), 12);
    r.nr = model.pick(-20, 40);
    r.aktiv = model.pick(0, 1) == 1;
    return r;
  };
  // Shared, so that the check can read the table while the area is open.
  auto areas = std::make_unique<WorkAreas>();
  ASSERT_TRUE(openIndexed(*areas, table, setup, true));
  // ZANDOR_MODEL_OPERATIONS lengthens the run (30000 takes about two minutes); the checks stay at
  // 24 batches.
  const char* wanted = std::getenv("ZANDOR_MODEL_OPERATIONS");
  const long operations = wanted ? std::max(2400L, std::strtol(wanted, nullptr, 10)) : 3600L;
  constexpr int kBatches = 24;
  const long perBatch = operations / kBatches;
  for (int batch = 0; batch < kBatches; ++batch) {
    SCOPED_TRACE("batch " + std::to_string(batch));
    for (long op = 0; op < perBatch; ++op) {
      const int what = model.pick(0, 9);
      if (what < 5 || model.rows.empty()) {
        ASSERT_TRUE(areas->DBAPPEND());
        model.rows.push_back(randomRow());
        writeRow(*areas, model.rows.back(), 15);
      } else if (what < 9) {
        const std::uint32_t r =
            static_cast<std::uint32_t>(model.pick(1, static_cast<int>(model.rows.size())));
        areas->current()->goTo(r);
        const Row next = randomRow();
        const int mask = model.pick(1, 15);
        Row& row = model.rows[r - 1];
        if (mask & 1) row.kunde = next.kunde;
        if (mask & 2) row.name = next.name;
        if (mask & 4) row.nr = next.nr;
        if (mask & 8) row.aktiv = next.aktiv;
        writeRow(*areas, row, mask);
      } else {
        // A record reached by a seek gets a new key.
        const std::string search = model.text(3, keyChars);
        const std::uint32_t expected = model.expectedSeek(search);
        ASSERT_EQ(areas->DBSEEK(Value::text(search)), expected != 0) << '"' << search << '"';
        if (expected == 0) continue;
        ASSERT_EQ(areas->current()->recNo(), expected) << '"' << search << '"';
        model.rows[expected - 1].kunde = padded(model.text(6, keyChars), 6);
        writeRow(*areas, model.rows[expected - 1], 1);
      }
    }
    // Moving writes the pending record; from here the files must agree with the table.
    areas->current()->goTo(1);
    for (const std::string& f : setup.indexFiles) {
      ASSERT_EQ(checkIndex(table, f), std::vector<std::string>{}) << f;
    }
    for (int s = 0; s < 20; ++s) {
      const std::string search = model.text(6, keyChars);
      const std::uint32_t expected = model.expectedSeek(search);
      ASSERT_EQ(areas->DBSEEK(Value::text(search)), expected != 0) << '"' << search << '"';
      if (expected) {
        ASSERT_EQ(areas->current()->recNo(), expected) << '"' << search << '"';
      } else {
        ASSERT_TRUE(areas->current()->eof());
      }
    }
    if (batch % 4 == 3) {
      areas = std::make_unique<WorkAreas>();
      for (const std::string& f : setup.indexFiles) {
        ASSERT_EQ(checkIndex(table, f), std::vector<std::string>{}) << f;
      }
      ASSERT_TRUE(openIndexed(*areas, table, setup, true));
    }
  }
  areas.reset();
  ASSERT_GT(model.rows.size(), 200u);

  // A fresh rebuild over the same table gives the same keys in the same order.
  for (const std::string& f : setup.indexFiles) {
    const std::string copy = dir.file("rebuilt" + std::filesystem::path(f).extension().string());
    // Removed first: MinGW's copy_file refuses to copy over any file of the same drive.
    std::filesystem::remove(copy);
    std::filesystem::copy_file(f, copy);
    reindexFile(table, copy);
    EXPECT_EQ(scanFile(table, copy), scanFile(table, f)) << f;
  }
}

TEST(AreaIndexModelTest, CdxTagsFollowAppendsAndChanges) {
  runModel(true, 11);
}

TEST(AreaIndexModelTest, NtxOrdersFollowAppendsAndChanges) {
  runModel(false, 12);
}

TEST(AreaIndexModelTest, KilledProcessLeavesIndexesMatchingTheWrittenRecords) {
#ifdef _WIN32
  GTEST_SKIP() << "fork() is POSIX; the killed import under Windows is covered by "
                  "PlatformFilesTest";
#else
  for (bool cdx : {true, false}) {
    SCOPED_TRACE(cdx ? "CDX" : "NTX");
    TempDir dir;
    const IndexedTable setup = makeIndexedTable(dir, cdx);
    const std::string table = dir.file("KUNDEN.dbf");
    adoptOrphans();
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      WorkAreas areas;
      if (!openIndexed(areas, table, setup, false)) _exit(3);
      Model model(5);
      for (int i = 0; i < 300; ++i) {
        areas.DBAPPEND();
        writeRow(areas, {padded(model.text(6, "AB1 "), 6), "n", model.pick(-5, 30), i % 3 == 0},
                 15);
        if (i % 7 == 0 && areas.DBSEEK(Value::text(model.text(2, "AB1")))) {
          writeRow(areas, {"CHANGE", "m", 99, true}, 15);
        }
      }
      areas.DBSEEK(Value::text("A"));
      // Changed but never written: neither table nor index may show it.
      areas.FIELDPUT(1, Value::text("LOST"));
      _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    waitForOrphans();
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 0);
    // The program ended without closing: the records are counted as a repair counts them.
    EXPECT_EQ(repairTable(table).countAfter, 300u);
    EXPECT_EQ(readBytes(table).find("LOST"), std::string::npos);
    for (const std::string& f : setup.indexFiles) {
      EXPECT_EQ(checkIndex(table, f), std::vector<std::string>{}) << f;
    }
  }
#endif
}

}  // namespace
}  // namespace zandor::test

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <set>

#include "base/text.h"
#include "index_model.h"
#include "support/index_peer.h"
#include "support/peers.h"
#include "support/test_support.h"
#include "table/ntx_file.h"

namespace zandor {
namespace {

namespace fs = std::filesystem;

std::string lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::vector<fs::path> peerNtxFiles() {
  std::vector<fs::path> out;
  for (const auto& e : fs::recursive_directory_iterator(test::sharedDir() / "fixtures" / "peers")) {
    if (e.is_regular_file() && lower(e.path().extension().string()) == ".ntx") {
      out.push_back(e.path());
    }
  }
  std::sort(out.begin(), out.end());
  return out;
}

std::string fieldOf(std::string expression) {
  expression = upperAZ(trimBlanks(expression));
  auto arrow = expression.find("->");
  return arrow == std::string::npos ? expression : expression.substr(arrow + 2);
}

// The table beside the index that has the key expression's field.
fs::path tableWithField(const fs::path& index, const std::string& field) {
  for (const auto& e : fs::directory_iterator(index.parent_path())) {
    if (lower(e.path().extension().string()) != ".dbf") continue;
    for (const auto& f : test::dbfFields(e.path().string())) {
      if (f.name == field) return e.path();
    }
  }
  return {};
}

std::string keyText(const std::string& key) {
  std::string s = key;
  while (!s.empty() && (s.back() == ' ' || s.back() == '\0')) s.pop_back();
  return s;
}

TEST(NtxPeers, EveryFileOpensAndListsWhatTheIndependentReaderLists) {
  ZANDOR_REQUIRE_PEERS();
  ZANDOR_REQUIRE_SHARED();
  int crossChecked = 0;
  auto files = peerNtxFiles();
  ASSERT_GE(files.size(), 9u);
  for (const auto& path : files) {
    SCOPED_TRACE(path.string());
    auto file = NtxFile::open(path.string(), false);
    IndexOrder& order = file->order(0);
    auto ours = test::scanAll(order);
    CheckReport report = file->check();
    EXPECT_TRUE(report.ok()) << report.problems.front();
    EXPECT_EQ(report.keyCount, ours.size());
    std::string field = fieldOf(order.info().keyExpression);
    fs::path table = tableWithField(path, field);
    ASSERT_FALSE(table.empty()) << field;
    auto theirs = test::peerListing(table.string(), path.string(), "");
    ASSERT_TRUE(theirs.ok) << theirs.raw.substr(0, 300);
    ++crossChecked;
    char type = test::fieldKeyType(test::dbfFields(table.string()), field);
    ASSERT_EQ(ours.size(), theirs.entries.size());
    for (std::size_t k = 0; k < ours.size(); ++k) {
      if (type == 'N') {
        EXPECT_EQ(std::strtod(keyText(ours[k].key).c_str(), nullptr),
                  std::strtod(theirs.entries[k].first.c_str(), nullptr))
            << k;
      } else {
        EXPECT_EQ(keyText(ours[k].key), trimRight(theirs.entries[k].first)) << k;
      }
      EXPECT_EQ(ours[k].recno, theirs.entries[k].second) << k;
    }
    if (type != 'C') continue;
    for (const auto& [text, recno] : theirs.entries) {
      std::string probe = trimRight(text);
      if (probe.empty()) continue;
      auto want = std::find_if(theirs.entries.begin(), theirs.entries.end(),
                               [&](const auto& e) { return beginsWith(e.first, probe); });
      auto hit = order.seek(probe);
      ASSERT_TRUE(hit.has_value()) << probe;
      EXPECT_EQ(hit->recno, want->second) << probe;
    }
  }
  EXPECT_GE(crossChecked, 9);
}

TEST(NtxPeers, FilesWeWriteAreReadTheSameByTheIndependentReader) {
  ZANDOR_REQUIRE_PEERS();
  ZANDOR_REQUIRE_SHARED();
  test::TempDir dir;
  std::string dbf = dir.file("KUNDEN.DBF");
  std::vector<FieldInfo> fields{{"KUNDE", 'C', 10, 0}};
  std::vector<std::vector<std::string>> rows;
  std::vector<IndexEntry> keys;
  std::mt19937 rng(4);
  for (std::uint32_t r = 1; r <= 1500; ++r) {
    std::string name = "K" + std::to_string(rng() % 700);
    rows.push_back({name});
    keys.push_back({padRight(name, 10), r});
  }
  test::writeDbf(dbf, fields, rows);
  NtxFile::NewOrder def;
  def.keyExpression = "KUNDE";
  def.keyLength = 10;
  NtxFile::create(dir.file("BULK.NTX"), def, keys);
  {
    auto inc = NtxFile::create(dir.file("INC.NTX"), def, {});
    std::shuffle(keys.begin(), keys.end(), rng);
    for (const auto& e : keys) ASSERT_TRUE(inc->order(0).insert(e.key, e.recno));
    // and take a third out again, so merges and the free list are in the file too
    for (std::size_t k = 0; k < keys.size(); k += 3) {
      ASSERT_TRUE(inc->order(0).remove(keys[k].key, keys[k].recno));
    }
    inc->commit();
    EXPECT_TRUE(inc->check().ok()) << inc->check().problems.front();
  }
  for (const char* name : {"BULK.NTX", "INC.NTX"}) {
    SCOPED_TRACE(name);
    auto file = NtxFile::open(dir.file(name), false);
    auto ours = test::scanAll(file->order(0));
    auto theirs = test::peerListing(dbf, dir.file(name), "");
    ASSERT_TRUE(theirs.ok) << theirs.raw.substr(0, 300);
    ASSERT_EQ(ours.size(), theirs.entries.size());
    for (std::size_t k = 0; k < ours.size(); ++k) {
      ASSERT_EQ(trimRight(ours[k].key), trimRight(theirs.entries[k].first)) << k;
      ASSERT_EQ(ours[k].recno, theirs.entries[k].second) << k;
    }
  }
}

// Appending to a copy of a file of another writer (equal keys in its own record order).
TEST(NtxPeers, ChangedCopiesOfPeerFilesStaySound) {
  ZANDOR_REQUIRE_PEERS();
  ZANDOR_REQUIRE_SHARED();
  test::TempDir dir;
  for (const char* f : {"KUNDEN.DBF", "UMSATZ.NTX"}) {
    test::copyFixture(std::string("peers/writers/xbase64_i386_append/") + f, dir.path());
  }
  std::string ntx = dir.file("UMSATZ.NTX");
  std::multiset<std::pair<double, std::uint32_t>> want;
  {
    auto file = NtxFile::open(ntx, true);
    IndexOrder& order = file->order(0);
    auto existing = test::scanAll(order);
    ASSERT_FALSE(existing.empty());
    // Remove every entry of the first key, whatever record order the writer kept.
    std::string firstKey = existing.front().key;
    for (const auto& e : existing) {
      if (e.key == firstKey) {
        ASSERT_TRUE(order.remove(e.key, e.recno));
      } else {
        want.emplace(std::strtod(keyText(e.key).c_str(), nullptr), e.recno);
      }
    }
    for (std::uint32_t r = 21; r <= 320; ++r) {
      double v = static_cast<double>(r % 37) * 10.25;
      char buf[32];
      std::snprintf(buf, sizeof buf, "%12.2f", v);
      std::string key = std::string(buf) + std::string(1, '\0');  // as that writer stores it
      ASSERT_TRUE(order.insert(key, r));
      want.emplace(v, r);
    }
    file->commit();
    CheckReport report = file->check();
    EXPECT_TRUE(report.ok()) << report.problems.front();
  }
  auto theirs = test::peerListing(dir.file("KUNDEN.DBF"), ntx, "");
  ASSERT_TRUE(theirs.ok) << theirs.raw.substr(0, 300);
  std::multiset<std::pair<double, std::uint32_t>> got;
  for (const auto& [k, r] : theirs.entries) got.emplace(std::strtod(k.c_str(), nullptr), r);
  EXPECT_EQ(got, want);
}

}  // namespace
}  // namespace zandor

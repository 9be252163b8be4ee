#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <random>
#include <set>

#include "base/text.h"
#include "index_model.h"
#include "support/index_key_values.h"
#include "support/index_peer.h"
#include "support/peers.h"
#include "support/test_support.h"
#include "table/cdx_file.h"
#include "table/index_key.h"
#include "table/unsupported.h"

namespace zandor {
namespace {

namespace fs = std::filesystem;

std::string lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::vector<fs::path> peerFiles(const std::string& extension) {
  std::vector<fs::path> out;
  for (const auto& e : fs::recursive_directory_iterator(test::sharedDir() / "fixtures" / "peers")) {
    if (e.is_regular_file() && lower(e.path().extension().string()) == extension) {
      out.push_back(e.path());
    }
  }
  std::sort(out.begin(), out.end());
  return out;
}

// The table that belongs to an index: same base name, else the only table beside it.
fs::path tableFor(const fs::path& index) {
  std::vector<fs::path> tables;
  for (const auto& e : fs::directory_iterator(index.parent_path())) {
    if (lower(e.path().extension().string()) != ".dbf") continue;
    if (lower(e.path().stem().string()) == lower(index.stem().string())) return e.path();
    tables.push_back(e.path());
  }
  return tables.size() == 1 ? tables.front() : fs::path();
}

// The key type of an order over a table's fields: N and D keys are 8 bytes long, the keys
// of integer fields 4; every other key is text.
char keyTypeOf(const std::vector<FieldInfo>& fields, const OrderInfo& info) {
  const char type = test::fieldKeyType(fields, info.keyExpression);
  if (info.keyLength == 8) return type;
  if (info.keyLength == 4 && type == 'N') {
    const std::string name = upperAZ(trimBlanks(info.keyExpression));
    for (const auto& f : fields) {
      if (f.name == name && f.type == 'I') return 'I';
    }
  }
  return 'C';
}

// Our key as the independent reader prints it.
std::string printable(const std::string& key, char type) {
  if (type == 'I') return std::to_string(test::sortableIntegerValue(key));
  if (type == 'N') {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.15g", test::sortableDoubleValue(key));
    return buf;
  }
  return trimRight(key);
}

bool samePrinted(const std::string& ours, const std::string& theirs, char type) {
  if (type == 'N' || type == 'I') return std::stod(ours) == std::stod(theirs);
  return ours == trimRight(theirs);
}

TEST(CdxPeers, EveryFileOpensAndListsWhatTheIndependentReaderLists) {
  ZANDOR_REQUIRE_PEERS();
  ZANDOR_REQUIRE_SHARED();
  int crossChecked = 0, orders = 0;
  for (const auto& path : peerFiles(".cdx")) {
    SCOPED_TRACE(path.string());
    auto file = CdxFile::open(path.string(), false);
    ASSERT_GT(file->orderCount(), 0u);
    fs::path table = tableFor(path);
    auto fields = table.empty() ? std::vector<FieldInfo>() : test::dbfFields(table.string());
    for (std::size_t i = 0; i < file->orderCount(); ++i) {
      IndexOrder& order = file->order(i);
      SCOPED_TRACE(order.info().name);
      char type = keyTypeOf(fields, order.info());
      order.setKeyType(type);
      auto ours = test::scanAll(order);
      ++orders;
      if (order.info().descending) std::reverse(ours.begin(), ours.end());
      for (std::size_t k = 1; k < ours.size(); ++k) ASSERT_LE(ours[k - 1].key, ours[k].key);
      if (table.empty()) continue;
      auto theirs = test::peerListing(table.string(), path.string(), order.info().name);
      if (!theirs.ok) continue;  // the independent reader cannot read every tag
      ++crossChecked;
      ASSERT_EQ(ours.size(), theirs.entries.size());
      for (std::size_t k = 0; k < ours.size(); ++k) {
        ASSERT_TRUE(samePrinted(printable(ours[k].key, type), theirs.entries[k].first, type))
            << "entry " << k << ": '" << printable(ours[k].key, type) << "' vs '"
            << theirs.entries[k].first << "'";
        ASSERT_EQ(ours[k].recno, theirs.entries[k].second) << "entry " << k;
      }
      if (type != 'C' || order.info().descending) continue;
      // Seeking each listed key finds the first entry that begins with it.
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
    CheckReport whole = file->check();  // after the key types are known
    EXPECT_TRUE(whole.ok()) << whole.problems.front();
  }
  EXPECT_GE(orders, 40);
  EXPECT_GE(crossChecked, 25);
}

// A table and a CDX with a bulk-built and an incrementally filled tag, both listed by the
// independent reader exactly as we list them.
TEST(CdxPeers, FilesWeWriteAreReadTheSameByTheIndependentReader) {
  ZANDOR_REQUIRE_PEERS();
  ZANDOR_REQUIRE_SHARED();
  test::TempDir dir;
  std::string dbf = dir.file("KUNDEN.DBF"), cdx = dir.file("KUNDEN.CDX");
  std::vector<FieldInfo> fields{{"KUNDE", 'C', 10, 0}, {"UMSATZ", 'N', 10, 2}};
  std::vector<std::vector<std::string>> rows;
  std::vector<IndexEntry> names, amounts;
  std::mt19937 rng(42);
  for (std::uint32_t r = 1; r <= 2500; ++r) {
    std::string name = "K" + std::to_string(rng() % 900);
    if (r % 7 == 0) name = "";
    double amount = static_cast<double>(static_cast<int>(rng() % 200000) - 50000) / 100.0;
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.2f", amount);
    rows.push_back({name, buf});
    names.push_back({padRight(name, 10), r});
    amounts.push_back({sortableDouble(std::stod(buf)), r});
  }
  test::writeDbf(dbf, fields, rows);
  {
    auto file = CdxFile::create(cdx);
    file->addTag({"KUNDE", "KUNDE", "", 'C', 10, false, false, false}, names);
    file->addTag({"UMSATZ", "UMSATZ", "", 'N', 8, false, false, false}, amounts);
    CdxOrder& inc = file->addTag({"KUNDE2", "KUNDE", "", 'C', 10, false, false, false}, {});
    std::vector<IndexEntry> shuffled = names;
    std::shuffle(shuffled.begin(), shuffled.end(), rng);
    for (const auto& e : shuffled) ASSERT_TRUE(inc.insert(e.key, e.recno));
    file->commit();
    EXPECT_TRUE(file->check().ok()) << file->check().problems.front();
  }
  auto file = CdxFile::open(cdx, false);
  ASSERT_EQ(file->orderCount(), 3u);
  for (std::size_t i = 0; i < 3; ++i) {
    IndexOrder& order = file->order(i);
    char type = order.info().name == "UMSATZ" ? 'N' : 'C';
    order.setKeyType(type);
    auto ours = test::scanAll(order);
    ASSERT_EQ(ours.size(), 2500u);
    auto theirs = test::peerListing(dbf, cdx, order.info().name);
    ASSERT_TRUE(theirs.ok) << theirs.raw.substr(0, 300);
    ASSERT_EQ(theirs.entries.size(), ours.size());
    for (std::size_t k = 0; k < ours.size(); ++k) {
      ASSERT_TRUE(samePrinted(printable(ours[k].key, type), theirs.entries[k].first, type))
          << order.info().name << " entry " << k;
      ASSERT_EQ(ours[k].recno, theirs.entries[k].second) << order.info().name << " entry " << k;
    }
  }
}

// Keys added to and removed from a copy of a peer file: the file stays sound and the
// independent reader sees exactly the expected keys.
TEST(CdxPeers, ChangedCopiesOfPeerFilesStaySound) {
  ZANDOR_REQUIRE_PEERS();
  ZANDOR_REQUIRE_SHARED();
  test::TempDir dir;
  fs::path cdx = test::copyFixture("peers/codebase/examples/NAMES.CDX", dir.path());
  fs::path dbf = test::copyFixture("peers/codebase/examples/NAMES.DBF", dir.path());
  auto before = test::peerListing(dbf.string(), cdx.string(), "NAMENAME");
  ASSERT_TRUE(before.ok);
  std::multiset<std::pair<std::string, std::uint32_t>> want;
  {
    auto file = CdxFile::open(cdx.string(), true);
    IndexOrder& order = file->order(0);
    auto existing = test::scanAll(order);
    std::mt19937 rng(5);
    for (std::size_t k = 0; k < existing.size(); k += 3) {
      ASSERT_TRUE(order.remove(existing[k].key, existing[k].recno));
    }
    for (std::size_t k = 0; k < existing.size(); ++k) {
      if (k % 3 != 0) want.emplace(trimRight(existing[k].key), existing[k].recno);
    }
    for (std::uint32_t r = 100; r < 700; ++r) {
      std::string name = "Name" + std::to_string(rng() % 300);
      // some record numbers need wider leaf entries than the file's pages have
      std::uint32_t recno = r % 2 ? r + 70000 : r;
      ASSERT_TRUE(order.insert(padRight(name, 20), recno));
      want.emplace(name, recno);
      if (r % 50 == 0) order.commit();
    }
    file->commit();
    EXPECT_TRUE(file->check().ok()) << file->check().problems.front();
  }
  auto after = test::peerListing(dbf.string(), cdx.string(), "NAMENAME");
  ASSERT_TRUE(after.ok) << after.raw.substr(0, 300);
  std::multiset<std::pair<std::string, std::uint32_t>> got;
  for (const auto& [k, r] : after.entries) got.emplace(trimRight(k), r);
  EXPECT_EQ(got, want);
  // And in our order: sorted by key, then record.
  auto file = CdxFile::open(cdx.string(), false);
  auto ours = test::scanAll(file->order(0));
  ASSERT_EQ(ours.size(), after.entries.size());
  for (std::size_t k = 0; k < ours.size(); ++k) EXPECT_EQ(ours[k].recno, after.entries[k].second);
}

// Every character tag the independent reader can read, in a changed copy of its file.
TEST(CdxPeers, EveryReadableCharacterTagTakesChanges) {
  ZANDOR_REQUIRE_PEERS();
  ZANDOR_REQUIRE_SHARED();
  int changed = 0, refused = 0;
  for (const auto& original : peerFiles(".cdx")) {
    fs::path originalTable = tableFor(original);
    if (originalTable.empty()) continue;
    SCOPED_TRACE(original.string());
    test::TempDir dir;
    fs::path path = dir.path() / original.filename();
    fs::path table = dir.path() / originalTable.filename();
    fs::copy_file(original, path);
    fs::copy_file(originalTable, table);
    auto fields = test::dbfFields(table.string());
    std::vector<std::multiset<std::pair<std::string, std::uint32_t>>> wants;
    std::vector<std::string> names;
    {
      auto file = CdxFile::open(path.string(), true);
      std::mt19937 rng(1);
      for (std::size_t i = 0; i < file->orderCount(); ++i) {
        IndexOrder& order = file->order(i);
        int length = order.info().keyLength;
        char type = keyTypeOf(fields, order.info());
        order.setKeyType(type);
        // Sort sequences are refused for writing (a test of their own).
        if (unwritableOrderFeature(order.info())) {
          ++refused;
          continue;
        }
        if (type != 'C' ||
            !test::peerListing(table.string(), path.string(), order.info().name).ok) {
          continue;
        }
        auto existing = test::scanAll(order);
        std::multiset<std::pair<std::string, std::uint32_t>> want;
        const bool unique = order.info().unique || order.info().candidate;
        for (std::size_t k = 0; k < existing.size(); ++k) {
          if (k % 2 == 0) {
            ASSERT_TRUE(order.remove(existing[k].key, existing[k].recno));
          } else {
            want.emplace(trimRight(existing[k].key), existing[k].recno);
          }
        }
        for (std::uint32_t r = 500; r < 800; ++r) {
          std::string key = "Zn" + std::to_string(rng() % 150);
          bool taken = unique && std::any_of(want.begin(), want.end(),
                                             [&](const auto& e) { return e.first == key; });
          ASSERT_EQ(order.insert(padRight(key, static_cast<std::size_t>(length)), r), !taken);
          if (!taken) want.emplace(key, r);
        }
        wants.push_back(std::move(want));
        names.push_back(order.info().name);
      }
      file->commit();
      CheckReport report = file->check();
      EXPECT_TRUE(report.ok()) << report.problems.front();
    }
    for (std::size_t i = 0; i < names.size(); ++i) {
      auto theirs = test::peerListing(table.string(), path.string(), names[i]);
      ASSERT_TRUE(theirs.ok) << names[i] << theirs.raw.substr(0, 300);
      std::multiset<std::pair<std::string, std::uint32_t>> got;
      for (const auto& [k, r] : theirs.entries) got.emplace(trimRight(k), r);
      EXPECT_EQ(got, wants[i]) << names[i];
      ++changed;
    }
  }
  EXPECT_GE(changed, 10);
  EXPECT_GE(refused, 1);
}

}  // namespace
}  // namespace zandor

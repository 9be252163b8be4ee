#include "table/index_key.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include "base/date.h"
#include "support/index_key_values.h"
#include "table/cdx_page.h"

namespace zandor {
namespace {

std::string hex(const std::string& bytes) {
  std::string out;
  char buf[4];
  for (unsigned char c : bytes) {
    std::snprintf(buf, sizeof buf, "%02X ", c);
    out += buf;
  }
  if (!out.empty()) out.pop_back();
  return out;
}

TEST(IndexKey, CdxNumbersAndDatesAsSortableDoubles) {
  EXPECT_EQ(hex(sortableDouble(0.0)), "80 00 00 00 00 00 00 00");
  EXPECT_EQ(hex(sortableDouble(-0.0)), "80 00 00 00 00 00 00 00");
  EXPECT_EQ(hex(sortableDouble(1.0)), "BF F0 00 00 00 00 00 00");
  EXPECT_EQ(hex(sortableDouble(98.99)), "C0 58 BF 5C 28 F5 C2 8F");
  EXPECT_EQ(hex(sortableDouble(-1.0)), "40 0F FF FF FF FF FF FF");
  EXPECT_EQ(hex(sortableDouble(-2.5)), "3F FB FF FF FF FF FF FF");
  EXPECT_EQ(hex(cdxKey(Value::date(2460385), 'D', 8, false)), "C1 42 C5 70 80 00 00 00");
  EXPECT_EQ(hex(cdxKey(Value::date(0), 'D', 8, false)), "80 00 00 00 00 00 00 00");
  EXPECT_DOUBLE_EQ(test::sortableDoubleValue(sortableDouble(-1234.5)), -1234.5);
  // memcmp order is numeric order
  double values[] = {-1e9, -2.5, -1, -0.001, 0, 0.001, 1, 8, 98.99, 1e9};
  for (std::size_t i = 0; i + 1 < std::size(values); ++i) {
    EXPECT_LT(sortableDouble(values[i]), sortableDouble(values[i + 1])) << values[i];
  }
}

TEST(IndexKey, CharacterKeysPadCutAndUpperCase) {
  EXPECT_EQ(cdxKey(Value::text("ab"), 'C', 5, false), "ab   ");
  EXPECT_EQ(cdxKey(Value::text("abcdefg"), 'C', 5, true), "ABCDE");
  EXPECT_EQ(cdxKey(Value::logical(true), 'L', 1, false), "T");
  EXPECT_EQ(cdxSearchKey(Value::text("10 "), 'C', 10, false), "10 ");  // trailing blank kept
  EXPECT_EQ(cdxSearchKey(Value::text("toolongforthekey"), 'C', 4, true), "TOOL");
  EXPECT_EQ(cdxSearchKey(Value::integer(8), 'N', 8, false), sortableDouble(8));
}

TEST(IndexKey, NtxKeysAreTextOfTheirFormat) {
  EXPECT_EQ(ntxNumberKey(12.5, 8, 2), "00012.50");
  EXPECT_EQ(ntxNumberKey(0, 5, 0), "00000");
  EXPECT_EQ(ntxNumberKey(-15, 2, 0), "+'");
  EXPECT_EQ(ntxNumberKey(-5, 2, 0), ",'");
  EXPECT_LT(ntxNumberKey(-15, 6, 1), ntxNumberKey(-5, 6, 1));
  EXPECT_LT(ntxNumberKey(-5, 6, 1), ntxNumberKey(0, 6, 1));
  EXPECT_LT(ntxNumberKey(0.5, 6, 1), ntxNumberKey(12, 6, 1));
  EXPECT_EQ(ntxNumberKey(123456, 4, 0), "****");
  EXPECT_EQ(ntxKey(Value::date(dayNumber(2024, 3, 15)), 'D', 8, 0, false), "20240315");
  EXPECT_EQ(ntxKey(Value::date(0), 'D', 8, 0, false), "        ");
  EXPECT_EQ(ntxKey(Value::text("abc"), 'C', 5, 0, true), "ABC  ");
}

// The worked leaf example of the format description: BAKER, BAKERY, BAKERY, BROWN.
TEST(CdxLeaf, PacksRecordDuplicateAndTrailingCountsLikeTheReference) {
  cdx::Node node;
  node.root = true;
  node.leaf = true;
  for (auto [k, r] : {std::pair<const char*, std::uint32_t>{"BAKER   ", 5},
                      {"BAKERY  ", 2},
                      {"BAKERY  ", 9},
                      {"BROWN   ", 1}}) {
    node.keys += k;
    node.recs.push_back(r);
  }
  unsigned char page[cdx::kPageSize];
  cdx::encodeNode(node, 8, ' ', page);
  std::string head(reinterpret_cast<const char*>(page), 36);
  EXPECT_EQ(hex(head),
            "03 00 04 00 FF FF FF FF FF FF FF FF D2 01 FF FF 00 00 0F 0F 10 04 04 03 05 00 30 "
            "02 00 25 09 00 26 01 00 31");
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(page) + 502, 10), "ROWNYBAKER");
  cdx::Node back;
  cdx::decodeNode(page, 1024, 8, ' ', back, true);
  EXPECT_EQ(back.keys, node.keys);
  EXPECT_EQ(back.recs, node.recs);
}

// Keys whose shared prefixes and trailing fill end at every offset around the word size the
// packing works in, checked against a plain byte-by-byte count.
TEST(CdxLeaf, PrefixAndTrailingCountsAtEveryOffset) {
  for (const char fill : {' ', '\0'}) {
    constexpr int kLength = 40;
    std::vector<std::string> keys;
    for (std::size_t used = 0; used <= kLength; ++used) {
      for (std::size_t same = 0; same <= used; same += 3) {
        std::string key(kLength, fill);
        for (std::size_t i = 0; i < used; ++i)
          key[i] = i < same ? 'A' : static_cast<char>('B' + i % 7);
        keys.push_back(key);
      }
    }
    std::sort(keys.begin(), keys.end());
    keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
    // As many keys per leaf as fit, one leaf after the other.
    std::size_t at = 0;
    while (at < keys.size()) {
      cdx::Node node;
      node.leaf = true;
      std::size_t expected = 0;
      std::string_view prev;
      std::size_t prevSig = 0;
      while (at < keys.size()) {
        const std::string& key = keys[at];
        std::size_t sig = key.size();
        while (sig > 0 && key[sig - 1] == fill) --sig;
        std::size_t dup = 0;
        if (!prev.empty()) {
          while (dup < std::min(sig, prevSig) && key[dup] == prev[dup]) ++dup;
        }
        const std::size_t entry = 3 + key.size() - dup - (key.size() - sig);
        if (expected + entry > cdx::kLeafKeyArea) break;
        expected += entry;
        node.keys += key;
        node.recs.push_back(static_cast<std::uint32_t>(at + 1));
        prev = key;
        prevSig = sig;
        ++at;
      }
      ASSERT_FALSE(node.recs.empty());
      EXPECT_EQ(cdx::leafUsedBytes(node, kLength, fill), expected);
      unsigned char page[cdx::kPageSize];
      cdx::encodeNode(node, kLength, fill, page);
      EXPECT_EQ(page[12] | (page[13] << 8), static_cast<int>(cdx::kLeafKeyArea - expected));
      cdx::Node back;
      cdx::decodeNode(page, 1024, kLength, fill, back, true);
      EXPECT_EQ(back.keys, node.keys);
      EXPECT_EQ(back.recs, node.recs);
    }
  }
}

// After an insert or removal the key shapes of the page are brought up to date from the
// key's neighbours only, and the page is written by patching the one written before (after
// one or several changes); the page's size and the page written must equal what a fresh
// count and a full write of the whole page give, wherever the keys are and what they share.
TEST(CdxLeaf, SizeAndShapesAfterAChangeEqualTheRecount) {
  std::mt19937 random(7);
  const std::string alphabet = "AAB ";
  for (int keyLength : {1, 6, 16}) {
    for (char fill : {' ', '\0'}) {
      cdx::Node node;
      node.leaf = true;
      const auto kl = static_cast<std::size_t>(keyLength);
      cdx::leafUsedBytes(node, keyLength, fill);  // the shapes of the empty page
      // Size and page from the kept shapes equal those of a copy that counts afresh.
      auto recount = [&](const char* after, int step) {
        ASSERT_TRUE(node.shapes.known) << after;
        ASSERT_EQ(node.shapes.sig.size(), node.count()) << after;
        cdx::Node fresh = node;
        fresh.shapes = {};
        fresh.image.clear();
        const std::size_t freshUsed = cdx::leafUsedBytes(fresh, keyLength, fill);
        ASSERT_EQ(cdx::leafUsedBytes(node, keyLength, fill), freshUsed)
            << "key length " << keyLength << ", " << after << " at step " << step;
        // Written after one to a few changes, so that patches cover windows of several.
        if (freshUsed <= cdx::kLeafKeyArea && random() % 3 == 0) {
          unsigned char kept[cdx::kPageSize], counted[cdx::kPageSize];
          cdx::encodeNode(node, keyLength, fill, kept);
          cdx::encodeNode(fresh, keyLength, fill, counted);
          EXPECT_EQ(0, std::memcmp(kept, counted, cdx::kPageSize)) << after;
        }
      };
      for (int step = 0; step < 400; ++step) {
        std::string key(kl, fill);
        const std::size_t length = random() % (kl + 1);
        for (std::size_t i = 0; i < length; ++i) key[i] = alphabet[random() % alphabet.size()];
        // Record numbers cross the 12- and 16-bit entry widths now and then.
        const std::uint32_t recno =
            static_cast<std::uint32_t>(random() % 3 == 0 ? random() % 70000 : random() % 4000);
        std::size_t at = 0;
        while (at < node.count() && (std::memcmp(node.keys.data() + at * kl, key.data(), kl) < 0 ||
                                     (node.key(at, kl) == key && node.recs[at] < recno))) {
          ++at;
        }
        if (at < node.count() && node.key(at, kl) == key && node.recs[at] == recno) continue;
        node.keys.insert(at * kl, key);
        node.recs.insert(node.recs.begin() + static_cast<std::ptrdiff_t>(at), recno);
        cdx::shapesAfterInsert(node, at, keyLength, fill);
        cdx::noteLeafEdit(node, cdx::LeafChange::Insert, at);
        recount("insert", step);
        // Now and then an entry goes again, from anywhere.
        while (node.count() > 40 || (node.count() > 0 && random() % 4 == 0)) {
          const std::size_t gone = random() % node.count();
          node.keys.erase(gone * kl, kl);
          node.recs.erase(node.recs.begin() + static_cast<std::ptrdiff_t>(gone));
          cdx::shapesAfterRemove(node, gone, keyLength, fill);
          cdx::noteLeafEdit(node, cdx::LeafChange::Remove, gone);
          recount("remove", step);
        }
      }
    }
  }
}

TEST(CdxLeaf, EntryWidthFollowsKeyLengthAndRecordNumbers) {
  auto p = cdx::leafParamsFor(2, 100);
  EXPECT_EQ(p.entryBytes, 2);
  EXPECT_EQ(p.recBits, 12);
  p = cdx::leafParamsFor(10, 65535);
  EXPECT_EQ(p.entryBytes, 3);
  EXPECT_EQ(p.recBits, 16);
  p = cdx::leafParamsFor(10, 65536);
  EXPECT_EQ(p.entryBytes, 4);
  p = cdx::leafParamsFor(40, 1000);
  EXPECT_EQ(p.dupBits, 6);
  EXPECT_EQ(p.recBits, 12);
}

}  // namespace
}  // namespace zandor

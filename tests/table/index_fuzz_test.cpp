#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <random>

#include "base/error.h"
#include "base/text.h"
#include "fake_record.h"
#include "index_model.h"
#include "support/test_support.h"
#include "table/cdx_file.h"
#include "table/index_key.h"
#include "table/index_open.h"
#include "table/ntx_file.h"

namespace zandor {
namespace {

// Seconds per format; ZANDOR_FUZZ_SECONDS runs longer.
double fuzzSeconds() {
  const char* env = std::getenv("ZANDOR_FUZZ_SECONDS");
  return env ? std::atof(env) : 2.0;
}

std::string mutate(std::string bytes, std::mt19937& rng, std::size_t pageSize) {
  auto pick = [&](std::size_t n) { return n == 0 ? 0 : static_cast<std::size_t>(rng() % n); };
  int rounds = 1 + static_cast<int>(rng() % 4);
  for (int r = 0; r < rounds && !bytes.empty(); ++r) {
    switch (rng() % 6) {
      case 0:  // random bytes
        for (int i = 0, n = 1 + static_cast<int>(rng() % 8); i < n; ++i) {
          bytes[pick(bytes.size())] = static_cast<char>(rng());
        }
        break;
      case 1: {  // a plausible pointer or count somewhere
        if (bytes.size() < 4) break;
        std::size_t at = pick(bytes.size() - 4);
        std::uint32_t v =
            (rng() % 2) ? static_cast<std::uint32_t>(pick(bytes.size() / pageSize + 2) * pageSize)
                        : static_cast<std::uint32_t>(rng() % 1000);
        for (int i = 0; i < 4; ++i)
          bytes[at + static_cast<std::size_t>(i)] = static_cast<char>(v >> (8 * i));
        break;
      }
      case 2:  // truncation
        bytes.resize(pick(bytes.size()));
        break;
      case 3: {  // one page copied over another
        std::size_t pages = bytes.size() / pageSize;
        if (pages < 2) break;
        std::size_t from = pick(pages) * pageSize, to = pick(pages) * pageSize;
        bytes.replace(to, pageSize, bytes.substr(from, pageSize));
        break;
      }
      case 4:  // bit flips in page headers
        for (std::size_t p = 0; p + pageSize <= bytes.size(); p += pageSize) {
          if (rng() % 8 == 0) bytes[p + pick(24)] ^= static_cast<char>(1 << (rng() % 8));
        }
        break;
      default:  // garbage appended
        bytes += std::string(pick(3 * pageSize), static_cast<char>(rng()));
    }
  }
  return bytes;
}

// Opens, reads, changes and checks a file; every failure must be the damage error.
void exercise(const std::string& path, IndexDriver driver, const RecordContext& record,
              std::mt19937& rng, int& opened, int& refused) {
  ErrorGuard guard;
  try {
    auto index = openIndexFile(path, driver, true, record);
    ++opened;
    for (auto& bound : index->orders) {
      IndexOrder& order = *bound.order;
      std::size_t n = 0;
      for (auto e = order.first(); e && n < 100000; e = order.next()) ++n;
      order.seek("N1");
      order.seek(std::string(1, static_cast<char>(rng())));
      for (std::uint32_t r = 0; r < 60; ++r) {
        std::string key = order.keyFor(Value::text("N" + std::to_string(rng() % 500)));
        if (r % 3 == 0) {
          order.remove(key, 1 + rng() % 600);
        } else {
          order.insert(key, 1 + rng() % 600);
        }
      }
      order.commit();
      order.check();
    }
  } catch (const ErrorException& e) {
    ++refused;
    // Damage, a failed write, or a feature we do not maintain (flipped option bits).
    EXPECT_TRUE((e.error().genCode == 32 && e.error().subCode == 1012) ||
                (e.error().genCode == 30 && e.error().subCode == 1013) || (e.error().genCode == 24))
        << e.error().genCode << "/" << e.error().subCode.value_or(0) << " " << e.error().operation;
  }
}

class IndexFuzz : public ::testing::Test {
 protected:
  void SetUp() override {
    record.add({"NAME", 'C', 10, 0}, Value::text("          "));
    record.add({"AMOUNT", 'N', 8, 0}, Value::integer(0, 8));
  }
  void run(const std::string& seedFile, IndexDriver driver, std::size_t pageSize) {
    std::string original = test::readBytes(seedFile);
    std::string path = dir.file(driver == IndexDriver::Cdx ? "fuzz.cdx" : "fuzz.ntx");
    std::mt19937 rng(12345);
    int opened = 0, refused = 0, rounds = 0;
    auto until = std::chrono::steady_clock::now() +
                 std::chrono::milliseconds(static_cast<long>(fuzzSeconds() * 1000));
    while (std::chrono::steady_clock::now() < until) {
      test::writeBytes(path, rounds == 0 ? original : mutate(original, rng, pageSize));
      exercise(path, driver, record, rng, opened, refused);
      if (::testing::Test::HasFailure()) return;
      ++rounds;
    }
    EXPECT_GT(rounds, 10);
    EXPECT_GT(opened, 0);
    EXPECT_GT(refused, 0);
    std::printf("%d mutated files: %d opened, %d refused with an error\n", rounds, opened, refused);
  }
  test::TempDir dir;
  test::FakeRecord record;
};

TEST_F(IndexFuzz, MutatedCdxFilesGiveDamageNeverACrash) {
  std::string seed = dir.file("seed.cdx");
  auto f = CdxFile::create(seed);
  std::vector<IndexEntry> names, amounts;
  for (std::uint32_t r = 1; r <= 400; ++r) {
    names.push_back({padRight("N" + std::to_string(r % 97), 10), r});
    amounts.push_back({sortableDouble(r % 13), r});
  }
  f->addTag({"NAME", "NAME", "", 'C', 10, false, false, false}, names);
  f->addTag({"AMOUNT", "AMOUNT", "", 'N', 8, false, false, false}, amounts);
  f->addTag({"UNAME", "UPPER(NAME)", "AMOUNT > 3", 'C', 10, true, true, false}, names);
  f->commit();
  f.reset();
  run(seed, IndexDriver::Cdx, 512);
}

TEST_F(IndexFuzz, MutatedNtxFilesGiveDamageNeverACrash) {
  std::string seed = dir.file("seed.ntx");
  std::vector<IndexEntry> names;
  for (std::uint32_t r = 1; r <= 600; ++r)
    names.push_back({padRight("N" + std::to_string(r % 97), 10), r});
  NtxFile::NewOrder def;
  def.keyExpression = "NAME";
  NtxFile::create(seed, def, names);
  run(seed, IndexDriver::Ntx, 1024);
}

}  // namespace
}  // namespace zandor

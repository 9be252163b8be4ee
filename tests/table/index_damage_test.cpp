#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <functional>

#include "base/error.h"
#include "base/text.h"
#include "fake_record.h"
#include "index_model.h"
#include "support/test_support.h"
#include "table/cdx_file.h"
#include "table/index_open.h"
#include "table/ntx_file.h"

namespace zandor {
namespace {

void put16(std::string& b, std::size_t at, std::uint32_t v) {
  b[at] = static_cast<char>(v);
  b[at + 1] = static_cast<char>(v >> 8);
}
void put32(std::string& b, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + static_cast<std::size_t>(i)] = static_cast<char>(v >> (8 * i));
}
std::uint32_t get32(const std::string& b, std::size_t at) {
  std::uint32_t v = 0;
  for (int i = 3; i >= 0; --i)
    v = (v << 8) | static_cast<unsigned char>(b[at + static_cast<std::size_t>(i)]);
  return v;
}

class IndexDamageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    record.add({"NAME", 'C', 10, 0}, Value::text("          "));
    record.add({"AMOUNT", 'N', 10, 2}, Value::real(0, 2, 10));
  }

  // A CDX file with one tag over 3000 keys (a three-level tree); header of the tag at 1536.
  std::string makeCdx(const std::string& key = "NAME", const std::string& forExpr = "",
                      int keyLength = 10) {
    std::string path = dir.file("t.cdx");
    auto f = CdxFile::create(path);
    std::vector<IndexEntry> entries;
    for (std::uint32_t r = 1; r <= 3000; ++r) {
      entries.push_back({padRight("N" + std::to_string(r * 7919 % 3001), 10), r});
    }
    f->addTag({"NAME", key, forExpr, 'C', keyLength, false, false, false}, entries);
    f->commit();
    return path;
  }

  std::string makeNtx(const std::string& key = "NAME") {
    std::string path = dir.file("t.ntx");
    std::vector<IndexEntry> entries;
    for (std::uint32_t r = 1; r <= 3000; ++r) {
      entries.push_back({padRight("N" + std::to_string(r * 7919 % 3001), 10), r});
    }
    NtxFile::NewOrder def;
    def.keyExpression = key;
    NtxFile::create(path, def, entries);
    return path;
  }

  // The error an open raises, as code pair (0/0 when it opened).
  std::pair<int, int> openError(const std::string& path, IndexDriver driver) {
    ErrorGuard guard;
    try {
      auto open = openIndexFile(path, driver, true, record);
      return {0, 0};
    } catch (const ErrorException& e) {
      return {e.error().genCode, e.error().subCode.value_or(0)};
    }
  }

  // Opens (must succeed), then runs the operation; answers the raised error's codes.
  std::pair<int, int> useError(const std::string& path, IndexDriver driver,
                               const std::function<void(IndexOrder&)>& use) {
    ErrorGuard guard;
    try {
      auto open = openIndexFile(path, driver, true, record);
      use(open->file->order(0));
      open->file->commit();
      return {0, 0};
    } catch (const ErrorException& e) {
      return {e.error().genCode, e.error().subCode.value_or(0)};
    }
  }

  void patch(const std::string& path, const std::function<void(std::string&)>& change) {
    std::string bytes = test::readBytes(path);
    change(bytes);
    test::writeBytes(path, bytes);
  }

  const std::pair<int, int> damaged{32, 1012};
  test::TempDir dir;
  test::FakeRecord record;
};

TEST_F(IndexDamageTest, SoundFilesOpenAndBindTheirKeyTypes) {
  ErrorGuard guard;
  auto cdx = openIndexFile(makeCdx(), IndexDriver::Cdx, true, record);
  ASSERT_TRUE(cdx);
  EXPECT_EQ(cdx->orders.at(0).order->info().keyType, 'C');
  EXPECT_EQ(test::scanAll(cdx->file->order(0)).size(), 3000u);
  EXPECT_EQ(cdx->orders.at(0).keyOf(record), std::string(10, ' '));
  auto ntx = openIndexFile(makeNtx(), IndexDriver::Ntx, true, record);
  ASSERT_TRUE(ntx);
  EXPECT_EQ(test::scanAll(ntx->file->order(0)).size(), 3000u);
}

TEST_F(IndexDamageTest, MissingFileIsAnOpenError) {
  EXPECT_EQ(openError(dir.file("none.cdx"), IndexDriver::Cdx), std::make_pair(21, 1003));
  EXPECT_EQ(openError(dir.file("none.ntx"), IndexDriver::Ntx), std::make_pair(21, 1003));
}

TEST_F(IndexDamageTest, UnguardedDamageGoesToTheHandler) {
  std::string path = dir.file("small.cdx");
  test::writeBytes(path, std::string(1024, '\0'));
  int calls = 0;
  auto old = setErrorHandler([&](const Error& e) {
    ++calls;
    EXPECT_EQ(e.genCode, 32);
    return ErrorAnswer::Default;
  });
  EXPECT_EQ(openIndexFile(path, IndexDriver::Cdx, true, record), nullptr);
  setErrorHandler(old);
  EXPECT_EQ(calls, 1);
}

TEST_F(IndexDamageTest, CdxHeaderRules) {
  std::string good = makeCdx();
  std::string original = test::readBytes(good);
  auto with = [&](const std::function<void(std::string&)>& change) {
    test::writeBytes(good, original);
    patch(good, change);
    return openError(good, IndexDriver::Cdx);
  };
  EXPECT_EQ(with([](std::string&) {}), std::make_pair(0, 0));
  EXPECT_EQ(with([](std::string& b) { b.resize(1024); }), damaged);
  EXPECT_EQ(with([](std::string& b) { put32(b, 1536, 0); }), damaged);
  EXPECT_EQ(with([](std::string& b) { put32(b, 1536, 2600); }), damaged);
  EXPECT_EQ(with([](std::string& b) { put32(b, 1536, static_cast<std::uint32_t>(b.size())); }),
            damaged);
  EXPECT_EQ(with([](std::string& b) { put32(b, 0, 7 * 512 * 1000); }), damaged);  // directory root
  EXPECT_EQ(with([](std::string& b) { put16(b, 1536 + 12, 0); }), damaged);
  EXPECT_EQ(with([](std::string& b) { put16(b, 1536 + 12, 241); }), damaged);
  EXPECT_EQ(with([](std::string& b) {  // FOR range overlapping the key expression
              put16(b, 1536 + 504, 2);
              put16(b, 1536 + 506, 4);
            }),
            damaged);
  EXPECT_EQ(with([](std::string& b) { put16(b, 1536 + 510, 600); }), damaged);
  EXPECT_EQ(with([](std::string& b) { b[1536 + 512] = '\0'; }), damaged);  // no key expression
}

TEST_F(IndexDamageTest, CdxBadExpressionsAndKeyTypes) {
  EXPECT_EQ(openError(makeCdx("NOSUCH(NAME)"), IndexDriver::Cdx), damaged);
  EXPECT_EQ(openError(makeCdx("NAME +"), IndexDriver::Cdx), damaged);
  EXPECT_EQ(openError(makeCdx("UNKNOWNFIELD"), IndexDriver::Cdx), damaged);
  EXPECT_EQ(openError(makeCdx("AMOUNT"), IndexDriver::Cdx), damaged);        // N key of length 10
  EXPECT_EQ(openError(makeCdx("NAME", "NAME"), IndexDriver::Cdx), damaged);  // FOR no logical
  EXPECT_EQ(openError(makeCdx("NAME", "UPPER(NAME) = 'N'"), IndexDriver::Cdx),
            std::make_pair(0, 0));
  EXPECT_EQ(openError(makeCdx("AMOUNT", "", 8), IndexDriver::Cdx), std::make_pair(0, 0));
}

TEST_F(IndexDamageTest, CdxBadPagesAreDamageWhenReachedAndNothingIsWritten) {
  std::string path = makeCdx();
  std::string original = test::readBytes(path);
  std::uint32_t root = get32(original, 1536);
  ASSERT_EQ(original[root] & 2, 0) << "root must be an interior page";
  std::uint32_t child = 0;
  for (int i = 0; i < 4; ++i)
    child = (child << 8) | static_cast<unsigned char>(
                               original[root + 12 + 10 + 4 + static_cast<std::uint32_t>(i)]);
  auto scan = [](IndexOrder& o) { test::scanAll(o); };
  auto insertMany = [](IndexOrder& o) {
    for (std::uint32_t r = 5000; r < 8000; ++r) o.insert(padRight("N" + std::to_string(r), 10), r);
  };
  struct Case {
    const char* what;
    std::function<void(std::string&)> change;
  } cases[] = {
      {"interior count above capacity", [&](std::string& b) { put16(b, root + 2, 300); }},
      {"child points at its parent",
       [&](std::string& b) {
         for (int i = 0; i < 4; ++i)
           b[child + 12 + 14 + static_cast<std::uint32_t>(i)] =
               b[root + 12 + 14 + static_cast<std::uint32_t>(i)];
         std::uint32_t self = root;
         b[child + 12 + 14] = static_cast<char>(self >> 24);
         b[child + 12 + 15] = static_cast<char>(self >> 16);
         b[child + 12 + 16] = static_cast<char>(self >> 8);
         b[child + 12 + 17] = static_cast<char>(self);
       }},
      {"child outside the file", [&](std::string& b) { b[root + 12 + 14] = 0x7F; }},
      {"leaf count above capacity",
       [&](std::string& b) {
         std::uint32_t first = get32(b, 1536);  // root; walk to the leftmost leaf
         for (int d = 0; d < 5 && !(b[first] & 2); ++d) {
           std::uint32_t c = 0;
           for (int i = 0; i < 4; ++i)
             c = (c << 8) |
                 static_cast<unsigned char>(b[first + 12 + 14 + static_cast<std::uint32_t>(i)]);
           first = c;
         }
         put16(b, first + 2, 400);
       }},
      {"leaf chain loops back",
       [&](std::string& b) {
         std::uint32_t first = get32(b, 1536);
         for (int d = 0; d < 5 && !(b[first] & 2); ++d) {
           std::uint32_t c = 0;
           for (int i = 0; i < 4; ++i)
             c = (c << 8) |
                 static_cast<unsigned char>(b[first + 12 + 14 + static_cast<std::uint32_t>(i)]);
           first = c;
         }
         std::uint32_t second = get32(b, first + 8);
         put32(b, second + 8, first);
       }},
      {"truncated to half", [&](std::string& b) { b.resize(b.size() / 2 / 512 * 512); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    test::writeBytes(path, original);
    patch(path, c.change);
    std::string before = test::readBytes(path);
    auto opened = openError(path, IndexDriver::Cdx);
    if (opened != std::make_pair(0, 0)) {
      EXPECT_EQ(opened, damaged);
      continue;
    }
    EXPECT_EQ(useError(path, IndexDriver::Cdx, scan), damaged);
    // Changes that run into the damage leave the file as it was.
    if (useError(path, IndexDriver::Cdx, insertMany) == damaged) {
      EXPECT_TRUE(test::readBytes(path) == before) << "a failed change reached the file";
    }
  }
}

TEST_F(IndexDamageTest, NtxHeaderRules) {
  std::string good = makeNtx();
  std::string original = test::readBytes(good);
  auto with = [&](const std::function<void(std::string&)>& change) {
    test::writeBytes(good, original);
    patch(good, change);
    return openError(good, IndexDriver::Ntx);
  };
  EXPECT_EQ(with([](std::string&) {}), std::make_pair(0, 0));
  EXPECT_EQ(with([](std::string& b) { put16(b, 0, 3); }), std::make_pair(0, 0));
  EXPECT_EQ(with([](std::string& b) { put16(b, 0, 0x0806); }), damaged);
  EXPECT_EQ(with([](std::string& b) { put16(b, 0, 0x0004); }), damaged);
  EXPECT_EQ(with([](std::string& b) { put32(b, 4, 0); }), damaged);
  EXPECT_EQ(with([](std::string& b) { put32(b, 4, 1500); }), damaged);
  EXPECT_EQ(with([](std::string& b) { put32(b, 4, static_cast<std::uint32_t>(b.size())); }),
            damaged);
  EXPECT_EQ(with([](std::string& b) { put16(b, 18, 200); }), damaged);  // keys per page
  EXPECT_EQ(with([](std::string& b) { put16(b, 14, 0); }), damaged);
  EXPECT_EQ(with([](std::string& b) { b[22] = ' '; }), damaged);  // expression not printable
  EXPECT_EQ(with([](std::string& b) { b.resize(1024); }), damaged);
  EXPECT_EQ(openError(makeNtx("NOSUCH(NAME)"), IndexDriver::Ntx), damaged);
}

TEST_F(IndexDamageTest, NtxBadPagesAreDamageWhenReached) {
  std::string path = makeNtx();
  std::string original = test::readBytes(path);
  std::uint32_t root = get32(original, 4);
  auto slot = [&](const std::string& b, std::uint32_t page, int i) {
    return page +
           (static_cast<unsigned char>(b[page + 2 + 2 * static_cast<std::uint32_t>(i)]) |
            (static_cast<unsigned char>(b[page + 3 + 2 * static_cast<std::uint32_t>(i)]) << 8));
  };
  ASSERT_NE(get32(original, slot(original, root, 0)), 0u) << "root must be interior";
  auto scan = [](IndexOrder& o) { test::scanAll(o); };
  auto change = [](IndexOrder& o) {
    for (std::uint32_t r = 5000; r < 7000; ++r) o.insert(padRight("N" + std::to_string(r), 10), r);
    for (std::uint32_t r = 1; r < 3000; r += 2)
      o.remove(padRight("N" + std::to_string(r * 7919 % 3001), 10), r);
  };
  struct Case {
    const char* what;
    std::function<void(std::string&)> change;
  } cases[] = {
      {"page count above maximum", [&](std::string& b) { put16(b, root, 60); }},
      {"child points at the root", [&](std::string& b) { put32(b, slot(b, root, 1), root); }},
      {"every child the same page",
       [&](std::string& b) {
         std::uint32_t c = get32(b, slot(b, root, 0));
         for (int i = 1; i <= (b[root] | 0); ++i) put32(b, slot(b, root, i), c);
       }},
      {"slot table outside the page", [&](std::string& b) { put16(b, root + 2, 1020); }},
      {"leaf and child items mixed", [&](std::string& b) { put32(b, slot(b, root, 0), 0); }},
      {"truncated to half", [&](std::string& b) { b.resize(b.size() / 2 / 1024 * 1024); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    test::writeBytes(path, original);
    patch(path, c.change);
    std::string before = test::readBytes(path);
    auto opened = openError(path, IndexDriver::Ntx);
    if (opened != std::make_pair(0, 0)) {
      EXPECT_EQ(opened, damaged);
      continue;
    }
    EXPECT_EQ(useError(path, IndexDriver::Ntx, scan), damaged);
    if (useError(path, IndexDriver::Ntx, change) == damaged) {
      EXPECT_TRUE(test::readBytes(path) == before) << "a failed change reached the file";
    }
  }
}

}  // namespace
}  // namespace zandor

namespace zandor {
namespace {

// Pages that are neither in the tree nor in the free list are lost space, except at the
// very end of the file, where a process stopped after growing the file leaves them.
TEST_F(IndexDamageTest, NtxLostPagesUnlessAtTheEnd) {
  const std::string path = makeNtx();
  {
    ErrorGuard guard;
    auto open = openIndexFile(path, IndexDriver::Ntx, true, record);
    IndexOrder& o = open->file->order(0);
    for (std::uint32_t r = 1; r < 3000; r += 2) {
      o.remove(padRight("N" + std::to_string(r * 7919 % 3001), 10), r);
    }
    open->file->commit();
  }
  auto problems = [&] {
    ErrorGuard guard;
    auto open = openIndexFile(path, IndexDriver::Ntx, false, record);
    return open->file->order(0).check().problems;
  };
  ASSERT_THAT(problems(), ::testing::IsEmpty());
  const std::string sound = test::readBytes(path);
  ASSERT_NE(get32(sound, 8), 0u) << "merges must have freed pages";

  test::writeBytes(path, sound + std::string(2048, '\0'));
  EXPECT_THAT(problems(), ::testing::IsEmpty());

  std::string lost = sound;
  put32(lost, 8, 0);
  test::writeBytes(path, lost);
  ASSERT_EQ(problems().size(), 1u);
  EXPECT_THAT(problems().front(), ::testing::HasSubstr("neither in the tree nor in the free list"));
}

}  // namespace
}  // namespace zandor

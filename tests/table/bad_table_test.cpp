#include <gtest/gtest.h>

#ifndef _WIN32
#include <unistd.h>
#endif
#include <filesystem>

#include "support/test_support.h"
#include "table/table_create.h"
#include "table/table_error.h"
#include "table_test_util.h"

namespace zandor {
namespace {

using test::errorOf;
using test::readBytes;
using test::TempDir;
using test::writeBytes;

// A valid table: KUNDE C(4), two records "AAAA" and "BBBB".
std::string validTable() {
  std::string h(32, '\0');
  h[0] = 0x03;
  h[4] = 2;
  h[8] = 65;  // 32 + 32 + 1
  h[10] = 5;
  std::string d(32, '\0');
  d.replace(0, 5, "KUNDE");
  d[11] = 'C';
  d[16] = 4;
  return h + d + "\x0d" + " AAAA BBBB\x1a";
}

struct BadCase {
  const char* name;
  std::string bytes;
  int genCode;
  int subCode;
  const char* reason = "";  // part of the German reason a damaged table is refused with
};

std::vector<BadCase> badCases() {
  std::vector<BadCase> cases;
  const std::string ok = validTable();
  cases.push_back({"empty file", "", gen::kRead, sub::kRead});
  cases.push_back({"truncated header", ok.substr(0, 20), gen::kRead, sub::kRead});
  std::string s = ok;
  s[0] = 0x07;
  cases.push_back({"version 0x07", s, gen::kCorruption, sub::kCorruption, "Versionskennung 0x07"});
  s = ok;
  s[32 + 11] = 'X';
  cases.push_back(
      {"field type X", s, gen::kCorruption, sub::kCorruption, "KUNDE mit unbekanntem Typ 0x58"});
  s = ok;
  s[8] = 32;
  cases.push_back({"header without descriptors", s, gen::kCorruption, sub::kCorruption});
  s = ok;
  s[32 + 16] = 0;
  cases.push_back({"record length 0", s, gen::kCorruption, sub::kCorruption, "der L\xe4nge 0"});
  s = ok;
  s[8] = 0x00;
  s[9] = 0x10;       // 4096 bytes of header, 127 descriptors that are not there
  s[32 + 32] = 'Y';  // and no terminator in the way
  cases.push_back({"more descriptors than the file holds", s, gen::kRead, sub::kRead});
  s = ok;
  s[32] = '\0';  // a descriptor without a name
  cases.push_back({"nameless field", s, gen::kCorruption, sub::kCorruption, "ohne Namen"});
  s = ok;
  s[32 + 11] = '0';  // a hidden field type under an ordinary name
  cases.push_back({"type 0 not hidden", s, gen::kCorruption, sub::kCorruption});
  return cases;
}

TEST(BadTableTest, EachFailsWithItsErrorLeavingFileAndAreasAlone) {
  for (const BadCase& c : badCases()) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    const std::string path = dir.file("bad.dbf");
    writeBytes(path, c.bytes);
    WorkAreas areas;
    auto e = errorOf([&] { areas.DBUSEAREA(true, "DBFCDX", path, "cAlias", std::nullopt, false); });
    ASSERT_TRUE(e.has_value());
    EXPECT_EQ(e->genCode, c.genCode);
    EXPECT_EQ(e->subCode, c.subCode);
    EXPECT_EQ(e->subsystem, "DBFCDX");
    EXPECT_NE(e->reason.find(c.reason), std::string::npos) << e->reason;
    EXPECT_EQ(areas.current(), nullptr);
    EXPECT_EQ(readBytes(path), c.bytes);
    // Nothing stays locked either.
    writeBytes(dir.file("ok.dbf"), validTable());
    EXPECT_TRUE(areas.DBUSEAREA(true, "", dir.file("ok.dbf"), "cAlias", std::nullopt, false));
  }
}

TEST(BadTableTest, MissingDirectoryAndUnreadableFilesGiveTheOpenError) {
  TempDir dir;
  WorkAreas areas;
  auto e =
      errorOf([&] { areas.DBUSEAREA(true, "", dir.file("fehlt.dbf"), "A", std::nullopt, false); });
  ASSERT_TRUE(e.has_value());
  EXPECT_EQ(e->genCode, gen::kOpen);
  EXPECT_EQ(e->subCode, sub::kOpen);
  EXPECT_EQ(e->osCode, 2);
  std::filesystem::create_directory(dir.file("ordner.dbf"));
  e = errorOf([&] { areas.DBUSEAREA(true, "", dir.file("ordner.dbf"), "A", std::nullopt, false); });
  ASSERT_TRUE(e.has_value());
  EXPECT_EQ(e->genCode, gen::kOpen);
#ifndef _WIN32  // rights taken away by chmod mean nothing on Windows; root reads everything
  if (geteuid() != 0) {
    const std::string path = dir.file("gesperrt.dbf");
    writeBytes(path, validTable());
    std::filesystem::permissions(path, std::filesystem::perms::none);
    e = errorOf([&] { areas.DBUSEAREA(true, "", path, "A", std::nullopt, false); });
    ASSERT_TRUE(e.has_value());
    EXPECT_EQ(e->genCode, gen::kOpen);
    EXPECT_EQ(e->osCode, 5);
  }
#endif
  EXPECT_EQ(areas.current(), nullptr);
}

// A file shorter than its header's count is read as far as it goes; written on that count,
// records would go where no reader looks, so a writer is refused until a repair set it right.
TEST(BadTableTest, ShortFileAndHugeCountReadWhatIsThereAndAreNotWritten) {
  for (std::uint32_t count : {10u, 0xFFFFFFFFu}) {
    SCOPED_TRACE(count);
    TempDir dir;
    const std::string path = dir.file("kurz.dbf");
    std::string bytes = validTable();
    bytes.pop_back();     // no end mark either
    bytes.append(" CC");  // and a torn third record
    for (int i = 0; i < 4; ++i) bytes[4 + i] = static_cast<char>(count >> (8 * i));
    writeBytes(path, bytes);
    {
      WorkAreas areas;
      ASSERT_TRUE(areas.DBUSEAREA(true, "", path, "cAlias", true, true));
      EXPECT_EQ(areas.current()->recCount(), 2u);
      areas.current()->goTo(2);
      EXPECT_EQ(areas.FIELDGET(1), Value::text("BBBB"));
    }
    WorkAreas writer;
    const auto refused =
        errorOf([&] { writer.DBUSEAREA(true, "", path, "cAlias", std::nullopt, false); });
    ASSERT_TRUE(refused.has_value());
    EXPECT_EQ(refused->genCode, gen::kCorruption);
    EXPECT_NE(refused->reason.find("die Datei h\xe4lt nur 2"), std::string::npos);
    EXPECT_EQ(readBytes(path), bytes);
  }
}

// The reading rules end the descriptors at the header length where no end mark does; a writer
// does not rely on that.
TEST(BadTableTest, DescriptorsWithoutTerminatorAreReadUpToTheHeaderLength) {
  TempDir dir;
  const std::string path = dir.file("ohne.dbf");
  std::string bytes = validTable();
  bytes[64] = ' ';  // the 0x0D is gone; the header length still ends the descriptors
  writeBytes(path, bytes);
  {
    WorkAreas areas;
    ASSERT_TRUE(areas.DBUSEAREA(true, "", path, "cAlias", true, true));
    EXPECT_EQ(areas.current()->fields().size(), 1u);
    EXPECT_EQ(areas.FIELDGET(1), Value::text("AAAA"));
  }
  WorkAreas areas;
  const auto refused =
      errorOf([&] { areas.DBUSEAREA(true, "", path, "writer", std::nullopt, false); });
  ASSERT_TRUE(refused.has_value());
  EXPECT_NE(refused->reason.find("Endezeichen"), std::string::npos);
  EXPECT_EQ(readBytes(path), bytes);
}

TEST(BadTableTest, MissingMemoFileFailsTheOpen) {
  TempDir dir;
  const std::string path = dir.file("memo.dbf");
  createTable(path, {{"TEXT", 'M', 10, 0}}, MemoKind::Dbt3);
  std::filesystem::remove(dir.file("memo.dbt"));
  const std::string before = readBytes(path);
  WorkAreas areas;
  auto e = errorOf([&] { areas.DBUSEAREA(true, "", path, "cAlias", std::nullopt, false); });
  ASSERT_TRUE(e.has_value());
  EXPECT_EQ(e->genCode, gen::kOpen);
  EXPECT_EQ(areas.current(), nullptr);
  EXPECT_EQ(readBytes(path), before);
}

}  // namespace
}  // namespace zandor

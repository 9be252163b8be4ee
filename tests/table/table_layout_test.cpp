#include <gtest/gtest.h>

#include "base/date.h"
#include "support/test_support.h"
#include "table/field_value.h"
#include "table/table_create.h"
#include "table_test_util.h"

namespace zandor {
namespace {

using test::rawRecord;
using test::readBytes;
using test::TempDir;
using test::writeBytes;

std::string descriptor(const std::string& name, char type, int length, int decimals, int flags) {
  std::string d(32, '\0');
  d.replace(0, name.size(), name);
  d[11] = type;
  d[16] = static_cast<char>(length);
  d[17] = static_cast<char>(decimals);
  d[18] = static_cast<char>(flags);
  return d;
}

// A FoxPro 3 table: NAME C(4) (that may be null when asked), the hidden _NullFlags, the
// 263-byte backlink, code page mark 0x03 and a structural index flag.
std::string foxTable(bool nullable = false) {
  std::string h(32, '\0');
  h[0] = 0x30;
  h[4] = 1;
  const int headerLength = 32 + 64 + 1 + 263;
  h[8] = static_cast<char>(headerLength & 0xFF);
  h[9] = static_cast<char>(headerLength >> 8);
  h[10] = 6;
  h[28] = 0x01;
  h[29] = 0x03;
  return h + descriptor("NAME", 'C', 4, 0, nullable ? 0x02 : 0x00) +
         descriptor("_NullFlags", '0', 1, 0, 0x05) + "\x0d" + std::string(263, '\0') + " ABCD\x01" +
         "\x1a";
}

TEST(TableLayoutTest, HiddenFieldsAreNeitherListedNorNumberedButKeepTheirBytes) {
  TempDir dir;
  const std::string path = dir.file("fox.dbf");
  writeBytes(path, foxTable());
  {
    WorkAreas areas;
    ASSERT_TRUE(areas.DBUSEAREA(true, "DBFCDX", path, "cAlias", std::nullopt, false));
    const Value rows = areas.DBSTRUCT();
    ASSERT_EQ(rows.asList().size(), 1u);
    EXPECT_EQ(rows.asList()[0].asList()[4].asNumber().integer, 0);  // field flags
    EXPECT_EQ(areas.FIELDGET(1), Value::text("ABCD"));
    EXPECT_EQ(areas.current()->layout().recordLength, 6u);
    areas.DBAPPEND();
    areas.FIELDPUT(1, Value::text("WXYZ"));
  }
  const std::string bytes = readBytes(path);
  EXPECT_EQ(static_cast<unsigned char>(bytes[0]), 0x30);
  EXPECT_EQ(bytes[28], 0x01);  // structural index flag as read
  EXPECT_EQ(bytes[29], 0x03);  // code page mark kept
  EXPECT_EQ(test::u32At(bytes, 4), 2u);
  EXPECT_EQ(bytes.substr(32, 328), foxTable().substr(32, 328));
  EXPECT_EQ(rawRecord(bytes, 1), std::string(" ABCD\x01", 6));
  EXPECT_EQ(rawRecord(bytes, 2), std::string(" WXYZ\x00", 6));  // binary fields start zero
}

// A Visual FoxPro table whose ID field counts by itself: each appended record takes the
// next value and the counter in the descriptor moves on by the step, kept across opens;
// the field takes no value of its own.
TEST(TableLayoutTest, AutoincrementFieldsTakeTheNextValueAndMoveTheCounterOn) {
  TempDir dir;
  const std::string path = dir.file("auto.dbf");
  std::string h(32, '\0');
  h[0] = 0x31;
  const int headerLength = 32 + 64 + 1 + 263;
  h[8] = static_cast<char>(headerLength & 0xFF);
  h[9] = static_cast<char>(headerLength >> 8);
  h[10] = 15;
  std::string id = descriptor("ID", 'I', 4, 0, 0x0C);
  id[19] = 5;  // next value
  id[23] = 2;  // step
  writeBytes(path,
             h + id + descriptor("NAME", 'C', 10, 0, 0) + "\x0d" + std::string(263, '\0') + "\x1a");
  for (int run = 0; run < 2; ++run) {
    WorkAreas areas;
    ASSERT_TRUE(areas.DBUSEAREA(true, "DBFCDX", path, "cAlias", std::nullopt, false));
    ASSERT_TRUE(areas.DBAPPEND());
    areas.FIELDPUT(2, Value::text("A"));
    if (run == 0) {
      ASSERT_TRUE(areas.DBAPPEND());
      const auto refused = test::errorOf([&] { areas.putField(1, Value::integer(99)); });
      ASSERT_TRUE(refused.has_value());
      EXPECT_EQ(refused->genCode, gen::kDataType);
    }
  }
  const std::string bytes = readBytes(path);
  EXPECT_EQ(test::u32At(bytes, 4), 3u);
  EXPECT_EQ(test::u32At(rawRecord(bytes, 1), 1), 5u);
  EXPECT_EQ(test::u32At(rawRecord(bytes, 2), 1), 7u);
  EXPECT_EQ(test::u32At(rawRecord(bytes, 3), 1), 9u);
  EXPECT_EQ(test::u32At(bytes, 32 + 19), 11u);
  EXPECT_EQ(static_cast<unsigned char>(bytes[0]), 0x31);
}

TEST(TableLayoutTest, HeaderRewriteRecomputesTheVersionByte) {
  const struct {
    std::uint8_t version;
    char extraType;
    std::uint8_t expected;
  } cases[] = {{0x02, 'C', 0x03},
               {0x04, 'C', 0x03},
               {0x7B, 'M', 0x8B},
               {0x83, 'C', 0x03},
               {0x06, 'C', 0x06}};
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.version));
    TempDir dir;
    const std::string path = dir.file("v.dbf");
    std::string h(32, '\0');
    h[0] = static_cast<char>(c.version);
    h[8] = 32 + 64 + 1;
    h[10] = 1 + 4 + 10;
    writeBytes(path, h + descriptor("A", 'C', 4, 0, 0) + descriptor("B", c.extraType, 10, 0, 0) +
                         "\x0d\x1a");
    if (c.extraType == 'M') writeBytes(dir.file("v.dbt"), std::string(512, '\0'));
    WorkAreas areas;
    ASSERT_TRUE(areas.DBUSEAREA(true, "", path, "cAlias", std::nullopt, false));
    setErrorHandler([](const Error&) { return ErrorAnswer::Default; });
    const bool appended = areas.DBAPPEND();
    setErrorHandler(nullptr);
    areas.DBCLOSEAREA();
    EXPECT_EQ(static_cast<unsigned char>(readBytes(path)[0]), c.expected);
    // Encrypted tables are read but never written with plain records.
    EXPECT_EQ(appended, c.version != 0x06);
  }
}

TEST(TableLayoutTest, EveryAcceptedFieldTypeOpensAndReads) {
  const std::string types = "CNFDLMI24B8OYT@=^+VPWGQ";
  std::string descriptors;
  std::size_t recordLength = 1;
  for (std::size_t i = 0; i < types.size(); ++i) {
    const char type = types[i];
    const int length = type == 'D' || type == 'B' || type == '8' || type == 'O' || type == 'Y' ||
                               type == 'T' || type == '@'
                           ? 8
                       : type == 'L'                ? 1
                       : type == '2'                ? 2
                       : type == 'M' || type == 'V' ? 10
                                                    : 4;
    descriptors += descriptor("F" + std::to_string(i), type, length, type == 'N' ? 1 : 0, 0);
    recordLength += static_cast<std::size_t>(length);
  }
  std::string h(32, '\0');
  h[0] = 0x30;
  const std::size_t headerLength = 32 + descriptors.size() + 1;
  h[8] = static_cast<char>(headerLength & 0xFF);
  h[9] = static_cast<char>(headerLength >> 8);
  h[4] = 1;
  std::string record(recordLength, '\x07');  // arbitrary bytes in every field
  record[0] = ' ';
  TempDir dir;
  const std::string path = dir.file("typen.dbf");
  writeBytes(path, h + descriptors + "\x0d" + record + "\x1a");
  std::string fpt(512, '\0');
  fpt[7] = 64;
  writeBytes(dir.file("typen.fpt"), fpt);
  WorkAreas areas;
  ASSERT_TRUE(areas.DBUSEAREA(true, "DBFCDX", path, "cAlias", std::nullopt, true));
  ASSERT_EQ(areas.DBSTRUCT().asList().size(), types.size());
  setErrorHandler([](const Error&) { return ErrorAnswer::Default; });  // memo blocks are junk
  for (std::size_t i = 0; i < types.size(); ++i) {
    SCOPED_TRACE(types[i]);
    EXPECT_FALSE(areas.FIELDGET(static_cast<int>(i) + 1).isNil());
  }
  setErrorHandler(nullptr);
}

TEST(TableLayoutTest, BinaryDatesHoldTheDayNumber) {
  for (int length : {3, 4}) {
    FieldInfo f;
    f.type = 'D';
    f.length = length;
    f.offset = 1;
    std::string record(1 + static_cast<std::size_t>(length), ' ');
    const std::int32_t day = dayNumber(2013, 1, 22);
    encodeField(f, record, Value::date(day), nullptr);
    EXPECT_EQ(static_cast<unsigned char>(record[1]), day & 0xFF);
    EXPECT_EQ(decodeField(f, record, nullptr), Value::date(day));
  }
}

}  // namespace
}  // namespace zandor

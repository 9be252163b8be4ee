// Field bytes made ahead (on another thread) must be exactly what putField stores, and must
// be declined wherever putField refuses the value.
#include <gtest/gtest.h>

#include <filesystem>
#include <limits>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "base/date.h"
#include "support/test_support.h"
#include "table/field_encoder.h"
#include "table/table_create.h"
#include "table/table_error.h"
#include "table/work_areas.h"

namespace zandor {
namespace {

using test::TempDir;

class FieldEncoderTest : public ::testing::Test {
 protected:
  TempDir dir;
  std::string table = dir.file("artikel.dbf");

  // NAME C(6), PREIS N(8,2), MENGE N(3,0), DATUM D, AKTIV L, NOTIZ M; mark: the code page.
  void make(std::uint8_t mark = 0x03) {
    createTable(table,
                {{"NAME", 'C', 6, 0},
                 {"PREIS", 'N', 8, 2},
                 {"MENGE", 'N', 3, 0},
                 {"DATUM", 'D', 8, 0},
                 {"AKTIV", 'L', 1, 0},
                 {"NOTIZ", 'M', 10, 0}},
                MemoKind::Dbt3);
    std::string bytes = test::readBytes(table);
    bytes[29] = static_cast<char>(mark);
    test::writeBytes(table, bytes);
  }

  // Every field with every value: where the encoder takes a value, putField stores the same
  // bytes; where it declines, putField refuses. Returns how many were taken and declined.
  std::pair<int, int> compareWithPutField(WorkArea& area) {
    const std::vector<Value> values = {
        Value::text("Brot"),
        Value::text("M\xfcller"),
        Value::text("Stra\xdf"
                    "e 12"),     // longer than NAME: cut, as putField cuts
        Value::text("\x80uro"),  // the euro sign, which DOS pages lack
        Value::integer(42),
        Value::integer(-7),
        Value::integer(12345),  // too wide for MENGE
        Value::real(3.14159),
        Value::real(std::numeric_limits<double>::quiet_NaN()),
        Value::date(dayNumber(2024, 2, 29)),
        Value::date(0),
        Value::logical(false),
    };
    int taken = 0, declined = 0;
    for (int index = 0; index < 5; ++index) {
      const std::optional<FieldEncoder> encoder = FieldEncoder::of(area, index);
      EXPECT_TRUE(encoder) << index;
      if (!encoder) continue;
      const FieldInfo& field = encoder->field();
      for (const Value& value : values) {
        std::string made = area.record();
        const bool ok = encoder->encode(value, made);
        bool refused = false;
        try {
          area.putField(index, value);
        } catch (const TableError&) {
          refused = true;
        }
        EXPECT_EQ(ok, !refused) << field.name << " " << value.type();
        if (!ok || refused) {
          ++declined;
          continue;
        }
        ++taken;
        EXPECT_EQ(made.substr(field.offset, static_cast<std::size_t>(field.length)),
                  area.record().substr(field.offset, static_cast<std::size_t>(field.length)))
            << field.name << " " << value.type();
      }
    }
    return {taken, declined};
  }
};

TEST_F(FieldEncoderTest, BytesAreThoseFieldPutStoresInEveryPage) {
  for (std::uint8_t mark : {0x03, 0x02}) {  // Windows-1252, DOS 850
    SCOPED_TRACE(static_cast<int>(mark));
    make(mark);
    WorkAreas areas;
    ASSERT_TRUE(areas.DBUSEAREA(true, "", table, "A", std::nullopt, false));
    ASSERT_TRUE(areas.DBAPPEND());
    const auto [taken, declined] = compareWithPutField(*areas.current());
    EXPECT_GT(taken, 10);
    EXPECT_GT(declined, 10);
    // The euro sign: taken where the page has it, declined where it has none.
    const auto name = FieldEncoder::of(*areas.current(), 0);
    ASSERT_TRUE(name);
    std::string record = areas.current()->record();
    EXPECT_EQ(name->encode(Value::text("\x80"), record), mark == 0x03);
    areas.DBCLOSEAREA();
    std::filesystem::remove(table);
    std::filesystem::remove(dir.file("artikel.dbt"));
  }
}

TEST_F(FieldEncoderTest, FieldsNotStoredPlainlyAreNotEncodedAhead) {
  make();
  WorkAreas areas;
  ASSERT_TRUE(areas.DBUSEAREA(true, "", table, "A", std::nullopt, false));
  EXPECT_FALSE(FieldEncoder::of(*areas.current(), 5));  // memo
  EXPECT_FALSE(FieldEncoder::of(*areas.current(), 6));
  EXPECT_FALSE(FieldEncoder::of(*areas.current(), -1));
  areas.DBCLOSEAREA();
  ASSERT_TRUE(areas.DBUSEAREA(true, "", table, "R", std::nullopt, true));  // read-only
  EXPECT_FALSE(FieldEncoder::of(*areas.current(), 0));
}

TEST_F(FieldEncoderTest, PreparedBytesGoWhereFieldPutWouldPutThem) {
  make();
  WorkAreas areas;
  ASSERT_TRUE(areas.DBUSEAREA(true, "", table, "A", std::nullopt, false));
  std::string image(areas.current()->record().size(), ' ');
  image.replace(1, 6, "Brot  ");  // NAME
  image.replace(15, 3, "  7");    // MENGE
  // At end of file nothing is written, as with putField.
  EXPECT_FALSE(areas.putFieldsBytes(image, {1}));
  ASSERT_TRUE(areas.DBAPPEND());
  EXPECT_TRUE(areas.putFieldsBytes(image, {1}));
  EXPECT_TRUE(areas.putFieldsBytes(image, {3}));
  EXPECT_FALSE(areas.putFieldsBytes(image, {9}));
  EXPECT_EQ(areas.FIELDGET(1), Value::text("Brot  "));
  EXPECT_EQ(areas.FIELDGET(3), Value::integer(7));
  EXPECT_TRUE(areas.current()->isChanged());
  // An image of another length than the record's is an argument error, the field unchanged.
  EXPECT_THROW(areas.current()->putFieldsBytes("Brot", {0}), TableError);
  EXPECT_EQ(areas.FIELDGET(1), Value::text("Brot  "));
}

TEST_F(FieldEncoderTest, SeveralPreparedFieldsGoInAtOnceOrNotAtAll) {
  make();
  WorkAreas areas;
  ASSERT_TRUE(areas.DBUSEAREA(true, "", table, "A", std::nullopt, false));
  ASSERT_TRUE(areas.DBAPPEND());
  std::string image = areas.current()->record();
  image.replace(1, 6, "Brot  ");     // NAME
  image.replace(15, 3, " 12");       // MENGE
  image.replace(18, 8, "20240229");  // DATUM, not put
  EXPECT_TRUE(areas.putFieldsBytes(image, {1, 3}));
  EXPECT_EQ(areas.FIELDGET(1), Value::text("Brot  "));
  EXPECT_EQ(areas.FIELDGET(3), Value::integer(12));
  EXPECT_TRUE(areas.FIELDGET(4).isDate());
  EXPECT_EQ(areas.FIELDGET(4).asDate().day, 0);
  // A number out of range puts nothing, as putField puts nothing for it.
  image.replace(1, 6, "Salz  ");
  EXPECT_FALSE(areas.putFieldsBytes(image, {1, 9}));
  EXPECT_EQ(areas.FIELDGET(1), Value::text("Brot  "));
  // An image of another size is refused before anything changes.
  EXPECT_THROW(areas.current()->putFieldsBytes(image.substr(1), {0}), TableError);
  EXPECT_EQ(areas.FIELDGET(1), Value::text("Brot  "));
  areas.DBCLOSEAREA();

  // A shared table's record that is not locked: refused before any field changes.
  ASSERT_TRUE(areas.DBUSEAREA(true, "", table, "S", true, false));
  areas.current()->goTo(1);
  EXPECT_THROW(areas.current()->putFieldsBytes(image, {0, 2}), TableError);
  EXPECT_FALSE(areas.current()->isChanged());
  EXPECT_EQ(areas.FIELDGET(1), Value::text("Brot  "));
}

}  // namespace
}  // namespace zandor

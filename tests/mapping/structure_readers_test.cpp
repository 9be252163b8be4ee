#include <gtest/gtest.h>

#include "app/startup.h"
#include "base/encoding.h"
#include "mapping/structure_readers.h"
#include "sheet/excel_server.h"
#include "sheet/server_registry.h"
#include "state/app_state.h"
#include "support/scripted_ui.h"
#include "support/test_support.h"
#include "table/table_create.h"
#include "table/work_areas.h"

namespace zandor {
namespace {

using test::TempDir;

class StructureReadersTest : public ::testing::Test {
 protected:
  TempDir dir;
  test::ScriptedUi ui;
  AppState state;
  WorkAreas areas;

  void SetUp() override {
    setProgramDateSettings();
    state.ui = &ui;
    state.oSettings = std::make_unique<TIni>(dir.file("zandor.ini"));
  }
  std::string makeTable() {
    const std::string path = dir.file("KUNDEN.DBF");
    createTable(path, {{"NAME", 'C', 30, 0}, {"PLZ", 'C', 5, 0}, {"UMSATZ", 'N', 12, 2}});
    return path;
  }
  std::string makeCsv(const std::string& content) {
    const std::string path = dir.file("liste.csv");
    test::writeBytes(path, content);
    return path;
  }
  void remember(const char* section, const char* key, const std::string& file) {
    state.oSettings->Set(section, key, Value::text(file));
  }
};

TEST_F(StructureReadersTest, FieldTableFollowsTheTableStructure) {
  const std::string table = makeTable();
  remember("dBase", "dbf1", table);
  const FieldTable fields = STRUCSDBF(state, areas);
  EXPECT_EQ(state.cDbfFile, table);
  ASSERT_EQ(fields.size(), 3u);
  const Value e = Value::text("");
  EXPECT_EQ(fields[0],
            (FieldRow{Value::integer(1), Value::text("NAME"), Value::text("C"), Value::integer(30),
                      Value::integer(0), Value::integer(0), e, e, e}));
  EXPECT_EQ(fields[2],
            (FieldRow{Value::integer(3), Value::text("UMSATZ"), Value::text("N"),
                      Value::integer(12), Value::integer(2), Value::integer(0), e, e, e}));
  EXPECT_EQ(areas.areaOf("KUNDEN"), 0);  // closed again
  EXPECT_TRUE(ui.log.empty());
}

TEST_F(StructureReadersTest, WithoutARememberedTableTheUserIsAsked) {
  const std::string table = makeTable();
  ui.chosenFiles = {table, ""};
  EXPECT_EQ(STRUCSDBF(state, areas).size(), 3u);
  EXPECT_EQ(ui.log.at(0).title, utf8ToCp1252("Bitte die dBase-Datei auswählen"));
  EXPECT_EQ(ui.log.at(0).text, "*.dbf");
  EXPECT_TRUE(STRUCSDBF(state, areas).empty());  // cancelled: no message
  EXPECT_EQ(state.cDbfFile, "");
  EXPECT_TRUE(ui.informationTexts().empty());
}

TEST_F(StructureReadersTest, MissingTableGivesAnEmptyTableSilently) {
  remember("dBase", "dbf1", dir.file("FEHLT.DBF"));
  EXPECT_TRUE(STRUCSDBF(state, areas).empty());
  EXPECT_TRUE(ui.log.empty());
}

TEST_F(StructureReadersTest, TableHeldByAnotherProgramIsReported) {
  const std::string table = makeTable();
  remember("dBase", "dbf1", table);
  WorkAreas other;  // another program holding the table exclusively
  ASSERT_TRUE(other.DBUSEAREA(true, "", table, "other", false, false));
  EXPECT_TRUE(STRUCSDBF(state, areas).empty());
  EXPECT_EQ(ui.informationTexts(),
            std::vector<std::string>{"Die Datenbank kann nicht geöffnet werden! (Möglicherweise "
                                     "ist diese noch von einem anderen Programm in Verwendung)"});
  EXPECT_EQ(areas.current(), nullptr);
}

TEST_F(StructureReadersTest, ColumnTableEndsAtTheFirstEmptyHeading) {
  remember("Excel", "xls1", makeCsv("Name;Ort;;PLZ\r\n1;2;3;4\r\n"));
  const ColumnTable columns = STRUCSXLS(state);
  ASSERT_EQ(columns.size(), 3u);
  EXPECT_EQ(columns[0],
            (ColumnRow{Value::integer(0), Value::text("(ohne Zuordnung)"), Value::text("0")}));
  EXPECT_EQ(columns[1], (ColumnRow{Value::integer(1), Value::text("Name"), Value::text("A")}));
  EXPECT_EQ(columns[2], (ColumnRow{Value::integer(2), Value::text("Ort"), Value::text("B")}));
}

TEST_F(StructureReadersTest, HeadingsKeepBlanksAndTurnValuesIntoText) {
  remember("Excel", "xls1", makeCsv("  Name  ;2008;WAHR;1,5;0;Rest\r\n"));
  const ColumnTable columns = STRUCSXLS(state);
  ASSERT_EQ(columns.size(), 5u);
  EXPECT_EQ(columns[1][1], Value::text("  Name  "));
  EXPECT_EQ(columns[2][1], Value::text("2008.00"));
  EXPECT_EQ(columns[3][1], Value::text(".T."));
  EXPECT_EQ(columns[4][1], Value::text("1.50"));
}

TEST_F(StructureReadersTest, UnreadableSpreadsheetIsReported) {
  remember("Excel", "xls1", dir.file("fehlt.xlsx"));
  EXPECT_TRUE(STRUCSXLS(state).empty());
  EXPECT_EQ(ui.informationTexts(),
            std::vector<std::string>{"Die ausgewählte Datei ist nicht kompatibel mit Ihrer "
                                     "Excel-Version"});
  EXPECT_EQ(state.cXlsFile, dir.file("fehlt.xlsx"));
}

TEST_F(StructureReadersTest, MissingSpreadsheetApplicationIsReported) {
  remember("Excel", "xls1", makeCsv("Name\r\n"));
  sheet::unregisterServer(sheet::kExcelProgId);
  const ColumnTable columns = STRUCSXLS(state);
  sheet::registerServer(sheet::kExcelProgId, sheet::kExcelClassId, 0x4,
                        sheet::createExcelApplication);
  EXPECT_TRUE(columns.empty());
  EXPECT_EQ(ui.informationTexts(), std::vector<std::string>{"Excel kann nicht geladen werden"});
  EXPECT_EQ(STRUCSXLS(state).size(), 2u);  // registered again
}

}  // namespace
}  // namespace zandor

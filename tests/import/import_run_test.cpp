#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "base/encoding.h"
#include "base/text.h"
#include "import/import_fixture.h"
#include "import/import_run.h"
#include "sheet/excel_server.h"
#include "sheet/server_registry.h"

namespace zandor {
namespace {

using test::ImportFixture;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::StartsWith;

const std::vector<NewField> kKunden = {{"KUNDE", 'C', 10, 0},
                                       {"NAME1", 'C', 12, 0},
                                       {"UMSATZ", 'N', 6, 1},
                                       {"GEBDAT", 'D', 8, 0},
                                       {"AKTIV", 'L', 1, 0}};

class ImportRunTest : public ImportFixture {
 protected:
  void standardSheet() {
    makeSheet({"Kunde;Name;Umsatz;Geboren;Aktiv", "K1;Meyer;12,5;15.03.2012;WAHR",
               "K2;Schulze-Sch\xc3\xa4"
               "fer;1.234,56;01.01.1990;nein",
               "K3;Bauer;0;;1", ";;;;"});
    map("KUNDE", 1);
    map("NAME1", 2);
    map("UMSATZ", 3);
    map("GEBDAT", 4);
    map("AKTIV", 5);
  }
};

TEST_F(ImportRunTest, RowsWithoutIndexAreAppendedAndTheRunIsSummedUp) {
  makeTable("KUNDEN.DBF", kKunden);
  standardSheet();
  EXPECT_EQ(runImport(state, areas), ImportOutcome::Summary);
  EXPECT_THAT(records(), ElementsAre("1\t \tK1\tMeyer\t12.5\t20120315\tT",
                                     "2\t \tK2\tSchulze-Schä\t1234.6\t19900101\tF",
                                     "3\t \tK3\tBauer\t0.0\t\tT"));
  const auto lines = logLines();
  ASSERT_EQ(lines.size(), 9u);
  EXPECT_THAT(lines[0], StartsWith("Einlesevorgang vom: "));
  EXPECT_EQ(lines[1], "Datei: " + upperAZ(state.cDbfFile));
  EXPECT_EQ(lines[2], "Indextyp: DBFNTX");
  EXPECT_EQ(lines[3], "Zeile: 3 - Datenlängenfehler(15->12): Schulze-Schäfer");
  EXPECT_EQ(lines[4], "");
  EXPECT_EQ(lines[5], "Es wurden 1 Fehler protokolliert");
  EXPECT_EQ(lines[6], "");
  EXPECT_THAT(lines[7], StartsWith("Insgesamt wurden 3 Datensätze in "));
  EXPECT_EQ(lines[8], "Davon sind 3 neue Datensätze, 0 geupdatet, 0 unverändert");
  EXPECT_EQ(state.nErrors, 1);
  const auto texts = ui.informationTexts();
  ASSERT_EQ(texts.size(), 2u);
  EXPECT_EQ(texts[0], "Es wurden Fehler festgestellt. Das Protokoll wird gleich geöffnet");
  EXPECT_THAT(texts[1], StartsWith("Fertig! Insgesamt wurden 3 Datensätze in "));
  EXPECT_THAT(texts[1], HasSubstr(" Sekunden bearbeitet.\r\nDavon sind 3 neue Datensätze, 0 "
                                  "geupdatet, 0 unverändert\r\n\r\nBitte beachten Sie, dass eine "
                                  "Reorganisation jetzt notwendig ist!"));
  EXPECT_EQ(ui.log.back().kind, "showTextFile");
  EXPECT_EQ(ui.log.back().text, logFile().string());
  EXPECT_FALSE(state.lWaitShown);
  // The table is closed again: it can be opened exclusively.
  EXPECT_TRUE(areas.DBUSEAREA(true, "", state.cDbfFile, "check", false, false));
}

// The message is up before the workbook is read (that takes seconds for a large one), then
// counts the rows with how far they got among the sheet's used rows.
TEST_F(ImportRunTest, WaitMessageOpensBeforeTheWorkbookAndShowsEveryRow) {
  makeTable("KUNDEN.DBF", kKunden);
  standardSheet();
  runImport(state, areas);
  std::vector<std::string> shown;
  for (const auto& e : ui.log) {
    if (e.kind == "waitShow") shown.push_back("show");
    if (e.kind == "waitSay" || e.kind == "waitProgress") shown.push_back(e.text);
  }
  EXPECT_THAT(shown, ElementsAre("show",
                                 "Excel-Datei wird ge\xf6"
                                 "ffnet ...",
                                 "333", "Zeile: 2", "666", "Zeile: 3", "1000", "Zeile: 4"));
}

TEST_F(ImportRunTest, StopCellsThatCountAsEmptyEndTheData) {
  makeTable("KUNDEN.DBF", kKunden);
  makeSheet({"Kunde;Name", "K1;a", "0;b", "K3;c"});
  map("KUNDE", 1);
  map("NAME1", 2);
  EXPECT_EQ(runImport(state, areas), ImportOutcome::Summary);
  EXPECT_EQ(records().size(), 1u);
  state.nStopColumn = 2;
  makeSheet({"Kunde;Name", "K1;   ", "K2;b"});
  EXPECT_EQ(runImport(state, areas), ImportOutcome::Summary);
  EXPECT_EQ(records().size(), 1u);  // nothing added: the first stop cell is blank
}

TEST_F(ImportRunTest, WithoutHeadingsTheFirstRowIsData) {
  makeTable("KUNDEN.DBF", kKunden);
  makeSheet({"K1;a", "K2;b"});
  map("KUNDE", 1);
  map("NAME1", 2);
  state.lHeader = false;
  EXPECT_EQ(runImport(state, areas), ImportOutcome::Summary);
  EXPECT_EQ(records().size(), 2u);
}

TEST_F(ImportRunTest, EmptyCellsLeaveFieldsAloneAndRefusedValuesAreLogged) {
  makeTable("KUNDEN.DBF", kKunden);
  makeSheet({"K;U;G;A", "K1;99999;15.03.2012;15.03.2012", "K2;;;"});
  map("KUNDE", 1);
  map("UMSATZ", 2);
  map("AKTIV", 4);
  map("GEBDAT", 3);
  EXPECT_EQ(runImport(state, areas), ImportOutcome::Summary);
  // The refused number leaves asterisks; empty cells leave the new record blank.
  const std::string bytes = test::readBytes(state.cDbfFile);
  EXPECT_NE(bytes.find(" K1                    ******20120315F"), std::string::npos);
  EXPECT_NE(bytes.find(" K2" + std::string(35, ' ') + "\x1a"), std::string::npos);
  const auto lines = logLines();
  EXPECT_EQ(lines[3], "Fehler (1) in Excelfeld B2");
  EXPECT_EQ(lines[4], "Zeile: 2 - Umwandlung unmöglich 3: L D");
  EXPECT_EQ(lines[5], "Inhalt wird auf .f. gesetzt");
  EXPECT_EQ(lines[7], "Es wurden 2 Fehler protokolliert");
}

TEST_F(ImportRunTest, WithoutStopColumnTheOptionsDialogOpensAndNothingIsRead) {
  makeTable("KUNDEN.DBF", kKunden);
  standardSheet();
  state.nStopColumn = 0;
  ui.dialogScripts.push_back([](test::FakeDialog& options) { options.click(102); });
  EXPECT_EQ(runImport(state, areas), ImportOutcome::StopColumnMissing);
  EXPECT_EQ(ui.informationTexts().front(),
            "Bitte wählen Sie zunächst ein Feld aus, welches immer einen Wert enthält, da dieses "
            "als Abbruchkriterium für den Einlesevorgang benötigt wird!");
  EXPECT_EQ(ui.kinds()[1], "dialog");
  EXPECT_EQ(ui.log[1].text, "EINLESEOPTION");
  EXPECT_EQ(ui.log.size(), 2u);  // nothing read, no wait message
}

TEST_F(ImportRunTest, KeyFieldMustBeMappedForAddressesAndArticles) {
  makeTable("ADRESSEN.DBF", kKunden);
  standardSheet();
  map("KUNDE", 0);
  state.aFields[0][field_slot::kColNo] = Value::text("");
  EXPECT_EQ(runImport(state, areas), ImportOutcome::Ended);
  EXPECT_THAT(ui.informationTexts().back(), StartsWith("Der Kundennummer wurde kein Feld"));
  EXPECT_EQ(logLines().size(), 2u);

  makeTable("ARTIKEL.DBF", {{"NUMMER", 'C', 15, 0}, {"LIEF_A_NR", 'C', 20, 0}});
  state.vorein(vorein::kArtCriterion) = Value::integer(2);
  EXPECT_EQ(runImport(state, areas), ImportOutcome::Ended);
  EXPECT_THAT(ui.informationTexts().back(),
              StartsWith("Der Lieferanten-Artikelnummer wurde kein Feld zugeordnet. Außerdem"));
  state.vorein(vorein::kArtCriterion) = Value::integer(1);
  EXPECT_EQ(runImport(state, areas), ImportOutcome::Ended);
  EXPECT_THAT(ui.informationTexts().back(), StartsWith("Der Artikelnummer wurde kein Feld"));
}

TEST_F(ImportRunTest, AddressTableWithoutKundeFieldIsRefused) {
  makeTable("ADRESSEN.DBF", {{"NAME1", 'C', 10, 0}});
  makeSheet({"Name", "a"});
  map("NAME1", 1);
  EXPECT_EQ(runImport(state, areas), ImportOutcome::Ended);
  EXPECT_THAT(ui.informationTexts().back(), StartsWith("Der Kundennummer wurde kein Feld"));
}

TEST_F(ImportRunTest, MissingOrHeldTableEndsWithTheOpenMessage) {
  makeTable("KUNDEN.DBF", kKunden);
  standardSheet();
  WorkAreas other;
  ASSERT_TRUE(other.DBUSEAREA(true, "", state.cDbfFile, "held", false, false));
  EXPECT_EQ(runImport(state, areas), ImportOutcome::Ended);
  EXPECT_EQ(ui.informationTexts().back(),
            "Kritischer Fehler: Datenbank kann nicht geöffnet werden\r\nBearbeitung des "
            "Einlesevorgangs wird abgebrochen!");
  EXPECT_EQ(logLines().size(), 2u);
  other.closeAll();
  state.cDbfFile = data.file("FEHLT.DBF");
  EXPECT_EQ(runImport(state, areas), ImportOutcome::Ended);
}

TEST_F(ImportRunTest, UpdateWithoutIndexAsksFirst) {
  makeTable("KUNDEN.DBF", kKunden);
  standardSheet();
  state.vorein(vorein::kUpdate) = Value::logical(true);
  ui.answers = {false, true};
  EXPECT_EQ(runImport(state, areas), ImportOutcome::Ended);
  EXPECT_EQ(ui.log.back().kind, "question");
  EXPECT_EQ(ui.log.back().title, "Widerspruch!");
  EXPECT_EQ(cp1252ToUtf8(ui.log.back().text),
            "Sie haben Daten aktualisieren ausgewählt, jedoch ist kein Index vorhanden.\r\nDaten "
            "können deswegen nicht aktualisiert werden und werden stattdessen angehängt!\r\n"
            "Trotzdem fortfahren?");
  EXPECT_EQ(logLines().size(), 3u);
  EXPECT_TRUE(records().empty());
  // Answered Yes, the next run appends at once: the table was not left open.
  EXPECT_EQ(runImport(state, areas), ImportOutcome::Summary);
  EXPECT_EQ(records().size(), 3u);
}

TEST_F(ImportRunTest, UnreadableSpreadsheetAndMissingApplicationEndTheRun) {
  makeTable("KUNDEN.DBF", kKunden);
  standardSheet();
  test::writeBytes(state.cXlsFile, std::string("PK\x03\x04 kaputt", 12));
  EXPECT_EQ(runImport(state, areas), ImportOutcome::Ended);
  EXPECT_EQ(ui.informationTexts().back(),
            "Die ausgewählte Datei ist nicht kompatibel mit Ihrer Excel-Version\r\nBearbeitung "
            "des Einlesevorgangs wird abgebrochen!");
  EXPECT_EQ(areas.areaOf("cAlias"), 0);

  sheet::unregisterServer(sheet::kExcelProgId);
  const ImportOutcome outcome = runImport(state, areas);
  sheet::registerServer(sheet::kExcelProgId, sheet::kExcelClassId, 0x4,
                        sheet::createExcelApplication);
  EXPECT_EQ(outcome, ImportOutcome::Ended);
  EXPECT_EQ(ui.informationTexts().back(),
            "Kritischer Fehler: Excel kann nicht geladen werden\r\nBearbeitung des "
            "Einlesevorgangs wird abgebrochen!");
  EXPECT_EQ(areas.areaOf("cAlias"), 0);
  EXPECT_TRUE(records().empty());
}

TEST_F(ImportRunTest, GeneratedNumbersNeedAnIndex) {
  makeTable("ADRESSEN.DBF", kKunden);
  standardSheet();
  state.lAutoAdrNr = true;
  EXPECT_EQ(runImport(state, areas), ImportOutcome::Ended);
  EXPECT_THAT(ui.informationTexts().back(),
              StartsWith("Für die automatische Nummernvergabe wird ein Index benötigt"));
  EXPECT_TRUE(records().empty());
  EXPECT_EQ(areas.areaOf("cAlias"), 0);
}

TEST(ElapsedTextTest, TwoDecimalsWithoutBlanks) {
  EXPECT_EQ(elapsedText(1.25), "1.25");
  EXPECT_EQ(elapsedText(0), "0.00");
  EXPECT_EQ(elapsedText(0.004), "0.00");
  EXPECT_EQ(elapsedText(0.005), "0.01");
  EXPECT_EQ(elapsedText(123456.789), "123456.79");
  EXPECT_EQ(elapsedText(-1), "0.00");
}

// A settings file that is there but cannot be read leaves the preferences unknown: updating,
// for one, would read as off and every row to change would pass as unchanged.
TEST_F(ImportRunTest, UnreadableSettingsImportNothing) {
  makeTable("KUNDEN.DBF", kKunden);
  standardSheet();
  const std::string table = test::readBytes(state.cDbfFile);
  state.cSettingsProblem = "Sie kann nicht gelesen werden";
  EXPECT_EQ(runImport(state, areas), ImportOutcome::Ended);
  EXPECT_EQ(test::readBytes(state.cDbfFile), table);
  const std::string message = ui.informationTexts().back();
  EXPECT_THAT(message, HasSubstr("Die Einstellungsdatei"));
  EXPECT_THAT(message, HasSubstr("Sie kann nicht gelesen werden"));
  EXPECT_THAT(message, HasSubstr("wird nichts eingelesen"));
}

// The log is part of the result: a run whose log could not be made, or not written whole,
// says so instead of "Fertig!", names the problems the log would have held, and opens no log.
TEST_F(ImportRunTest, ALogThatCannotBeMadeIsNoSuccess) {
  makeTable("KUNDEN.DBF", kKunden);
  standardSheet();
  std::filesystem::remove_all(home.path() / "log");
  test::writeBytes(home.path() / "log", "kein Verzeichnis");
  EXPECT_EQ(runImport(state, areas), ImportOutcome::LogLost);
  EXPECT_EQ(records().size(), 3u);  // the rows themselves went in
  const std::string summary = ui.informationTexts().back();
  EXPECT_THAT(summary, HasSubstr("Das Protokoll konnte nicht geschrieben werden"));
  EXPECT_THAT(summary, HasSubstr("1 Fehler festgestellt, die in keinem Protokoll stehen"));
  EXPECT_THAT(summary, HasSubstr("Zeile: 3 - Datenlängenfehler(15->12): Schulze-Schäfer"));
  EXPECT_THAT(summary, HasSubstr("Eingelesen wurden insgesamt 3 Datensätze"));
  for (const std::string& text : ui.informationTexts()) {
    EXPECT_THAT(text, ::testing::Not(HasSubstr("Fertig!")));
  }
  EXPECT_THAT(ui.kinds(), ::testing::Not(::testing::Contains("showTextFile")));
}

// A log that fills up part-way keeps the whole entries before it; the ones after are named
// in the summary.
TEST_F(ImportRunTest, ALogThatFillsUpIsNoSuccessAndEndsWithWholeEntries) {
#ifdef _WIN32
  GTEST_SKIP() << "no file size limit on Windows to make the log fill up";
#else
  makeTable("KUNDEN.DBF", {{"KUNDE", 'C', 10, 0}, {"NAME1", 'C', 12, 0}});
  std::vector<std::string> lines = {"Kunde;Name"};
  for (int row = 1; row <= 12; ++row) {
    lines.push_back("K" + std::to_string(row) + ";Ein Name, der zu lang ist " +
                    std::to_string(row));
  }
  makeSheet(lines);
  map("KUNDE", 1);
  map("NAME1", 2);
  ImportOutcome outcome;
  {
    // The table stays below the limit (97 + 12 x 23 bytes); the log of twelve problems passes it.
    test::FileSizeLimit limit(600);
    outcome = runImport(state, areas);
  }
  EXPECT_EQ(outcome, ImportOutcome::LogLost);
  EXPECT_EQ(records().size(), 12u);
  const std::string summary = ui.informationTexts().back();
  EXPECT_THAT(summary,
              HasSubstr("Das Protokoll konnte nicht geschrieben werden (Die Datei würde größer"));
  EXPECT_THAT(summary, HasSubstr("12 Fehler festgestellt, die in keinem Protokoll stehen"));
  EXPECT_THAT(summary, HasSubstr("Zeile: 13 - Datenlängenfehler"));
  const std::vector<std::string> written = logLines();
  ASSERT_GE(written.size(), 4u);
  EXPECT_THAT(written.back(), StartsWith("Zeile: "));
  EXPECT_THAT(written.back(), ::testing::EndsWith("Ein Name, der zu lang ist " +
                                                  std::to_string(written.size() - 3)));
#endif
}

}  // namespace
}  // namespace zandor

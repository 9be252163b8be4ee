#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "import/import_fixture.h"
#include "mapping/mapping_profile.h"

namespace zandor {
namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;

// zandor-cli import, run as a separate program on files made here.
class ImportCommandTest : public test::ImportFixture {
 protected:
  std::string profile = data.file("kunden.qno");
  std::string settings = home.file("zandor.ini");
  std::string out;

  void SetUp() override {
    ImportFixture::SetUp();
    makeTable("KUNDEN.DBF", {{"KUNDE", 'C', 10, 0}, {"NAME1", 'C', 20, 0}});
    makeSheet({"Kunde;Name", "K1;Meyer", "K2;Schulze"});
    map("KUNDE", 1);
    map("NAME1", 2);
    state.vorein(vorein::kHeader) = Value::logical(true);
    const auto bytes = encodeProfileFile(state);
    ASSERT_TRUE(bytes.has_value());
    test::writeBytes(profile, *bytes);
  }
  int run(const std::string& options) {
    return test::runCommand("'" + test::cliPath() + "' import '" + profile + "' --settings '" +
                                settings + "' " + options + " 2>&1",
                            &out);
  }
};

TEST_F(ImportCommandTest, ImportsTheProfileAndPrintsTheSummary) {
  ASSERT_EQ(run(""), 0) << out;
  EXPECT_THAT(out, StartsWith("Fertig! Insgesamt wurden 2 Datensätze in "));
  EXPECT_THAT(out, HasSubstr("Davon sind 2 neue Datensätze, 0 geupdatet, 0 unverändert"));
  EXPECT_EQ(records().size(), 2u);
  EXPECT_EQ(logLines().back(), "Davon sind 2 neue Datensätze, 0 geupdatet, 0 unverändert");
}

TEST_F(ImportCommandTest, OptionsOverrideTheProfile) {
  makeSheet({"K9;Neu"});
  const std::string other = data.file("andere.csv");
  test::writeBytes(other, "K7;Sieben\r\nK8;Acht\r\n");
  ASSERT_EQ(run("--xls '" + other + "' --no-header"), 0) << out;
  EXPECT_EQ(records().size(), 2u);
  EXPECT_THAT(records().front(), HasSubstr("K7\tSieben"));
}

TEST_F(ImportCommandTest, QuestionIsAnsweredNoUnlessAskedOtherwise) {
  test::writeBytes(settings, "[Updaten]\r\nNummer=.T.\r\n");
  EXPECT_EQ(run(""), 1) << out;
  EXPECT_THAT(out, HasSubstr("Trotzdem fortfahren? -> Nein"));
  EXPECT_TRUE(records().empty());
  EXPECT_EQ(run("--yes"), 0) << out;
  EXPECT_EQ(records().size(), 2u);
}

TEST_F(ImportCommandTest, DamagedProfileOrMissingTableFails) {
  test::writeBytes(profile, "kein Profil");
  EXPECT_EQ(run(""), 1);
  EXPECT_THAT(out, HasSubstr("kein Zuordnungsprofil"));
  SetUp();
  EXPECT_EQ(run("--dbf '" + data.file("FEHLT.DBF") + "'"), 1);
  EXPECT_THAT(out, HasSubstr("Kritischer Fehler: Datenbank kann nicht geöffnet werden"));
  EXPECT_EQ(run("--frage"), 2);
}

// A sheet the reader refuses: the message the window shows, and below it the reader's cause.
TEST_F(ImportCommandTest, ARefusedSheetShowsTheReadersCause) {
  const std::string damaged = data.file("kaputt.xlsx");
  test::writeBytes(damaged, "PK\x03\x04 kein zip");
  std::string dump;
  ASSERT_NE(test::runCommand("'" + test::cliPath() + "' sheet dump '" + damaged + "' 2>&1", &dump),
            0);
  ASSERT_THAT(dump, StartsWith("Fehler: "));
  const std::string cause = dump.substr(8, dump.find('\n') - 8);
  ASSERT_FALSE(cause.empty());
  EXPECT_EQ(run("--xls '" + damaged + "'"), 1);
  EXPECT_THAT(out, HasSubstr("nicht kompatibel mit Ihrer Excel-Version"));
  EXPECT_THAT(out, HasSubstr("abgebrochen!\n  " + cause + "\n"));
}

}  // namespace
}  // namespace zandor

namespace zandor {
namespace {

// UTF-8 both ways: a plain string would be taken in the ANSI code page on Windows.
std::string utf8Of(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

TEST(ImportCommandPathsTest, FileNamesWithUmlautsWorkThroughTheWholeChain) {
  test::TempDir dir;
  const std::filesystem::path folder = dir.path() / u8"Müller Bäckerei";
  std::filesystem::create_directory(folder);
  const std::string table = utf8Of(folder / "ADRESSEN.DBF");
  const std::string sheet = utf8Of(folder / u8"Liste für Ämter.csv");
  const std::string profile = utf8Of(folder / u8"Übernahme.qno");
  const std::string settings = utf8Of(folder / "zandor.ini");
  test::writeBytes(folder / u8"Liste für Ämter.csv", "KUNDE;NAME1\r\nK1;Meyer\r\nK2;Schulze\r\n");
  test::writeBytes(folder / "zandor.ini", "[Updaten]\r\nNummer=.T.\r\n");
  const std::string cli = "'" + test::cliPath() + "' ";
  std::string out;
  ASSERT_EQ(test::runCommand(cli + "dbf create '" + table + "' KUNDE:C:10 NAME1:C:20 2>&1", &out),
            0)
      << out;
  ASSERT_EQ(test::runCommand(cli + "dbf index '" + table + "' '" + utf8Of(folder / "adkun.cdx") +
                                 "' --tag ADKUN --key KUNDE 2>&1",
                             &out),
            0)
      << out;
  ASSERT_EQ(test::runCommand(cli + "profile make '" + profile + "' --dbf '" + table + "' --xls '" +
                                 sheet + "' --stop 1 2>&1",
                             &out),
            0)
      << out;
  for (int run = 0; run < 2; ++run) {
    ASSERT_EQ(
        test::runCommand(cli + "import '" + profile + "' --settings '" + settings + "' 2>&1", &out),
        0)
        << out;
  }
  EXPECT_NE(out.find("Davon sind 0 neue Datensätze, 2 geupdatet, 0 unverändert"), std::string::npos)
      << out;
  ASSERT_EQ(test::runCommand(cli + "dbf dump '" + table + "'", &out), 0);
  EXPECT_EQ(out, "1\t \tK1\tMeyer\n2\t \tK2\tSchulze\n");
  EXPECT_EQ(
      test::runCommand(
          cli + "dbf check '" + table + "' '" + utf8Of(folder / "adkun.cdx") + "' 2>&1", &out),
      0)
      << out;
  EXPECT_TRUE(std::filesystem::is_directory(folder / "log"));
}

}  // namespace
}  // namespace zandor

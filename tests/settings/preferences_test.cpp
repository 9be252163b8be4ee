#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <filesystem>

#include "base/paths.h"
#include "settings/doc_list.h"
#include "settings/preferences.h"
#include "state/app_state.h"
#include "support/test_support.h"

namespace zandor {
namespace {

using test::readBytes;
using test::TempDir;
using test::writeBytes;

const char* const kFirstRunFile =
    "[Pfade]\r\nExcel-Pfad=\r\ndBase-Pfad=\r\n[Header]\r\nExcel=.F.\r\n"
    "[Artikel]\r\nVorlauf=\r\nNummer=1\r\n[Adressen]\r\nVorlauf=\r\nNummer=1\r\n"
    "[Updaten]\r\nNummer=.F.\r\nArtikelart=1\r\n";

class PreferencesTest : public ::testing::Test {
 protected:
  TempDir dir;
  AppState state;
  std::string iniFile = dir.file("zandor.ini");

  void SetUp() override { state.cExePath = dir.path().string() + kPathSeparator; }
};

TEST_F(PreferencesTest, FirstStartCreatesAnEmptyFileAndGivesDefaults) {
  INI_INIT(state);
  EXPECT_EQ(readBytes(iniFile), "");
  ASSERT_NE(state.oSettings, nullptr);
  EXPECT_EQ(state.oSettings->cIniFile, iniFile);
  for (int slot : {1, 2, 4, 6}) EXPECT_EQ(state.vorein(slot), Value::text("")) << slot;
  for (int slot : {3, 8}) EXPECT_EQ(state.vorein(slot), Value::logical(false)) << slot;
  for (int slot : {5, 7, 9}) EXPECT_EQ(state.vorein(slot), Value::integer(1)) << slot;
  EXPECT_EQ(state.cXlsFile, "");
  EXPECT_EQ(state.cDbfFile, "");
}

TEST_F(PreferencesTest, CloseAfterFirstStartWritesTheDocumentedFile) {
  INI_INIT(state);
  EXPECT_TRUE(VOREINSPEICHERN(state));
  EXPECT_EQ(readBytes(iniFile), kFirstRunFile);
  // A second start reads the same values and writes the same bytes.
  AppState again;
  again.cExePath = state.cExePath;
  INI_INIT(again);
  VOREINSPEICHERN(again);
  EXPECT_EQ(readBytes(iniFile), kFirstRunFile);
}

TEST_F(PreferencesTest, StoredValuesAreConverted) {
  writeBytes(iniFile,
             "[Pfade]\r\nExcel-Pfad=C:\\xls\r\ndBase-Pfad=   \r\n"
             "[Header]\r\nExcel=.F. oder so\r\n"
             "[Artikel]\r\nVorlauf=AR\r\nNummer=12abc\r\n"
             "[Adressen]\r\nNummer=0\r\n"
             "[Updaten]\r\nNummer=ja\r\nArtikelart=zwei\r\n"
             "[Excel]\r\nxls1=C:\\a.xls\r\n[dBase]\r\ndbf1=C:\\ADRESSEN.DBF\r\n");
  INI_INIT(state);
  EXPECT_EQ(state.vorein(1), Value::text("C:\\xls"));
  EXPECT_EQ(state.vorein(2), Value::text(""));
  EXPECT_EQ(state.vorein(3), Value::logical(false));
  EXPECT_EQ(state.vorein(4), Value::text("AR"));
  EXPECT_EQ(state.vorein(5), Value::integer(12));
  EXPECT_EQ(state.vorein(6), Value::text(""));
  EXPECT_EQ(state.vorein(7), Value::integer(0));  // 0 stays 0, not the default 1
  EXPECT_EQ(state.vorein(8), Value::logical(true));
  EXPECT_EQ(state.vorein(9), Value::integer(0));
  EXPECT_EQ(state.cXlsFile, "C:\\a.xls");
  EXPECT_EQ(state.cDbfFile, "C:\\ADRESSEN.DBF");
}

TEST_F(PreferencesTest, OnlyUpperCaseFalseAtTheStartReadsFalse) {
  EXPECT_EQ(iniLogical(".F."), Value::logical(false));
  EXPECT_EQ(iniLogical(".F.xyz"), Value::logical(false));
  EXPECT_EQ(iniLogical(""), Value::logical(false));
  EXPECT_EQ(iniLogical("  "), Value::logical(false));
  for (const char* text : {".T.", ".f.", "0", "nein", "ja", "F"}) {
    EXPECT_EQ(iniLogical(text), Value::logical(true)) << text;
  }
  EXPECT_EQ(iniNumber(""), Value::integer(1));
  EXPECT_EQ(iniNumber("abc"), Value::integer(0));
  EXPECT_EQ(iniNumber("1.5"), Value::real(1.5));
}

TEST_F(PreferencesTest, SavedPreferencesSurviveARestart) {
  INI_INIT(state);
  state.vorein(vorein::kDbfDirectory) = Value::text("/daten/dbf");
  state.vorein(vorein::kArtCounter) = Value::integer(4711);
  state.vorein(vorein::kUpdate) = Value::logical(true);
  state.vorein(vorein::kArtCriterion) = Value::integer(2);
  VOREINSPEICHERN(state);
  AppState again;
  again.cExePath = state.cExePath;
  INI_INIT(again);
  EXPECT_EQ(again.vorein(vorein::kDbfDirectory), Value::text("/daten/dbf"));
  EXPECT_EQ(again.vorein(vorein::kArtCounter), Value::integer(4711));
  EXPECT_EQ(again.vorein(vorein::kUpdate), Value::logical(true));
  EXPECT_EQ(again.vorein(vorein::kArtCriterion), Value::integer(2));
}

// Only a missing settings file gives the defaults for a reason; one that is there but cannot
// be read is said to be so (and nothing is written over it).
TEST_F(PreferencesTest, SettingsFileThatIsThereButUnreadableIsNamedAsSuch) {
  INI_INIT(state);
  EXPECT_EQ(state.cSettingsProblem, "");

  std::filesystem::remove(iniFile);
  std::filesystem::create_directory(iniFile);
  INI_INIT(state);
  EXPECT_EQ(state.vorein(5), Value::integer(1));
  EXPECT_EQ(state.cSettingsProblem, "Sie ist ein Verzeichnis");
  EXPECT_TRUE(VOREINSPEICHERN(state));
  EXPECT_TRUE(std::filesystem::is_directory(iniFile));
  EXPECT_NE(unreadableSettingsMessage(state).find(iniFile), std::string::npos);

#ifndef _WIN32
  // A pipe in its place: read, it would wait for a writer that never comes.
  std::filesystem::remove(iniFile);
  ASSERT_EQ(mkfifo(iniFile.c_str(), 0600), 0);
  AppState fromPipe;
  fromPipe.cExePath = state.cExePath;
  INI_INIT(fromPipe);
  EXPECT_EQ(fromPipe.cSettingsProblem, "Sie ist keine gew\xf6hnliche Datei");
  EXPECT_TRUE(VOREINSPEICHERN(fromPipe));
  EXPECT_TRUE(std::filesystem::is_fifo(iniFile));
#endif
}

class DocListTest : public PreferencesTest {
 protected:
  TIni ini{iniFile};
  std::string key(int i) { return ini.Get("Excel", "xls" + std::to_string(i)); }
};

TEST_F(DocListTest, LoadingClosesGapsAndSavesAtOnce) {
  writeBytes(iniFile, "[Excel]\r\nxls1=a\r\nxls2=\r\nxls3=b\r\n");
  TDocList list = TDocList::New(ini, "Excel", "xls");
  EXPECT_EQ(list.aDocList, (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(key(1), "a");
  EXPECT_EQ(key(2), "b");
  for (int i = 3; i <= 20; ++i) EXPECT_EQ(key(i), "") << i;
  EXPECT_NE(readBytes(iniFile).find("xls20=\r\n"), std::string::npos);
  EXPECT_EQ(readBytes(iniFile).find("xls21"), std::string::npos);
}

TEST_F(DocListTest, DocInsMovesAnExistingNameToTheTop) {
  writeBytes(iniFile, "[Excel]\r\nxls1=a\r\nxls2=b\r\nxls3=c\r\n");
  TDocList list = TDocList::New(ini, "Excel", "xls");
  list.DocIns("c");
  EXPECT_EQ(list.aDocList, (std::vector<std::string>{"c", "a", "b"}));
  EXPECT_EQ(key(1), "c");
  EXPECT_EQ(key(3), "b");
  EXPECT_EQ(key(4), "");
}

TEST_F(DocListTest, MatchingIsByPrefix) {
  writeBytes(iniFile, "[Excel]\r\nxls1=C:\\liste.xlsx\r\nxls2=b\r\n");
  TDocList list = TDocList::New(ini, "Excel", "xls");
  list.DocIns("C:\\liste.xls");
  EXPECT_EQ(list.aDocList, (std::vector<std::string>{"C:\\liste.xls", "b"}));
  list.DocIns("B");  // case matters
  EXPECT_EQ(list.aDocList, (std::vector<std::string>{"B", "C:\\liste.xls", "b"}));
  list.DocRemove("C:\\liste");
  EXPECT_EQ(list.aDocList, (std::vector<std::string>{"B", "b"}));
  EXPECT_EQ(key(2), "C:\\liste.xls");  // DocRemove does not save
}

TEST_F(DocListTest, EmptyNameReplacesTheMostRecentEntryAndIsDroppedNextTime) {
  writeBytes(iniFile, "[Excel]\r\nxls1=a\r\nxls2=b\r\n");
  TDocList list = TDocList::New(ini, "Excel", "xls");
  list.DocIns("");
  EXPECT_EQ(list.aDocList, (std::vector<std::string>{"", "b"}));
  TDocList again = TDocList::New(ini, "Excel", "xls");
  EXPECT_EQ(again.aDocList, (std::vector<std::string>{"b"}));
}

TEST_F(DocListTest, AFullListStaysAtItsSize) {
  std::string content = "[Excel]\r\n";
  for (int i = 1; i <= 20; ++i)
    content += "xls" + std::to_string(i) + "=f" + std::to_string(i) + "\r\n";
  writeBytes(iniFile, content);
  TDocList list = TDocList::New(ini, "Excel", "xls");
  list.DocIns("neu");
  EXPECT_EQ(list.aDocList.size(), 20u);
  EXPECT_EQ(list.aDocList.front(), "neu");
  EXPECT_EQ(list.aDocList.back(), "f19");
  EXPECT_EQ(readBytes(iniFile).find("xls21"), std::string::npos);
}

TEST_F(DocListTest, CreateClearsTheKeysBeforeLoading) {
  writeBytes(iniFile, "[dBase]\r\ndbf1=x\r\n");
  TDocList list = TDocList::New(ini, "dBase", "dbf", 3, true);
  EXPECT_TRUE(list.aDocList.empty());
  EXPECT_EQ(readBytes(iniFile), "[dBase]\r\ndbf1=\r\ndbf2=\r\ndbf3=\r\n");
}

}  // namespace
}  // namespace zandor

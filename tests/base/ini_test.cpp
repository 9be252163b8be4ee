#include <gtest/gtest.h>

#include <filesystem>

#include "base/ini.h"
#include "support/test_support.h"

namespace zandor {
namespace {

using test::readBytes;
using test::TempDir;
using test::writeBytes;

class IniTest : public ::testing::Test {
 protected:
  TempDir dir;
  std::string file = dir.file("zandor.ini");
  TIni ini{file};
};

TEST_F(IniTest, MissingFileSectionOrKeyReadsEmpty) {
  EXPECT_EQ(ini.Get("Pfade", "Excel-Pfad"), "");
  writeBytes(file, "[Pfade]\r\nExcel-Pfad=C:\\Daten\r\n");
  EXPECT_EQ(ini.Get("Pfade", "dBase-Pfad"), "");
  EXPECT_EQ(ini.Get("Header", "Excel-Pfad"), "");
  EXPECT_EQ(ini.Get("Pfade", "Excel-Pfad"), "C:\\Daten");
}

TEST_F(IniTest, NamesMatchWithoutCaseAndValuesLoseSurroundingBlanks) {
  writeBytes(file, "  [ pfade ]  \r\n  EXCEL-PFAD  =  a = b  \r\n");
  EXPECT_EQ(ini.Get("Pfade", "Excel-Pfad"), "a = b");
}

TEST_F(IniTest, OddLinesAreIgnoredAndTheFirstDuplicateCounts) {
  writeBytes(file,
             "Nummer=99\n"  // outside any section
             "[Artikel]\n"
             "just some words\n"
             "; Nummer=77\n"
             "Nummer=5\n"
             "Nummer=6\n"
             "[Artikel]\n"
             "Vorlauf=X\n");
  EXPECT_EQ(ini.Get("Artikel", "Nummer"), "5");
  EXPECT_EQ(ini.Get("Artikel", "Vorlauf"), "");  // only the first section of a name counts
}

TEST_F(IniTest, ByteOrderMarkAndLfLineEndsAreRead) {
  writeBytes(file, "\xEF\xBB\xBF[Header]\nExcel=.T.\n[Pfade]\nExcel-Pfad=x");
  EXPECT_EQ(ini.Get("Header", "Excel"), ".T.");
  EXPECT_EQ(ini.Get("Pfade", "Excel-Pfad"), "x");
}

TEST_F(IniTest, LongValuesAreCutAt4094Characters) {
  writeBytes(file, "[Pfade]\r\nExcel-Pfad=" + std::string(10000, 'x') + "\r\n");
  EXPECT_EQ(ini.Get("Pfade", "Excel-Pfad"), std::string(4094, 'x'));
}

TEST_F(IniTest, SetCreatesTheFileAndAppendsSectionsWithCrLf) {
  EXPECT_TRUE(ini.Set("Pfade", "Excel-Pfad", Value::text("")));
  EXPECT_TRUE(ini.Set("Header", "Excel", Value::logical(false)));
  EXPECT_TRUE(ini.Set("Pfade", "dBase-Pfad", Value::text("D:\\dbf")));
  EXPECT_TRUE(ini.Set("Artikel", "Nummer", Value::integer(1)));
  EXPECT_EQ(readBytes(file),
            "[Pfade]\r\nExcel-Pfad=\r\ndBase-Pfad=D:\\dbf\r\n[Header]\r\nExcel=.F.\r\n"
            "[Artikel]\r\nNummer=1\r\n");
}

TEST_F(IniTest, ValuesAreStoredByKind) {
  ini.Set("S", "text", Value::text(" a b "));
  ini.Set("S", "int", Value::integer(12));
  ini.Set("S", "real", Value::real(12.5));
  ini.Set("S", "true", Value::logical(true));
  ini.Set("S", "unset", Value());
  EXPECT_EQ(readBytes(file), "[S]\r\ntext= a b \r\nint=12\r\nreal=12.5\r\ntrue=.T.\r\nunset=\r\n");
  EXPECT_EQ(ini.Get("S", "text"), "a b");
}

TEST_F(IniTest, SettingOneKeyKeepsEveryOtherLineAsItWas) {
  const std::string before =
      "; written by hand\n"
      "[Pfade]\n"
      "Excel-Pfad = C:\\alt\n"
      "\n"
      "[Updaten]\r\n"
      "Nummer=.F.\r\n"
      "\r\n"
      "[Fremd]\r\n"
      "x=1";
  writeBytes(file, before);
  ini.Set("pfade", "EXCEL-PFAD", Value::text("C:\\neu"));
  ini.Set("Updaten", "Artikelart", Value::integer(2));
  ini.Set("Fremd", "y", Value::integer(3));
  EXPECT_EQ(readBytes(file),
            "; written by hand\n"
            "[Pfade]\n"
            "Excel-Pfad=C:\\neu\n"
            "\n"
            "[Updaten]\r\n"
            "Nummer=.F.\r\n"
            "Artikelart=2\r\n"
            "\r\n"
            "[Fremd]\r\n"
            "x=1\r\n"
            "y=3\r\n");
}

TEST_F(IniTest, ByteOrderMarkSurvivesAWrite) {
  writeBytes(file, "\xEF\xBB\xBF[Header]\r\nExcel=.T.\r\n");
  ini.Set("Header", "Excel", Value::logical(false));
  EXPECT_EQ(readBytes(file), "\xEF\xBB\xBF[Header]\r\nExcel=.F.\r\n");
}

TEST_F(IniTest, LineBreaksInsideAValueCannotAddLines) {
  ini.Set("Pfade", "Excel-Pfad", Value::text("a\r\n[Header]\r\nExcel=.T."));
  EXPECT_EQ(ini.Get("Header", "Excel"), "");
  EXPECT_EQ(ini.Get("Pfade", "Excel-Pfad"), "a  [Header]  Excel=.T.");
}

TEST_F(IniTest, ADirectoryInPlaceOfTheFileGivesEmptyReadsAndFailedWrites) {
  std::filesystem::create_directory(file);
  EXPECT_EQ(ini.Get("Pfade", "Excel-Pfad"), "");
  EXPECT_FALSE(ini.Set("Pfade", "Excel-Pfad", Value::text("x")));
  EXPECT_TRUE(std::filesystem::is_directory(file));
}

TEST_F(IniTest, UnreadableFileIsLeftAlone) {
#ifdef _WIN32
  GTEST_SKIP() << "rights taken away by chmod mean nothing on Windows";
#else
  writeBytes(file, "[Pfade]\r\nExcel-Pfad=x\r\n");
  std::filesystem::permissions(file, std::filesystem::perms::none);
  std::filesystem::permissions(dir.path(), std::filesystem::perms::all);
  EXPECT_TRUE(test::passesWithoutRoot([&] {
    return ini.Get("Pfade", "Excel-Pfad").empty() &&
           !ini.Set("Pfade", "Excel-Pfad", Value::text("y"));
  }));
  std::filesystem::permissions(file, std::filesystem::perms::owner_read);
  EXPECT_EQ(readBytes(file), "[Pfade]\r\nExcel-Pfad=x\r\n");
#endif
}

TEST_F(IniTest, WritableFileInReadOnlyDirectoryIsStillWritten) {
  writeBytes(file, "[Pfade]\r\nExcel-Pfad=x\r\n");
  std::filesystem::permissions(dir.path(), std::filesystem::perms::all);
  std::filesystem::permissions(dir.path(),
                               std::filesystem::perms::owner_write |
                                   std::filesystem::perms::group_write |
                                   std::filesystem::perms::others_write,
                               std::filesystem::perm_options::remove);
  std::filesystem::permissions(file, std::filesystem::perms::all);
  EXPECT_TRUE(test::passesWithoutRoot([&] {
    return ini.Set("Pfade", "Excel-Pfad", Value::text("y")) &&
           ini.Get("Pfade", "Excel-Pfad") == "y" && !std::filesystem::exists(file + ".tmp");
  }));
  EXPECT_EQ(readBytes(file), "[Pfade]\r\nExcel-Pfad=y\r\n");
}

// The file is replaced by a new one when a value is stored; the new one keeps the old one's
// identity, as an index file does when it is rebuilt.
TEST_F(IniTest, AStoredValueKeepsTheLinkAndTheModeOfTheFile) {
#ifdef _WIN32
  GTEST_SKIP() << "links need a right Windows users lack, and modes are only the read-only mark";
#else
  std::filesystem::create_directory(dir.path() / "echt");
  const std::string real = dir.file("echt/zandor.ini");
  writeBytes(real, "[Pfade]\r\nExcel-Pfad=x\r\n");
  std::filesystem::permissions(real, std::filesystem::perms(0640));
  std::filesystem::create_symlink("echt/zandor.ini", file);
  EXPECT_TRUE(ini.Set("Pfade", "Excel-Pfad", Value::text("y")));
  EXPECT_TRUE(std::filesystem::is_symlink(file));
  EXPECT_EQ(readBytes(real), "[Pfade]\r\nExcel-Pfad=y\r\n");
  EXPECT_EQ(std::filesystem::status(real).permissions(), std::filesystem::perms(0640));
#endif
}

TEST_F(IniTest, AFileTheUserMayNotWriteIsNotReplaced) {
  writeBytes(file, "[Pfade]\r\nExcel-Pfad=x\r\n");
  std::filesystem::permissions(dir.path(), std::filesystem::perms::all);
  std::filesystem::permissions(file, std::filesystem::perms(0444));
  EXPECT_TRUE(test::passesWithoutRoot([&] {
    return !ini.Set("Pfade", "Excel-Pfad", Value::text("y")) &&
           ini.Get("Pfade", "Excel-Pfad") == "x";
  }));
  EXPECT_EQ(readBytes(file), "[Pfade]\r\nExcel-Pfad=x\r\n");
  EXPECT_EQ(std::filesystem::status(file).permissions(), std::filesystem::perms(0444));
}

}  // namespace
}  // namespace zandor

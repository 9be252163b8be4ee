#include <gtest/gtest.h>

#include "base/paths.h"

namespace zandor {
namespace {

// Messages are UTF-8: they show the character Windows-1252 lacks.
TEST(UnusableName, NamesThePartAndTheCharacterAndWhatToRename) {
  const std::string file = unusableNameMessage("/daten/Łódź_kunden.xlsx", ChosenKind::File);
  EXPECT_NE(file.find("Der Dateiname „Łódź_kunden.xlsx“"), std::string::npos) << file;
  EXPECT_NE(file.find("das Zeichen „Ł“ (U+0141)"), std::string::npos) << file;
  EXPECT_NE(file.find("Gewählt: /daten/Łódź_kunden.xlsx"), std::string::npos) << file;
  EXPECT_NE(file.find("benennen Sie die Datei um"), std::string::npos) << file;

  // The character lies in a folder of the path: that folder is to be renamed.
  const std::string inFolder =
      unusableNameMessage("/home/anna/Zamówienia/Gdańsk/kunden.xlsx", ChosenKind::File);
  EXPECT_NE(inFolder.find("Der Ordnername „Gdańsk“ enthält das Zeichen „ń“ (U+0144)"),
            std::string::npos)
      << inFolder;
  EXPECT_NE(inFolder.find("benennen Sie den Ordner um"), std::string::npos) << inFolder;

  const std::string folder = unusableNameMessage("/daten/Łódź", ChosenKind::Folder);
  EXPECT_NE(folder.find("Der Ordnername „Łódź“"), std::string::npos) << folder;
  EXPECT_NE(folder.find("benennen Sie den Ordner um"), std::string::npos) << folder;

  // A name still to be written is simply another name to choose.
  const std::string newFile = unusableNameMessage("/daten/Łódź.qno", ChosenKind::NewFile);
  EXPECT_NE(newFile.find("Der Dateiname „Łódź.qno“"), std::string::npos) << newFile;
  EXPECT_NE(newFile.find("Bitte wählen Sie einen anderen Namen."), std::string::npos) << newFile;

  const std::string windows = unusableNameMessage("C:\\Daten\\Ωmega\\a.csv", ChosenKind::File);
  EXPECT_NE(windows.find("Der Ordnername „Ωmega“"), std::string::npos) << windows;
}

TEST(UnusableName, NamesThat1252HoldsPass) {
  EXPECT_EQ(unusableNameMessage("/daten/Preisliste März €.xlsx", ChosenKind::File), "");
  EXPECT_EQ(unusableNameMessage("/Straße/Zamówienia/Œuvre", ChosenKind::Folder), "");
  EXPECT_EQ(unusableNameMessage("", ChosenKind::File), "");
}

}  // namespace
}  // namespace zandor

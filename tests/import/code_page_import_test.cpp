// Imports into tables whose header marks a DOS code page: the text arrives in that page, as
// every other program reads it, `dbf dump` shows it as written, and a character the page
// lacks is refused instead of being stored as another one.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "base/encoding.h"
#include "support/peers.h"
#include "support/table_readers.h"
#include "support/test_support.h"
#include "table/code_page.h"

namespace zandor {
namespace {

namespace fs = std::filesystem;

// Every DOS mark we translate, with its page.
constexpr std::pair<std::uint8_t, int> kDosMarks[] = {
    {0x01, 437}, {0x02, 850}, {0x08, 865}, {0x09, 437}, {0x0A, 850}, {0x0B, 437},
    {0x0D, 437}, {0x0E, 850}, {0x0F, 437}, {0x10, 850}, {0x11, 437}, {0x12, 850},
    {0x14, 850}, {0x15, 437}, {0x16, 850}, {0x17, 865}, {0x18, 437}, {0x19, 437},
    {0x1A, 850}, {0x1B, 437}, {0x1C, 863}, {0x1D, 850}, {0x1F, 852}, {0x22, 852},
    {0x23, 852}, {0x24, 860}, {0x25, 850}, {0x26, 866}, {0x37, 850}, {0x40, 852},
    {0x64, 852}, {0x65, 866}, {0x66, 865}, {0x67, 861}, {0x6A, 737}, {0x6B, 857}};

std::string quoted(const fs::path& p) {
  return "'" + p.string() + "'";
}

TEST(CodePageImportTest, EveryDosMarkRoundTripsThroughTheImportAndDump) {
  std::set<int> crossChecked;
  for (const auto& [mark, page] : kDosMarks) {
    SCOPED_TRACE(std::to_string(mark) + " / " + std::to_string(page));
    test::TempDir dir;
    const fs::path table = dir.path() / "ADRESSEN.DBF";
    const fs::path cdx = dir.path() / "adkun.cdx";
    const fs::path sheet = dir.path() / "liste.csv";
    const fs::path profile = dir.path() / "run.qno";
    const fs::path settings = dir.path() / "zandor.ini";
    const std::string cli = "'" + test::cliPath() + "' ";
    std::string out;
    ASSERT_EQ(
        test::runCommand(cli + "dbf create " + quoted(table) + " KUNDE:C:10 NAME1:C:20 2>&1", &out),
        0)
        << out;
    std::string header = test::readBytes(table);
    header[29] = static_cast<char>(mark);
    test::writeBytes(table, header);
    for (const char* tag : {" --tag ADKUN --key KUNDE", " --tag ADNAM --key 'UPPER(NAME1)'"}) {
      ASSERT_EQ(test::runCommand(
                    cli + "dbf index " + quoted(table) + " " + quoted(cdx) + tag + " 2>&1", &out),
                0)
          << out;
    }
    test::writeBytes(sheet, "KUNDE;NAME1\r\nK1;Müller\r\nK2;5 € bar\r\nK3;Zorn\r\n");
    test::writeBytes(settings, "[Updaten]\r\nNummer=.T.\r\n");
    ASSERT_EQ(test::runCommand(cli + "profile make " + quoted(profile) + " --dbf " + quoted(table) +
                                   " --xls " + quoted(sheet) + " --stop 1 2>&1",
                               &out),
              0)
        << out;
    ASSERT_EQ(
        test::runCommand(
            cli + "import " + quoted(profile) + " --settings " + quoted(settings) + " 2>&1", &out),
        0)
        << out;

    // Greek and Cyrillic DOS pages have no u umlaut: that name is refused like the euro.
    const bool hasUmlaut = TableCodePage::ofMark(mark)->fromAnsi("\xfc").has_value();
    ASSERT_EQ(test::runCommand(cli + "dbf dump " + quoted(table), &out), 0);
    EXPECT_EQ(out, std::string("1\t \tK1\t") + (hasUmlaut ? "Müller" : "") +
                       "\n2\t \tK2\t\n3\t \tK3\tZorn\n");
    std::string log;
    for (const auto& entry : fs::directory_iterator(dir.path() / "log")) {
      log += test::readBytes(entry.path());
    }
    EXPECT_NE(log.find("Fehler (1) in Excelfeld B3"), std::string::npos) << log;
    EXPECT_EQ(log.find("Fehler (1) in Excelfeld B2") == std::string::npos, hasUmlaut) << log;
    EXPECT_EQ(
        test::runCommand(cli + "dbf check " + quoted(table) + " " + quoted(cdx) + " 2>&1", &out), 0)
        << out;

    if (!kPeerReadersRunHere) continue;  // the independent readers do not run on Windows
    // Python dbfread reads the table in the page the mark names, by its own table of marks.
    ASSERT_EQ(test::runCommand("/usr/bin/python3 -c \"import sys; from dbfread import DBF; "
                               "print(DBF(sys.argv[1]).encoding, "
                               "[r['NAME1'] for r in DBF(sys.argv[1])])\" " +
                                   quoted(table),
                               &out),
              0)
        << out;
    EXPECT_EQ(out, "cp" + std::to_string(page) + " ['" + (hasUmlaut ? "Müller" : "") +
                       "', '', 'Zorn']\n");
    if (crossChecked.insert(page).second) test::expectReadersAgree(table.string());
  }
}

}  // namespace
}  // namespace zandor

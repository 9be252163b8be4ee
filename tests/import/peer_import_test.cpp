// zandor-cli import on copies of tables and index files written by other programs, with the
// spreadsheets of the shared fixtures. After every run the table is read by Python dbfread
// and Perl XBase, each index passes `dbf check`, and the independent index reader lists
// exactly the keys of the records.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "base/encoding.h"
#include "base/text.h"
#include "support/index_peer.h"
#include "support/table_readers.h"
#include "support/test_support.h"

namespace zandor {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

const char* const kXbase64 = "fixtures/peers/writers/xbase64_i386_reindex/";

class PeerImportTest : public ::testing::Test {
 protected:
  test::TempDir dir;
  std::string out;

  std::string cli() const { return "'" + test::cliPath() + "' "; }
  std::string file(const std::string& name) const { return dir.file(name); }

  void copy(const std::string& relative, const std::string& as) {
    fs::copy_file(test::sharedDir() / relative, dir.path() / as);
    // The fixtures carry no write bits; a copy without them is read-only on Windows.
    fs::permissions(dir.path() / as, fs::perms::owner_write, fs::perm_options::add);
  }
  void settings(const std::string& text) { test::writeBytes(file("zandor.ini"), text); }

  void makeProfile(const std::string& table, const std::string& sheet,
                   const std::string& options = "") {
    ASSERT_EQ(
        test::runCommand(cli() + "profile make '" + file("run.qno") + "' --dbf '" + file(table) +
                             "' --xls '" + sheet + "' --stop 1 " + options + " 2>&1",
                         &out),
        0)
        << out;
  }
  // The entries of the one log file of the last run, as UTF-8.
  std::vector<std::string> logLines() const {
    std::vector<std::string> lines;
    for (const auto& entry : fs::directory_iterator(dir.path() / "log")) {
      const std::string text = cp1252ToUtf8(test::readBytes(entry.path()));
      std::size_t at = 0;
      for (std::size_t end; (end = text.find("\r\n", at)) != std::string::npos; at = end + 2) {
        lines.push_back(text.substr(at, end - at));
      }
      if (at < text.size()) lines.push_back(text.substr(at));
    }
    return lines;
  }
  // Runs the import; the summary goes to out.
  int import(const std::string& options = "") {
    return test::runCommand(cli() + "import '" + file("run.qno") + "' --settings '" +
                                file("zandor.ini") + "' " + options + " 2>&1",
                            &out);
  }
  // Record number -> field texts, as `dbf dump` prints them.
  std::vector<std::vector<std::string>> records(const std::string& table) {
    std::string dump;
    EXPECT_EQ(test::runCommand(cli() + "dbf dump '" + file(table) + "'", &dump), 0);
    std::vector<std::vector<std::string>> rows;
    std::istringstream in(dump);
    std::string line;
    while (std::getline(in, line)) {
      std::vector<std::string> fields;
      std::istringstream cells(line);
      std::string cell;
      while (std::getline(cells, cell, '\t')) fields.push_back(cell);
      rows.push_back(fields);
    }
    return rows;
  }

  // The table reads the same everywhere and the index holds exactly one key per record:
  // the key field (dump column) padded to the key length.
  void expectSound(const std::string& table, const std::string& index, const std::string& tag,
                   std::size_t keyColumn, std::size_t keyLength) {
#ifndef _WIN32  // the readers run on the Linux side (scripts/windows-crosscheck)
    test::expectReadersAgree(file(table));
#endif
    EXPECT_EQ(test::runCommand(cli() + "dbf check '" + file(table) + "' '" + file(index) + "' 2>&1",
                               &out),
              0)
        << index << ": " << out;
    std::vector<std::pair<std::string, std::uint32_t>> expected;
    for (const auto& row : records(table)) {
      std::string key = row.at(keyColumn);
      key.resize(keyLength, ' ');
      expected.emplace_back(key, static_cast<std::uint32_t>(std::stoul(row.at(0))));
    }
    std::sort(expected.begin(), expected.end());
#ifdef _WIN32  // the independent reader runs on the Linux side (scripts/windows-crosscheck)
    return;
#endif
    test::PeerListing listing = test::peerListing(file(table), file(index), tag);
    ASSERT_TRUE(listing.ok) << listing.raw;
    // The reader gives CDX keys without their trailing blanks.
    for (auto& [key, recno] : listing.entries) key.resize(keyLength, ' ');
    EXPECT_EQ(listing.entries, expected) << index;
  }
};

TEST_F(PeerImportTest, AddressesWithTheNtxOfAnotherWriter) {
  ZANDOR_REQUIRE_SHARED();
  copy(std::string(kXbase64) + "KUNDEN.DBF", "ADRESSEN.DBF");
  copy(std::string(kXbase64) + "KUNDE.NTX", "adkun.ntx");
  const std::string sheet = (test::sharedDir() / "fixtures/sheets/kunden.xlsx").string();
  makeProfile("ADRESSEN.DBF", sheet);

  // Update on: every row of the sheet finds its customer; names written in the sheet's
  // spelling (the table came with code page 850 umlauts).
  settings("[Updaten]\r\nNummer=.T.\r\n");
  ASSERT_EQ(import(), 0) << out;
  EXPECT_THAT(out, HasSubstr("Davon sind 0 neue Datensätze, 20 geupdatet, 0 unverändert"));
  auto rows = records("ADRESSEN.DBF");
  ASSERT_EQ(rows.size(), 20u);
  EXPECT_EQ(rows[0][2], "10007");
  EXPECT_EQ(rows[0][3], "Müller GmbH");
  expectSound("ADRESSEN.DBF", "adkun.ntx", "ADKUN", 2, 10);

  // New customers, one existing one and one whose number only starts like an existing one.
  const std::string more = file("neu.csv");
  test::writeBytes(more,
                   "KUNDE;NAME1;PLZ;UMSATZ;GEBDAT;AKTIV\r\n"
                   "N-1;Neu Eins;12345;10,5;01.02.1990;T\r\n"
                   "10007;Müller & Söhne;20839;0;;F\r\n"
                   "1000;Kurz und gut, aber viel zu lang für das Feld;11111;1;;F\r\n");
  fs::remove_all(dir.path() / "log");
  ASSERT_EQ(import("--xls '" + more + "'"), 0) << out;
  EXPECT_THAT(out, HasSubstr("Davon sind 2 neue Datensätze, 1 geupdatet, 0 unverändert"));
  const std::vector<std::string> log = logLines();
  ASSERT_EQ(log.size(), 9u);
  EXPECT_THAT(log[0], ::testing::StartsWith("Einlesevorgang vom: "));
  EXPECT_EQ(log[1], "Datei: " + upperAZ(cp1252ToUtf8(file("ADRESSEN.DBF"))));
  EXPECT_EQ(log[2], "Indextyp: DBFNTX");
  EXPECT_EQ(log[3],
            "Zeile: 4 - Datenlängenfehler(44->30): Kurz und gut, aber viel zu lang für das Feld");
  EXPECT_EQ(log[4], "");
  EXPECT_EQ(log[5], "Es wurden 1 Fehler protokolliert");
  EXPECT_EQ(log[6], "");
  EXPECT_THAT(log[7], ::testing::StartsWith("Insgesamt wurden 3 Datensätze in "));
  EXPECT_EQ(log[8], "Davon sind 2 neue Datensätze, 1 geupdatet, 0 unverändert");
  rows = records("ADRESSEN.DBF");
  ASSERT_EQ(rows.size(), 22u);
  EXPECT_EQ(rows[0][3], "Müller & Söhne");
  EXPECT_EQ(rows[20][2], "N-1");
  EXPECT_EQ(rows[20][5], "10.50");
  EXPECT_EQ(rows[20][6], "19900201");
  EXPECT_EQ(rows[21][2], "1000");
  EXPECT_EQ(rows[21][3], "Kurz und gut, aber viel zu lan");
  expectSound("ADRESSEN.DBF", "adkun.ntx", "ADKUN", 2, 10);
}

TEST_F(PeerImportTest, AddressesWithACdxOnATableOfAnotherWriter) {
  ZANDOR_REQUIRE_SHARED();
  copy("fixtures/peers/writers/libreoffice/KUNDEN.DBF", "ADRESSEN.DBF");
  ASSERT_EQ(test::runCommand(cli() + "dbf index '" + file("ADRESSEN.DBF") + "' '" +
                                 file("adkun.cdx") + "' --tag ADKUN --key KUNDE 2>&1",
                             &out),
            0)
      << out;
  const std::string sheet = (test::sharedDir() / "fixtures/sheets/kunden.xlsx").string();
  makeProfile("ADRESSEN.DBF", sheet);
  const auto before = records("ADRESSEN.DBF");

  // Update off: every row is found and left as it is.
  settings("[Updaten]\r\nNummer=.F.\r\n");
  ASSERT_EQ(import(), 0) << out;
  EXPECT_THAT(out, HasSubstr("Davon sind 0 neue Datensätze, 0 geupdatet, 20 unverändert"));
  EXPECT_EQ(records("ADRESSEN.DBF"), before);
  expectSound("ADRESSEN.DBF", "adkun.cdx", "ADKUN", 2, 10);

  test::writeBytes(file("neu.csv"), "KUNDE;NAME1\r\nZ9;Zett\r\nK-1;Ka\r\n10007;nicht geändert\r\n");
  ASSERT_EQ(import("--xls '" + file("neu.csv") + "'"), 0) << out;
  EXPECT_THAT(out, HasSubstr("Davon sind 2 neue Datensätze, 0 geupdatet, 1 unverändert"));
  expectSound("ADRESSEN.DBF", "adkun.cdx", "ADKUN", 2, 10);
}

// An index whose tag was built under a sort sequence (its keys are weights we cannot
// compute) is refused before the import writes anything, with the file and the feature
// named; as the chosen index and as the structural index opened with the table.
TEST_F(PeerImportTest, AnIndexWithASortSequenceIsRefusedBeforeAnythingIsWritten) {
  ZANDOR_REQUIRE_SHARED();
  for (const char* index : {"adkun.cdx", "ADRESSEN.cdx"}) {
    SCOPED_TRACE(index);
    fs::remove_all(dir.path());
    fs::create_directories(dir.path());
    copy("fixtures/peers/writers/libreoffice/KUNDEN.DBF", "ADRESSEN.DBF");
    // The chosen index, and the structural one when that is the one changed below.
    std::vector<std::string> made{"adkun.cdx"};
    if (std::string(index) != made.front()) made.emplace_back(index);
    for (const std::string& name : made) {
      ASSERT_EQ(test::runCommand(cli() + "dbf index '" + file("ADRESSEN.DBF") + "' '" + file(name) +
                                     "' --tag ADKUN --key KUNDE 2>&1",
                                 &out),
                0)
          << out;
    }
    // Visual FoxPro names the sequence in the tag header.
    std::string bytes = test::readBytes(file(index));
    const std::size_t pool = bytes.find(std::string("KUNDE\0", 6));
    ASSERT_NE(pool, std::string::npos);
    bytes.replace(pool - 512 + 0x1EE, 7, "GENERAL");
    test::writeBytes(file(index), bytes);
    const std::string sheet = (test::sharedDir() / "fixtures/sheets/kunden.xlsx").string();
    makeProfile("ADRESSEN.DBF", sheet);
    settings("[Updaten]\r\nNummer=.T.\r\n");
    const std::string table = test::readBytes(file("ADRESSEN.DBF"));
    const std::string indexBytes = test::readBytes(file(index));
    const std::string chosenBytes = test::readBytes(file("adkun.cdx"));

    EXPECT_NE(import("--yes"), 0) << out;
    EXPECT_THAT(out, HasSubstr("icht unterstützt: Tag ADKUN mit Sortierfolge GENERAL"));
    EXPECT_THAT(out, HasSubstr(cp1252ToUtf8(file(index))));
    EXPECT_EQ(test::readBytes(file("ADRESSEN.DBF")), table);
    EXPECT_EQ(test::readBytes(file(index)), indexBytes);
    EXPECT_EQ(test::readBytes(file("adkun.cdx")), chosenBytes);
  }
}

// A candidate tag (every key once) in the structural index: a row that would give a second
// record its key is logged and not written; the other rows go in.
TEST_F(PeerImportTest, ARowWhoseKeyACandidateTagHoldsIsLoggedAndNotWritten) {
  ZANDOR_REQUIRE_SHARED();
  copy("fixtures/peers/writers/libreoffice/KUNDEN.DBF", "ADRESSEN.DBF");
  for (const std::string& made : {std::string("adkun.cdx"), std::string("ADRESSEN.cdx")}) {
    const std::string tag =
        made == "adkun.cdx" ? "--tag ADKUN --key KUNDE" : "--tag NAME --key NAME1";
    ASSERT_EQ(test::runCommand(cli() + "dbf index '" + file("ADRESSEN.DBF") + "' '" + file(made) +
                                   "' " + tag + " 2>&1",
                               &out),
              0)
        << out;
  }
  // Visual FoxPro marks candidate tags with option bit 0x04.
  std::string bytes = test::readBytes(file("ADRESSEN.cdx"));
  const std::size_t pool = bytes.find(std::string("NAME1\0", 6));
  ASSERT_NE(pool, std::string::npos);
  bytes[pool - 512 + 14] = static_cast<char>(bytes[pool - 512 + 14] | 0x04);
  test::writeBytes(file("ADRESSEN.cdx"), bytes);
  test::writeBytes(file("neu.csv"), "KUNDE;NAME1\r\nZ9;Schmidt & Co. KG\r\nZ8;Neu\r\n");
  makeProfile("ADRESSEN.DBF", file("neu.csv"));
  settings("[Updaten]\r\nNummer=.T.\r\n");
  const std::size_t before = records("ADRESSEN.DBF").size();

  ASSERT_EQ(import(), 0) << out;
  EXPECT_THAT(out, HasSubstr("Davon sind 1 neue Datensätze, 0 geupdatet, 0 unverändert"));
  const auto log = logLines();
  EXPECT_THAT(log, ::testing::Contains("Zeile: 2 - nicht eingelesen: Schlüssel schon vorhanden "
                                       "(Tag NAME): Schmidt & Co. KG"));
  const auto rows = records("ADRESSEN.DBF");
  ASSERT_EQ(rows.size(), before + 1);
  EXPECT_EQ(rows.back()[2], "Z8");
  for (const char* index : {"adkun.cdx", "ADRESSEN.cdx"}) {
    EXPECT_EQ(
        test::runCommand(
            cli() + "dbf check '" + file("ADRESSEN.DBF") + "' '" + file(index) + "' 2>&1", &out),
        0)
        << out;
  }
}

// A Visual FoxPro table whose NAME1 may hold NULL: a row whose key finds a record holding a
// NULL value is logged and leaves that record as it is; the other rows are written.
TEST_F(PeerImportTest, ARowThatWouldChangeARecordHoldingNullIsLoggedAndNotWritten) {
  auto descriptor = [](const std::string& name, char type, int length, int flags) {
    std::string d(32, '\0');
    d.replace(0, name.size(), name);
    d[11] = type;
    d[16] = static_cast<char>(length);
    d[18] = static_cast<char>(flags);
    return d;
  };
  std::string header(32, '\0');
  header[0] = 0x30;
  header[4] = 2;  // records
  const int headerLength = 32 + 3 * 32 + 1 + 263;
  header[8] = static_cast<char>(headerLength & 0xFF);
  header[9] = static_cast<char>(headerLength >> 8);
  header[10] = 18;  // deletion mark, KUNDE, NAME1, _NullFlags
  header[29] = 0x03;
  const std::string withNull = std::string(" K2    ") + std::string(10, ' ') + '\x01';
  test::writeBytes(file("ADRESSEN.DBF"),
                   header + descriptor("KUNDE", 'C', 6, 0) + descriptor("NAME1", 'C', 10, 0x02) +
                       descriptor("_NullFlags", '0', 1, 0x05) + "\x0d" + std::string(263, '\0') +
                       std::string(" K1    Alt       \0", 18) + withNull + "\x1a");
  ASSERT_EQ(test::runCommand(cli() + "dbf index '" + file("ADRESSEN.DBF") + "' '" +
                                 file("adkun.cdx") + "' --tag ADKUN --key KUNDE 2>&1",
                             &out),
            0)
      << out;
  test::writeBytes(file("neu.csv"), "KUNDE;NAME1\r\nK1;Eins\r\nK2;Zwei\r\nK4;Vier\r\n");
  makeProfile("ADRESSEN.DBF", file("neu.csv"));
  settings("[Updaten]\r\nNummer=.T.\r\n");

  ASSERT_EQ(import(), 0) << out;
  EXPECT_THAT(out, HasSubstr("Davon sind 1 neue Datensätze, 1 geupdatet, 0 unverändert"));
  EXPECT_THAT(logLines(),
              ::testing::Contains("Zeile: 3 - nicht eingelesen: Nicht unterstützt: Datensatz 2 "
                                  "enthält NULL-Werte und wird nicht geändert"));
  const std::string records = test::readBytes(file("ADRESSEN.DBF")).substr(headerLength, 3 * 18);
  EXPECT_EQ(records, std::string(" K1    Eins      \0", 18) + withNull +
                         std::string(" K4    Vier      \0", 18));
  EXPECT_EQ(test::runCommand(
                cli() + "dbf check '" + file("ADRESSEN.DBF") + "' '" + file("adkun.cdx") + "' 2>&1",
                &out),
            0)
      << out;
}

TEST_F(PeerImportTest, ArticlesByNumberAndBySupplierNumberWithTheNtxOfAnotherWriter) {
  ZANDOR_REQUIRE_SHARED();
  copy(std::string(kXbase64) + "ARTIKEL.DBF", "ARTIKEL.DBF");
  copy(std::string(kXbase64) + "ARTNR.NTX", "lanum.ntx");
  copy(std::string(kXbase64) + "ARTLIEF.NTX", "lalienum.ntx");
  const std::string sheet = (test::sharedDir() / "fixtures/sheets/artikel.xlsx").string();

  // Criterion 1 (article number): the prices of the sheet reach the table.
  makeProfile("ARTIKEL.DBF", sheet);
  settings("[Updaten]\r\nNummer=.T.\r\nArtikelart=1\r\n");
  ASSERT_EQ(import(), 0) << out;
  EXPECT_THAT(out, HasSubstr("Davon sind 0 neue Datensätze, 25 geupdatet, 0 unverändert"));
  auto rows = records("ARTIKEL.DBF");
  ASSERT_EQ(rows.size(), 25u);
  EXPECT_EQ(rows[0][2], "9-370");
  EXPECT_EQ(rows[0][5], "7943.01");
  expectSound("ARTIKEL.DBF", "lanum.ntx", "LANUM", 2, 15);
  expectSound("ARTIKEL.DBF", "lalienum.ntx", "LALIENUM", 3, 20);

  // Criterion 2 (supplier's number): a row with a known supplier number but a new article
  // number updates that article, so its number changes in the table.
  test::writeBytes(file("lief.csv"),
                   "NUMMER;LIEF_A_NR;BEZEICH;PREIS\r\n"
                   "9-371;L314328/0;Mutter M8;1,25\r\n"
                   "77-1;L-NEU;Neuer Artikel;3\r\n");
  settings("[Updaten]\r\nNummer=.T.\r\nArtikelart=2\r\n");
  ASSERT_EQ(import("--xls '" + file("lief.csv") + "'"), 0) << out;
  EXPECT_THAT(out, HasSubstr("Davon sind 1 neue Datensätze, 1 geupdatet, 0 unverändert"));
  rows = records("ARTIKEL.DBF");
  ASSERT_EQ(rows.size(), 26u);
  EXPECT_EQ(rows[0][2], "9-371");
  EXPECT_EQ(rows[0][4], "Mutter M8");
  EXPECT_EQ(rows[25][3], "L-NEU");
  // Only the order the run opened is maintained: that one is exact.
  expectSound("ARTIKEL.DBF", "lalienum.ntx", "LALIENUM", 3, 20);
}

TEST_F(PeerImportTest, GeneratedNumbersAgainstTheNtxOfAnotherWriter) {
  ZANDOR_REQUIRE_SHARED();
  copy(std::string(kXbase64) + "KUNDEN.DBF", "ADRESSEN.DBF");
  copy(std::string(kXbase64) + "KUNDE.NTX", "adkun.ntx");
  test::writeBytes(file("neu.csv"), "NAME1;PLZ\r\nErster;1\r\nZweiter;2\r\nDritter;3\r\n");
  makeProfile("ADRESSEN.DBF", file("neu.csv"), "--auto-adr");
  settings("[Updaten]\r\nNummer=.F.\r\n[Adressen]\r\nVorlauf=\r\nNummer=10000\r\n");
  ASSERT_EQ(import(), 0) << out;
  const auto rows = records("ADRESSEN.DBF");
  ASSERT_EQ(rows.size(), 23u);
  // 10001 .. 10008, 10010 and 10011 are taken; the counter keeps the last number given.
  EXPECT_EQ(rows[20][2], "10000");
  EXPECT_EQ(rows[21][2], "10009");
  EXPECT_EQ(rows[22][2], "10012");
  EXPECT_EQ(rows[22][3], "Dritter");
  EXPECT_THAT(test::readBytes(file("zandor.ini")),
              HasSubstr("[Adressen]\r\nVorlauf=\r\nNummer=10012\r\n"));
  expectSound("ADRESSEN.DBF", "adkun.ntx", "ADKUN", 2, 10);

  // A number that only begins an existing one counts as taken (the look-up compares
  // prefixes): 1000 .. 1003 begin 10000, 10010, 10020 and 10030.
  settings("[Updaten]\r\nNummer=.F.\r\n[Adressen]\r\nVorlauf=\r\nNummer=1000\r\n");
  ASSERT_EQ(import(), 0) << out;
  const auto more = records("ADRESSEN.DBF");
  ASSERT_EQ(more.size(), 26u);
  EXPECT_EQ(more[23][2], "1004");
  EXPECT_EQ(more[24][2], "1005");
  EXPECT_EQ(more[25][2], "1006");
  EXPECT_THAT(test::readBytes(file("zandor.ini")), HasSubstr("Nummer=1006\r\n"));
  expectSound("ADRESSEN.DBF", "adkun.ntx", "ADKUN", 2, 10);
}

}  // namespace
}  // namespace zandor

// Bounded random mutation of real workbooks: the readers either read a mutated file or
// refuse it with SheetReadError; the sanitizer build catches everything else.
// ZANDOR_MUTATION_SECONDS stretches the run (default: about two seconds per format).

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <random>
#include <typeinfo>

#include "sheet/biff_records.h"
#include "sheet/cell_store.h"
#include "sheet/cfb_file.h"
#include "sheet/sheet_error.h"
#include "sheet/workbook_data.h"
#include "sheet_files.h"
#include "support/test_support.h"

namespace zandor::sheet {
namespace {

const char* kTokens[] = {"<",
                         ">",
                         "&",
                         "&amp;",
                         "&#0;",
                         "&#x110000;",
                         "\"",
                         "'",
                         "/>",
                         "</c>",
                         "</row>",
                         "<c r=\"XFD1048576\"><v>1</v></c>",
                         " r=\"XFD1048577\"",
                         " r=\"A0\"",
                         " r=\"AAAA1\"",
                         " t=\"s\"",
                         " t=\"e\"",
                         " t=\"d\"",
                         " t=\"inlineStr\"",
                         " s=\"4294967295\"",
                         "<v>99999999999</v>",
                         "<v>-1</v>",
                         "<v>1e308</v>",
                         "<v>nan</v>",
                         "_x00",
                         "<![CDATA[x]]>",
                         "<!--",
                         "<!DOCTYPE a [<!ENTITY b \"c\">]>",
                         " table:number-rows-repeated=\"99999999\"",
                         " table:number-columns-repeated=\"17000\"",
                         " office:value-type=\"date\" office:date-value=\"9999-99-99\"",
                         " office:value-type=\"time\" office:time-value=\"PT99999999H\"",
                         " office:value-type=\"float\" office:value=\"x\"",
                         "<text:s text:c=\"99999999\"/>",
                         "activeTab=\"-1\"",
                         "\xff\xfe",
                         "\xc3",
                         "\0"};

std::string mutate(std::string s, std::mt19937& rng) {
  const int steps = 1 + static_cast<int>(rng() % 4);
  for (int i = 0; i < steps; ++i) {
    const std::size_t at = s.empty() ? 0 : rng() % s.size();
    switch (rng() % 5) {
      case 0:
        if (!s.empty()) s[at] = static_cast<char>(rng());
        break;
      case 1:
        s.erase(at, 1 + rng() % 64);
        break;
      case 2: {
        const std::size_t len = std::min<std::size_t>(s.size() - at, 1 + rng() % 256);
        s.insert(at, s.substr(at, len));
        break;
      }
      default: {
        const char* t = kTokens[rng() % std::size(kTokens)];
        s.insert(at, std::string(t, std::strlen(t) + (t[0] == '\0' ? 1 : 0)));
      }
    }
  }
  return s;
}

double budgetSeconds() {
  const char* env = std::getenv("ZANDOR_MUTATION_SECONDS");
  return env ? std::atof(env) : 2.0;
}

void fuzz(const std::string& seedFile, const std::string& extension, unsigned seed) {
  test::TempDir dir;
  const test::ZipParts original = test::readZip(seedFile);
  ReadLimits limits;
  limits.maxCells = 200000;
  limits.maxPartBytes = 8u << 20;
  limits.maxTextUnits = 4u << 20;
  std::mt19937 rng(seed);
  const auto stop =
      std::chrono::steady_clock::now() + std::chrono::duration<double>(budgetSeconds());
  int runs = 0, read = 0;
  const std::string file = dir.file("m." + extension);
  while (std::chrono::steady_clock::now() < stop || runs < 20) {
    test::ZipParts parts = original;
    // Mostly the XML, so the parsers see it; sometimes the zip bytes themselves.
    const bool rawBytes = rng() % 8 == 0;
    if (!rawBytes) {
      auto& part = parts[rng() % parts.size()];
      part.second = mutate(part.second, rng);
    }
    test::writeZip(file, parts);
    if (rawBytes) test::writeBytes(file, mutate(test::readBytes(file), rng));
    try {
      WorkbookData book = readSpreadsheetFile(file, limits);
      ASSERT_FALSE(book.sheets.empty());
      ASSERT_LT(book.activeSheet, book.sheets.size());
      for (std::size_t i = 0; i < book.sheets.size(); ++i) book.sheet(i);
      ++read;
    } catch (const SheetReadError& e) {
      ASSERT_GT(std::strlen(e.what()), 0u);
    } catch (const std::exception& e) {
      FAIL() << "unexpected " << typeid(e).name() << ": " << e.what() << " (run " << runs << ")";
    }
    ++runs;
  }
  // Both outcomes occur, or the mutations do not reach the parsers.
  EXPECT_GT(read, 0);
  EXPECT_LT(read, runs);
  std::printf("%s: %d mutated files, %d read, %d refused\n", extension.c_str(), runs, read,
              runs - read);
}

std::string fixture(const std::string& name) {
  return std::string(ZANDOR_SOURCE_DIR) + "/tests/data/sheets/" + name;
}

TEST(Mutation, XlsxReaderReadsOrRefuses) {
  fuzz(fixture("mixed_lo.xlsx"), "xlsx", 1234);
}

// The workbook stream's records mutated (and now and then the compound file around them):
// every sheet reads or is refused.
TEST(Mutation, XlsReaderReadsOrRefuses) {
  test::TempDir dir;
  const std::string original = test::readBytes(fixture("mixed_lo.xls"));
  const std::string stream = CompoundFile(fixture("mixed_lo.xls")).readStream(u"Workbook");
  std::mt19937 rng(777);
  const auto stop =
      std::chrono::steady_clock::now() + std::chrono::duration<double>(budgetSeconds());
  int runs = 0, read = 0;
  const std::string file = dir.file("m.xls");
  while (std::chrono::steady_clock::now() < stop || runs < 20) {
    const bool wholeFile = rng() % 4 == 0;
    std::string bytes = wholeFile ? original : stream;
    const int steps = 1 + static_cast<int>(rng() % 8);
    for (int i = 0; i < steps; ++i) {
      const std::size_t at = rng() % bytes.size();
      switch (rng() % 4) {
        case 0:
          bytes.erase(at, 1 + rng() % 16);
          break;
        case 1:
          bytes.insert(at, bytes.substr(at, 1 + rng() % 64));
          break;
        default:
          bytes[at] = static_cast<char>(rng());
      }
      if (bytes.empty()) bytes = "x";
    }
    try {
      WorkbookData book;
      if (wholeFile) {
        test::writeBytes(file, bytes);
        book = readSpreadsheetFile(file);
      } else {
        readBiffWorkbook(bytes, "", book);
      }
      ASSERT_LT(book.activeSheet, book.sheets.size());
      for (std::size_t i = 0; i < book.sheets.size(); ++i) book.sheet(i);
      ++read;
    } catch (const SheetReadError& e) {
      ASSERT_GT(std::strlen(e.what()), 0u);
    }
    ++runs;
  }
  EXPECT_GT(read, 0);
  EXPECT_LT(read, runs);
  std::printf("xls: %d mutated files, %d read, %d refused\n", runs, read, runs - read);
}

TEST(Mutation, OdsReaderReadsOrRefuses) {
  fuzz(fixture("mixed_lo.ods"), "ods", 4321);
}

}  // namespace
}  // namespace zandor::sheet

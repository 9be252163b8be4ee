// Makes the spreadsheets of the import benchmark (bench/import_bench.sh).
//   import_bench DIR ROWS  writes DIR/adressen.xlsx: ROWS addresses x 10 columns (texts,
//                          numbers, dates) with the keys K0000001.. in scrambled order, its
//                          texts shared as the spreadsheet application writes them;
//                          DIR/adressen_inline.xlsx: the same with the texts in the cells
//                          (t="inlineStr"), as streaming writers (openpyxl's write-only mode,
//                          XlsxWriter's constant-memory mode) write them; and
//                          DIR/bestand.xlsx: the odd keys of those with older contents, the
//                          stock the table is filled with before the timed run.

#include <zip.h>

#include <cstdio>
#include <cstdlib>
#include <numeric>
#include <string>
#include <utility>
#include <vector>

namespace {

const char* const kColumns[] = {"KUNDE", "NAME1",   "NAME2",  "STRASSE", "PLZ",
                                "ORT",   "TELEFON", "UMSATZ", "RABATT",  "ANGELEGT"};
const char* const kTowns[] = {"M\xc3\xbcnchen",    "K\xc3\xb6ln", "Hamburg",         "Berlin",
                              "D\xc3\xbcsseldorf", "Stuttgart",   "N\xc3\xbcrnberg", "Leipzig"};
const char* const kAdditions[] = {"GmbH", "GmbH & Co. KG", "e.K.", "AG", "OHG"};

std::string cellRef(int col, long row) {
  return std::string(1, static_cast<char>('A' + col)) + std::to_string(row);
}

std::string xmlEscaped(const std::string& s) {
  std::string out;
  for (char c : s) {
    if (c == '&')
      out += "&amp;";
    else if (c == '<')
      out += "&lt;";
    else
      out += c;
  }
  return out;
}

// One address per key number; the stock rows carry older names, towns and turnover.
struct Row {
  std::string texts[7];
  double umsatz;
  double rabatt;
  long angelegt;  // spreadsheet day number
};

Row rowOf(long key, bool stock) {
  char buf[64];
  Row r;
  std::snprintf(buf, sizeof buf, "K%07ld", key);
  r.texts[0] = buf;
  r.texts[1] = (stock ? "Alt " : "") + std::string("M\xc3\xbcller & S\xc3\xb6hne ") +
               std::to_string(key * 37 % 100003);
  r.texts[2] = kAdditions[key % 5];
  r.texts[3] =
      "Hauptstra\xc3\x9f"
      "e " +
      std::to_string(key % 250 + 1);
  std::snprintf(buf, sizeof buf, "%05ld", (key * 131 + (stock ? 7 : 0)) % 99000 + 1000);
  r.texts[4] = buf;
  r.texts[5] = kTowns[(key + (stock ? 3 : 0)) % 8];
  r.texts[6] = "0" + std::to_string(30 + key % 60) + "/" + std::to_string(100000 + key);
  r.umsatz = (key % 100000) * 12.5 + (stock ? 0.5 : 0.99);
  r.rabatt = (key % 30) * 0.5;
  r.angelegt = 36000 + key % 9000;
  return r;
}

bool writeWorkbook(const std::string& path, const std::vector<long>& keys, bool stock,
                   bool inlineTexts = false) {
  std::string strings;  // shared strings, as the spreadsheet application writes them
  long stringCount = 0;
  auto shared = [&](const std::string& s) {
    strings += "<si><t>" + xmlEscaped(s) + "</t></si>";
    return std::to_string(stringCount++);
  };
  const long rows = static_cast<long>(keys.size()) + 1;
  std::string sheet =
      "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<worksheet "
      "xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"><dimension ref=\"A1:J" +
      std::to_string(rows) + "\"/><sheetData><row r=\"1\">";
  sheet.reserve(static_cast<std::size_t>(rows) * 400);
  for (int c = 0; c < 10; ++c)
    sheet += "<c r=\"" + cellRef(c, 1) + "\" t=\"s\"><v>" + shared(kColumns[c]) + "</v></c>";
  sheet += "</row>";
  char buf[64];
  for (long i = 0; i + 1 < rows; ++i) {
    const long r = i + 2;
    const Row row = rowOf(keys[static_cast<std::size_t>(i)], stock);
    sheet += "<row r=\"" + std::to_string(r) + "\">";
    auto cell = [&](int col, const char* attrs, const std::string& v) {
      sheet += "<c r=\"" + cellRef(col, r) + "\"" + attrs + "><v>" + v + "</v></c>";
    };
    for (int c = 0; c < 7; ++c) {
      if (inlineTexts)
        sheet += "<c r=\"" + cellRef(c, r) + "\" t=\"inlineStr\"><is><t>" +
                 xmlEscaped(row.texts[c]) + "</t></is></c>";
      else
        cell(c, " t=\"s\"", shared(row.texts[c]));
    }
    std::snprintf(buf, sizeof buf, "%.2f", row.umsatz);
    cell(7, " s=\"2\"", buf);
    std::snprintf(buf, sizeof buf, "%.1f", row.rabatt);
    cell(8, "", buf);
    cell(9, " s=\"1\"", std::to_string(row.angelegt));
    sheet += "</row>";
  }
  sheet += "</sheetData></worksheet>";
  const std::string sst =
      "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<sst "
      "xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" count=\"" +
      std::to_string(stringCount) + "\" uniqueCount=\"" + std::to_string(stringCount) + "\">" +
      strings + "</sst>";
  const std::string rel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
  const std::string ns = "xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"";
  const std::string type = "application/vnd.openxmlformats-officedocument.spreadsheetml.";
  const std::pair<std::string, std::string> parts[] = {
      {"[Content_Types].xml",
       "<?xml version=\"1.0\"?><Types xmlns=\"http://schemas.openxmlformats.org/package/2006/"
       "content-types\"><Default Extension=\"rels\" ContentType=\"application/"
       "vnd.openxmlformats-package.relationships+xml\"/><Default Extension=\"xml\" "
       "ContentType=\"application/xml\"/><Override PartName=\"/xl/workbook.xml\" ContentType=\"" +
           type +
           "sheet.main+xml\"/><Override PartName=\"/xl/worksheets/sheet1.xml\" "
           "ContentType=\"" +
           type + "worksheet+xml\"/><Override PartName=\"/xl/sharedStrings.xml\" ContentType=\"" +
           type + "sharedStrings+xml\"/><Override PartName=\"/xl/styles.xml\" ContentType=\"" +
           type + "styles+xml\"/></Types>"},
      {"_rels/.rels",
       "<?xml version=\"1.0\"?><Relationships xmlns=\"http://schemas.openxmlformats.org/"
       "package/2006/relationships\"><Relationship Id=\"rId1\" Type=\"" +
           rel + "/officeDocument\" Target=\"xl/workbook.xml\"/></Relationships>"},
      {"xl/workbook.xml", "<?xml version=\"1.0\"?><workbook " + ns + " xmlns:r=\"" + rel +
                              "\"><sheets><sheet name=\"Adressen\" sheetId=\"1\" r:id=\"rId1\"/>"
                              "</sheets></workbook>"},
      {"xl/_rels/workbook.xml.rels",
       "<?xml version=\"1.0\"?><Relationships xmlns=\"http://schemas.openxmlformats.org/package/"
       "2006/relationships\"><Relationship Id=\"rId1\" Type=\"" +
           rel +
           "/worksheet\" Target=\"worksheets/sheet1.xml\"/><Relationship Id=\"rId2\" Type=\"" +
           rel +
           "/sharedStrings\" Target=\"sharedStrings.xml\"/><Relationship Id=\"rId3\" Type=\"" +
           rel + "/styles\" Target=\"styles.xml\"/></Relationships>"},
      {"xl/styles.xml", "<?xml version=\"1.0\"?><styleSheet " + ns +
                            "><cellXfs count=\"3\"><xf numFmtId=\"0\"/><xf numFmtId=\"14\"/>"
                            "<xf numFmtId=\"4\"/></cellXfs></styleSheet>"},
      {"xl/sharedStrings.xml", sst},
      {"xl/worksheets/sheet1.xml", sheet},
  };
  int error = 0;
  zip_t* z = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
  if (!z) return false;
  for (const auto& [name, data] : parts) {
    zip_source_t* src = zip_source_buffer(z, data.data(), data.size(), 0);
    if (!src || zip_file_add(z, name.c_str(), src, ZIP_FL_OVERWRITE) < 0) {
      zip_source_free(src);
      zip_discard(z);
      return false;
    }
  }
  if (zip_close(z) != 0) {
    zip_discard(z);
    return false;
  }
  std::printf("wrote %s: %ld rows x 10 columns plus the header row\n", path.c_str(), rows - 1);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 || std::atol(argv[2]) < 2) {
    std::fprintf(stderr, "usage: import_bench DIR ROWS\n");
    return 2;
  }
  const std::string dir = argv[1];
  const long rows = std::atol(argv[2]);
  // A step coprime to ROWS visits every key once, in an order the index has to sort.
  long step = 7919;
  while (std::gcd(step, rows) != 1) ++step;
  std::vector<long> sheetKeys, stockKeys;
  for (long i = 0; i < rows; ++i) sheetKeys.push_back(i * step % rows + 1);
  for (long k = 1; k <= rows; k += 2) stockKeys.push_back(k);
  if (!writeWorkbook(dir + "/bestand.xlsx", stockKeys, true)) return 1;
  if (!writeWorkbook(dir + "/adressen.xlsx", sheetKeys, false)) return 1;
  if (!writeWorkbook(dir + "/adressen_inline.xlsx", sheetKeys, false, true)) return 1;
  return 0;
}

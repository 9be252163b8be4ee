// Spreadsheet server benchmark.
//   sheet_bench make FILE [ROWS]  writes a ROWS x 10 .xlsx (texts, numbers, dates)
//   sheet_bench read FILE         Workbooks.Add, then every cell through the bridge
//                                 (Cells(r, c), then Value), as the import reads them

#include <sys/resource.h>
#include <zip.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "base/error.h"
#include "sheet/ole_auto.h"

using namespace zandor;

namespace {

std::string cellRef(int col, long row) {
  return std::string(1, static_cast<char>('A' + col)) + std::to_string(row);
}

int make(const char* path, long rows) {
  static const char* kUnits[] = {
      "St\xc3\xbc"
      "ck",
      "Karton", "Palette", "Meter", "kg"};
  std::string strings;  // shared strings, as the application writes them
  long stringCount = 0;
  auto shared = [&](const std::string& s) {
    strings += "<si><t>" + s + "</t></si>";
    return stringCount++;
  };
  const long unitBase = stringCount;
  for (const char* u : kUnits) shared(u);
  shared("NUMMER"), shared("BEZEICHNUNG"), shared("PREIS");
  std::string sheet =
      "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<worksheet "
      "xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"><dimension ref=\"A1:J" +
      std::to_string(rows) + "\"/><sheetData>";
  sheet.reserve(static_cast<std::size_t>(rows) * 330);
  char buf[128];
  for (long r = 1; r <= rows; ++r) {
    sheet += "<row r=\"" + std::to_string(r) + "\" spans=\"1:10\">";
    const long number = shared("ART-" + std::to_string(100000 + r));
    const long name = shared("Artikel " + std::to_string(r) + " M\xc3\xbcller &amp; S\xc3\xb6hne");
    auto c = [&](int col, const char* attrs, const std::string& v) {
      sheet += "<c r=\"" + cellRef(col, r) + "\"" + attrs + "><v>" + v + "</v></c>";
    };
    c(0, " t=\"s\"", std::to_string(number));
    c(1, " t=\"s\"", std::to_string(name));
    std::snprintf(buf, sizeof buf, "%.2f", (r % 100000) * 1.25 + 0.99);
    c(2, " s=\"3\"", buf);
    c(3, "", std::to_string(r % 5000));
    c(4, " s=\"1\"", std::to_string(40000 + r % 9000));
    c(5, " t=\"s\"", std::to_string(unitBase + r % 5));
    std::snprintf(buf, sizeof buf, "%.6f", 43000 + (r % 3000) + (r % 1440) / 1440.0);
    c(6, " s=\"2\"", buf);
    std::snprintf(buf, sizeof buf, "%.15g", r * 3.14159);
    c(7, "", buf);
    c(8, " t=\"s\"", std::to_string(unitBase + (r + 2) % 5));
    c(9, "", std::to_string(r * 7));
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
  const std::pair<std::string, std::string> parts[] = {
      {"[Content_Types].xml",
       "<?xml version=\"1.0\"?><Types xmlns=\"http://schemas.openxmlformats.org/package/2006/"
       "content-types\"><Default Extension=\"rels\" ContentType=\"application/"
       "vnd.openxmlformats-package.relationships+xml\"/><Default Extension=\"xml\" "
       "ContentType=\"application/xml\"/><Override PartName=\"/xl/workbook.xml\" "
       "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml\"/"
       ">"
       "<Override PartName=\"/xl/worksheets/sheet1.xml\" ContentType=\"application/"
       "vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml\"/><Override "
       "PartName=\"/xl/sharedStrings.xml\" ContentType=\"application/"
       "vnd.openxmlformats-officedocument.spreadsheetml.sharedStrings+xml\"/><Override "
       "PartName=\"/xl/styles.xml\" ContentType=\"application/"
       "vnd.openxmlformats-officedocument.spreadsheetml.styles+xml\"/></Types>"},
      {"_rels/.rels",
       "<?xml version=\"1.0\"?><Relationships xmlns=\"http://schemas.openxmlformats.org/"
       "package/2006/relationships\"><Relationship Id=\"rId1\" Type=\"" +
           rel + "/officeDocument\" Target=\"xl/workbook.xml\"/></Relationships>"},
      {"xl/workbook.xml", "<?xml version=\"1.0\"?><workbook " + ns + " xmlns:r=\"" + rel +
                              "\"><sheets><sheet name=\"Artikel\" sheetId=\"1\" r:id=\"rId1\"/>"
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
                            "><cellXfs count=\"4\"><xf numFmtId=\"0\"/><xf numFmtId=\"14\"/>"
                            "<xf numFmtId=\"22\"/><xf numFmtId=\"4\"/></cellXfs></styleSheet>"},
      {"xl/sharedStrings.xml", sst},
      {"xl/worksheets/sheet1.xml", sheet},
  };
  int error = 0;
  zip_t* z = zip_open(path, ZIP_CREATE | ZIP_TRUNCATE, &error);
  if (!z) return 1;
  for (const auto& [name, data] : parts) {
    zip_source_t* src = zip_source_buffer(z, data.data(), data.size(), 0);
    if (!src || zip_file_add(z, name.c_str(), src, ZIP_FL_OVERWRITE) < 0) return 1;
  }
  if (zip_close(z) != 0) return 1;
  std::printf("wrote %s: %ld rows x 10 columns, sheet XML %zu bytes\n", path, rows, sheet.size());
  return 0;
}

int read(const char* path) {
  using sheet::oleRequest;
  using Clock = std::chrono::steady_clock;
  ErrorGuard guard;
  try {
    const auto t0 = Clock::now();
    const Value app = sheet::CreateObject("Excel.Application");
    const Value workbook = oleRequest(oleRequest(app, "Workbooks"), "Add", {Value::text(path)});
    const Value ws = oleRequest(app, "ActiveSheet");
    const auto t1 = Clock::now();
    const Value used = oleRequest(ws, "UsedRange");
    const long rows =
        static_cast<long>(oleRequest(oleRequest(used, "Rows"), "Count").asNumber().toDouble());
    const long cols =
        static_cast<long>(oleRequest(oleRequest(used, "Columns"), "Count").asNumber().toDouble());
    long nonEmpty = 0, texts = 0, numbers = 0, dates = 0;
    for (long r = 1; r <= rows; ++r) {
      for (long c = 1; c <= cols; ++c) {
        const Value cell = oleRequest(ws, "Cells", {Value::integer(r), Value::integer(c)});
        const Value v = oleRequest(cell, "Value");
        switch (v.type()) {
          case 'C':
            ++texts;
            break;
          case 'N':
            ++numbers;
            break;
          case 'D':
            ++dates;
            break;
        }
        if (v.type() != 'U') ++nonEmpty;
      }
    }
    const auto t2 = Clock::now();
    oleRequest(workbook, "Close", {Value::logical(false)});
    oleRequest(app, "Quit");
    const double add = std::chrono::duration<double>(t1 - t0).count();
    const double cells = std::chrono::duration<double>(t2 - t1).count();
    const double total = add + cells;
    const long n = rows * cols;
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("cells: %ld (%ld texts, %ld numbers, %ld dates)\n", nonEmpty, texts, numbers,
                dates);
    std::printf("Workbooks.Add: %.3f s\n", add);
    std::printf("reading every cell through the bridge: %.3f s (%.1f million cells/s)\n", cells,
                n / cells / 1e6);
    std::printf("end to end: %.3f s = %.2f million cells/s\n", total, n / total / 1e6);
    const double cpu = usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 +
                       usage.ru_stime.tv_sec + usage.ru_stime.tv_usec / 1e6;
    std::printf("CPU time of the process (user + system): %.3f s = %.2f million cells/s\n", cpu,
                n / cpu / 1e6);
    std::printf("peak memory (max RSS): %.1f MB\n", usage.ru_maxrss / 1024.0);
    return 0;
  } catch (const ErrorException& e) {
    std::fprintf(stderr, "error: %s\n", e.error().description.c_str());
    return 1;
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 3 && std::string(argv[1]) == "make")
    return make(argv[2], argc >= 4 ? std::atol(argv[3]) : 200000);
  if (argc == 3 && std::string(argv[1]) == "read") return read(argv[2]);
  std::fprintf(stderr, "usage: sheet_bench make FILE [ROWS] | read FILE\n");
  return 2;
}

// libFuzzer target for the .xlsx, .ods and text readers. The first byte chooses the form:
//   0  the bytes as a file, as the user would pick it (zip, flat OpenDocument or text)
//   1  an .xlsx package whose workbook, sheet, shared texts and styles are the parts of the
//      rest, split at NUL bytes (a zip of random bytes seldom gets past its checksums)
//   2  an .ods package whose content and settings are such parts
// Every sheet is read. Reading or refusing with SheetReadError is fine, anything else not.
// An .xlsx is read once more with its sheet parsed in two halves, which must give the same.
#include <unistd.h>
#include <zip.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "sheet/cell_store.h"
#include "sheet/sheet_error.h"
#include "sheet/workbook_data.h"

namespace {

using Parts = std::vector<std::pair<std::string, std::string>>;

std::vector<std::string> splitAtNul(const std::string& bytes) {
  std::vector<std::string> parts;
  std::size_t from = 0;
  for (;;) {
    const std::size_t at = bytes.find('\0', from);
    parts.push_back(bytes.substr(from, at == std::string::npos ? std::string::npos : at - from));
    if (at == std::string::npos) return parts;
    from = at + 1;
  }
}

bool writeZip(const std::string& path, const Parts& parts) {
  int err = 0;
  zip_t* zip = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &err);
  if (!zip) return false;
  for (const auto& [name, bytes] : parts) {
    zip_source_t* source = zip_source_buffer(zip, bytes.data(), bytes.size(), 0);
    if (!source || zip_file_add(zip, name.c_str(), source, ZIP_FL_OVERWRITE) < 0) {
      if (source) zip_source_free(source);
      zip_discard(zip);
      return false;
    }
  }
  return zip_close(zip) == 0;
}

Parts xlsxPackage(const std::vector<std::string>& p) {
  auto part = [&](std::size_t i) { return i < p.size() ? p[i] : std::string(); };
  return {
      {"[Content_Types].xml",
       "<?xml version=\"1.0\"?><Types "
       "xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
       "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
       "<Override PartName=\"/xl/workbook.xml\" "
       "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+"
       "xml\"/></Types>"},
      {"_rels/.rels",
       "<?xml version=\"1.0\"?><Relationships "
       "xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\"><Relationship "
       "Id=\"rId1\" "
       "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/"
       "officeDocument\" Target=\"xl/workbook.xml\"/></Relationships>"},
      {"xl/_rels/workbook.xml.rels",
       "<?xml version=\"1.0\"?><Relationships "
       "xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
       "<Relationship Id=\"rId1\" "
       "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet\" "
       "Target=\"worksheets/sheet1.xml\"/>"
       "<Relationship Id=\"rId2\" "
       "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/"
       "sharedStrings\" Target=\"sharedStrings.xml\"/>"
       "<Relationship Id=\"rId3\" "
       "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/styles\" "
       "Target=\"styles.xml\"/></Relationships>"},
      {"xl/workbook.xml", part(0)},
      {"xl/worksheets/sheet1.xml", part(1)},
      {"xl/sharedStrings.xml", part(2)},
      {"xl/styles.xml", part(3)},
  };
}

Parts odsPackage(const std::vector<std::string>& p) {
  Parts parts = {{"mimetype", "application/vnd.oasis.opendocument.spreadsheet"},
                 {"content.xml", p.empty() ? std::string() : p[0]}};
  if (p.size() > 1) parts.emplace_back("settings.xml", p[1]);
  return parts;
}

// What reading the file gives: the active sheet's cells (a sample of a large area), or the
// refusal.
std::string contentsOf(const std::string& path, const zandor::sheet::ReadLimits& limits) {
  using namespace zandor::sheet;
  try {
    const WorkbookData book = readSpreadsheetFile(path, limits);
    const SheetData& sheet = book.sheets[book.activeSheet];
    const CellStore& cells = sheet.cells;
    std::string out = std::to_string(cells.cellCount()) + "," + std::to_string(cells.firstRow()) +
                      "," + std::to_string(cells.lastRow()) + "\n";
    if (cells.empty()) return out;
    std::uint64_t visits = 0;
    for (std::uint32_t r = cells.firstRow(); r <= cells.lastRow() && visits < 100000; ++r) {
      for (std::uint32_t c = cells.firstColumn(); c <= cells.lastColumn() && ++visits < 100000;
           ++c) {
        const Cell* cell = cells.find(r, c);
        if (!cell) continue;
        out += std::to_string(r) + "/" + std::to_string(c) + ":" +
               std::to_string(static_cast<int>(cell->kind)) + ":";
        if (cell->kind == CellKind::Text) {
          const std::u16string_view text = book.textsOf(sheet).get(cell->text);
          for (char16_t unit : text) out += std::to_string(unit) + ".";
        } else if (cell->kind == CellKind::Boolean) {
          out += cell->flag ? "1" : "0";
        } else if (cell->kind == CellKind::Error) {
          out += std::to_string(cell->error);
        } else {
          out += std::to_string(cell->number);
        }
        out += "\n";
      }
    }
    return out;
  } catch (const SheetReadError& e) {
    return e.what();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace zandor::sheet;
  if (size < 1) return 0;
  ReadLimits limits;
  limits.maxCells = 200000;
  limits.maxTextUnits = 4u << 20;
  limits.maxPartBytes = 16u << 20;
  static const std::string path = "/tmp/zandor-sheet-fuzz-" + std::to_string(::getpid());
  const std::string rest(reinterpret_cast<const char*>(data) + 1, size - 1);
  bool written = false;
  switch (data[0] % 3) {
    case 0:
      written = static_cast<bool>(std::ofstream(path, std::ios::binary | std::ios::trunc) << rest);
      break;
    case 1:
      written = writeZip(path, xlsxPackage(splitAtNul(rest)));
      break;
    default:
      written = writeZip(path, odsPackage(splitAtNul(rest)));
      break;
  }
  if (!written) return 0;
  if (data[0] % 3 == 1) {
    ReadLimits split = limits;
    split.splitFrom = UINT64_MAX;
    const std::string whole = contentsOf(path, split);
    split.splitFrom = 1;
    const std::string halves = contentsOf(path, split);
    if (halves != whole) __builtin_trap();
  }
  try {
    WorkbookData book = readSpreadsheetFile(path, limits);
    for (std::size_t i = 0; i < book.sheets.size(); ++i) book.sheet(i);
  } catch (const SheetReadError&) {
  }
  return 0;
}

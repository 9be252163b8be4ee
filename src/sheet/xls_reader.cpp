// The BIFF8 workbook reader (.xls): libfreexl for the cells, plus our own pass over the
// workbook stream for what that library leaves out here — boolean and error cells (also
// as cached formula results) and the sheet that was active when the file was saved.

#include <freexl.h>

#include <cmath>
#include <cstring>
#include <map>
#include <memory>

#include "sheet/cfb_file.h"
#include "sheet/dispatch.h"
#include "sheet/serial_date.h"
#include "sheet/sheet_error.h"
#include "sheet/unicode_text.h"
#include "sheet/workbook_data.h"

namespace zandor::sheet {

namespace {

struct FreexlCloser {
  void operator()(const void* h) const { freexl_close(h); }
};

std::uint16_t u16(std::string_view b, std::size_t at) {
  return static_cast<std::uint16_t>(static_cast<unsigned char>(b[at]) |
                                    (static_cast<unsigned char>(b[at + 1]) << 8));
}
std::uint32_t u32(std::string_view b, std::size_t at) {
  return u16(b, at) | (static_cast<std::uint32_t>(u16(b, at + 2)) << 16);
}

SCODE biffError(std::uint8_t code) {
  return static_cast<SCODE>(0x800A0000u | (2000u + code));
}

// Cells of one sheet that libfreexl reads wrongly or not at all, by (row, column), 0-based:
// booleans (it hands them out as the numbers 1 and 0), errors, and formula results.
// A cached number of a formula only fills a cell the library left empty.
struct Override {
  Cell cell;
  bool onlyWhenEmpty = false;
};
using CellOverrides = std::map<std::pair<std::uint32_t, std::uint32_t>, Override>;

struct BiffFacts {
  std::vector<std::u16string> sheetNames;  // every BOUNDSHEET, in tab order
  std::vector<CellOverrides> sheetCells;
  std::size_t activeTab = 0;
};

std::u16string biffString(std::string_view rec, std::size_t at, std::size_t count) {
  std::u16string s;
  if (at >= rec.size()) return s;
  const bool wide = rec[at] & 1;
  ++at;
  for (std::size_t i = 0; i < count; ++i) {
    if (wide) {
      if (at + 2 > rec.size()) break;
      s += static_cast<char16_t>(u16(rec, at));
      at += 2;
    } else {
      if (at >= rec.size()) break;
      s += static_cast<char16_t>(static_cast<unsigned char>(rec[at++]));
    }
  }
  return s;
}

// Walks the records of the workbook stream; every read is bounds-checked, and a broken
// stream simply ends the walk (the cells themselves come from libfreexl).
BiffFacts scanWorkbookStream(const std::string& stream, TextPool& texts) {
  BiffFacts facts;
  std::vector<std::uint32_t> offsets;
  std::size_t at = 0;
  // Globals: BOUNDSHEET (0x85) and WINDOW1 (0x3D) until the first EOF.
  while (at + 4 <= stream.size()) {
    const std::uint16_t id = u16(stream, at), len = u16(stream, at + 2);
    if (at + 4 + len > stream.size()) break;
    const std::string_view rec(stream.data() + at + 4, len);
    at += 4 + len;
    if (id == 0x000A) break;
    if (id == 0x0085 && len >= 8) {
      offsets.push_back(u32(rec, 0));
      facts.sheetNames.push_back(biffString(rec, 7, static_cast<unsigned char>(rec[6])));
    } else if (id == 0x003D && len >= 12 && facts.activeTab == 0) {
      facts.activeTab = u16(rec, 10);
    }
  }
  for (std::uint32_t offset : offsets) {
    CellOverrides cells;
    std::size_t p = offset;
    int depth = 0;
    std::pair<std::uint32_t, std::uint32_t> pendingString{0, 0};
    bool expectString = false;
    while (p + 4 <= stream.size()) {
      const std::uint16_t id = u16(stream, p), len = u16(stream, p + 2);
      if (p + 4 + len > stream.size()) break;
      const std::string_view rec(stream.data() + p + 4, len);
      p += 4 + len;
      if (id == 0x0809) ++depth;
      if (id == 0x000A && --depth <= 0) break;
      if (depth != 1) continue;
      if (id == 0x0205 && len >= 8) {  // BOOLERR
        Cell cell;
        cell.column = u16(rec, 2) + 1u;
        const auto value = static_cast<std::uint8_t>(rec[6]);
        if (rec[7]) {
          cell.kind = CellKind::Error;
          cell.error = biffError(value);
        } else {
          cell.kind = CellKind::Boolean;
          cell.flag = value != 0;
        }
        cells[{u16(rec, 0), u16(rec, 2)}] = {cell, false};
      } else if (id == 0x0006 && len >= 14 && u16(rec, 12) != 0xFFFF) {  // FORMULA, number
        Cell cell;
        cell.column = u16(rec, 2) + 1u;
        cell.kind = CellKind::Number;
        std::uint64_t bits = u32(rec, 6) | (static_cast<std::uint64_t>(u32(rec, 10)) << 32);
        std::memcpy(&cell.number, &bits, sizeof bits);
        if (std::isfinite(cell.number)) cells[{u16(rec, 0), u16(rec, 2)}] = {cell, true};
      } else if (id == 0x0006 && len >= 14) {  // FORMULA with a boolean, error or text result
        const auto type = static_cast<std::uint8_t>(rec[6]);
        Cell cell;
        cell.column = u16(rec, 2) + 1u;
        if (type == 1) {
          cell.kind = CellKind::Boolean;
          cell.flag = rec[8] != 0;
        } else if (type == 2) {
          cell.kind = CellKind::Error;
          cell.error = biffError(static_cast<std::uint8_t>(rec[8]));
        } else if (type == 0) {
          expectString = true;
          pendingString = {u16(rec, 0), u16(rec, 2)};
          continue;
        } else if (type == 3) {
          cell.kind = CellKind::Text;
          cell.text = texts.add(u"");
        }
        if (cell.kind != CellKind::Empty) cells[{u16(rec, 0), u16(rec, 2)}] = {cell, false};
      } else if (id == 0x0207 && expectString && len >= 3) {  // STRING after a FORMULA
        Cell cell;
        cell.column = pendingString.second + 1u;
        cell.kind = CellKind::Text;
        cell.text = texts.add(biffString(rec, 2, u16(rec, 0)));
        cells[pendingString] = {cell, false};
      }
      if (id != 0x0006) expectString = false;
    }
    facts.sheetCells.push_back(std::move(cells));
  }
  return facts;
}

}  // namespace

void readXls(const std::string& path, WorkbookData& book) {
  const void* raw = nullptr;
  const int rc = freexl_open(path.c_str(), &raw);
  std::unique_ptr<const void, FreexlCloser> handle(raw);
  if (rc != FREEXL_OK) {
    throw SheetReadError("Die Excel-Datei l\xc3\xa4sst sich nicht lesen (FreeXL-Fehler " +
                         std::to_string(rc) + ").");
  }
  unsigned int info = 0;
  if (freexl_get_info(raw, FREEXL_BIFF_PASSWORD, &info) == FREEXL_OK &&
      info == FREEXL_BIFF_OBFUSCATED)
    throw SheetReadError("Die Arbeitsmappe ist kennwortgesch\xc3\xbctzt.");
  unsigned int version = 0;
  if (freexl_get_info(raw, FREEXL_BIFF_VERSION, &version) == FREEXL_OK &&
      version != FREEXL_BIFF_VER_8)
    throw SheetReadError("Nur Excel-Dateien ab Excel 97 (BIFF8) werden gelesen.");
  unsigned int sheetCount = 0;
  if (freexl_get_info(raw, FREEXL_BIFF_SHEET_COUNT, &sheetCount) != FREEXL_OK || sheetCount == 0)
    throw SheetReadError("Die Arbeitsmappe hat kein Tabellenblatt.");

  BiffFacts facts;
  {
    CompoundFile cfb(path);
    const std::string stream =
        cfb.hasStream(u"Workbook") ? cfb.readStream(u"Workbook") : cfb.readStream(u"Book");
    facts = scanWorkbookStream(stream, book.texts);
  }

  std::u16string activeName;
  if (facts.activeTab < facts.sheetNames.size()) activeName = facts.sheetNames[facts.activeTab];

  for (unsigned int s = 0; s < sheetCount; ++s) {
    SheetData sheet;
    const char* name = nullptr;
    if (freexl_get_worksheet_name(raw, static_cast<unsigned short>(s), &name) == FREEXL_OK && name)
      sheet.name = utf8ToUtf16(name);
    if (freexl_select_active_worksheet(raw, static_cast<unsigned short>(s)) != FREEXL_OK)
      throw SheetReadError("Tabellenblatt " + std::to_string(s + 1) +
                           " l\xc3\xa4sst sich nicht lesen.");
    unsigned int rows = 0;
    unsigned short cols = 0;
    if (freexl_worksheet_dimensions(raw, &rows, &cols) != FREEXL_OK)
      throw SheetReadError("Tabellenblatt " + std::to_string(s + 1) +
                           " l\xc3\xa4sst sich nicht lesen.");
    if (rows > 65536 || cols > 256) throw SheetReadError("Das Tabellenblatt ist zu gro\xc3\x9f.");

    const CellOverrides* overrides = nullptr;
    for (std::size_t i = 0; i < facts.sheetNames.size() && i < facts.sheetCells.size(); ++i) {
      if (facts.sheetNames[i] == sheet.name) overrides = &facts.sheetCells[i];
    }

    CellStoreBuilder builder;
    for (unsigned int r = 0; r < rows; ++r) {
      for (unsigned int c = 0; c < cols; ++c) {
        FreeXL_CellValue v;
        if (freexl_get_cell_value(raw, r, static_cast<unsigned short>(c), &v) != FREEXL_OK)
          v.type = FREEXL_CELL_NULL;
        Cell cell;
        cell.column = c + 1;
        const Override* fix = nullptr;
        if (overrides) {
          const auto found = overrides->find({r, c});
          if (found != overrides->end()) fix = &found->second;
        }
        if (fix && !fix->onlyWhenEmpty) {
          builder.add(r + 1, fix->cell);
          continue;
        }
        switch (v.type) {
          case FREEXL_CELL_INT:
            cell.kind = CellKind::Number;
            cell.number = v.value.int_value;
            break;
          case FREEXL_CELL_DOUBLE:
            cell.kind = CellKind::Number;
            cell.number = v.value.double_value;
            break;
          case FREEXL_CELL_TEXT:
          case FREEXL_CELL_SST_TEXT:
            cell.kind = CellKind::Text;
            cell.text = book.texts.add(utf8ToUtf16(v.value.text_value ? v.value.text_value : ""));
            break;
          case FREEXL_CELL_DATE:
          case FREEXL_CELL_DATETIME:
          case FREEXL_CELL_TIME: {
            double serial;
            if (v.value.text_value && serialFromIso(v.value.text_value, &serial)) {
              cell.kind = CellKind::Date;
              cell.number = serial;
            }
            break;
          }
          default:
            if (fix) cell = fix->cell;
        }
        builder.add(r + 1, cell);
      }
    }
    sheet.cells = builder.finish();
    book.sheets.push_back(std::move(sheet));
    if (!activeName.empty() && book.sheets.back().name == activeName)
      book.activeSheet = book.sheets.size() - 1;
  }
}

}  // namespace zandor::sheet

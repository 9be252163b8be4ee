// The BIFF8 workbook reader (.xls): the records of the workbook stream, read in-process.
// Every read is bounds-checked; a damaged stream is refused with a reason.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "sheet/biff_records.h"
#include "sheet/cfb_file.h"
#include "sheet/dispatch.h"
#include "sheet/serial_date.h"
#include "sheet/sheet_error.h"
#include "sheet/unicode_text.h"
#include "sheet/workbook_data.h"

namespace zandor::sheet {

namespace {

// Record ids.
constexpr std::uint16_t kFormula = 0x0006, kEof = 0x000A, kFilePass = 0x002F, kDateMode = 0x0022,
                        kWindow1 = 0x003D, kBoundSheet = 0x0085, kMulRk = 0x00BD, kSst = 0x00FC,
                        kLabelSst = 0x00FD, kRString = 0x00D6, kXf = 0x00E0, kNumber = 0x0203,
                        kLabel = 0x0204, kBoolErr = 0x0205, kString = 0x0207, kArray = 0x0221,
                        kTable = 0x0236, kRk = 0x027E, kFormat = 0x041E, kShrFmla = 0x04BC,
                        kBof = 0x0809;

SCODE biffError(std::uint8_t code) {
  return static_cast<SCODE>(0x800A0000u | (2000u + code));
}

// An RK number: a double's top 30 bits or a 30-bit integer, either perhaps times 100.
double rkNumber(std::uint32_t rk) {
  double v;
  if (rk & 2) {
    v = static_cast<double>(static_cast<std::int32_t>(rk) >> 2);
  } else {
    const std::uint64_t bits = static_cast<std::uint64_t>(rk & 0xFFFFFFFCu) << 32;
    std::memcpy(&v, &bits, sizeof v);
  }
  return rk & 1 ? v / 100 : v;
}

double ieee(std::string_view rec, std::size_t at) {
  const std::uint64_t bits = le32(rec, at) | (static_cast<std::uint64_t>(le32(rec, at + 4)) << 32);
  double v;
  std::memcpy(&v, &bits, sizeof v);
  return v;
}

struct SheetEntry {
  std::u16string name;
  std::uint32_t offset = 0;
  std::size_t end = SIZE_MAX;  // where the next sheet's records begin
  std::uint8_t type = 0;       // 0 worksheet, 1 macro sheet, 2 chart, 6 module
};

// Worksheets and macro sheets; charts and modules hold no cells.
bool hasCells(const SheetEntry& e) {
  return e.type == 0 || e.type == 1;
}

// What the globals substream says about the workbook.
struct Globals {
  std::vector<SheetEntry> sheets;
  std::size_t activeTab = 0;
  bool date1904 = false;
  std::vector<bool> dateXf;  // by XF index
  TextPool sst;
  std::uint32_t sstCount = 0;
};

Globals readGlobals(const std::string& stream, std::uint64_t maxTextUnits) {
  BiffRecords records(stream, 0);
  BiffRecord rec;
  if (!records.next(rec) || rec.id != kBof || rec.data.size() < 4)
    throw SheetReadError("Die Datei ist keine Excel-Arbeitsmappe.");
  if (le16(rec.data, 0) != 0x0600)
    throw SheetReadError("Nur Excel-Dateien ab Excel 97 (BIFF8) werden gelesen.");
  Globals g;
  g.sst = TextPool(maxTextUnits);
  // Whether each format written in the file shows dates, decided once per FORMAT record
  // (a damaged file may name one long format from any number of XF records).
  std::unordered_map<std::uint16_t, bool> dateFormats;
  std::vector<std::uint16_t> xfFormats;
  bool sawWindow = false;
  while (records.next(rec) && rec.id != kEof) {
    const std::string_view d = rec.data;
    switch (rec.id) {
      case kFilePass:
        throw SheetReadError("Die Arbeitsmappe ist kennwortgesch\xc3\xbctzt.");
      case kDateMode:
        if (d.size() >= 2) g.date1904 = le16(d, 0) == 1;
        break;
      case kWindow1:
        if (d.size() >= 12 && !sawWindow) g.activeTab = le16(d, 10);
        sawWindow = true;
        break;
      case kBoundSheet: {
        if (d.size() < 8) damagedBiff();
        SheetEntry e;
        e.offset = le32(d, 0);
        e.type = static_cast<std::uint8_t>(d[5]);
        BiffText name(rec, 6);
        e.name = name.shortString();
        g.sheets.push_back(std::move(e));
        break;
      }
      case kFormat: {
        if (d.size() < 2) damagedBiff();
        BiffText code(rec, 2);
        const std::uint16_t id = le16(d, 0);
        dateFormats[id] = isDateFormat(id, utf16ToUtf8(code.longString()));
        break;
      }
      case kXf:
        if (d.size() < 4) damagedBiff();
        xfFormats.push_back(le16(d, 2));
        break;
      case kSst: {
        if (d.size() < 8) damagedBiff();
        BiffText texts(records.withContinues(rec), 8);
        const std::uint32_t count = le32(d, 4);
        for (std::uint32_t i = 0; i < count && !texts.atEnd(); ++i) g.sst.add(texts.longString());
        g.sstCount = static_cast<std::uint32_t>(g.sst.size());
        break;
      }
    }
  }
  for (std::uint16_t format : xfFormats) {
    const auto found = dateFormats.find(format);
    g.dateXf.push_back(found == dateFormats.end() ? isDateFormat(format, "") : found->second);
  }
  if (g.sheets.empty()) throw SheetReadError("Die Arbeitsmappe hat kein Tabellenblatt.");
  // Each sheet's records end where the next sheet's begin, so that however its end is
  // damaged, reading every sheet reads the stream once. Two sheets in one place are damage.
  // Charts and modules, whose records are never read, take no part.
  std::vector<std::uint32_t> starts;
  for (const SheetEntry& e : g.sheets) {
    if (hasCells(e)) starts.push_back(e.offset);
  }
  std::sort(starts.begin(), starts.end());
  if (std::adjacent_find(starts.begin(), starts.end()) != starts.end()) damagedBiff();
  for (SheetEntry& e : g.sheets) {
    const auto next = std::upper_bound(starts.begin(), starts.end(), e.offset);
    if (next != starts.end()) e.end = *next;
  }
  return g;
}

// Reads the cells of the sheet whose BOF is at offset. Texts of the shared table are named
// through sstText, texts of the sheet itself go to ownText.
template <class SstText, class OwnText>
CellStore readSheet(const std::string& stream, const SheetEntry& entry, const Globals& g,
                    std::uint64_t maxCells, SstText sstText, OwnText ownText) {
  CellStoreBuilder cells(maxCells);
  if (!hasCells(entry)) return cells.finish();
  BiffRecords records(stream, entry.offset, entry.end);
  BiffRecord rec;
  if (!records.next(rec) || rec.id != kBof) damagedBiff();
  int depth = 1;
  // A formula whose text result comes in the STRING record after it.
  bool pendingString = false;
  std::uint32_t pendingRow = 0, pendingCol = 0;

  auto place = [&](std::string_view d, Cell& cell) {
    cell.column = le16(d, 2) + 1u;
    return le16(d, 0) + 1u;
  };
  auto numberAt = [&](std::uint32_t row, std::uint32_t column, std::uint16_t xf, double v) {
    if (!std::isfinite(v)) return;  // no spreadsheet value: the cell stays empty
    Cell cell;
    cell.column = column;
    const bool isDate = xf < g.dateXf.size() && g.dateXf[xf];
    cell.kind = isDate ? CellKind::Date : CellKind::Number;
    cell.number = isDate ? automationSerial(v, g.date1904) : v;
    cells.add(row, cell);
  };
  auto number = [&](std::string_view d, std::uint16_t xf, double v) {
    numberAt(le16(d, 0) + 1u, le16(d, 2) + 1u, xf, v);
  };
  auto need = [](std::string_view d, std::size_t n) {
    if (d.size() < n) damagedBiff();
  };

  while (records.next(rec)) {
    const std::string_view d = rec.data;
    if (rec.id == kBof) ++depth;  // an embedded chart: its records are not cells
    if (rec.id == kEof && --depth == 0) break;
    if (depth != 1) continue;
    if (rec.id != kString && rec.id != kShrFmla && rec.id != kArray && rec.id != kTable &&
        rec.id != kFormula)
      pendingString = false;
    switch (rec.id) {
      case kNumber:
        need(d, 14);
        number(d, le16(d, 4), ieee(d, 6));
        break;
      case kRk:
        need(d, 10);
        number(d, le16(d, 4), rkNumber(le32(d, 6)));
        break;
      case kMulRk: {
        need(d, 6);
        const std::size_t n = (d.size() - 6) / 6;
        for (std::size_t i = 0; i < n; ++i) {
          const std::size_t at = 4 + 6 * i;
          numberAt(le16(d, 0) + 1u, le16(d, 2) + 1u + static_cast<std::uint32_t>(i), le16(d, at),
                   rkNumber(le32(d, at + 2)));
        }
        break;
      }
      case kLabelSst: {
        need(d, 10);
        Cell cell;
        const std::uint32_t row = place(d, cell);
        const std::uint32_t index = le32(d, 6);
        if (index >= g.sstCount)
          throw SheetReadError("Zelle in Zeile " + std::to_string(row) + " verweist auf den Text " +
                               std::to_string(index) + ", es gibt nur " +
                               std::to_string(g.sstCount) + ".");
        cell.kind = CellKind::Text;
        cell.text = sstText(index);
        cells.add(row, cell);
        break;
      }
      case kLabel:
      case kRString: {
        need(d, 8);
        Cell cell;
        const std::uint32_t row = place(d, cell);
        BiffText text(records.withContinues(rec), 6);
        cell.kind = CellKind::Text;
        cell.text = ownText(text.longString());
        cells.add(row, cell);
        break;
      }
      case kBoolErr: {
        need(d, 8);
        Cell cell;
        const std::uint32_t row = place(d, cell);
        const auto value = static_cast<std::uint8_t>(d[6]);
        if (d[7]) {
          cell.kind = CellKind::Error;
          cell.error = biffError(value);
        } else {
          cell.kind = CellKind::Boolean;
          cell.flag = value != 0;
        }
        cells.add(row, cell);
        break;
      }
      case kFormula: {
        need(d, 20);
        pendingString = false;
        if (le16(d, 12) != 0xFFFF) {
          number(d, le16(d, 4), ieee(d, 6));
          break;
        }
        Cell cell;
        const std::uint32_t row = place(d, cell);
        switch (d[6]) {
          case 0:  // text, in the STRING record that follows
            pendingString = true;
            pendingRow = row;
            pendingCol = cell.column;
            break;
          case 1:
            cell.kind = CellKind::Boolean;
            cell.flag = d[8] != 0;
            break;
          case 2:
            cell.kind = CellKind::Error;
            cell.error = biffError(static_cast<std::uint8_t>(d[8]));
            break;
          case 3:
            cell.kind = CellKind::Text;
            cell.text = ownText(u"");
            break;
        }
        cells.add(row, cell);
        break;
      }
      case kString: {
        if (!pendingString) break;
        pendingString = false;
        BiffText text(records.withContinues(rec), 0);
        Cell cell;
        cell.column = pendingCol;
        cell.kind = CellKind::Text;
        cell.text = ownText(text.longString());
        cells.add(pendingRow, cell);
        break;
      }
    }
  }
  return cells.finish();
}

std::string workbookStream(const CompoundFile& cfb) {
  if (cfb.hasStream(u"EncryptedPackage") || cfb.hasStream(u"EncryptionInfo"))
    throw SheetReadError("Die Arbeitsmappe ist kennwortgesch\xc3\xbctzt.");
  if (cfb.hasStream(u"Workbook")) return cfb.readStream(u"Workbook");
  if (cfb.hasStream(u"Book"))
    throw SheetReadError("Nur Excel-Dateien ab Excel 97 (BIFF8) werden gelesen.");
  throw SheetReadError("Die Datei ist keine Excel-Arbeitsmappe.");
}

// Reads the sheets left unread at first from the file once more, each with its texts (the
// shared ones it names copied) in a pool of its own. The stream read for the first of them
// is kept for the others, instead of reading the whole file again for every sheet.
class XlsSheetLoader : public SheetLoader {
 public:
  XlsSheetLoader(std::string path, Globals globals)
      : path_(std::move(path)), globals_(std::move(globals)) {}

  void load(const WorkbookData& book, std::size_t index, SheetData& sheet) override {
    if (!haveStream_) {
      stream_ = workbookStream(CompoundFile(path_));
      haveStream_ = true;
    }
    const std::string& stream = stream_;
    auto pool = std::make_shared<TextPool>(book.limits.maxTextUnits);
    std::unordered_map<std::uint32_t, std::uint32_t> copied;
    sheet.cells = readSheet(
        stream, globals_.sheets.at(index), globals_, book.limits.maxCells,
        [&](std::uint32_t i) {
          const auto [at, fresh] = copied.try_emplace(i, 0);
          if (fresh) at->second = pool->add(book.texts.get(i));
          return at->second;
        },
        [&](std::u16string_view t) { return pool->add(t); });
    sheet.texts = std::move(pool);
  }
  // The workbook stream, once read again (or kept from the start for a workbook read from
  // memory, which has no path).
  std::string stream_;
  bool haveStream_ = false;

 private:
  std::string path_;
  Globals globals_;  // without the shared texts, which the book holds
};

}  // namespace

void readBiffWorkbook(const std::string& stream, const std::string& path, WorkbookData& book) {
  Globals globals = readGlobals(stream, book.limits.maxTextUnits);
  book.texts = std::move(globals.sst);
  globals.sst = TextPool(book.limits.maxTextUnits);
  book.activeSheet = globals.activeTab < globals.sheets.size() ? globals.activeTab : 0;
  for (std::size_t i = 0; i < globals.sheets.size(); ++i) {
    SheetData sheet;
    sheet.name = globals.sheets[i].name;
    sheet.loaded = false;
    book.sheets.push_back(std::move(sheet));
  }
  // The active sheet's texts follow the shared ones in the book's pool.
  SheetData& active = book.sheets[book.activeSheet];
  active.cells = readSheet(
      stream, globals.sheets[book.activeSheet], globals, book.limits.maxCells,
      [](std::uint32_t i) { return i; }, [&](std::u16string_view t) { return book.texts.add(t); });
  active.loaded = true;
  auto loader = std::make_shared<XlsSheetLoader>(path, std::move(globals));
  if (path.empty()) {
    loader->stream_ = stream;
    loader->haveStream_ = true;
  }
  book.loader = std::move(loader);
}

void readXls(const std::string& path, WorkbookData& book) {
  const std::string stream = workbookStream(CompoundFile(path));
  readBiffWorkbook(stream, path, book);
}

}  // namespace zandor::sheet

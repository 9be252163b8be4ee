// The OpenDocument spreadsheet reader (.ods).

#include <charconv>
#include <cstdlib>
#include <string>
#include <vector>

#include "sheet/dispatch.h"
#include "sheet/fast_xml.h"
#include "sheet/serial_date.h"
#include "sheet/sheet_error.h"
#include "sheet/unicode_text.h"
#include "sheet/workbook_data.h"
#include "sheet/xml_namespaces.h"
#include "sheet/xml_stream.h"
#include "sheet/zip_archive.h"

namespace zandor::sheet {

namespace {

std::uint64_t repeatCount(const char* text) {
  if (!text) return 1;
  std::uint64_t v = 0;
  const std::string_view s(text);
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (ec != std::errc() || end != s.data() + s.size() || v == 0)
    throw SheetReadError("Ung\xc3\xbcltige Wiederholungsangabe \"" + std::string(s) + "\".");
  return v;
}

double parseNumber(const char* text) {
  double d = 0;
  const std::string_view s(text ? text : "");
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), d);
  if (ec != std::errc() || end != s.data() + s.size())
    throw SheetReadError("Ung\xc3\xbcltige Zahl \"" + std::string(s) + "\".");
  return d;
}

// The tables whose cells are kept: every one, the one of a name, or the one at a position.
struct TableChoice {
  enum class Kind { All, Named, Numbered } kind = Kind::All;
  std::u16string name;
  std::size_t index = 0;
  bool keeps(std::size_t i, std::u16string_view n) const {
    return kind == Kind::All || (kind == Kind::Named ? n == name : i == index);
  }
};

class ContentHandler : public XmlHandler {
 public:
  explicit ContentHandler(WorkbookData& book, TableChoice choice = {})
      : book_(book), choice_(std::move(choice)), builder_(book.limits.maxCells) {}

  void startElement(const char* name, const char** attrs) override {
    ns_.enter(attrs);
    if (inCell_) {
      startInCell(name, attrs);
      return;
    }
    const std::string_view local = ns_.localIn(name, Namespace::OdfTable);
    if (local == "table") {
      if (++tableDepth_ == 1) {
        const char* sheetName = ns_.attribute(attrs, Namespace::OdfTable, "name");
        SheetData sheet;
        sheet.name = utf8ToUtf16(sheetName ? sheetName : "");
        keeping_ = choice_.keeps(book_.sheets.size(), sheet.name);
        sheet.loaded = keeping_;
        book_.sheets.push_back(std::move(sheet));
        builder_ = CellStoreBuilder(book_.limits.maxCells);
        row_ = 1;
      }
    } else if (!keeping_) {
      return;  // a table left for later: only its name counts now
    } else if (tableDepth_ == 1 && local == "table-row") {
      rowRepeat_ = repeatCount(ns_.attribute(attrs, Namespace::OdfTable, "number-rows-repeated"));
      col_ = 1;
      rowCells_.clear();
    } else if (tableDepth_ == 1 && (local == "table-cell" || local == "covered-table-cell")) {
      startCell(attrs);
    }
  }

  void endElement(const char* name) override {
    const std::string_view local = ns_.localIn(name, Namespace::OdfTable);
    if (inCell_) {
      if (local == "table-cell" || local == "covered-table-cell") {
        if (--cellDepth_ == 0) endCell();
      } else {
        endInCell(name);
      }
      ns_.leave();
      return;
    }
    ns_.leave();
    if (local == "table") {
      if (tableDepth_-- == 1) book_.sheets.back().cells = builder_.finish();
    } else if (keeping_ && tableDepth_ == 1 && local == "table-row") {
      endRow();
    }
  }

  void text(const char* data, int length) override {
    if (inCell_ && paragraphDepth_ > 0 && annotationDepth_ == 0)
      text_.append(data, static_cast<std::size_t>(length));
  }

 private:
  void startCell(const char** attrs) {
    inCell_ = true;
    cellDepth_ = 1;
    text_.clear();
    paragraphs_ = 0;
    paragraphDepth_ = 0;
    annotationDepth_ = 0;
    cell_ = Cell();
    isString_ = false;
    isError_ = false;
    const char* repeat = nullptr;
    const char* type = nullptr;
    const char* calcType = nullptr;
    const char* formula = nullptr;
    const char* value = nullptr;
    const char* dateValue = nullptr;
    const char* timeValue = nullptr;
    const char* booleanValue = nullptr;
    const char* stringValue = nullptr;
    for (const char** a = attrs; *a; a += 2) {
      if (const std::string_view office = ns_.attributeLocal(a[0], Namespace::OdfOffice);
          !office.empty()) {
        if (office == "value-type")
          type = a[1];
        else if (office == "value")
          value = a[1];
        else if (office == "date-value")
          dateValue = a[1];
        else if (office == "time-value")
          timeValue = a[1];
        else if (office == "boolean-value")
          booleanValue = a[1];
        else if (office == "string-value")
          stringValue = a[1];
      } else if (const std::string_view table = ns_.attributeLocal(a[0], Namespace::OdfTable);
                 !table.empty()) {
        if (table == "number-columns-repeated")
          repeat = a[1];
        else if (table == "formula")
          formula = a[1];
      } else if (ns_.attributeLocal(a[0], Namespace::CalcExtension) == "value-type") {
        calcType = a[1];
      }
    }
    cellRepeat_ = repeatCount(repeat);
    if (!type) return;
    const std::string_view t(type);
    if (calcType && std::string_view(calcType) == "error") {
      isError_ = true;
    } else if (t == "float" || t == "percentage" || t == "currency") {
      const double v = parseNumber(value);
      const std::string_view f(formula ? formula : "");
      if (f == "of:=TRUE()" || f == "of:=FALSE()") {
        cell_.kind = CellKind::Boolean;
        cell_.flag = v != 0;
      } else {
        cell_.kind = CellKind::Number;
        cell_.number = v;
      }
    } else if (t == "date") {
      const char* v = dateValue;
      double serial;
      if (!v || !serialFromIso(v, &serial))
        throw SheetReadError("Ung\xc3\xbcltiges Datum \"" + std::string(v ? v : "") + "\".");
      cell_.kind = CellKind::Date;
      cell_.number = serial;
    } else if (t == "time") {
      const char* v = timeValue;
      double serial;
      if (!v || !serialFromDuration(v, &serial))
        throw SheetReadError("Ung\xc3\xbcltige Zeit \"" + std::string(v ? v : "") + "\".");
      cell_.kind = CellKind::Date;
      cell_.number = serial;
    } else if (t == "boolean") {
      const char* v = booleanValue;
      cell_.kind = CellKind::Boolean;
      // Some writers put 1 and 0 instead of true and false.
      cell_.flag = v && (std::string_view(v) == "true" || std::string_view(v) == "1");
    } else if (t == "string") {
      isString_ = true;
      // Newer writers may put the text into office:string-value instead of paragraphs.
      if (stringValue) {
        stringValue_ = stringValue;
        hasStringValue_ = true;
      }
    }
  }

  void startInCell(const char* name, const char** attrs) {
    const std::string_view table = ns_.localIn(name, Namespace::OdfTable);
    if (table == "table-cell" || table == "covered-table-cell") {
      ++cellDepth_;  // a cell of a table nested in this cell: not ours
      return;
    }
    if (ns_.localIn(name, Namespace::OdfOffice) == "annotation") {
      ++annotationDepth_;
      return;
    }
    if (annotationDepth_ > 0) return;
    const std::string_view local = ns_.localIn(name, Namespace::OdfText);
    if (local == "p" || local == "h") {
      if (paragraphDepth_++ == 0 && paragraphs_++ > 0) text_ += '\n';
    } else if (paragraphDepth_ > 0) {
      if (local == "s") {
        const std::uint64_t n = repeatCount(ns_.attribute(attrs, Namespace::OdfText, "c"));
        if (n > 65536) throw SheetReadError("Zu viele Leerzeichen in einer Zelle.");
        text_.append(static_cast<std::size_t>(n), ' ');
      } else if (local == "tab") {
        text_ += '\t';
      } else if (local == "line-break") {
        text_ += '\n';
      }
    }
  }

  void endInCell(const char* name) {
    if (ns_.localIn(name, Namespace::OdfOffice) == "annotation") {
      --annotationDepth_;
    } else if (annotationDepth_ == 0) {
      const std::string_view local = ns_.localIn(name, Namespace::OdfText);
      if (local == "p" || local == "h") --paragraphDepth_;
    }
  }

  void endCell() {
    inCell_ = false;
    if (isError_) {
      cell_.kind = CellKind::Error;
      cell_.error = cellErrorCode(text_);
    } else if (isString_) {
      cell_.kind = CellKind::Text;
      cell_.text = book_.texts.add(utf8ToUtf16(hasStringValue_ ? stringValue_ : text_));
    }
    hasStringValue_ = false;
    if (cell_.kind != CellKind::Empty) {
      if (col_ + cellRepeat_ - 1 > kMaxColumns)
        throw SheetReadError(
            "Zellen au\xc3\x9f"
            "erhalb des Tabellenblatts (Spalte " +
            std::to_string(col_ + cellRepeat_ - 1) + ").");
      // A repeated cell is stored once, as a run.
      cell_.column = static_cast<std::uint32_t>(col_);
      cell_.repeat = static_cast<std::uint16_t>(cellRepeat_ - 1);
      rowCells_.push_back(cell_);
    }
    col_ += cellRepeat_;
  }

  void endRow() {
    if (!rowCells_.empty()) {
      if (row_ + rowRepeat_ - 1 > kMaxRows)
        throw SheetReadError(
            "Zeilen au\xc3\x9f"
            "erhalb des Tabellenblatts (Zeile " +
            std::to_string(row_ + rowRepeat_ - 1) + ").");
      const auto row = static_cast<std::uint32_t>(row_);
      for (const Cell& c : rowCells_) builder_.add(row, c);
      builder_.repeatRow(row, rowRepeat_ - 1);  // stored once
    }
    row_ += rowRepeat_;
  }

  NamespaceScope ns_;
  WorkbookData& book_;
  TableChoice choice_;
  bool keeping_ = true;
  CellStoreBuilder builder_;
  int tableDepth_ = 0;
  std::uint64_t row_ = 1, col_ = 1, rowRepeat_ = 1, cellRepeat_ = 1;
  std::vector<Cell> rowCells_;
  bool inCell_ = false, isString_ = false, isError_ = false, hasStringValue_ = false;
  int cellDepth_ = 0, paragraphDepth_ = 0, paragraphs_ = 0, annotationDepth_ = 0;
  Cell cell_;
  std::string text_, stringValue_;
};

// settings.xml: the view's "ActiveTable".
class SettingsHandler : public XmlHandler {
 public:
  std::string activeTable;
  bool found = false;

  void startElement(const char* name, const char** attrs) override {
    ns_.enter(attrs);
    const std::string_view local = ns_.localIn(name, Namespace::OdfConfig);
    if (local.empty()) return;
    const char* itemName = ns_.attribute(attrs, Namespace::OdfConfig, "name");
    if (local == "config-item-map-indexed" && itemName && std::string_view(itemName) == "Views")
      ++inViews_;
    else if (inViews_ && !found && local == "config-item" && itemName &&
             std::string_view(itemName) == "ActiveTable")
      collecting_ = true;
  }
  void endElement(const char* name) override {
    const std::string_view local = ns_.localIn(name, Namespace::OdfConfig);
    ns_.leave();
    if (collecting_ && local == "config-item") {
      collecting_ = false;
      found = true;
    } else if (local == "config-item-map-indexed" && inViews_) {
      --inViews_;
    }
  }
  void text(const char* data, int length) override {
    if (collecting_) activeTable.append(data, static_cast<std::size_t>(length));
  }

 private:
  NamespaceScope ns_;
  int inViews_ = 0;
  bool collecting_ = false;
};

// A flat document has content and settings in one XML file.
class BothHandlers : public XmlHandler {
 public:
  BothHandlers(XmlHandler& a, XmlHandler& b) : a_(a), b_(b) {}
  void startElement(const char* name, const char** attrs) override {
    a_.startElement(name, attrs);
    b_.startElement(name, attrs);
  }
  void endElement(const char* name) override {
    a_.endElement(name);
    b_.endElement(name);
  }
  void text(const char* data, int length) override {
    a_.text(data, length);
    b_.text(data, length);
  }

 private:
  XmlHandler& a_;
  XmlHandler& b_;
};

void chooseActiveSheet(const SettingsHandler& settings, WorkbookData& book) {
  const std::u16string active = utf8ToUtf16(settings.activeTable);
  for (std::size_t i = 0; i < book.sheets.size(); ++i) {
    if (settings.found && book.sheets[i].name == active) book.activeSheet = i;
  }
}

// Reads a table left for later from content.xml once more, keeping only its cells.
class OdsSheetLoader : public SheetLoader {
 public:
  explicit OdsSheetLoader(std::string path) : path_(std::move(path)) {}
  void load(const WorkbookData& book, std::size_t index, SheetData& sheet) override {
    ZipArchive zip(path_, book.limits);
    WorkbookData read(book.limits);
    ContentHandler content(read, {TableChoice::Kind::Numbered, {}, index});
    parseZipPart(zip, "content.xml", content);
    if (index >= read.sheets.size())
      throw SheetReadError("Das Tabellenblatt gibt es in der Datei nicht mehr.");
    sheet.cells = std::move(read.sheets[index].cells);
    sheet.texts = std::make_shared<TextPool>(std::move(read.texts));
  }

 private:
  std::string path_;
};

}  // namespace

void readFlatOds(std::string_view bytes, WorkbookData& book) {
  ContentHandler content(book);
  SettingsHandler settings;
  BothHandlers both(content, settings);
  FastXmlStream xml(both, "Flat-XML");
  xml.feed(bytes.data(), bytes.size());
  xml.finish();
  if (book.sheets.empty()) throw SheetReadError("Das Dokument hat kein Tabellenblatt.");
  chooseActiveSheet(settings, book);
}

void readOds(ZipArchive& zip, WorkbookData& book) {
  if (zip.has("mimetype")) {
    const std::string mime = zip.read("mimetype", 256);
    if (mime.rfind("application/vnd.oasis.opendocument.spreadsheet", 0) != 0)
      throw SheetReadError("Das OpenDocument ist keine Tabelle (" + mime + ").");
  }
  if (zip.has("META-INF/manifest.xml")) {
    // Encrypted documents announce it in the manifest.
    const std::string manifest = zip.read("META-INF/manifest.xml");
    if (manifest.find("encryption-data") != std::string::npos)
      throw SheetReadError("Die Tabelle ist kennwortgesch\xc3\xbctzt.");
  }
  // The view settings name the active table, the only one read now.
  SettingsHandler settings;
  if (zip.has("settings.xml")) parseZipPart(zip, "settings.xml", settings);
  TableChoice choice{TableChoice::Kind::Numbered, {}, 0};
  if (settings.found) choice = {TableChoice::Kind::Named, utf8ToUtf16(settings.activeTable), 0};
  ContentHandler content(book, choice);
  parseZipPart(zip, "content.xml", content);
  if (book.sheets.empty()) throw SheetReadError("Das Dokument hat kein Tabellenblatt.");
  chooseActiveSheet(settings, book);
  book.loader = std::make_shared<OdsSheetLoader>(zip.path());
  book.sheet(book.activeSheet);  // the first, when the settings named none of them
}

}  // namespace zandor::sheet

#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "sheet/cell_store.h"

namespace zandor::sheet {

struct SheetData {
  std::u16string name;
  CellStore cells;
  // The texts of a sheet read after the workbook was opened; the others use the book's.
  std::shared_ptr<const TextPool> texts;
  bool loaded = true;
  // Whether the sheet part was parsed in two halves at once (both halves used).
  bool readInHalves = false;
};

struct WorkbookData;

// Reads a sheet that was left unread when the workbook was opened.
class SheetLoader {
 public:
  virtual ~SheetLoader() = default;
  // The cells of sheet index, with its texts in a pool of its own. Throws SheetReadError.
  virtual void load(const WorkbookData& book, std::size_t index, SheetData& sheet) = 0;
};

// Everything the server keeps of a file after reading it once. Only the active sheet is
// read at once: the others, however large, cost nothing until they are asked for.
struct WorkbookData {
  WorkbookData() = default;
  explicit WorkbookData(const ReadLimits& readLimits)
      : texts(readLimits.maxTextUnits), limits(readLimits) {}

  std::vector<SheetData> sheets;
  std::size_t activeSheet = 0;  // the sheet active when the file was saved
  TextPool texts;
  std::shared_ptr<SheetLoader> loader;
  // What the file may put into memory, for the sheets read later too.
  ReadLimits limits;

  // The sheet, read now when it was left for later (one reader at a time). Throws
  // SheetReadError.
  const SheetData& sheet(std::size_t index);
  const TextPool& textsOf(const SheetData& sheet) const {
    return sheet.texts ? *sheet.texts : texts;
  }

 private:
  std::shared_ptr<std::mutex> loading_ = std::make_shared<std::mutex>();
};

// Reads a spreadsheet file of any supported kind, told apart by its content: .xlsx and
// its relatives, .ods, .xls, or CSV text. Throws SheetReadError with a description of
// what is wrong, also where the file goes beyond the limits.
WorkbookData readSpreadsheetFile(const std::string& path, const ReadLimits& limits = {});

// Whether a file's name ends in an extension of a kind read above (.xlsx, .xlsm, .xltx,
// .xltm, .xls, .ods, .fods, .csv), in any case. The content still decides the reader.
bool isSpreadsheetFileName(std::string_view path);

// The readers behind it.
class ZipArchive;
void readXlsx(ZipArchive& zip, WorkbookData& book);
void readOds(ZipArchive& zip, WorkbookData& book);
// A flat OpenDocument spreadsheet (.fods): one UTF-8 XML file.
void readFlatOds(std::string_view bytes, WorkbookData& book);
void readXls(const std::string& path, WorkbookData& book);
void readCsv(std::string_view bytes, std::u16string sheetName, WorkbookData& book);

}  // namespace zandor::sheet

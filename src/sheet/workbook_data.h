#pragma once

#include <string>
#include <vector>

#include "sheet/cell_store.h"

namespace zandor::sheet {

struct SheetData {
  std::u16string name;
  CellStore cells;
};

// Everything the server keeps of a file after reading it once.
struct WorkbookData {
  std::vector<SheetData> sheets;
  std::size_t activeSheet = 0;  // the sheet active when the file was saved
  TextPool texts;
};

// Reads a spreadsheet file of any supported kind, told apart by its content: .xlsx and
// its relatives, .ods, .xls, or CSV text. Throws SheetReadError with a description of
// what is wrong.
WorkbookData readSpreadsheetFile(const std::string& path);

// The readers behind it.
class ZipArchive;
void readXlsx(ZipArchive& zip, WorkbookData& book);
void readOds(ZipArchive& zip, WorkbookData& book);
// A flat OpenDocument spreadsheet (.fods): one UTF-8 XML file.
void readFlatOds(std::string_view bytes, WorkbookData& book);
void readXls(const std::string& path, WorkbookData& book);
void readCsv(std::string_view bytes, std::u16string sheetName, WorkbookData& book);

}  // namespace zandor::sheet

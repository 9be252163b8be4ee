#include "sheet/workbook_data.h"

#include "sheet/sheet_error.h"

namespace zandor::sheet {

const SheetData& WorkbookData::sheet(std::size_t index) {
  SheetData& sheet = sheets.at(index);
  std::lock_guard lock(*loading_);
  if (!sheet.loaded) {
    if (!loader) throw SheetReadError("Das Tabellenblatt l\xc3\xa4sst sich nicht lesen.");
    SheetData read;
    read.name = sheet.name;
    loader->load(*this, index, read);
    read.loaded = true;
    sheet = std::move(read);
  }
  return sheet;
}

}  // namespace zandor::sheet

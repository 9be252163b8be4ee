// libFuzzer target: any bytes as an .xls file (a compound file) or as its workbook stream;
// every sheet is read. Reading or refusing with SheetReadError is fine, anything else not.
#include <cstdint>
#include <cstring>
#include <string>

#include "sheet/biff_records.h"
#include "sheet/cell_store.h"
#include "sheet/cfb_file.h"
#include "sheet/sheet_error.h"
#include "sheet/workbook_data.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace zandor::sheet;
  ReadLimits limits;
  limits.maxCells = 200000;
  limits.maxTextUnits = 4u << 20;
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  try {
    std::string stream = bytes;
    if (size >= 8 && std::memcmp(data, "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) == 0)
      stream = CompoundFile::fromBytes(bytes).readStream(u"Workbook");
    WorkbookData book(limits);
    readBiffWorkbook(stream, "", book);
    for (std::size_t i = 0; i < book.sheets.size(); ++i) book.sheet(i);
  } catch (const SheetReadError&) {
  }
  return 0;
}

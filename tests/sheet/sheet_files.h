#pragma once

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace zandor::test {

using ZipParts = std::vector<std::pair<std::string, std::string>>;

// All parts of a zip file, inflated.
ZipParts readZip(const std::filesystem::path& file);

// Writes a zip file with the given parts (deflated).
void writeZip(const std::filesystem::path& file, const ZipParts& parts);

// The parts of a minimal .xlsx: one or more sheets (XML inside <sheetData>), optional shared
// strings (the <si> items), styles (<numFmts> and <cellXfs> contents), the workbook's
// extra elements (for example <workbookPr date1904="1"/>) and the active tab.
struct XlsxContent {
  std::vector<std::string> sheets{""};
  std::string sharedStrings;  // "" writes no sharedStrings part
  std::string numFmts;
  std::string cellXfs = "<xf numFmtId=\"0\"/>";
  std::string workbookPr;
  int activeTab = -1;  // -1 writes no workbookView
};
ZipParts xlsxParts(const XlsxContent& content);
void writeXlsx(const std::filesystem::path& file, const XlsxContent& content);

// A minimal .ods with the given <table:table> elements (and settings naming the active one).
void writeOds(const std::filesystem::path& file, const std::string& tables,
              const std::string& activeTable = "");

// A compound file holding the named streams (every stream in the regular FAT).
std::string compoundFile(const std::vector<std::pair<std::u16string, std::string>>& streams);

}  // namespace zandor::test

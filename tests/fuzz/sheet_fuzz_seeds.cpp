// Writes the seeds of the XML and spreadsheet fuzz targets: small documents of the shapes
// the readers meet, and each given spreadsheet file as it is.
//   sheet_fuzz_seeds DIR_XML DIR_SHEET FILE...
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

void write(const std::filesystem::path& file, const std::string& bytes) {
  std::ofstream(file, std::ios::binary) << bytes;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: sheet_fuzz_seeds DIR_XML DIR_SHEET FILE...\n");
    return 2;
  }
  const std::filesystem::path xml = argv[1];
  const std::filesystem::path sheet = argv[2];
  std::filesystem::create_directories(xml);
  std::filesystem::create_directories(sheet);
  const std::string workbook =
      "<workbook xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
      "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\">"
      "<workbookPr date1904=\"1\"/><bookViews><workbookView activeTab=\"0\"/></bookViews>"
      "<sheets><sheet name=\"Tabelle1\" sheetId=\"1\" r:id=\"rId1\"/></sheets></workbook>";
  const std::string worksheet =
      "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
      "<sheetData><row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c><c r=\"B1\" s=\"1\"><v>45000.5</v>"
      "</c><c r=\"C1\" t=\"inlineStr\"><is><t>M\xc3\xbcller\r\nB</t></is></c>"
      "<c r=\"D1\" t=\"b\"><v>1</v></c><c r=\"E1\" t=\"e\"><v>#N/A</v></c>"
      "<c r=\"F1\" t=\"str\"><f>A1</f><v>x</v></c></row></sheetData></worksheet>";
  const std::string shared =
      "<sst xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" count=\"1\">"
      "<si><r><t>Kun</t></r><r><t xml:space=\"preserve\">de </t></r></si></sst>";
  const std::string styles =
      "<styleSheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
      "<numFmts count=\"1\"><numFmt numFmtId=\"164\" formatCode=\"dd/mm/yyyy hh:mm\"/></numFmts>"
      "<cellXfs count=\"2\"><xf numFmtId=\"0\"/><xf numFmtId=\"164\"/></cellXfs></styleSheet>";
  const std::string content =
      "<office:document-content xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
      "xmlns:table=\"urn:oasis:names:tc:opendocument:xmlns:table:1.0\" "
      "xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\"><office:body>"
      "<office:spreadsheet><table:table table:name=\"T\"><table:table-row>"
      "<table:table-cell office:value-type=\"float\" office:value=\"1.5\"/>"
      "<table:table-cell office:value-type=\"date\" office:date-value=\"2024-03-15T10:00:00\"/>"
      "<table:table-cell office:value-type=\"boolean\" office:boolean-value=\"1\"/>"
      "<table:table-cell table:number-columns-repeated=\"3\" office:value-type=\"string\">"
      "<text:p>A<text:s text:c=\"2\"/>B</text:p></table:table-cell>"
      "</table:table-row></table:table></office:spreadsheet></office:body>"
      "</office:document-content>";
  const std::string nul(1, '\0');
  write(xml / "worksheet", std::string("\x10\x00", 2) + worksheet);
  write(xml / "shared", std::string("\x05\x00", 2) + shared);
  write(xml / "content", std::string("\x40\x00", 2) + content);
  write(sheet / "xlsx_parts", "\x01" + workbook + nul + worksheet + nul + shared + nul + styles);
  write(sheet / "ods_parts", "\x02" + content);
  write(sheet / "csv", std::string("\x00", 1) + "Kunde;Name\r\nK1;\"M\xfcller; A\"\r\n");
  for (int i = 3; i < argc; ++i) {
    const std::filesystem::path file = argv[i];
    std::ifstream in(file, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (bytes.size() <= 65536) write(sheet / file.filename(), std::string(1, '\0') + bytes);
  }
  return 0;
}

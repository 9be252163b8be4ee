// Tells the kinds of spreadsheet files apart by their content and hands them to a reader.

#include <cstring>
#include <filesystem>
#include <fstream>

#include "sheet/sheet_error.h"
#include "sheet/unicode_text.h"
#include "sheet/workbook_data.h"
#include "sheet/zip_archive.h"

namespace zandor::sheet {

namespace {

constexpr std::uint64_t kMaxCsvBytes = 512ull << 20;

// Text files have no NUL bytes and few control characters.
bool looksLikeText(std::string_view head) {
  std::size_t controls = 0;
  for (char c : head) {
    const auto b = static_cast<unsigned char>(c);
    if (b == 0) return false;
    if (b < 0x20 && b != '\t' && b != '\r' && b != '\n' && b != '\f') ++controls;
  }
  return controls * 100 <= head.size();
}

}  // namespace

WorkbookData readSpreadsheetFile(const std::string& path, const ReadLimits& limits) {
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::path file = fs::path(std::u8string(path.begin(), path.end()));  // UTF-8 everywhere
  if (!fs::exists(file, ec)) throw SheetReadError("Die Datei \"" + path + "\" gibt es nicht.");
  if (!fs::is_regular_file(file, ec)) throw SheetReadError("\"" + path + "\" ist keine Datei.");
  std::ifstream in(file, std::ios::binary);
  if (!in) throw SheetReadError("Die Datei \"" + path + "\" l\xc3\xa4sst sich nicht lesen.");
  char head[8] = {};
  in.read(head, sizeof head);
  const auto got = static_cast<std::size_t>(in.gcount());

  WorkbookData book(limits);
  if (got >= 4 && std::memcmp(head, "PK\x03\x04", 4) == 0) {
    ZipArchive zip(path, limits);
    if (zip.has("[Content_Types].xml") || zip.has("xl/workbook.xml")) {
      readXlsx(zip, book);
    } else if (zip.has("content.xml")) {
      readOds(zip, book);
    } else {
      throw SheetReadError("Die ZIP-Datei ist weder eine Excel- noch eine OpenDocument-Tabelle.");
    }
    return book;
  }
  if (got == 8 && std::memcmp(head, "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) == 0) {
    readXls(path, book);
    return book;
  }

  in.clear();
  in.seekg(0, std::ios::end);
  const auto size = static_cast<std::uint64_t>(in.tellg());
  if (size > kMaxCsvBytes)
    throw SheetReadError(
        "Die Textdatei ist gr\xc3\xb6\xc3\x9f"
        "er als " +
        std::to_string(kMaxCsvBytes >> 20) + " MB.");
  std::string bytes(static_cast<std::size_t>(size), '\0');
  in.seekg(0);
  in.read(bytes.data(), static_cast<std::streamsize>(size));
  if (!looksLikeText(std::string_view(bytes).substr(0, 65536)))
    throw SheetReadError("Die Datei ist keine Tabellenkalkulationsdatei.");
  std::string_view text(bytes);
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  if (text.substr(0, 5) == "<?xml") {
    // XML is no CSV: a flat OpenDocument spreadsheet is read, anything else refused.
    const std::string_view head = text.substr(0, 4096);
    if (head.find("application/vnd.oasis.opendocument.spreadsheet") == std::string_view::npos)
      throw SheetReadError("Die XML-Datei ist keine Tabelle, die gelesen werden kann.");
    readFlatOds(text, book);
    return book;
  }
  readCsv(bytes, utf8ToUtf16(file.stem().string()), book);
  return book;
}

bool isSpreadsheetFileName(std::string_view path) {
  const std::size_t dot = path.rfind('.');
  if (dot == std::string_view::npos || path.find_first_of("/\\", dot) != std::string_view::npos)
    return false;
  std::string extension(path.substr(dot + 1));
  for (char& c : extension) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  static constexpr std::string_view kKinds[] = {"xlsx", "xlsm", "xltx", "xltm",
                                                "xls",  "ods",  "fods", "csv"};
  for (std::string_view kind : kKinds) {
    if (extension == kind) return true;
  }
  return false;
}

}  // namespace zandor::sheet

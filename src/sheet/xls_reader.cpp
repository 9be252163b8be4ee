// The BIFF8 workbook reader (.xls): libfreexl for the cells, plus our own pass over the
// workbook stream for what that library leaves out here — boolean and error cells (also
// as cached formula results) and the sheet that was active when the file was saved.

#include <fcntl.h>
#include <freexl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include <cmath>
#include <cstring>
#include <map>
#include <memory>
#include <set>

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
  bool encrypted = false;  // a FILEPASS record: the workbook is protected by a password
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
    if (id == 0x002F) facts.encrypted = true;
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

namespace {

// What the child hands back, record by record: 'S' sheet name, 'N' number, 'D' date
// serial, 'T' text (row and column 0-based), 'E' a refusal with its reason.
void putU32(std::string& out, std::uint32_t v) {
  out.append(reinterpret_cast<const char*>(&v), 4);
}
void putBytes(std::string& out, std::string_view s) {
  putU32(out, static_cast<std::uint32_t>(s.size()));
  out.append(s);
}
void putDouble(std::string& out, double d) {
  out.append(reinterpret_cast<const char*>(&d), 8);
}

// The cells as libfreexl reads them; runs in the child process.
std::string freexlCells(const std::string& path) {
  std::string out;
  const void* raw = nullptr;
  const int rc = freexl_open(path.c_str(), &raw);
  std::unique_ptr<const void, FreexlCloser> handle(raw);
  if (rc != FREEXL_OK)
    throw SheetReadError("Die Excel-Datei l\xc3\xa4sst sich nicht lesen (FreeXL-Fehler " +
                         std::to_string(rc) + ").");
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
  for (unsigned int s = 0; s < sheetCount && s < 65536; ++s) {
    const char* name = nullptr;
    if (freexl_get_worksheet_name(raw, static_cast<unsigned short>(s), &name) != FREEXL_OK)
      name = nullptr;
    out += 'S';
    putBytes(out, name ? name : "");
    unsigned int rows = 0;
    unsigned short cols = 0;
    if (freexl_select_active_worksheet(raw, static_cast<unsigned short>(s)) != FREEXL_OK ||
        freexl_worksheet_dimensions(raw, &rows, &cols) != FREEXL_OK)
      throw SheetReadError("Tabellenblatt " + std::to_string(s + 1) +
                           " l\xc3\xa4sst sich nicht lesen.");
    if (rows > 65536 || cols > 256) throw SheetReadError("Das Tabellenblatt ist zu gro\xc3\x9f.");
    for (unsigned int r = 0; r < rows; ++r) {
      for (unsigned int col = 0; col < cols; ++col) {
        FreeXL_CellValue v;
        if (freexl_get_cell_value(raw, r, static_cast<unsigned short>(col), &v) != FREEXL_OK)
          continue;
        auto head = [&](char kind) {
          out += kind;
          putU32(out, r);
          putU32(out, col);
        };
        switch (v.type) {
          case FREEXL_CELL_INT:
            head('N');
            putDouble(out, v.value.int_value);
            break;
          case FREEXL_CELL_DOUBLE:
            head('N');
            putDouble(out, v.value.double_value);
            break;
          case FREEXL_CELL_TEXT:
          case FREEXL_CELL_SST_TEXT:
            head('T');
            putBytes(out, v.value.text_value ? v.value.text_value : "");
            break;
          case FREEXL_CELL_DATE:
          case FREEXL_CELL_DATETIME:
          case FREEXL_CELL_TIME: {
            double serial;
            if (v.value.text_value && serialFromIso(v.value.text_value, &serial)) {
              head('D');
              putDouble(out, serial);
            }
            break;
          }
        }
      }
    }
  }
  return out;
}

bool writeAll(int fd, const std::string& data) {
  std::size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

// libfreexl reads out of bounds on some damaged files, so it runs in a child process of
// its own: a crash, or a child that takes too long, is a damaged file, not our end.
std::string freexlCellsIsolated(const std::string& path) {
  constexpr int kTimeoutMs = 120000;
  int fds[2];
  if (::pipe(fds) != 0) throw SheetReadError("Die Excel-Datei l\xc3\xa4sst sich nicht lesen.");
  const pid_t child = ::fork();
  if (child < 0) {
    ::close(fds[0]);
    ::close(fds[1]);
    throw SheetReadError("Die Excel-Datei l\xc3\xa4sst sich nicht lesen.");
  }
  if (child == 0) {
    ::close(fds[0]);
    // Whatever the library or a sanitizer says about a damaged file is no news to the user.
    const int devNull = ::open("/dev/null", O_WRONLY);
    if (devNull >= 0) ::dup2(devNull, 2);
    std::string out;
    try {
      out = freexlCells(path);
    } catch (const SheetReadError& e) {
      out = "E";
      putBytes(out, e.what());
    } catch (...) {
      ::_exit(3);
    }
    ::_exit(writeAll(fds[1], out) ? 0 : 4);
  }
  ::close(fds[1]);
  std::string data;
  char buffer[1 << 16];
  bool timedOut = false;
  for (;;) {
    pollfd p{fds[0], POLLIN, 0};
    const int ready = ::poll(&p, 1, kTimeoutMs);
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) {
      timedOut = true;
      break;
    }
    const ssize_t n = ::read(fds[0], buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    data.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(fds[0]);
  if (timedOut) ::kill(child, SIGKILL);
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  if (timedOut || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
    throw SheetReadError(
        "Die Excel-Datei ist besch\xc3\xa4"
        "digt.");
  return data;
}

class RecordReader {
 public:
  explicit RecordReader(const std::string& data) : data_(data) {}
  bool done() const { return at_ >= data_.size(); }
  char kind() { return take(1)[0]; }
  std::uint32_t u32() {
    std::uint32_t v;
    std::memcpy(&v, take(4).data(), 4);
    return v;
  }
  double real() {
    double d;
    std::memcpy(&d, take(8).data(), 8);
    return d;
  }
  std::string_view bytes() { return take(u32()); }

 private:
  std::string_view take(std::size_t n) {
    if (data_.size() - at_ < n)
      throw SheetReadError(
          "Die Excel-Datei ist besch\xc3\xa4"
          "digt.");
    const std::string_view s(data_.data() + at_, n);
    at_ += n;
    return s;
  }
  const std::string& data_;
  std::size_t at_ = 0;
};

}  // namespace

void readXls(const std::string& path, WorkbookData& book) {
  BiffFacts facts;
  {
    CompoundFile cfb(path);
    const std::string stream =
        cfb.hasStream(u"Workbook") ? cfb.readStream(u"Workbook") : cfb.readStream(u"Book");
    facts = scanWorkbookStream(stream, book.texts);
  }
  if (facts.encrypted) throw SheetReadError("Die Arbeitsmappe ist kennwortgesch\xc3\xbctzt.");
  std::u16string activeName;
  if (facts.activeTab < facts.sheetNames.size()) activeName = facts.sheetNames[facts.activeTab];

  const std::string data = freexlCellsIsolated(path);
  RecordReader in(data);
  CellStoreBuilder builder;
  const CellOverrides* overrides = nullptr;
  std::set<std::pair<std::uint32_t, std::uint32_t>> delivered;  // places the library filled
  auto finishSheet = [&] {
    if (book.sheets.empty()) return;
    // Booleans and errors replace what the library made of them; cached formula numbers
    // fill only cells it left empty.
    if (overrides) {
      for (const auto& [place, fix] : *overrides) {
        if (!fix.onlyWhenEmpty || !delivered.count(place)) builder.add(place.first + 1, fix.cell);
      }
    }
    book.sheets.back().cells = builder.finish();
    builder = CellStoreBuilder();
    delivered.clear();
  };
  while (!in.done()) {
    const char kind = in.kind();
    if (kind == 'E') throw SheetReadError(std::string(in.bytes()));
    if (kind == 'S') {
      finishSheet();
      SheetData sheet;
      sheet.name = utf8ToUtf16(in.bytes());
      overrides = nullptr;
      for (std::size_t i = 0; i < facts.sheetNames.size() && i < facts.sheetCells.size(); ++i) {
        if (facts.sheetNames[i] == sheet.name) overrides = &facts.sheetCells[i];
      }
      book.sheets.push_back(std::move(sheet));
      if (!activeName.empty() && book.sheets.back().name == activeName)
        book.activeSheet = book.sheets.size() - 1;
      continue;
    }
    if (book.sheets.empty())
      throw SheetReadError(
          "Die Excel-Datei ist besch\xc3\xa4"
          "digt.");
    const std::uint32_t r = in.u32(), c = in.u32();
    Cell cell;
    cell.column = c + 1;
    if (kind == 'T') {
      cell.kind = CellKind::Text;
      cell.text = book.texts.add(utf8ToUtf16(in.bytes()));
    } else {
      cell.kind = kind == 'D' ? CellKind::Date : CellKind::Number;
      cell.number = in.real();
    }
    if (overrides) {
      const auto found = overrides->find({r, c});
      if (found != overrides->end()) {
        if (!found->second.onlyWhenEmpty) continue;  // added when the sheet is complete
        delivered.insert({r, c});
      }
    }
    builder.add(r + 1, cell);
  }
  finishSheet();
  if (book.sheets.empty()) throw SheetReadError("Die Arbeitsmappe hat kein Tabellenblatt.");
}

}  // namespace zandor::sheet

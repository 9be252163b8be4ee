#include "table/table_repair.h"

#include <cerrno>

#include "base/paths.h"
#include "table/dbf_layout.h"
#include "table/os_file.h"
#include "table/table_error.h"

namespace zandor {

namespace {

constexpr char kEndMark = '\x1a';

[[noreturn]] void refuse(const std::string& what, const std::string& path) {
  throw TableRepairError(what + ": " + path);
}

}  // namespace

TableRepair repairTable(const std::string& given) {
  std::string path = given;
  if (extensionPart(path).empty()) path += ".dbf";
  if (const std::string found = resolveCaseInsensitive(path); !found.empty()) path = found;
  OsFile file;
  const int openErr = file.open(path, false);
  if (openErr == ENOENT) refuse("Datei nicht gefunden", path);
  // On Windows the program holding the table refuses the open itself.
  if (openErr == EWOULDBLOCK) refuse("Datei wird von einem anderen Programm benutzt", path);
  if (openErr != 0)
    refuse(
        "Datei kann nicht ge\xf6"
        "ffnet werden",
        path);
  if (file.lockFile(true) != 0) refuse("Datei wird von einem anderen Programm benutzt", path);

  DbfLayout layout;
  try {
    layout = readDbfLayout(file, path);
  } catch (const TableError&) {
    refuse("Keine dBase-Tabelle", path);
  }
  // The stated record length must be the one the fields make, or counting by it would
  // cut records apart.
  const long long size = file.size();
  if (readU16le(layout.header.data() + 10) != layout.recordLength || size < 0 ||
      static_cast<std::uint64_t>(size) < layout.headerLength) {
    refuse("Keine dBase-Tabelle", path);
  }

  TableRepair result;
  result.countBefore = layout.storedCount;
  const std::uint64_t body = static_cast<std::uint64_t>(size) - layout.headerLength;
  std::uint64_t count = body / layout.recordLength;
  if (count > 0xFFFFFFFFull) refuse("Keine dBase-Tabelle", path);
  // Whole records beyond the stated count were appended by a program that ended before it
  // could count them; their first byte tells records from other bytes.
  if (count > layout.storedCount) {
    const long long uncounted = flaggedRecordsFrom(file, layout, layout.storedCount);
    if (uncounted < 0) refuse("Lesefehler", path);
    count = layout.storedCount + static_cast<std::uint64_t>(uncounted);
  }
  result.countAfter = static_cast<std::uint32_t>(count);

  const std::uint64_t end = layout.headerLength + count * layout.recordLength;
  char last = 0;
  const bool marked = static_cast<std::uint64_t>(size) == end + 1 &&
                      file.readAt(end, &last, 1) == 1 && last == kEndMark;
  if (!marked) {
    if (static_cast<std::uint64_t>(size) > end) result.bytesCut = size - end;
    if (file.writeAt(end, &kEndMark, 1) != 0 || file.truncate(end + 1) != 0) {
      refuse("Schreibfehler", path);
    }
    result.changed = true;
  }
  if (result.countAfter != result.countBefore) {
    std::uint8_t bytes[4];
    writeU32le(bytes, result.countAfter);
    if (file.writeAt(4, bytes, sizeof bytes) != 0) refuse("Schreibfehler", path);
    result.changed = true;
  }
  return result;
}

}  // namespace zandor

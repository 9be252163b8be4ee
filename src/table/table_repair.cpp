#include "table/table_repair.h"

#include <algorithm>
#include <cerrno>

#include "base/paths.h"
#include "table/dbf_layout.h"
#include "table/layout_check.h"
#include "table/os_file.h"
#include "table/record_check.h"
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
  const int openErr = file.openLocked(path, false, true);
  if (openErr == ENOENT) refuse("Datei nicht gefunden", path);
  if (openErr == EWOULDBLOCK) refuse("Datei wird von einem anderen Programm benutzt", path);
  if (openErr != 0)
    refuse(
        "Datei kann nicht ge\xf6"
        "ffnet werden",
        path);

  DbfLayout layout;
  try {
    layout = readDbfLayout(file, path);
  } catch (const TableError&) {
    refuse("Keine dBase-Tabelle", path);
  }
  // Counting records by a length or at a place the fields contradict would cut them apart.
  if (const auto contradiction = structureContradiction(file, layout)) {
    refuse("Nicht reparierbar, der Dateikopf widerspricht sich (" + *contradiction + ")", path);
  }
  const long long size = file.size();
  if (size < 0 || static_cast<std::uint64_t>(size) < layout.headerLength) {
    refuse("Keine dBase-Tabelle", path);
  }

  TableRepair result;
  result.countBefore = layout.storedCount;
  const std::uint64_t body = static_cast<std::uint64_t>(size) - layout.headerLength;
  std::uint64_t count = std::min<std::uint64_t>(layout.storedCount, body / layout.recordLength);
  // Records beyond the stated count were appended by a program that ended before it could
  // count them. Only whole ones are taken: one whose copy was cut short would make every
  // reader stumble over it.
  const RecordsBeyond beyond = recordsBeyond(file, layout, count);
  if (beyond.whole < 0) refuse("Lesefehler", path);
  count += static_cast<std::uint64_t>(beyond.whole);
  if (count > 0xFFFFFFFFull) refuse("Keine dBase-Tabelle", path);
  result.countAfter = static_cast<std::uint32_t>(count);
  result.tornRecordCut = beyond.torn;

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
  // Repaired means repaired on the disk, not in the cache.
  if (result.changed && (file.sync() != 0 || file.close() != 0)) refuse("Schreibfehler", path);
  return result;
}

}  // namespace zandor

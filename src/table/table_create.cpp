#include "table/table_create.h"

#include <cerrno>

#include "base/local_clock.h"
#include "base/paths.h"
#include "base/text.h"
#include "table/memo_file.h"
#include "table/os_file.h"
#include "table/table_error.h"

namespace zandor {

void createTable(const std::string& path, const std::vector<NewField>& fields, MemoKind memoKind) {
  const Error argument = tableError(gen::kArgument, sub::kCorruption, "Argument error", path);
  if (fields.empty() || fields.size() > 2046) throw TableError(argument);
  bool hasMemo = false;
  std::size_t recordLength = 1;
  std::string descriptors;
  for (const NewField& wanted : fields) {
    const std::string name = upperAZ(wanted.name);
    int length = wanted.type == 'L' ? 1 : wanted.type == 'D' ? 8 : wanted.length;
    if (wanted.type == 'M') length = memoKind == MemoKind::Fpt ? wanted.length == 4 ? 4 : 10 : 10;
    if (name.empty() || name.size() > 10 || length <= 0 ||
        length > (wanted.type == 'C' ? 65535 : 255)) {
      throw TableError(argument);
    }
    std::string d(32, '\0');
    std::copy(name.begin(), name.end(), d.begin());
    d[11] = wanted.type;
    d[16] = static_cast<char>(length & 0xFF);
    d[17] = static_cast<char>(wanted.type == 'C' ? length >> 8 : wanted.decimals);
    descriptors += d;
    recordLength += static_cast<std::size_t>(length);
    if (wanted.type == 'M') hasMemo = true;
  }
  if (recordLength > 65535) throw TableError(argument);
  if (hasMemo && memoKind == MemoKind::None) memoKind = MemoKind::Dbt3;

  std::uint8_t version = 0x03;
  if (hasMemo) {
    version = memoKind == MemoKind::Dbt4 ? 0x8B : memoKind == MemoKind::Fpt ? 0xF5 : 0x83;
  }
  std::string header(32, '\0');
  auto* h = reinterpret_cast<std::uint8_t*>(header.data());
  const LocalClock today = localClock();
  h[0] = version;
  h[1] = static_cast<std::uint8_t>(today.year - 1900);
  h[2] = static_cast<std::uint8_t>(today.month);
  h[3] = static_cast<std::uint8_t>(today.day);
  writeU16le(h + 8, static_cast<std::uint16_t>(32 + descriptors.size() + 1));
  writeU16le(h + 10, static_cast<std::uint16_t>(recordLength));
  const std::string bytes = header + descriptors + "\x0d\x1a";

  OsFile file;
  int err = file.create(path);
  if (err == 0) err = file.writeAt(0, bytes.data(), bytes.size());
  if (err != 0)
    throw TableError(tableError(gen::kWrite, sub::kWrite, "Write error", path, osCodeOf(err)));
  if (hasMemo) {
    const std::string ext = memoKind == MemoKind::Fpt ? ".fpt" : ".dbt";
    MemoFile::create(directoryPart(path) + baseNamePart(path) + ext, memoKind, baseNamePart(path));
  }
}

}  // namespace zandor

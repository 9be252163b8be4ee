#include "table/record_check.h"

#include <algorithm>
#include <string>

#include "table/dbf_layout.h"
#include "table/os_file.h"

namespace zandor {

namespace {

bool allOf(std::string_view bytes, std::string_view allowed) {
  return std::all_of(bytes.begin(), bytes.end(),
                     [&](char c) { return allowed.find(c) != std::string_view::npos; });
}

bool wholeField(const FieldInfo& f, std::string_view bytes) {
  switch (f.type) {
    case 'C':
      return (f.flags & 0x04) != 0 || bytes.find('\0') == std::string_view::npos;
    case 'N':
    case 'F':
      return allOf(bytes, " 0123456789+-.,*eE");
    case 'D':
      if (f.length != 8) return true;  // a binary day number
      return allOf(bytes, "0123456789") || allOf(bytes, " ");
    case 'L':
      return allOf(bytes, "TtFfYyNn? ");
    case 'M':
    case 'G':
    case 'P':
    case 'B':
      if (f.length != 10) return true;  // a binary block number, or a double
      return allOf(bytes, " 0123456789");
    default:
      return true;  // binary: any bytes
  }
}

}  // namespace

bool isWholeRecord(const DbfLayout& layout, std::string_view record) {
  if (record.size() != layout.recordLength || (record[0] != ' ' && record[0] != '*')) return false;
  for (const FieldInfo& f : layout.fields) {
    if (f.offset + static_cast<std::size_t>(f.length) > record.size()) return false;
    if (!wholeField(f, record.substr(f.offset, static_cast<std::size_t>(f.length)))) return false;
  }
  return true;
}

RecordsBeyond recordsBeyond(const OsFile& file, const DbfLayout& layout, std::uint64_t from) {
  RecordsBeyond result;
  const long long size = file.size();
  if (size < 0) return {-1, false};
  const auto end = static_cast<std::uint64_t>(size);
  std::string record(layout.recordLength, '\0');
  for (std::uint64_t r = from;; ++r) {
    const std::uint64_t at = layout.headerLength + r * layout.recordLength;
    if (at >= end) break;
    const long long got = file.readAt(at, record.data(), record.size());
    if (got < 0) return {-1, false};
    const char flag = record[0];
    if (flag != ' ' && flag != '*') break;  // the end mark, or room made ahead
    if (static_cast<std::size_t>(got) != record.size() || !isWholeRecord(layout, record)) {
      result.torn = true;
      break;
    }
    ++result.whole;
  }
  return result;
}

}  // namespace zandor

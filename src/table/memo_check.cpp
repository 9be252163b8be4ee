#include "table/memo_check.h"

#include <algorithm>
#include <memory>

#include "base/paths.h"
#include "table/field_value.h"
#include "table/work_area.h"

namespace zandor {

namespace {

// A memo field of ten characters holds its block number as digits, blanks around them (or
// nothing but blanks or NULs for no memo); anything else is no block number.
bool readableBlockNumber(const FieldInfo& field, std::string_view record) {
  if (field.length == 4) return true;
  std::string_view text = record.substr(field.offset, static_cast<std::size_t>(field.length));
  const auto filler = [](char c) { return c == ' ' || c == '\0'; };
  while (!text.empty() && filler(text.front())) text.remove_prefix(1);
  while (!text.empty() && filler(text.back())) text.remove_suffix(1);
  return std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace

std::vector<std::string> checkMemoReferences(const std::string& tablePath,
                                             const std::string& driver) {
  std::string path = tablePath;
  if (extensionPart(path).empty()) path += ".dbf";
  if (const std::string found = resolveCaseInsensitive(path); !found.empty()) path = found;
  const std::unique_ptr<WorkArea> area = WorkArea::open(path, driver, true, true);
  const MemoFile* memo = area->memo();
  std::vector<std::string> problems;
  if (!memo) return problems;
  for (std::uint32_t r = 1; r <= area->recCount(); ++r) {
    area->goTo(r);
    const std::string& record = area->record();
    for (const FieldInfo& field : area->fields()) {
      if (!field.isMemo() ||
          field.offset + static_cast<std::size_t>(field.length) > record.size()) {
        continue;
      }
      const std::string where = "Satz " + std::to_string(r) + ", Feld " + field.name + ": ";
      if (!readableBlockNumber(field, record)) {
        problems.push_back(where + "keine Blocknummer im Feld");
      } else if (const auto problem = memo->referenceProblem(memoBlockOf(field, record))) {
        problems.push_back(where + *problem);
      }
    }
  }
  return problems;
}

}  // namespace zandor

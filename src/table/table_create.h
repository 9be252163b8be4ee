#pragma once

#include <string>
#include <vector>

#include "table/dbf_layout.h"

namespace zandor {

struct NewField {
  std::string name;
  char type = 'C';
  int length = 10;
  int decimals = 0;
};

// Writes a new, empty table file (replacing one of that name) and, when it has memo
// fields, its memo file of the given kind (DBT of dBase III or IV, or FPT). Used by tools
// and tests; the import itself only opens existing tables. Throws TableError.
void createTable(const std::string& path, const std::vector<NewField>& fields,
                 MemoKind memoKind = MemoKind::Dbt3);

}  // namespace zandor

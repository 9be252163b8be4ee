#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "table/index_open.h"
#include "table/record_context.h"

namespace zandor {

// An order's key and FOR result for one state of a record.
struct KeySnapshot {
  std::string key;
  bool qualifies = false;
  bool operator==(const KeySnapshot&) const = default;
};

// The key and FOR result of the record now (throws ExpressionError).
KeySnapshot snapshotKey(const BoundOrder& order, const RecordContext& record);

// Brings an order up to date after a record write. before is the snapshot taken when the
// record first became changed, or nothing for an appended record:
//  - appended: the key is inserted if the FOR result is true;
//  - key changed: the old key is removed if it qualified, the new one inserted if it does;
//  - key unchanged: removed only when the FOR result went from true to false, inserted only
//    when it went from false to true.
// Custom orders are left alone. Answers whether the order was touched; pages reach the file
// with the next commit of the index file.
bool maintainKeys(BoundOrder& order, const std::optional<KeySnapshot>& before,
                  const KeySnapshot& after, std::uint32_t recno);

}  // namespace zandor

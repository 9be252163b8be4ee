#include "table/index_maintenance.h"

namespace zandor {

KeySnapshot snapshotKey(const BoundOrder& order, const RecordContext& record) {
  return {order.keyOf(record), order.qualifies(record)};
}

bool maintainKeys(BoundOrder& order, const std::optional<KeySnapshot>& before,
                  const KeySnapshot& after, std::uint32_t recno) {
  IndexOrder& o = *order.order;
  if (o.info().custom) return false;
  if (!before) {
    if (after.qualifies) o.insert(after.key, recno);
    return after.qualifies;
  }
  if (before->key != after.key) {
    if (before->qualifies) o.remove(before->key, recno);
    if (after.qualifies) o.insert(after.key, recno);
    return before->qualifies || after.qualifies;
  }
  if (before->qualifies == after.qualifies) return false;
  if (after.qualifies) {
    o.insert(after.key, recno);
  } else {
    o.remove(after.key, recno);
  }
  return true;
}

}  // namespace zandor

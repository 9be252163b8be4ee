#pragma once

#include <string>
#include <vector>

namespace zandor {

class WorkArea;
struct BoundOrder;

// Compares an order's keys with its table's records: the keys come out in the order's
// sequence, and it holds one key for each record that qualifies, made from that record by
// the key expression, pointing at it (a unique order: only such keys, each key once; a
// candidate order: every record's key, each once). One German line (1252 text) per finding,
// empty when they agree. Goes through every record (the area's position is given back
// afterwards) and throws ExpressionError where a record's key cannot be made.
std::vector<std::string> keysAgainstRecords(WorkArea& area, BoundOrder& order);

}  // namespace zandor

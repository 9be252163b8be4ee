#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "table/expression.h"
#include "table/index_order.h"
#include "table/page_mapping.h"
#include "table/record_context.h"

namespace zandor {

enum class IndexDriver { Cdx, Ntx };

// The driver name used in errors: "DBFCDX" or "DBFNTX".
const char* driverName(IndexDriver driver);

// An order with its key and FOR expressions compiled against the table.
struct BoundOrder {
  IndexOrder* order = nullptr;
  Expression key;
  Expression forCondition;                       // not valid() when the order has none
  std::optional<Expression::FieldForm> keyForm;  // key.fieldForm(), found once

  // The order's key for the record (throws ExpressionError).
  std::string keyOf(const RecordContext& record) const;
  // The FOR result for the record; true without a FOR condition (throws ExpressionError).
  bool qualifies(const RecordContext& record) const;
};

// An open index file whose orders are bound to a table.
struct OpenIndex {
  std::unique_ptr<IndexFile> file;
  std::vector<BoundOrder> orders;
};

// Opens an index file for a table: reads and validates the header(s), compiles every key
// and FOR expression against the record and fixes each order's key type from the value of
// its key expression. An open failure raises general code 21 / sub-code 1003; a damaged file
// (bad header, bad expression, key type that does not fit the key length, FOR that is no
// logical) raises 32 / 1012. Answers nothing when the error handler gives the default.
std::unique_ptr<OpenIndex> openIndexFile(const std::string& path, IndexDriver driver, bool writable,
                                         const RecordContext& record,
                                         PageMapping mapping = PageMapping::WhenPossible);

// The same binding for a file already open (a file just created, for instance);
// throws IndexDamage.
std::vector<BoundOrder> bindOrders(IndexFile& file, IndexDriver driver,
                                   const RecordContext& record);

}  // namespace zandor

#pragma once

#include <optional>
#include <string>
#include <vector>

#include "import/row_cells.h"
#include "table/field_encoder.h"

namespace zandor {

// Makes the cells of an import's mapped columns into their fields' bytes on the reading
// thread: converted as TYPANPASSEN converts them and encoded as putField stores them. A cell
// whose conversion would write to the log, or that its field would refuse, is left to the
// row loop, which then does what it always did.
class FieldPreparer : public CellPreparer {
 public:
  struct Target {
    std::string type;  // the mapping's field type, as TYPANPASSEN takes it
    int length = 0;
    std::optional<FieldEncoder> encoder;  // nothing: the field is never prepared
  };
  FieldPreparer(std::vector<Target> targets, std::size_t recordLength)
      : targets_(std::move(targets)), recordLength_(recordLength) {}

  std::size_t recordLength() const override { return recordLength_; }
  Result prepare(std::size_t index, const Value& value, std::string& record) const override;

 private:
  std::vector<Target> targets_;
  std::size_t recordLength_;
};

}  // namespace zandor

#pragma once

#include "table/record_context.h"
#include "table/work_area.h"

namespace zandor {

// A work area's record as key and FOR expressions see it: the record buffer as it is now,
// or the bytes it had before its first change (for the keys to be taken out again).
class AreaRecord : public RecordContext {
 public:
  enum class State { Current, Original };
  explicit AreaRecord(const WorkArea& area, State state = State::Current)
      : area_(area), state_(state) {}

  int fieldIndex(std::string_view upperName) const override;
  FieldInfo field(int index) const override;
  Value fieldValue(int index) const override;
  std::optional<std::string_view> textFieldBytes(int index) const override;
  std::uint32_t recordNumber() const override { return area_.recNo(); }
  bool deleted() const override;
  std::string alias() const override { return area_.alias(); }
  bool inDatabaseContainer() const override { return area_.layout().inDatabaseContainer; }

 private:
  const std::string& bytes() const;

  const WorkArea& area_;
  State state_;
};

}  // namespace zandor

#pragma once

#include <string>
#include <vector>

#include "base/text.h"
#include "table/record_context.h"

namespace zandor::test {

// A record held in memory, for expression and index tests.
class FakeRecord : public RecordContext {
 public:
  void add(FieldInfo info, Value value) {
    fields_.push_back(std::move(info));
    values_.push_back(std::move(value));
  }
  void set(int index, Value value) {
    values_.at(static_cast<std::size_t>(index)) = std::move(value);
  }
  int fieldIndex(std::string_view upperName) const override {
    for (std::size_t i = 0; i < fields_.size(); ++i) {
      if (fields_[i].name == upperName) return static_cast<int>(i);
    }
    return -1;
  }
  FieldInfo field(int index) const override { return fields_.at(static_cast<std::size_t>(index)); }
  Value fieldValue(int index) const override { return values_.at(static_cast<std::size_t>(index)); }
  std::uint32_t recordNumber() const override { return recno; }
  bool deleted() const override { return isDeleted; }
  std::string alias() const override { return "KUNDEN"; }

  std::uint32_t recno = 1;
  bool isDeleted = false;

 private:
  std::vector<FieldInfo> fields_;
  std::vector<Value> values_;
};

}  // namespace zandor::test

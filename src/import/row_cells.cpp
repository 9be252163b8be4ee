#include "import/row_cells.h"

#include <algorithm>
#include <system_error>

#include "base/error.h"
#include "sheet/cell_store.h"
#include "sheet/ole_auto.h"
#include "sheet/trace_log.h"

namespace zandor {

using sheet::oleRequest;

namespace {

constexpr std::size_t kRowsPerBatch = 32;
// Far enough ahead that the reader is woken rarely: waking a sleeping thread costs the
// waker tens of microseconds on a virtual machine, about as much as a row's whole work.
constexpr std::size_t kBatchesAhead = 64;
// A reader that is ahead by kBatchesAhead sleeps until only this many are left, so it is
// woken once for many batches (1,024 rows) rather than for every batch taken.
constexpr std::size_t kRefillBelow = kBatchesAhead / 2;
// A block spanning many more columns than are read is not worth it.
constexpr int kMaxBlockColumns = 64;

void writeTrace(const std::vector<std::string>& lines) {
  for (const std::string& line : lines) sheet::traceLine(line);
}

}  // namespace

std::optional<Value> readCellGuarded(const Value& sheet, long row, int col) {
  try {
    ErrorGuard guard;
    const Value cell = oleRequest(sheet, "Cells", {Value::integer(row), Value::integer(col)});
    return oleRequest(cell, "Value");
  } catch (const ErrorException&) {
    return std::nullopt;
  }
}

Value readCellUnguarded(const Value& sheet, long row, int col) {
  const Value cell = oleRequest(sheet, "Cells", {Value::integer(row), Value::integer(col)});
  return oleRequest(cell, "Value");
}

RowCells::RowCells(const Value& sheet, long firstRow, int stopColumn, int keyColumn,
                   std::vector<int> fieldColumns, bool ahead, const CellPreparer* preparer)
    : sheet_(sheet),
      stopColumn_(stopColumn),
      keyColumn_(keyColumn),
      fieldColumns_(std::move(fieldColumns)),
      preparer_(preparer),
      direct_(!ahead) {
  if (direct_) return;
  int left = std::min(stopColumn_, keyColumn_), right = std::max(stopColumn_, keyColumn_);
  for (int column : fieldColumns_) {
    left = std::min(left, column);
    right = std::max(right, column);
  }
  if (left >= 1 && right <= static_cast<int>(sheet::kMaxColumns) &&
      right - left < kMaxBlockColumns) {
    leftColumn_ = left;
    rightColumn_ = right;
  }
  try {
    reader_ = std::thread([this, firstRow] { readAhead(firstRow); });
  } catch (const std::system_error&) {
    direct_ = true;  // no thread to be had: every read is made here
  }
}

RowCells::~RowCells() {
  finish();
}

void RowCells::finish() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  if (reader_.joinable()) reader_.join();
}

RowCells::Row RowCells::readRow(long row) const {
  Row r;
  r.number = row;
  r.cells.reserve(2 + fieldColumns_.size());
  try {
    Cell& stop = r.cells.emplace_back();
    if (row > static_cast<long>(sheet::kMaxRows)) {
      stop.value = Value();
      return r;
    }
    {
      sheet::TraceCapture capture(stop.trace);
      try {
        ErrorGuard guard;
        stop.value = readCellUnguarded(sheet_, row, stopColumn_);
      } catch (const ErrorException&) {
        r.stopFailed = true;
        return r;
      }
    }
    if (stop.value->isEmpty()) return r;
    Cell& key = r.cells.emplace_back();
    {
      sheet::TraceCapture capture(key.trace);
      key.value = readCellGuarded(sheet_, row, keyColumn_);
    }
    for (int column : fieldColumns_) {
      Cell& field = r.cells.emplace_back();
      sheet::TraceCapture capture(field.trace);
      field.value = readCellGuarded(sheet_, row, column);
    }
  } catch (...) {
    r.cells.pop_back();  // the cell whose read threw
    r.failure = std::current_exception();
  }
  return r;
}

bool RowCells::readBlock(long first, Batch& batch) const {
  const long last = first + static_cast<long>(kRowsPerBatch) - 1;
  if (leftColumn_ == 0 || first < 1 || last > static_cast<long>(sheet::kMaxRows)) return false;
  std::vector<std::string> trace;
  Value block;
  {
    sheet::TraceCapture capture(trace);
    try {
      ErrorGuard guard;
      const Value from =
          oleRequest(sheet_, "Cells", {Value::integer(first), Value::integer(leftColumn_)});
      const Value to =
          oleRequest(sheet_, "Cells", {Value::integer(last), Value::integer(rightColumn_)});
      block = oleRequest(oleRequest(sheet_, "Range", {from, to}), "Value");
    } catch (const ErrorException&) {
      return false;
    }
  }
  const auto width = static_cast<std::size_t>(rightColumn_ - leftColumn_ + 1);
  if (!trace.empty() || !block.isList() || block.asList().size() != kRowsPerBatch) return false;
  for (const Value& row : block.asList()) {
    if (!row.isList() || row.asList().size() != width) return false;
  }
  // A column read twice (the stop column is often the key column) is copied, not moved,
  // until its last read.
  std::vector<int> uses(width, 0);
  ++uses[static_cast<std::size_t>(stopColumn_ - leftColumn_)];
  ++uses[static_cast<std::size_t>(keyColumn_ - leftColumn_)];
  for (int column : fieldColumns_) ++uses[static_cast<std::size_t>(column - leftColumn_)];
  std::vector<int> left;
  auto take = [&](std::vector<Value>& row, int column) {
    const auto at = static_cast<std::size_t>(column - leftColumn_);
    return --left[at] == 0 ? std::move(row[at]) : row[at];
  };
  long number = first;
  for (Value& value : block.asList()) {
    std::vector<Value>& row = value.asList();
    left = uses;
    Row& r = batch.emplace_back();
    r.number = number++;
    r.cells.reserve(2 + fieldColumns_.size());
    r.cells.push_back({take(row, stopColumn_), {}});
    if (r.cells.front().value->isEmpty()) break;
    r.cells.push_back({take(row, keyColumn_), {}});
    for (int column : fieldColumns_) r.cells.push_back({take(row, column), {}});
  }
  return true;
}

void RowCells::prepare(Batch& batch) const {
  if (!preparer_) return;
  for (Row& r : batch) {
    if (r.cells.size() <= 2) continue;
    r.record.resize(preparer_->recordLength());
    r.allPrepared =
        !r.failure && r.cells.size() == 2 + fieldColumns_.size() && fieldColumns_.size() <= 64;
    r.withBytes = 0;
    for (std::size_t i = 2; i < r.cells.size(); ++i) {
      Cell& cell = r.cells[i];
      if (cell.value && !cell.value->isError())
        cell.prepared = preparer_->prepare(i - 2, *cell.value, r.record);
      if (cell.prepared == CellPreparer::Result::Unprepared || !cell.trace.empty())
        r.allPrepared = false;
      else if (cell.prepared == CellPreparer::Result::Bytes && i - 2 < 64)
        r.withBytes |= std::uint64_t{1} << (i - 2);
    }
  }
}

void RowCells::readAhead(long row) {
  try {
    readBatches(row);
  } catch (...) {
    // Out of memory or the like outside a cell read: the consumer goes on reading in place.
    {
      std::lock_guard lock(mutex_);
      ended_ = true;
    }
    changed_.notify_all();
  }
}

void RowCells::readBatches(long row) {
  std::vector<std::unique_ptr<Batch>> used;
  for (;;) {
    std::unique_ptr<Batch> batch;
    if (!used.empty()) {
      batch = std::move(used.back());
      used.pop_back();
      batch->clear();
    } else {
      batch = std::make_unique<Batch>();
      batch->reserve(kRowsPerBatch);
    }
    used.clear();
    bool last = false;
    if (readBlock(row, *batch)) {
      row += static_cast<long>(batch->size());
      last = batch->back().cells.front().value->isEmpty();
    }
    while (!last && batch->size() < kRowsPerBatch) {
      Row r = readRow(row++);
      last = r.stopFailed || r.failure || r.cells.front().value->isEmpty();
      batch->push_back(std::move(r));
    }
    prepare(*batch);
    std::unique_lock lock(mutex_);
    if (ready_.size() >= kBatchesAhead) {
      changed_.wait(lock, [this] { return stopping_ || ready_.size() <= kRefillBelow; });
    }
    if (stopping_) return;
    ready_.push_back(std::move(batch));
    used.swap(used_);
    ended_ = last;
    lock.unlock();
    changed_.notify_all();
    if (last) return;
  }
}

RowCells::Cell* RowCells::cellAt(long row, std::size_t slot) {
  if (direct_ || !batch_ || rowInBatch_ >= batch_->size()) return nullptr;
  Row& r = (*batch_)[rowInBatch_];
  if (r.number != row) return nullptr;
  if (slot < r.cells.size()) return &r.cells[slot];
  if (r.failure) std::rethrow_exception(r.failure);
  return nullptr;
}

void RowCells::goDirect() {
  finish();
  direct_ = true;
}

Value RowCells::stop(long row) {
  // The row after the sheet's last one holds nothing; asking for it would fail.
  if (row > static_cast<long>(sheet::kMaxRows)) return Value();
  if (!direct_) {
    if (batch_) ++rowInBatch_;
    if (!batch_ || rowInBatch_ >= batch_->size()) {
      std::unique_lock lock(mutex_);
      changed_.wait(lock, [this] { return !ready_.empty() || ended_; });
      if (!ready_.empty()) {
        if (batch_) used_.push_back(std::move(batch_));
        batch_ = std::move(ready_.front());
        ready_.pop_front();
        rowInBatch_ = 0;
        const bool refill = ready_.size() == kRefillBelow;
        lock.unlock();
        if (refill) changed_.notify_all();
      }
    }
    nextField_ = 0;
    if (Cell* cell = cellAt(row, 0); cell && cell->value) {
      writeTrace(cell->trace);
      return std::move(*cell->value);
    }
    // A stop cell the reader could not read: from here on as without a read ahead.
    goDirect();
  }
  return readCellUnguarded(sheet_, row, stopColumn_);
}

std::optional<Value> RowCells::takeGuarded(long row, std::size_t slot, int column) {
  if (Cell* cell = cellAt(row, slot)) {
    writeTrace(cell->trace);
    return std::move(cell->value);
  }
  if (!direct_) goDirect();  // out of step with the reader; never expected
  return readCellGuarded(sheet_, row, column);
}

std::optional<Value> RowCells::key(long row) {
  return takeGuarded(row, 1, keyColumn_);
}

std::optional<RowCells::PreparedRow> RowCells::preparedRow(long row) {
  if (nextField_ != 0 || !cellAt(row, 0)) return std::nullopt;
  const Row& r = (*batch_)[rowInBatch_];
  if (!r.allPrepared) return std::nullopt;
  return PreparedRow{r.record, r.withBytes};
}

std::optional<Value> RowCells::field(long row, int column) {
  const std::size_t index = nextField_++;
  const bool inStep = index < fieldColumns_.size() && fieldColumns_[index] == column;
  if (!inStep && !direct_) goDirect();  // never expected
  return takeGuarded(row, 2 + index, column);
}

}  // namespace zandor

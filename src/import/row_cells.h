#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "base/value.h"

namespace zandor {

// Turns the cells of mapped columns into the bytes of their fields, on the thread that reads
// ahead, so that the row loop only copies them; what it cannot do without a word to the log
// or an error is left to the row loop.
class CellPreparer {
 public:
  enum class Result : std::uint8_t { Unprepared, Bytes, Nothing };
  virtual ~CellPreparer() = default;
  virtual std::size_t recordLength() const = 0;
  // Bytes: written into record at the field's place; Nothing: the cell leaves the field as
  // it is.
  virtual Result prepare(std::size_t index, const Value& value, std::string& record) const = 0;
};

// Cells(row, col):Value under a guard; nothing when the read failed.
std::optional<Value> readCellGuarded(const Value& sheet, long row, int col);

// Cells(row, col):Value without a guard: failures reach the error handler.
Value readCellUnguarded(const Value& sheet, long row, int col);

// The cells the import reads from one row after another: the stop cell, then (unless it is
// empty) the key cell and the mapped columns in their order. A second thread makes the same
// requests rows ahead (up to 2,048), so the bridge works while the table and its indexes are
// written. Reading only, on a workbook already in memory, the requests have no effect
// besides their trace lines, which are kept and written when the read is used; the rows a
// run skips are read for nothing. A stop cell the second thread cannot read ends the read
// ahead: that read and all after it are made here again, unguarded, as without it. Without
// a thread to be had, or when the reader fails outside a cell read, reads are made here too.
// The second thread asks for a batch of rows at once (Range(Cells(...), Cells(...)):Value),
// which gives the values the single reads give; where the block request fails or writes a
// trace line, that batch is read cell by cell after all.
//
// While a RowCells lives, the sheet object belongs to it: the caller makes no request of
// its own on the workbook until it is gone.
class RowCells {
 public:
  // Without ahead, every cell is read when it is asked for (for runs that skip the
  // fields of many rows, where reading them ahead would be work for nothing).
  // A preparer, where given, must outlive the object.
  RowCells(const Value& sheet, long firstRow, int stopColumn, int keyColumn,
           std::vector<int> fieldColumns, bool ahead = true,
           const CellPreparer* preparer = nullptr);
  ~RowCells();
  RowCells(const RowCells&) = delete;
  RowCells& operator=(const RowCells&) = delete;

  // Must be asked in the order above: stop, then key, then each field column in turn.
  Value stop(long row);
  std::optional<Value> key(long row);
  std::optional<Value> field(long row, int column);
  // Where the preparer made every field cell of the row: the row's record image and a bit for
  // each field column, in order, that holds bytes (the others were empty cells). Valid until
  // the next row. takePreparedRow() then takes the field cells at once; otherwise they are
  // asked for one by one with field(), as without a preparer.
  struct PreparedRow {
    std::string_view record;
    std::uint64_t withBytes = 0;
  };
  std::optional<PreparedRow> preparedRow(long row);
  void takePreparedRow() { nextField_ = fieldColumns_.size(); }

 private:
  struct Cell {
    std::optional<Value> value;
    std::vector<std::string> trace;
    CellPreparer::Result prepared = CellPreparer::Result::Unprepared;
  };
  struct Row {
    long number = 0;
    bool stopFailed = false;
    std::exception_ptr failure;  // anything but an automation error, raised where used
    std::vector<Cell> cells;     // stop, key, then the field columns
    std::string record;          // where prepared fields have their bytes
    bool allPrepared = false;    // every field cell, each one bit in withBytes
    std::uint64_t withBytes = 0;
  };
  using Batch = std::vector<Row>;

  void readAhead(long firstRow);
  void readBatches(long firstRow);
  Row readRow(long row) const;
  // Reads the rows from first on with one request for all of them; false (batch untouched)
  // when that cannot stand for the single reads.
  bool readBlock(long first, Batch& batch) const;
  void prepare(Batch& batch) const;
  Cell* cellAt(long row, std::size_t slot);
  std::optional<Value> takeGuarded(long row, std::size_t slot, int column);
  void goDirect();
  void finish();

  const Value& sheet_;
  const int stopColumn_;
  const int keyColumn_;
  const std::vector<int> fieldColumns_;
  const CellPreparer* const preparer_;
  int leftColumn_ = 0, rightColumn_ = 0;  // the columns a block read spans; 0: no block reads

  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::unique_ptr<Batch>> ready_;
  // Batches used up go back to the reading thread, which made their rows, to be freed or
  // filled again there: freeing another thread's allocations here cost the row loop about
  // a twelfth of its time (timed side by side).
  std::vector<std::unique_ptr<Batch>> used_;
  bool ended_ = false;     // the reading thread pushed its last batch
  bool stopping_ = false;  // the consumer wants no more
  std::thread reader_;

  std::unique_ptr<Batch> batch_;  // the batch being used
  std::size_t rowInBatch_ = 0;
  std::size_t nextField_ = 0;
  bool direct_ = false;  // no read ahead (asked for, or it ended early): read here
};

}  // namespace zandor

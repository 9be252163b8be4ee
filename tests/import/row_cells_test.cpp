// Reading rows ahead on a second thread must give the import exactly what reading each cell
// when it is needed gives: the same values, failures and trace lines, in the same order,
// also across batches, for skipped rows and when the stop cell cannot be read.
#include "import/row_cells.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/resource.h>
#endif

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <type_traits>
#include <vector>

#include "base/error.h"
#include "import/fault_watch.h"
#include "import/import_log.h"
#include "import/run_resources.h"
#include "sheet/cell_store.h"
#include "sheet/dispatch_object.h"
#include "sheet/ole_auto.h"
#include "sheet/server_registry.h"
#include "sheet/trace_log.h"
#include "support/process_times.h"
#include "support/test_support.h"

namespace zandor {
namespace {

// Nothing leaves the destructors of what a run holds.
static_assert(std::is_nothrow_destructible_v<RowCells>);
static_assert(std::is_nothrow_destructible_v<RunResources>);
static_assert(std::is_nothrow_destructible_v<FaultWatch>);
static_assert(std::is_nothrow_destructible_v<ImportLog>);

using sheet::oleRequest;
using namespace sheet;

constexpr int kBeyondSheet = 16385;  // a column the sheet does not have

// A sheet whose cells trace (and one that throws, row 40 column 7): column 5 answers an unknown
// failure code in even rows (a trace line and a failed read) and a date out of range in odd ones (a
// trace line and an empty value); column 9 cannot even be addressed. Column 3 ends after `rows`
// rows.
constexpr DISPID kCellsId = 1, kValueId = 2, kRangeId = 3;
constexpr HRESULT kOddFailure = static_cast<HRESULT>(0x80001234u);

HRESULT fakeValue(long row, int column, long rows, Variant* out) {
  if (column == 7 && row == 40) throw std::runtime_error("Zelle 40/7 kaputt");
  if (column == 5) {
    if (row % 2 == 0) return kOddFailure;
    *out = Variant::dateValue(-1e9);
    return kOk;
  }
  if (column == 3 && row > rows) return kOk;  // empty
  if (column == 2) {
    *out = Variant::bstr(u"Name " + std::u16string(1, static_cast<char16_t>(u'a' + row % 26)));
    return kOk;
  }
  *out = Variant::i4(static_cast<std::int32_t>(row * column));
  return kOk;
}

class FakeCell : public DispatchObject {
 public:
  FakeCell(long row, int column, long rows) : row(row), column(column), rows_(rows) { ++made; }
  static inline long made = 0;  // cells asked for, read or not
  const long row;
  const int column;

 protected:
  std::span<const MemberInfo> members() const override {
    static constexpr MemberInfo kMembers[] = {{u"Value", kValueId, kDispatchPropertyGet}};
    return kMembers;
  }
  HRESULT invokeMember(DISPID, std::uint16_t, const CallArgs&, Variant* out, ExcepInfo*) override {
    return fakeValue(row, column, rows_, out);
  }

 private:
  long rows_;
};

// Range(cell, cell):Value as an array, failing as a whole where one cell fails.
class FakeRange : public DispatchObject {
 public:
  FakeRange(const FakeCell& from, const FakeCell& to, long rows)
      : from_(from.row, from.column), to_(to.row, to.column), rows_(rows) {
    ++made;
  }
  static inline long made = 0;

 protected:
  std::span<const MemberInfo> members() const override {
    static constexpr MemberInfo kMembers[] = {{u"Value", kValueId, kDispatchPropertyGet}};
    return kMembers;
  }
  HRESULT invokeMember(DISPID, std::uint16_t, const CallArgs&, Variant* out, ExcepInfo*) override {
    const auto rows = static_cast<std::uint32_t>(to_.first - from_.first + 1);
    const auto cols = static_cast<std::uint32_t>(to_.second - from_.second + 1);
    auto array = std::make_unique<SafeArray>();
    array->bounds = {{1, rows}, {1, cols}};
    array->data.resize(static_cast<std::size_t>(rows) * cols);
    for (std::uint32_t c = 0; c < cols; ++c) {
      for (std::uint32_t r = 0; r < rows; ++r) {
        const HRESULT h = fakeValue(from_.first + r, from_.second + static_cast<int>(c), rows_,
                                    &array->data[r + static_cast<std::size_t>(rows) * c]);
        if (hrFailed(h)) return h;
      }
    }
    *out = Variant::array(std::move(array));
    return kOk;
  }

 private:
  std::pair<long, int> from_, to_;
  long rows_;
};

class FakeSheet : public DispatchObject {
 public:
  explicit FakeSheet(long rows) : rows_(rows) {}
  static inline bool withRange = true;  // a sheet object that has no Range: cell by cell

 protected:
  std::span<const MemberInfo> members() const override {
    static constexpr MemberInfo kMembers[] = {
        {u"Cells", kCellsId, kDispatchMethod | kDispatchPropertyGet},
        {u"Range", kRangeId, kDispatchMethod | kDispatchPropertyGet}};
    return kMembers;
  }
  HRESULT invokeMember(DISPID id, std::uint16_t, const CallArgs& args, Variant* out,
                       ExcepInfo*) override {
    if (id == kRangeId) {
      if (!withRange || args.size() != 2 || args[0].vt != VT_DISPATCH || args[1].vt != VT_DISPATCH)
        return kDispEBadParamCount;
      auto range = makeObject<FakeRange>(*dynamic_cast<const FakeCell*>(args[0].pdispVal),
                                         *dynamic_cast<const FakeCell*>(args[1].pdispVal), rows_);
      *out = Variant::dispatch(range.get());
      return kOk;
    }
    std::int32_t r = 0, c = 0;
    if (args.size() != 2 || hrFailed(argToInt(args[0], &r)) || hrFailed(argToInt(args[1], &c)))
      return kDispEBadParamCount;
    if (c == 9 || r > static_cast<std::int32_t>(kMaxRows)) return kOddFailure;
    auto cell = makeObject<FakeCell>(r, c, rows_);
    *out = Variant::dispatch(cell.get());
    return kOk;
  }

 private:
  long rows_;
};

// What a consumer saw, in the order it asked.
struct Seen {
  std::vector<std::string> reads;
  long rows = 0;
};

std::string describe(const std::optional<Value>& v) {
  if (!v) return "failed";
  if (v->isEmpty()) return "empty";
  if (v->isText()) return "text:" + v->asText();
  if (v->isNumber()) return "number:" + std::to_string(v->asNumber().toDouble());
  return "other";
}

class RowCellsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    oldDir_ = std::filesystem::current_path();
    std::filesystem::current_path(dir_.path());
    sheet::resetTraceRun();
    registerServer("Zandor.RowTest", "{22222222-3333-4444-5555-666666666666}", kClsctxInprocServer,
                   [this](IDispatch** out) {
                     *out = makeObject<FakeSheet>(fakeRows_).detach();
                     return kOk;
                   });
    oldHandler_ = setErrorHandler([this](const Error&) {
      ++handlerCalls_;
      return ErrorAnswer::Default;
    });
  }
  void TearDown() override {
    setErrorHandler(oldHandler_);
    unregisterServer("Zandor.RowTest");
    std::filesystem::current_path(oldDir_);
    sheet::resetTraceRun();
  }

  // A sheet of `rows` data rows (A: row number or empty every 7th row, B: a name, C: a
  // number), then an empty row.
  void makeSheet(long rows) {
    std::string csv;
    for (long r = 1; r <= rows; ++r) {
      const std::string a = r % 7 == 0 ? "" : std::to_string(r);
      csv += a + ";Name " + std::to_string(r) + ";" + std::to_string(r * 3) + "\r\n";
    }
    test::writeBytes(dir_.path() / "liste.csv", csv);
  }

  Value openSheet() {
    application_ = sheet::CreateObject("Excel.Application");
    const Value books = oleRequest(application_, "Workbooks");
    oleRequest(books, "Add", {Value::text(dir_.file("liste.csv"))});
    return oleRequest(application_, "ActiveSheet");
  }

  // The import's pattern: stop column 3, key column 1, then the fields; every `skipEvery`th
  // row leaves its fields unread, as an unchanged record does.
  template <class Reader>
  Seen consume(Reader&& reader, const std::vector<int>& fields, int skipEvery) {
    Seen seen;
    for (long row = 1;; ++row) {
      const Value stop = reader.stop(row);
      if (stop.isEmpty()) break;
      seen.reads.push_back(describe(stop));
      seen.reads.push_back(describe(reader.key(row)));
      ++seen.rows;
      if (skipEvery > 0 && row % skipEvery == 0) continue;
      for (int column : fields) seen.reads.push_back(describe(reader.field(row, column)));
    }
    return seen;
  }

  // The same requests made one by one when they are needed.
  struct Direct {
    const Value& sheet;
    int stopColumn;
    int keyColumn;
    Value stop(long row) { return readCellUnguarded(sheet, row, stopColumn); }
    std::optional<Value> key(long row) { return readCellGuarded(sheet, row, keyColumn); }
    std::optional<Value> field(long row, int column) { return readCellGuarded(sheet, row, column); }
  };

  Value fakeSheet(long rows) {
    fakeRows_ = rows;
    return CreateObject("Zandor.RowTest");
  }

  // Starts the next run's trace afresh.
  void newTrace() {
    sheet::resetTraceRun();
    std::filesystem::remove(dir_.path() / "trace.log");
  }

  static std::size_t lineCount(const std::string& text) {
    std::size_t lines = 0;
    for (std::size_t at = text.find("\r\n"); at != std::string::npos;
         at = text.find("\r\n", at + 2))
      ++lines;
    return lines;
  }

  // Passes reads through and notes each as it comes (a throwing read leaves no note).
  template <class Reader>
  struct Recording {
    Reader& reader;
    std::vector<std::string>& reads;
    Value stop(long row) {
      Value v = reader.stop(row);
      reads.push_back(describe(v));
      return v;
    }
    std::optional<Value> key(long row) {
      auto v = reader.key(row);
      reads.push_back(describe(v));
      return v;
    }
    std::optional<Value> field(long row, int column) {
      auto v = reader.field(row, column);
      reads.push_back(describe(v));
      return v;
    }
  };

  std::string trace() const {
    const auto file = dir_.path() / "trace.log";
    return std::filesystem::exists(file) ? test::readBytes(file) : std::string();
  }

  test::TempDir dir_;
  std::filesystem::path oldDir_;
  ErrorHandler oldHandler_;
  Value application_;
  int handlerCalls_ = 0;
  long fakeRows_ = 0;
};

TEST_F(RowCellsTest, GivesWhatReadingEachCellGivesAcrossBatchesAndSkippedRows) {
  const Value sheet = fakeSheet(1000);
  const std::vector<int> fields = {2, 1, 5, 3, 4};

  Seen ahead;
  std::string aheadTrace;
  {
    RowCells cells(sheet, 1, 3, 1, fields);
    ahead = consume(cells, fields, 3);
    aheadTrace = trace();
  }
  newTrace();
  const Seen direct = consume(Direct{sheet, 3, 1}, fields, 3);

  EXPECT_EQ(ahead.rows, 1000);
  EXPECT_EQ(ahead.reads, direct.reads);
  EXPECT_NE(std::find(ahead.reads.begin(), ahead.reads.end(), "failed"), ahead.reads.end());
  // Column 5 traces once in every row whose fields are read, and only there.
  EXPECT_EQ(aheadTrace, trace());
  EXPECT_EQ(lineCount(aheadTrace), 1000u - 333u);
  EXPECT_NE(aheadTrace.find("TOleAuto Error 80001234\r\nUnexpected type 00000007"),
            std::string::npos);
  EXPECT_EQ(handlerCalls_, 0);
}

TEST_F(RowCellsTest, AStopCellTheReaderCannotReadReachesTheHandlerAsWithoutIt) {
  const Value sheet = fakeSheet(50);
  Seen ahead;
  std::string aheadTrace;
  {
    RowCells cells(sheet, 1, 9, 1, {2});
    ahead = consume(cells, {2}, 0);
    aheadTrace = trace();
  }
  const int aheadCalls = handlerCalls_;
  EXPECT_GT(aheadCalls, 0);
  EXPECT_EQ(ahead.rows, 0);  // the handler's default is empty: the data ends at once

  newTrace();
  consume(Direct{sheet, 9, 1}, {2}, 0);
  EXPECT_EQ(handlerCalls_, 2 * aheadCalls);
  EXPECT_EQ(lineCount(aheadTrace), 1u);
  EXPECT_EQ(aheadTrace, trace());
}

// Anything but an automation error (here an exception out of the server) reaches the
// consumer at the read that met it, after every read before it, as without a read ahead.
TEST_F(RowCellsTest, AnExceptionOnTheReaderComesOutAtTheSameRead) {
  const Value sheet = fakeSheet(100);
  const std::vector<int> fields = {2, 7, 1};
  auto run = [&](auto&& reader) {
    try {
      consume(reader, fields, 0);
      ADD_FAILURE() << "no exception";
    } catch (const std::runtime_error& e) {
      EXPECT_STREQ(e.what(), "Zelle 40/7 kaputt");
    }
  };
  std::vector<std::string> aheadReads;
  {
    RowCells cells(sheet, 1, 3, 1, fields);
    Recording recording{cells, aheadReads};
    run(recording);
  }
  std::vector<std::string> directReads;
  Direct direct{sheet, 3, 1};
  Recording recording{direct, directReads};
  run(recording);
  EXPECT_EQ(aheadReads, directReads);
  EXPECT_EQ(aheadReads.size(), 39u * 5 + 3);  // rows 1 to 39 whole, then stop, key, column 2
}

// A run that leaves the fields of unchanged records unread asks for no read ahead: then
// only the cells asked for are read, and nothing runs beside the consumer.
TEST_F(RowCellsTest, WithoutReadAheadOnlyTheCellsAskedForAreRead) {
  const Value sheet = fakeSheet(200);
  const std::vector<int> fields = {2, 4, 1};
  const Seen direct = consume(Direct{sheet, 3, 1}, fields, 1);  // every row's fields skipped
  FakeCell::made = 0;
  {
    RowCells cells(sheet, 1, 3, 1, fields, false);
    EXPECT_EQ(consume(cells, fields, 1).reads, direct.reads);
  }
  EXPECT_EQ(FakeCell::made, 2 * 200 + 1);  // stop and key per row, then the empty stop cell
  // With it, the skipped fields are read all the same (ahead, for nothing), as blocks of
  // rows, or cell by cell where the sheet object has no Range.
  FakeCell::made = FakeRange::made = 0;
  {
    RowCells cells(sheet, 1, 3, 1, fields);
    EXPECT_EQ(consume(cells, fields, 1).reads, direct.reads);
  }
  EXPECT_EQ(FakeRange::made, 7);  // rows 1 to 224, the last block holding the empty stop cell
  EXPECT_EQ(FakeCell::made, 2 * 7);
  FakeSheet::withRange = false;
  FakeCell::made = FakeRange::made = 0;
  {
    RowCells cells(sheet, 1, 3, 1, fields);
    EXPECT_EQ(consume(cells, fields, 1).reads, direct.reads);
  }
  FakeSheet::withRange = true;
  EXPECT_EQ(FakeRange::made, 0);
  EXPECT_EQ(FakeCell::made, 2 * 7 + 5 * 200 + 1);  // the block corners asked for in vain, too
}

// Blocks of rows give what single reads give: a column read twice (stop and key, key and
// field), rows where a block would reach past the sheet, a block whose request fails or
// traces (column 5), and columns too far apart for a block.
TEST_F(RowCellsTest, BlocksOfRowsGiveWhatSingleReadsGive) {
  struct Case {
    long firstRow;
    int stop, key;
    std::vector<int> fields;
    long rangesAtLeast, rangesAtMost;
  };
  const long last = static_cast<long>(sheet::kMaxRows);
  const Case cases[] = {
      {1, 3, 3, {3, 2, 1, 3}, 32, 32},  // 1000 rows: 32 blocks, the last holding the end
      {1, 3, 2, {1, 2, 2}, 32, 32},
      {1, 3, 1, {2, 5, 1}, 32, 32},  // every block fails or traces: cell by cell
      {last - 40, 3, 2, {4}, 1, 1},  // one block, then rows read one by one to the end
      {1, 3, 1, {2, 70}, 0, 0},      // 70 columns apart
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.firstRow * 1000 + c.stop * 100 + c.key);
    const long rows = c.firstRow == 1 ? 1000 : last + 10;
    const Value sheet = fakeSheet(rows);
    auto run = [&](auto&& reader) {
      Seen seen;
      for (long row = c.firstRow; row <= last; ++row) {
        const Value stop = reader.stop(row);
        if (stop.isEmpty()) break;
        seen.reads.push_back(describe(stop));
        seen.reads.push_back(describe(reader.key(row)));
        ++seen.rows;
        for (int column : c.fields) seen.reads.push_back(describe(reader.field(row, column)));
      }
      return seen;
    };
    newTrace();
    const Seen direct = run(Direct{sheet, c.stop, c.key});
    const std::string directTrace = trace();
    newTrace();
    FakeRange::made = 0;
    Seen ahead;
    {
      RowCells cells(sheet, c.firstRow, c.stop, c.key, c.fields);
      ahead = run(cells);
    }
    EXPECT_EQ(ahead.reads, direct.reads);
    EXPECT_EQ(ahead.rows, direct.rows);
    EXPECT_GT(ahead.rows, 0);
    EXPECT_EQ(trace(), directTrace);
    EXPECT_GE(FakeRange::made, c.rangesAtLeast);
    EXPECT_LE(FakeRange::made, c.rangesAtMost);
  }
  EXPECT_EQ(handlerCalls_, 0);
}

// A preparer that makes whole numbers of the first and third field column into eight digits
// and takes empty cells as nothing to write; everything else is left to the row loop.
class DigitsPreparer : public CellPreparer {
 public:
  explicit DigitsPreparer(int declined = 1) : declined_(declined) {}
  std::size_t recordLength() const override { return 24; }
  Result prepare(std::size_t index, const Value& value, std::string& record) const override {
    if (static_cast<int>(index) == declined_) return Result::Unprepared;
    if (value.isNil()) return Result::Nothing;
    if (!value.isNumber()) return Result::Unprepared;
    record.replace(index * 8, 8, digits(value));
    return Result::Bytes;
  }
  static std::string digits(const Value& value) {
    char text[16];
    std::snprintf(text, sizeof text, "%08lld", static_cast<long long>(value.asNumber().toDouble()));
    return text;
  }

 private:
  int declined_;  // the field column left to the row loop, -1: none
};

// A row with a cell the preparer leaves alone is read cell by cell, as without a preparer:
// the same values, in step, the trace lines where they belong.
TEST_F(RowCellsTest, RowsNotPreparedWholeReadAsWithoutAPreparer) {
  const Value sheet = fakeSheet(1000);
  // A number, a cell that traces (left to the row loop), a number ending after row 1000.
  const std::vector<int> fields = {4, 5, 3};
  const DigitsPreparer preparer;
  std::vector<std::string> expected, got;
  newTrace();
  {
    Direct direct{sheet, 3, 1};
    for (long row = 1;; ++row) {
      if (direct.stop(row).isEmpty()) break;
      direct.key(row);
      if (row % 3 == 0) continue;  // fields unread, as for an unchanged record
      for (int column : fields) expected.push_back(describe(direct.field(row, column)));
    }
  }
  const std::string directTrace = trace();
  newTrace();
  {
    RowCells cells(sheet, 1, 3, 1, fields, true, &preparer);
    for (long row = 1;; ++row) {
      if (cells.stop(row).isEmpty()) break;
      cells.key(row);
      if (row % 3 == 0) continue;
      ASSERT_FALSE(cells.preparedRow(row)) << row;
      for (int column : fields) got.push_back(describe(cells.field(row, column)));
    }
  }
  EXPECT_EQ(got, expected);
  EXPECT_EQ(trace(), directTrace);
  EXPECT_NE(directTrace, "");
  EXPECT_EQ(handlerCalls_, 0);
}

TEST_F(RowCellsTest, ARowPreparedWholeIsTakenAtOnceOrFieldByField) {
  const Value sheet = fakeSheet(1000);
  const DigitsPreparer all(-1), notSecond(1);
  {
    RowCells cells(sheet, 1, 3, 1, {4, 1}, true, &all);
    long whole = 0;
    for (long row = 1;; ++row) {
      if (cells.stop(row).isEmpty()) break;
      cells.key(row);
      const std::optional<RowCells::PreparedRow> prepared = cells.preparedRow(row);
      ASSERT_TRUE(prepared) << row;
      EXPECT_EQ(prepared->withBytes, 0b11u);
      EXPECT_EQ(prepared->record.substr(0, 8), DigitsPreparer::digits(Value::integer(row * 4)));
      EXPECT_EQ(prepared->record.substr(8, 8), DigitsPreparer::digits(Value::integer(row)));
      if (row % 2 == 0) {
        cells.takePreparedRow();
        ++whole;
        continue;
      }
      // Not taken: the cells are there one by one, as without it.
      EXPECT_EQ(cells.field(row, 4), Value::integer(row * 4));
      EXPECT_EQ(cells.field(row, 1), Value::integer(row));
    }
    EXPECT_EQ(whole, 500);
  }
  // A row with a cell left to the row loop is never prepared whole.
  const std::string fourth = describe(readCellGuarded(sheet, 1, 4));
  const std::string sixth = describe(readCellGuarded(sheet, 1, 6));
  RowCells partly(sheet, 1, 3, 1, {4, 6}, true, &notSecond);
  ASSERT_FALSE(partly.stop(1).isEmpty());
  partly.key(1);
  EXPECT_FALSE(partly.preparedRow(1));
  EXPECT_EQ(describe(partly.field(1, 4)), fourth);
  EXPECT_EQ(describe(partly.field(1, 6)), sixth);
}

// Without a thread to be had (a process limit of none), every read is made in place.
TEST_F(RowCellsTest, WithoutASecondThreadEveryCellIsReadInPlace) {
#ifdef _WIN32
  GTEST_SKIP() << "no per-process thread limit to set on Windows";
#else
  const Value sheet = fakeSheet(100);
  const std::vector<int> fields = {2, 4, 1};
  const Seen direct = consume(Direct{sheet, 3, 1}, fields, 4);
  EXPECT_TRUE(test::passesWithoutRoot([&] {
    const rlimit none{0, 0};
    if (setrlimit(RLIMIT_NPROC, &none) != 0) return false;
    try {
      std::thread([] {}).join();
      return false;  // the limit did not hold: this test would prove nothing
    } catch (const std::system_error&) {
    }
    RowCells cells(sheet, 1, 3, 1, fields, true);
    const Seen ahead = consume(cells, fields, 4);
    return ahead.rows == 100 && ahead.reads == direct.reads;
  }));
#endif
}

TEST_F(RowCellsTest, AConsumerThatEndsEarlyStopsTheReaderAndKeepsTheSheetUsable) {
  makeSheet(20000);
  const Value sheet = openSheet();
  {
    RowCells cells(sheet, 1, 3, 1, {2});
    EXPECT_FALSE(cells.stop(1).isEmpty());
    EXPECT_EQ(describe(cells.key(1)), "number:1.000000");
  }  // leaves with the reader far from done
  // The sheet is ours again.
  EXPECT_EQ(describe(readCellGuarded(sheet, 20000, 2)), "text:Name 20000");
  // A reader started in the middle of the sheet begins where it is told.
  RowCells cells(sheet, 19998, 3, 1, {2});
  EXPECT_EQ(describe(cells.stop(19998)), "number:59994.000000");
  EXPECT_EQ(describe(cells.key(19998)), "number:19998.000000");
  EXPECT_EQ(describe(cells.field(19998, 2)), "text:Name 19998");
  EXPECT_FALSE(cells.stop(19999).isEmpty());
  EXPECT_EQ(describe(cells.key(19999)), "empty");
  EXPECT_FALSE(cells.stop(20000).isEmpty());
  EXPECT_TRUE(cells.stop(20001).isEmpty());
}

// Guards count per thread, and a thread other than the handler's never calls the handler:
// its errors are exceptions it hands back, guarded or not.
TEST(ErrorGuardThreads, GuardsArePerThreadAndOnlyTheHandlersThreadCallsIt) {
  int calls = 0;
  const ErrorHandler old = setErrorHandler([&](const Error&) {
    ++calls;
    return ErrorAnswer::Default;
  });
  Error e;
  e.genCode = gen::kAutomation;
  {
    ErrorGuard guard;
    std::thread other([&] { EXPECT_THROW(raiseError(e), ErrorException); });
    other.join();
    EXPECT_THROW(raiseError(e), ErrorException);
  }
  std::thread guarded([&] {
    ErrorGuard guard;
    EXPECT_THROW(raiseError(e), ErrorException);
  });
  guarded.join();
  EXPECT_EQ(calls, 0);
  EXPECT_EQ(raiseError(e), ErrorAnswer::Default);
  setErrorHandler(old);
  EXPECT_EQ(calls, 1);
}

// Data down to the sheet's last row: the row after it is empty, not a failed read, with or
// without reading ahead.
TEST_F(RowCellsTest, TheRowAfterTheLastRowOfTheSheetIsEmpty) {
  const Value sheet = fakeSheet(static_cast<long>(kMaxRows) + 10);
  const long first = static_cast<long>(kMaxRows) - 70;
  for (const bool ahead : {true, false}) {
    SCOPED_TRACE(ahead ? "ahead" : "direct");
    RowCells cells(sheet, first, 3, 1, {2}, ahead);
    long rows = 0;
    for (long row = first; !cells.stop(row).isEmpty(); ++row) {
      ASSERT_LE(row, static_cast<long>(kMaxRows));
      EXPECT_TRUE(cells.key(row));
      EXPECT_TRUE(cells.field(row, 2));
      ++rows;
    }
    EXPECT_EQ(rows, 71);
  }
  EXPECT_EQ(handlerCalls_, 0);
}

}  // namespace
}  // namespace zandor

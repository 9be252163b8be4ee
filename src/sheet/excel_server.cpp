#include "sheet/excel_server.h"

#include <algorithm>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "sheet/dispatch_object.h"
#include "sheet/recycled_blocks.h"
#include "sheet/sheet_error.h"
#include "sheet/unicode_text.h"
#include "sheet/workbook_data.h"

namespace zandor::sheet {

namespace {

// The application's own member ids.
constexpr DISPID kValue = 0x6;
constexpr DISPID kName = 0x6E;
constexpr DISPID kCount = 0x76;
constexpr DISPID kItem = 0xAA;
constexpr DISPID kAdd = 0xB5;
constexpr DISPID kRange = 0xC5;
constexpr DISPID kCells = 0xEE;
constexpr DISPID kColumn = 0xF0;
constexpr DISPID kColumns = 0xF1;
constexpr DISPID kRow = 0x101;
constexpr DISPID kRows = 0x102;
constexpr DISPID kClose = 0x115;
constexpr DISPID kQuit = 0x12E;
constexpr DISPID kActiveSheet = 0x133;
constexpr DISPID kDisplayAlerts = 0x157;
constexpr DISPID kUsedRange = 0x19C;
constexpr DISPID kValue2 = 0x56C;
constexpr DISPID kSheets = 0x1E5;
constexpr DISPID kWorksheets = 0x1EE;
constexpr DISPID kVisible = 0x22E;
constexpr DISPID kWorkbooks = 0x23C;
constexpr DISPID kActiveWorkbook = 0x134;
constexpr DISPID kIndex = 0x1E6;

constexpr std::uint16_t GET = kDispatchPropertyGet;
constexpr std::uint16_t PUT = kDispatchPropertyPut;
constexpr std::uint16_t METHOD = kDispatchMethod;

// Largest block a multi-cell Value hands out as one array.
constexpr std::uint64_t kMaxArrayCells = 10'000'000;

HRESULT argCount(const CallArgs& args, std::uint32_t min, std::uint32_t max) {
  return args.size() < min || args.size() > max ? kDispEBadParamCount : kOk;
}

void setResult(Variant* result, Variant v) {
  if (result) *result = std::move(v);
}

// A missing optional argument arrives as VT_ERROR kDispEParamNotFound.
bool isMissing(const Variant& v) {
  return v.vt == VT_ERROR && v.scode == kDispEParamNotFound;
}

std::u16string cellName(std::int32_t row, std::int32_t col) {
  return u"Zeile " + utf8ToUtf16(std::to_string(row)) + u", Spalte " +
         utf8ToUtf16(std::to_string(col));
}

struct Book {
  WorkbookData data;
  std::u16string path;
  bool open = true;
};

// A rectangle of cells; a one-cell range is what Cells(r, c) gives.
class Range : public DispatchObject {
 public:
  enum class Shape { Cells, Rows, Columns };
  Range(ComPtr<IDispatch> sheet, const CellStore& cells, const TextPool& texts, std::uint32_t row,
        std::uint32_t col, std::uint32_t rows, std::uint32_t cols, Shape shape = Shape::Cells)
      : sheet_(std::move(sheet)),
        cells_(cells),
        texts_(texts),
        row_(row),
        col_(col),
        rows_(rows),
        cols_(cols),
        shape_(shape) {}

  // One per cell read: the block is recycled.
  static void* operator new(std::size_t size) {
    return size == sizeof(Range) ? RecycledBlocks<sizeof(Range)>::take() : ::operator new(size);
  }
  static void operator delete(void* block, std::size_t size) {
    if (size == sizeof(Range))
      RecycledBlocks<sizeof(Range)>::give(block);
    else
      ::operator delete(block);
  }

 protected:
  std::span<const MemberInfo> members() const override {
    static constexpr MemberInfo kMembers[] = {
        {u"Value", kValue, GET}, {u"_Default", kDispidValue, GET}, {u"Value2", kValue2, GET},
        {u"Row", kRow, GET},     {u"Column", kColumn, GET},        {u"Count", kCount, GET},
        {u"Rows", kRows, GET},   {u"Columns", kColumns, GET},      {u"Cells", kCells, GET},
    };
    return kMembers;
  }

  HRESULT invokeMember(DISPID id, std::uint16_t, const CallArgs& args, Variant* result,
                       ExcepInfo* excepInfo) override {
    switch (id) {
      case kValue:
      case kDispidValue:
      case kValue2: {
        if (HRESULT h = argCount(args, 0, 1); hrFailed(h)) return h;
        const bool dates = id != kValue2;
        if (rows_ == 1 && cols_ == 1) {
          setResult(result, cellVariant(cells_.find(row_, col_), dates));
          return kOk;
        }
        if (static_cast<std::uint64_t>(rows_) * cols_ > kMaxArrayCells)
          return serverException(excepInfo, u"Der Bereich ist zu gro\u00df f\u00fcr einen Wert.");
        auto array = std::make_unique<SafeArray>();
        array->bounds = {{1, rows_}, {1, cols_}};
        array->data.resize(static_cast<std::size_t>(rows_) * cols_);
        for (std::uint32_t c = 0; c < cols_; ++c)
          for (std::uint32_t r = 0; r < rows_; ++r)
            array->data[r + static_cast<std::size_t>(rows_) * c] =
                cellVariant(cells_.find(row_ + r, col_ + c), dates);
        setResult(result, Variant::array(std::move(array)));
        return kOk;
      }
      case kRow:
        setResult(result, Variant::i4(static_cast<std::int32_t>(row_)));
        return kOk;
      case kColumn:
        setResult(result, Variant::i4(static_cast<std::int32_t>(col_)));
        return kOk;
      case kCount: {
        const std::uint64_t n = shape_ == Shape::Rows ? rows_
                                : shape_ == Shape::Columns
                                    ? cols_
                                    : static_cast<std::uint64_t>(rows_) * cols_;
        setResult(result, n > 0x7FFFFFFF ? Variant::r8(static_cast<double>(n))
                                         : Variant::i4(static_cast<std::int32_t>(n)));
        return kOk;
      }
      case kRows:
      case kColumns: {
        auto shaped = makeObject<Range>(sheet_, cells_, texts_, row_, col_, rows_, cols_,
                                        id == kRows ? Shape::Rows : Shape::Columns);
        setResult(result, Variant::dispatch(shaped.get()));
        return kOk;
      }
      case kCells: {
        if (HRESULT h = argCount(args, 2, 2); hrFailed(h)) return h;
        std::int32_t r, c;
        if (HRESULT h = argToInt(args[0], &r); hrFailed(h)) return h;
        if (HRESULT h = argToInt(args[1], &c); hrFailed(h)) return h;
        const std::int64_t absRow = static_cast<std::int64_t>(row_) + r - 1;
        const std::int64_t absCol = static_cast<std::int64_t>(col_) + c - 1;
        if (absRow < 1 || absRow > kMaxRows || absCol < 1 || absCol > kMaxColumns)
          return serverException(
              excepInfo, u"Zelle au\u00dferhalb des Tabellenblatts (" + cellName(r, c) + u").");
        auto cell = makeObject<Range>(sheet_, cells_, texts_, static_cast<std::uint32_t>(absRow),
                                      static_cast<std::uint32_t>(absCol), 1, 1);
        setResult(result, Variant::dispatch(cell.get()));
        return kOk;
      }
    }
    return kDispEMemberNotFound;
  }

 private:
  Variant cellVariant(const Cell* cell, bool dates) const {
    if (!cell) return Variant();
    switch (cell->kind) {
      case CellKind::Empty:
        return Variant();
      case CellKind::Number:
        return Variant::r8(cell->number);
      case CellKind::Date:
        return dates ? Variant::dateValue(cell->number) : Variant::r8(cell->number);
      case CellKind::Text: {
        Variant v;
        v.vt = VT_BSTR;
        v.bstrVal.assign(texts_.get(cell->text));
        return v;
      }
      case CellKind::Boolean:
        return Variant::boolean(cell->flag);
      case CellKind::Error:
        return Variant::error(cell->error);
    }
    return Variant();
  }

  ComPtr<IDispatch> sheet_;  // keeps the cells alive
  const CellStore& cells_;

 public:
  // The sheet object the range lies on, and its corners.
  const IDispatch* sheet() const { return sheet_.get(); }
  std::uint32_t firstRow() const { return row_; }
  std::uint32_t firstColumn() const { return col_; }
  std::uint32_t lastRow() const { return row_ + rows_ - 1; }
  std::uint32_t lastColumn() const { return col_ + cols_ - 1; }

 private:
  const TextPool& texts_;
  std::uint32_t row_, col_, rows_, cols_;
  Shape shape_;
};

class Worksheet : public DispatchObject {
 public:
  // The sheet must have been read (see sheetObject).
  Worksheet(std::shared_ptr<Book> book, std::size_t index)
      : book_(std::move(book)), index_(index) {}

 protected:
  std::span<const MemberInfo> members() const override {
    static constexpr MemberInfo kMembers[] = {
        {u"Cells", kCells, GET}, {u"Range", kRange, GET}, {u"UsedRange", kUsedRange, GET},
        {u"Name", kName, GET},   {u"Index", kIndex, GET},
    };
    return kMembers;
  }

  HRESULT invokeMember(DISPID id, std::uint16_t, const CallArgs& args, Variant* result,
                       ExcepInfo* excepInfo) override {
    const SheetData& sheet = book_->data.sheets[index_];
    const TextPool& texts = book_->data.textsOf(sheet);
    switch (id) {
      case kCells: {
        if (args.size() == 0) {
          auto all = makeObject<Range>(ComPtr<IDispatch>(this), sheet.cells, texts, 1, 1, kMaxRows,
                                       kMaxColumns);
          setResult(result, Variant::dispatch(all.get()));
          return kOk;
        }
        if (HRESULT h = argCount(args, 2, 2); hrFailed(h)) return h;
        std::int32_t r, c;
        if (HRESULT h = argToInt(args[0], &r); hrFailed(h)) return h;
        if (HRESULT h = argToInt(args[1], &c); hrFailed(h)) return h;
        if (r < 1 || r > static_cast<std::int32_t>(kMaxRows) || c < 1 ||
            c > static_cast<std::int32_t>(kMaxColumns))
          return serverException(
              excepInfo, u"Zelle au\u00dferhalb des Tabellenblatts (" + cellName(r, c) + u").");
        auto cell =
            makeObject<Range>(ComPtr<IDispatch>(this), sheet.cells, texts,
                              static_cast<std::uint32_t>(r), static_cast<std::uint32_t>(c), 1, 1);
        setResult(result, Variant::dispatch(cell.get()));
        return kOk;
      }
      case kRange: {
        // Range(cell1[, cell2]): the rectangle spanning ranges of this sheet.
        if (HRESULT h = argCount(args, 1, 2); hrFailed(h)) return h;
        std::uint32_t r1 = kMaxRows, c1 = kMaxColumns, r2 = 1, c2 = 1;
        for (std::uint32_t i = 0; i < args.size(); ++i) {
          const Variant& a = args[i];
          if (i == 1 && isMissing(a)) continue;
          const auto* corner =
              a.vt == VT_DISPATCH ? dynamic_cast<const Range*>(a.pdispVal) : nullptr;
          if (!corner) return kDispETypeMismatch;
          if (corner->sheet() != this)
            return serverException(excepInfo, u"Der Bereich liegt auf einem anderen Blatt.");
          r1 = std::min(r1, corner->firstRow());
          c1 = std::min(c1, corner->firstColumn());
          r2 = std::max(r2, corner->lastRow());
          c2 = std::max(c2, corner->lastColumn());
        }
        auto range = makeObject<Range>(ComPtr<IDispatch>(this), sheet.cells, texts, r1, c1,
                                       r2 - r1 + 1, c2 - c1 + 1);
        setResult(result, Variant::dispatch(range.get()));
        return kOk;
      }
      case kUsedRange: {
        if (HRESULT h = argCount(args, 0, 0); hrFailed(h)) return h;
        const CellStore& cells = sheet.cells;
        // An empty sheet's used range is its first cell, as in the application.
        const std::uint32_t r = cells.empty() ? 1 : cells.firstRow();
        const std::uint32_t c = cells.empty() ? 1 : cells.firstColumn();
        const std::uint32_t rows = cells.empty() ? 1 : cells.lastRow() - r + 1;
        const std::uint32_t cols = cells.empty() ? 1 : cells.lastColumn() - c + 1;
        auto range = makeObject<Range>(ComPtr<IDispatch>(this), cells, texts, r, c, rows, cols);
        setResult(result, Variant::dispatch(range.get()));
        return kOk;
      }
      case kName:
        setResult(result, Variant::bstr(sheet.name));
        return kOk;
      case kIndex:
        setResult(result, Variant::i4(static_cast<std::int32_t>(index_ + 1)));
        return kOk;
    }
    return kDispEMemberNotFound;
  }

 private:
  std::shared_ptr<Book> book_;
  std::size_t index_;
};

// The object of a sheet, read first when it was left for later.
HRESULT sheetObject(const std::shared_ptr<Book>& book, std::size_t index, Variant* result,
                    ExcepInfo* excepInfo) {
  try {
    book->data.sheet(index);
  } catch (const SheetReadError& e) {
    return serverException(excepInfo, utf8ToUtf16(e.what()));
  } catch (const std::bad_alloc&) {
    return serverException(excepInfo, u"Zu wenig Speicher f\u00fcr das Tabellenblatt.");
  } catch (const std::exception&) {
    return serverException(excepInfo,
                           u"Das Tabellenblatt l\u00e4sst sich nicht lesen (unerwarteter Fehler).");
  }
  auto sheet = makeObject<Worksheet>(book, index);
  setResult(result, Variant::dispatch(sheet.get()));
  return kOk;
}

class Sheets : public DispatchObject {
 public:
  explicit Sheets(std::shared_ptr<Book> book) : book_(std::move(book)) {}

  static HRESULT item(const std::shared_ptr<Book>& book, const Variant& which, Variant* result,
                      ExcepInfo* excepInfo) {
    const auto& sheets = book->data.sheets;
    std::size_t index = sheets.size();
    if (which.vt == VT_BSTR) {
      for (std::size_t i = 0; i < sheets.size(); ++i) {
        if (sheets[i].name == which.bstrVal) index = i;
      }
    } else {
      std::int32_t n;
      if (HRESULT h = argToInt(which, &n); hrFailed(h)) return h;
      if (n >= 1) index = static_cast<std::size_t>(n - 1);
    }
    if (index >= sheets.size())
      return serverException(excepInfo, u"Dieses Tabellenblatt gibt es nicht.");
    return sheetObject(book, index, result, excepInfo);
  }

 protected:
  std::span<const MemberInfo> members() const override {
    static constexpr MemberInfo kMembers[] = {
        {u"Count", kCount, GET}, {u"Item", kItem, GET}, {u"_Default", kDispidValue, GET}};
    return kMembers;
  }

  HRESULT invokeMember(DISPID id, std::uint16_t, const CallArgs& args, Variant* result,
                       ExcepInfo* excepInfo) override {
    if (id == kCount) {
      setResult(result, Variant::i4(static_cast<std::int32_t>(book_->data.sheets.size())));
      return kOk;
    }
    if (HRESULT h = argCount(args, 1, 1); hrFailed(h)) return h;
    return item(book_, args[0], result, excepInfo);
  }

 private:
  std::shared_ptr<Book> book_;
};

class Workbooks;

class Workbook : public DispatchObject {
 public:
  Workbook(std::shared_ptr<Book> book, Workbooks* owner) : book_(std::move(book)), owner_(owner) {}
  void forgetOwner() { owner_ = nullptr; }
  bool isOpen() const { return book_->open; }
  HRESULT activeSheet(Variant* result, ExcepInfo* excepInfo) {
    return sheetObject(book_, book_->data.activeSheet, result, excepInfo);
  }
  void close();

 protected:
  std::span<const MemberInfo> members() const override {
    static constexpr MemberInfo kMembers[] = {
        {u"Close", kClose, METHOD},
        {u"ActiveSheet", kActiveSheet, GET},
        {u"Worksheets", kWorksheets, GET},
        {u"Sheets", kSheets, GET},
        {u"Name", kName, GET},
    };
    return kMembers;
  }

  HRESULT invokeMember(DISPID id, std::uint16_t, const CallArgs& args, Variant* result,
                       ExcepInfo* excepInfo) override {
    if (!book_->open) return serverException(excepInfo, u"Die Arbeitsmappe ist schon geschlossen.");
    switch (id) {
      case kClose: {
        if (HRESULT h = argCount(args, 0, 3); hrFailed(h)) return h;
        // Whatever the save flag says, the file is never written: it was only a template.
        if (args.size() > 0 && !isMissing(args[0])) {
          bool save;
          if (HRESULT h = argToBool(args[0], &save); hrFailed(h)) return h;
        }
        close();
        setResult(result, Variant::boolean(true));
        return kOk;
      }
      case kActiveSheet:
        return activeSheet(result, excepInfo);
      case kWorksheets:
      case kSheets: {
        if (HRESULT h = argCount(args, 0, 1); hrFailed(h)) return h;
        if (args.size() == 1) return Sheets::item(book_, args[0], result, excepInfo);
        auto sheets = makeObject<Sheets>(book_);
        setResult(result, Variant::dispatch(sheets.get()));
        return kOk;
      }
      case kName: {
        const std::u16string& p = book_->path;
        const std::size_t slash = p.find_last_of(u"/\\");
        setResult(result, Variant::bstr(slash == std::u16string::npos ? p : p.substr(slash + 1)));
        return kOk;
      }
    }
    return kDispEMemberNotFound;
  }

 private:
  std::shared_ptr<Book> book_;
  Workbooks* owner_;
};

class Workbooks : public DispatchObject {
 public:
  ~Workbooks() override {
    for (auto& book : books_) book->forgetOwner();
  }

  void remove(Workbook* book) {
    std::erase_if(books_, [&](const ComPtr<Workbook>& b) { return b.get() == book; });
  }

  void closeAll() {
    while (!books_.empty()) books_.back()->close();
  }

  Workbook* active() const { return books_.empty() ? nullptr : books_.back().get(); }

 protected:
  std::span<const MemberInfo> members() const override {
    static constexpr MemberInfo kMembers[] = {{u"Add", kAdd, METHOD},
                                              {u"Count", kCount, GET},
                                              {u"Item", kItem, GET},
                                              {u"_Default", kDispidValue, GET}};
    return kMembers;
  }

  HRESULT invokeMember(DISPID id, std::uint16_t, const CallArgs& args, Variant* result,
                       ExcepInfo* excepInfo) override {
    switch (id) {
      case kAdd: {
        if (HRESULT h = argCount(args, 0, 1); hrFailed(h)) return h;
        auto book = std::make_shared<Book>();
        if (args.size() == 1 && !isMissing(args[0])) {
          if (HRESULT h = argToText(args[0], &book->path); hrFailed(h)) return h;
          try {
            book->data = readSpreadsheetFile(utf16ToUtf8(book->path));
          } catch (const SheetReadError& e) {
            return serverException(excepInfo, utf8ToUtf16(e.what()));
          } catch (const std::bad_alloc&) {
            return serverException(excepInfo, u"Zu wenig Speicher f\u00fcr die Datei.");
          } catch (const std::exception&) {
            // The standard library's texts are English: the user is told what failed.
            return serverException(excepInfo,
                                   u"Die Datei l\u00e4sst sich nicht lesen (unerwarteter Fehler).");
          }
        } else {
          book->path = u"Mappe1";
          book->data.sheets.push_back({u"Tabelle1", CellStore(), nullptr, true});
        }
        auto workbook = makeObject<Workbook>(std::move(book), this);
        books_.push_back(workbook);
        setResult(result, Variant::dispatch(workbook.get()));
        return kOk;
      }
      case kCount:
        setResult(result, Variant::i4(static_cast<std::int32_t>(books_.size())));
        return kOk;
      case kItem:
      case kDispidValue: {
        if (HRESULT h = argCount(args, 1, 1); hrFailed(h)) return h;
        std::int32_t n;
        if (HRESULT h = argToInt(args[0], &n); hrFailed(h)) return h;
        if (n < 1 || static_cast<std::size_t>(n) > books_.size())
          return serverException(excepInfo, u"Diese Arbeitsmappe gibt es nicht.");
        setResult(result, Variant::dispatch(books_[static_cast<std::size_t>(n - 1)].get()));
        return kOk;
      }
    }
    return kDispEMemberNotFound;
  }

 private:
  std::vector<ComPtr<Workbook>> books_;
};

void Workbook::close() {
  book_->open = false;
  ComPtr<Workbook> keep(this);  // removing it from the collection must not end it here
  if (owner_) owner_->remove(this);
  owner_ = nullptr;
}

class Application : public DispatchObject {
 public:
  Application() : workbooks_(makeObject<Workbooks>()) {}
  ~Application() override { workbooks_->closeAll(); }

 protected:
  std::span<const MemberInfo> members() const override {
    static constexpr MemberInfo kMembers[] = {
        {u"Workbooks", kWorkbooks, GET},
        {u"ActiveSheet", kActiveSheet, GET},
        {u"ActiveWorkbook", kActiveWorkbook, GET},
        {u"Quit", kQuit, METHOD},
        {u"Visible", kVisible, GET | PUT},
        {u"DisplayAlerts", kDisplayAlerts, GET | PUT},
        {u"Name", kName, GET},
        {u"_Default", kDispidValue, GET},
    };
    return kMembers;
  }

  HRESULT invokeMember(DISPID id, std::uint16_t flags, const CallArgs& args, Variant* result,
                       ExcepInfo* excepInfo) override {
    switch (id) {
      case kWorkbooks:
        setResult(result, Variant::dispatch(workbooks_.get()));
        return kOk;
      case kActiveSheet:
      case kActiveWorkbook: {
        Workbook* book = workbooks_->active();
        if (!book) return serverException(excepInfo, u"Es ist keine Arbeitsmappe ge\u00f6ffnet.");
        if (id == kActiveSheet) return book->activeSheet(result, excepInfo);
        setResult(result, Variant::dispatch(book));
        return kOk;
      }
      case kQuit:
        workbooks_->closeAll();
        setResult(result, Variant());
        return kOk;
      case kVisible:
      case kDisplayAlerts: {
        bool& flag = id == kVisible ? visible_ : displayAlerts_;
        if (flags == PUT) {
          if (HRESULT h = argCount(args, 1, 1); hrFailed(h)) return h;
          return argToBool(args[0], &flag);
        }
        setResult(result, Variant::boolean(flag));
        return kOk;
      }
      case kName:
      case kDispidValue:
        setResult(result, Variant::bstr(u"Microsoft Excel"));
        return kOk;
    }
    return kDispEMemberNotFound;
  }

 private:
  ComPtr<Workbooks> workbooks_;
  bool visible_ = false;
  bool displayAlerts_ = true;
};

}  // namespace

HRESULT createExcelApplication(IDispatch** out) {
  try {
    *out = makeObject<Application>().detach();
    return kOk;
  } catch (const std::bad_alloc&) {
    *out = nullptr;
    return kEOutOfMemory;
  }
}

}  // namespace zandor::sheet

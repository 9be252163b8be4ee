// The spreadsheet server through the bridge, as the import uses it, and its VARIANT types.

#include <gtest/gtest.h>

#include <filesystem>

#include "base/error.h"
#include "sheet/dispatch.h"
#include "sheet/ole_auto.h"
#include "sheet/trace_log.h"
#include "sheet_files.h"
#include "support/test_support.h"

namespace zandor::sheet {
namespace {

using test::XlsxContent;

// The cells of the import's test workbook: numbers, texts, a date, a boolean, an error.
XlsxContent sampleBook() {
  XlsxContent content;
  content.sharedStrings =
      "<si><t>KUNDE</t></si><si><t xml:space=\"preserve\"> M\xc3\xbcller </t></si>";
  content.cellXfs = "<xf numFmtId=\"0\"/><xf numFmtId=\"14\"/>";
  content.sheets = {"<row r=\"1\"><c r=\"A1\" v=\"x\"><v>7</v></c></row>",
                    "<row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c><c r=\"B1\"><v>0</v></c></row>"
                    "<row r=\"2\"><c r=\"A2\" t=\"s\"><v>1</v></c><c r=\"B2\"><v>12.5</v></c>"
                    "<c r=\"C2\" s=\"1\"><v>40983</v></c><c r=\"D2\" t=\"b\"><v>1</v></c>"
                    "<c r=\"E2\" t=\"e\"><v>#DIV/0!</v></c></row>"};
  content.activeTab = 1;
  return content;
}

class ServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    oldDir_ = std::filesystem::current_path();
    std::filesystem::current_path(dir_.path());
    resetTraceRun();
    file_ = dir_.file("mappe.xlsx");
    test::writeXlsx(file_, sampleBook());
  }
  void TearDown() override {
    std::filesystem::current_path(oldDir_);
    resetTraceRun();
  }

  // Steps 1 to 4 of the import.
  void open(const std::string& file) {
    app_ = CreateObject("Excel.Application");
    const Value workbooks = oleRequest(app_, "Workbooks");
    workbook_ = oleRequest(workbooks, "Add", {Value::text(file)});
    sheet_ = oleRequest(app_, "ActiveSheet");
  }
  Value cell(int row, int col) {
    const Value range = oleRequest(sheet_, "Cells", {Value::integer(row), Value::integer(col)});
    return oleRequest(range, "Value");
  }
  // What the server hands back, before the bridge converts it.
  Variant raw(int row, int col) {
    const Value range = oleRequest(sheet_, "Cells", {Value::integer(row), Value::integer(col)});
    IDispatch* d = dynamic_cast<TOleAuto*>(range.asObject().get())->dispatch();
    DISPID id;
    EXPECT_EQ(d->GetIDsOfNames(u"Value", kLocaleSystemDefault, &id), kOk);
    DispParams none;
    Variant out;
    EXPECT_EQ(d->Invoke(id, kLocaleSystemDefault, kDispatchPropertyGet, none, &out, nullptr), kOk);
    return out;
  }
  Error failure(const std::function<void()>& step) {
    try {
      step();
    } catch (const ErrorException& e) {
      return e.error();
    }
    ADD_FAILURE() << "no error";
    return Error();
  }

  test::TempDir dir_;
  std::filesystem::path oldDir_;
  std::string file_;
  Value app_, workbook_, sheet_;
};

TEST_F(ServerTest, ImportSequenceReadsTheActiveSheet) {
  ErrorGuard guard;
  const std::string before = test::readBytes(file_);
  const auto stamp = std::filesystem::last_write_time(file_);
  open(file_);
  EXPECT_EQ(oleRequest(sheet_, "Name").asText(), "Blatt2");
  EXPECT_EQ(cell(1, 1).asText(), "KUNDE");
  EXPECT_EQ(cell(2, 1).asText(), " M\xfcller ");
  const Value zero = cell(1, 2);
  ASSERT_EQ(zero.type(), 'N');
  EXPECT_TRUE(zero.asNumber().isZero());
  EXPECT_EQ(cell(2, 2).asNumber().real, 12.5);
  EXPECT_EQ(cell(2, 3).asDate(), (Date{2456002, 0}));  // 15.03.2012
  EXPECT_EQ(cell(2, 4), Value::logical(true));
  EXPECT_EQ(cell(2, 5), Value::error("#DIV/0!"));  // an error cell
  EXPECT_TRUE(cell(3, 1).isNil());
  EXPECT_TRUE(cell(1048576, 16384).isNil());
  oleRequest(workbook_, "Close", {Value::logical(false)});
  oleRequest(app_, "Quit");
  EXPECT_EQ(test::readBytes(file_), before);
  EXPECT_EQ(std::filesystem::last_write_time(file_), stamp);
  // Nothing was written beside the workbook (the error cell is a value, not a trace line).
  int files = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir_.path())) ++files;
  EXPECT_EQ(files, 1);
}

TEST_F(ServerTest, CellsHaveTheApplicationsVariantTypes) {
  ErrorGuard guard;
  open(file_);
  EXPECT_EQ(raw(1, 1).vt, VT_BSTR);
  EXPECT_EQ(raw(1, 2).vt, VT_R8);  // whole numbers too
  EXPECT_EQ(raw(2, 3).vt, VT_DATE);
  EXPECT_EQ(raw(2, 3).date, 40983.0);
  EXPECT_EQ(raw(2, 4).vt, VT_BOOL);
  EXPECT_EQ(raw(2, 4).boolVal, kVariantTrue);
  const Variant error = raw(2, 5);
  EXPECT_EQ(error.vt, VT_ERROR);
  EXPECT_EQ(static_cast<std::uint32_t>(error.scode), 0x800A07D7u);
  EXPECT_EQ(raw(9, 9).vt, VT_EMPTY);
}

TEST_F(ServerTest, PropertiesRefuseMethodCallsAndCellsOutsideTheSheetFail) {
  ErrorGuard guard;
  open(file_);
  IDispatch* sheet = dynamic_cast<TOleAuto*>(sheet_.asObject().get())->dispatch();
  DISPID cells;
  ASSERT_EQ(sheet->GetIDsOfNames(u"cElLs", kLocaleSystemDefault, &cells), kOk);
  Variant args[2] = {Variant::i4(1), Variant::i4(1)};
  DispParams params{args, 2, nullptr, 0};
  Variant out;
  ExcepInfo excep;
  EXPECT_EQ(sheet->Invoke(cells, 0, kDispatchMethod, params, &out, &excep), kDispEMemberNotFound);
  EXPECT_EQ(sheet->Invoke(cells, 0, kDispatchPropertyGet, params, &out, &excep), kOk);
  EXPECT_EQ(out.vt, VT_DISPATCH);
  DispParams one{args, 1, nullptr, 0};
  EXPECT_EQ(sheet->Invoke(cells, 0, kDispatchPropertyGet, one, &out, &excep), kDispEBadParamCount);
  DISPID none;
  EXPECT_EQ(sheet->GetIDsOfNames(u"Gibts", 0, &none), kDispEUnknownName);

  const Error outside = failure([&] { cell(0, 1); });
  EXPECT_EQ(outside.genCode, 1001);
  EXPECT_EQ(outside.description,
            "Zelle au\xdf"
            "erhalb des Tabellenblatts (Zeile 0, Spalte 1).");
  EXPECT_EQ(failure([&] { cell(1, 16385); }).description,
            "Zelle au\xdf"
            "erhalb des Tabellenblatts (Zeile 1, Spalte 16385).");
  EXPECT_EQ(failure([&] {
              oleRequest(sheet_, "Cells", {Value::text("eins"), Value::integer(1)});
            }).description,
            "DISP_E_TYPEMISMATCH");
}

TEST_F(ServerTest, WorkbooksUsedRangeAndApplicationFlags) {
  ErrorGuard guard;
  open(file_);
  const Value workbooks = oleRequest(app_, "Workbooks");
  EXPECT_EQ(oleRequest(workbooks, "Count").asNumber().integer, 1);
  const Value used = oleRequest(sheet_, "UsedRange");
  EXPECT_EQ(oleRequest(used, "Row").asNumber().integer, 1);
  EXPECT_EQ(oleRequest(used, "Column").asNumber().integer, 1);
  EXPECT_EQ(oleRequest(oleRequest(used, "Rows"), "Count").asNumber().integer, 2);
  EXPECT_EQ(oleRequest(oleRequest(used, "Columns"), "Count").asNumber().integer, 5);
  const Value block = oleRequest(used, "Value");
  ASSERT_EQ(block.type(), 'A');
  ASSERT_EQ(block.asList().size(), 2u);
  EXPECT_EQ(block.asList()[1].asList()[1].asNumber().real, 12.5);

  EXPECT_EQ(oleRequest(app_, "_Visible", {Value::logical(true)}), Value::logical(true));
  EXPECT_EQ(oleRequest(app_, "Visible"), Value::logical(true));
  EXPECT_EQ(oleRequest(app_, "_DisplayAlerts", {Value::logical(false)}), Value::logical(false));
  EXPECT_EQ(oleRequest(app_, "DisplayAlerts"), Value::logical(false));

  const Value first = oleRequest(workbook_, "Worksheets", {Value::integer(1)});
  EXPECT_EQ(oleRequest(first, "Name").asText(), "Blatt1");
  const Value byName =
      oleRequest(oleRequest(workbook_, "Worksheets"), "Item", {Value::text("Blatt2")});
  EXPECT_EQ(oleRequest(byName, "Index").asNumber().integer, 2);

  oleRequest(workbook_, "Close", {Value::logical(false)});
  EXPECT_EQ(oleRequest(workbooks, "Count").asNumber().integer, 0);
  EXPECT_EQ(failure([&] { oleRequest(app_, "ActiveSheet"); }).description,
            "Es ist keine Arbeitsmappe ge\xf6"
            "ffnet.");
  // The sheet taken before still reads: it holds its own cells.
  EXPECT_EQ(cell(1, 1).asText(), "KUNDE");
}

// Range(cell, cell) spans its corners in any order; its Value holds what the single cells
// hold. Corners from another sheet or of another kind are refused.
TEST_F(ServerTest, RangeSpansTwoCellsOfTheSheet) {
  ErrorGuard guard;
  open(file_);
  for (const auto& [from, to] :
       {std::pair{std::pair{1, 1}, std::pair{2, 5}}, std::pair{std::pair{2, 5}, std::pair{1, 1}},
        std::pair{std::pair{1, 5}, std::pair{2, 1}}}) {
    const Value a =
        oleRequest(sheet_, "Cells", {Value::integer(from.first), Value::integer(from.second)});
    const Value b =
        oleRequest(sheet_, "Cells", {Value::integer(to.first), Value::integer(to.second)});
    const Value block = oleRequest(oleRequest(sheet_, "Range", {a, b}), "Value");
    ASSERT_EQ(block.asList().size(), 2u);
    for (int r = 1; r <= 2; ++r) {
      ASSERT_EQ(block.asList()[r - 1].asList().size(), 5u);
      for (int c = 1; c <= 5; ++c)
        EXPECT_EQ(block.asList()[r - 1].asList()[c - 1], cell(r, c)) << r << "/" << c;
    }
  }
  const Value one = oleRequest(
      sheet_, "Range", {oleRequest(sheet_, "Cells", {Value::integer(2), Value::integer(3)})});
  EXPECT_EQ(oleRequest(one, "Value"), cell(2, 3));
  EXPECT_EQ(oleRequest(one, "Row").asNumber().integer, 2);

  const Value other = oleRequest(workbook_, "Worksheets", {Value::integer(1)});
  const Value elsewhere = oleRequest(other, "Cells", {Value::integer(1), Value::integer(1)});
  EXPECT_EQ(failure([&] {
              oleRequest(sheet_, "Range", {elsewhere, elsewhere});
            }).description,
            "Der Bereich liegt auf einem anderen Blatt.");
  EXPECT_EQ(failure([&] {
              oleRequest(sheet_, "Range", {Value::text("A1"), Value::text("B2")});
            }).description,
            "DISP_E_TYPEMISMATCH");
}

TEST_F(ServerTest, AddFailsWithADescriptionForBadFiles) {
  ErrorGuard guard;
  app_ = CreateObject("Excel.Application");
  const Value workbooks = oleRequest(app_, "Workbooks");
  auto addError = [&](const std::string& path) {
    return failure([&] { oleRequest(workbooks, "Add", {Value::text(path)}); }).description;
  };
  EXPECT_EQ(addError(dir_.file("fehlt.xlsx")),
            "Die Datei \"" + dir_.file("fehlt.xlsx") + "\" gibt es nicht.");
  test::writeBytes(dir_.path() / "bild.xlsx", std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16));
  EXPECT_EQ(addError(dir_.file("bild.xlsx")), "Die Datei ist keine Tabellenkalkulationsdatei.");
  EXPECT_EQ(oleRequest(workbooks, "Count").asNumber().integer, 0);
}

}  // namespace
}  // namespace zandor::sheet

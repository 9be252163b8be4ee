#include <gtest/gtest.h>

#include <windows.h>
// after windows.h
#include <commctrl.h>

#include <memory>
#include <string>
#include <vector>

#include "resources/dialog_template.h"
#include "resources/ids/mapping_ids.h"
#include "resources/ids/preferences_ids.h"
#include "win32/list_view_grid.h"
#include "win32/template_dialog.h"
#include "win32/win32_test_support.h"
#include "win32/win32_text.h"

namespace zandor::win32 {
namespace {

void pump() {
  test::pumpMessages();
}
void saveScreenshot(HWND window, const std::string& name) {
  test::saveWindowScreenshot(window, name);
}

const char* const kTemplates[] = {tpl::kPreferences, tpl::kWaitMessage,   tpl::kErrorDialog,
                                  tpl::kFileChoice,  tpl::kImportOptions, tpl::kMapping};

RECT inDialog(HWND dialog, HWND child) {
  RECT r{};
  GetWindowRect(child, &r);
  MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

std::wstring textOf(HWND hwnd) {
  wchar_t buffer[512] = {};
  GetWindowTextW(hwnd, buffer, 512);
  return buffer;
}

// The width a caption needs in the control's font, without the "&" of its accelerator.
int captionWidth(HWND control, const std::wstring& caption) {
  HDC dc = GetDC(control);
  HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)));
  RECT r{0, 0, 0, 0};
  DrawTextW(dc, caption.c_str(), static_cast<int>(caption.size()), &r, DT_CALCRECT | DT_SINGLELINE);
  SelectObject(dc, old);
  ReleaseDC(control, dc);
  return r.right;
}

class TemplateDialogTest : public ::testing::Test {
 protected:
  void TearDown() override { pump(); }
};

TEST_F(TemplateDialogTest, EveryTemplateOpensWithItsControlsInsideAndApart) {
  for (const char* name : kTemplates) {
    const DialogTemplate& tmpl = *findDialogTemplate(name);
    TemplateDialog dialog(tmpl, nullptr);
    ASSERT_NE(dialog.window(), nullptr) << name;
    dialog.showModeless();
    pump();
    RECT client{};
    GetClientRect(dialog.window(), &client);
    std::vector<RECT> placed;
    for (std::size_t i = 0; i < tmpl.controls.size(); ++i) {
      HWND child = dialog.childAt(i);
      ASSERT_NE(child, nullptr) << name << " control " << i;
      // A drop-down list's window is its closed box.
      const RECT r = inDialog(dialog.window(), child);
      EXPECT_TRUE(r.left >= 0 && r.top >= 0 && r.right <= client.right && r.bottom <= client.bottom)
          << name << " control " << i << " \"" << tmpl.controls[i].caption << "\"";
      for (std::size_t j = 0; j < placed.size(); ++j) {
        RECT both{};
        EXPECT_FALSE(IntersectRect(&both, &r, &placed[j]))
            << name << ": control " << i << " overlaps control " << j;
      }
      placed.push_back(r);
    }
    saveScreenshot(dialog.window(), name);
    dialog.end(0);
  }
}

TEST_F(TemplateDialogTest, CaptionsFitTheirControls) {
  for (const char* name : kTemplates) {
    const DialogTemplate& tmpl = *findDialogTemplate(name);
    TemplateDialog dialog(tmpl, nullptr);
    for (std::size_t i = 0; i < tmpl.controls.size(); ++i) {
      const ControlTemplate& c = tmpl.controls[i];
      if (c.caption.empty() || c.has(ctl::kWraps) || c.kind == ControlKind::Picture) continue;
      HWND child = dialog.childAt(i);
      std::wstring caption = wide(c.caption);
      std::erase(caption, L'&');
      // The import options name the number they generate instead of this caption.
      if (name == std::string(tpl::kImportOptions) && c.kind == ControlKind::CheckBox) {
        caption = L"Art.-Nr. autom. generieren";
      }
      RECT r{};
      GetClientRect(child, &r);
      // Room the control takes for itself: a button's edge, a check box's square.
      int room = r.right;
      if (c.kind == ControlKind::PushButton) room -= 2 * GetSystemMetrics(SM_CXEDGE) + 4;
      if (c.kind == ControlKind::CheckBox || c.kind == ControlKind::RadioButton) {
        room -= GetSystemMetrics(SM_CXMENUCHECK) + 4;
      }
      EXPECT_LE(captionWidth(child, caption), room) << name << ": \"" << c.caption << "\" is cut";
    }
  }
}

TEST_F(TemplateDialogTest, TextsWithUmlautsComeBackUnchanged) {
  TemplateDialog dialog(*findDialogTemplate(tpl::kPreferences), nullptr);
  const std::string text = "M\xfcller & S\xf6hne \x80 \xdf";
  for (int id : {preferences_ids::kXlsDirectory, preferences_ids::kAdrPreview, preferences_ids::kOk,
                 preferences_ids::kUpdate}) {
    Control& control = OCTRL(dialog, id);
    control.setText(text);
    EXPECT_EQ(control.text(), text) << id;
  }
  dialog.setTitle(
      "Gr\xf6\xdf"
      "e");
  EXPECT_EQ(textOf(dialog.window()), L"Gr\u00f6\u00dfe");

  TemplateDialog files(*findDialogTemplate(tpl::kFileChoice), nullptr);
  Control& list = OCTRL(files, 111);
  list.setItems({"C:\\Daten\\K\xf6ln.xlsx", "C:\\\xc4rger\\\x80uro.xls"});
  EXPECT_EQ(list.items(),
            (std::vector<std::string>{"C:\\Daten\\K\xf6ln.xlsx", "C:\\\xc4rger\\\x80uro.xls"}));
  EXPECT_EQ(list.selection(), -1);
  list.setSelection(1);
  EXPECT_EQ(list.text(), "C:\\\xc4rger\\\x80uro.xls");
}

TEST_F(TemplateDialogTest, OnlyTheUserChangesFireEventsAndTheInputRuleHolds) {
  TemplateDialog dialog(*findDialogTemplate(tpl::kPreferences), nullptr);
  std::vector<int> changed;
  dialog.onChanged = [&](int id) { changed.push_back(id); };
  Control& number = OCTRL(dialog, preferences_ids::kAdrNumber);
  number.setInputRule({6, true});
  number.setText("12");
  number.setChecked(true);
  EXPECT_TRUE(changed.empty()) << "text set from code is no change of the user's";

  HWND edit = GetDlgItem(dialog.window(), preferences_ids::kAdrNumber);
  SendMessageW(edit, EM_SETSEL, 2, 2);
  SendMessageW(edit, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(L"3a4b5678"));
  EXPECT_EQ(number.text(), "1234") << "six positions are taken, and the letters among them go";
  EXPECT_FALSE(changed.empty());
  EXPECT_EQ(changed.back(), preferences_ids::kAdrNumber);
}

TEST_F(TemplateDialogTest, EscapeAndTheCloseBoxAskBeforeTheDialogCloses) {
  TemplateDialog dialog(*findDialogTemplate(tpl::kPreferences), nullptr);
  std::vector<CloseReason> asked;
  bool allow = false;
  dialog.onCloseRequest = [&](CloseReason reason) {
    asked.push_back(reason);
    return allow;
  };
  dialog.showModeless();
  SendMessageW(dialog.window(), WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
               reinterpret_cast<LPARAM>(dialog.window()));
  SendMessageW(dialog.window(), WM_CLOSE, 0, 0);
  EXPECT_EQ(asked, (std::vector<CloseReason>{CloseReason::Escape, CloseReason::CloseBox}));
  EXPECT_TRUE(dialog.shown()) << "refused twice";
  allow = true;
  SendMessageW(dialog.window(), WM_CLOSE, 0, 0);
  EXPECT_FALSE(dialog.shown());
}

class Rows : public GridModel {
 public:
  int rowCount() const override { return 3; }
  std::string cell(int row, int column) const override {
    return column == 0 ? std::to_string(row + 1) : "Feld " + std::to_string(row + 1) + "   ";
  }
};

class GridEditTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dialog_ = std::make_unique<TemplateDialog>(*findDialogTemplate(tpl::kMapping), nullptr);
    grid_ = dialog_->grid(mapping_ids::kFieldList);
    ASSERT_NE(grid_, nullptr);
    grid_->setColumns({{"Nr.", 25, false}, {"Excel-Spalte", 125, true}});
    grid_->setModel(&rows_);
    grid_->setDropDownEntries({"Kunde", "Name",
                               "Stra\xdf"
                               "e"});
    grid_->highlightedEntry = [](int row, int) { return row == 0 ? 1 : -1; };
    grid_->onCellEdited = [this](const CellEdit& edit) { edits_.push_back(edit); };
    dialog_->showModeless();
    pump();
  }
  void key(WPARAM vk) {
    HWND edit = GetWindow(grid_->editor(), GW_CHILD);
    ASSERT_NE(edit, nullptr);
    SendMessageW(edit, WM_KEYDOWN, vk, 0);
    pump();
  }

  Rows rows_;
  std::unique_ptr<TemplateDialog> dialog_;
  ListViewGrid* grid_ = nullptr;
  std::vector<CellEdit> edits_;
};

TEST_F(GridEditTest, EnterTakesTheHighlightedEntryAndEscapeNothing) {
  grid_->openEditor(0, 1, true);
  ASSERT_NE(grid_->editor(), nullptr);
  EXPECT_EQ(SendMessageW(grid_->editor(), CB_GETCURSEL, 0, 0), 1) << "opens on the cell's entry";
  key(VK_RETURN);
  ASSERT_EQ(edits_.size(), 1u);
  EXPECT_EQ(edits_[0].row, 0);
  EXPECT_EQ(edits_[0].column, 1);
  EXPECT_EQ(edits_[0].entry, std::optional<int>(1));
  EXPECT_EQ(edits_[0].key, grid_key::kChosen);
  EXPECT_EQ(grid_->editor(), nullptr) << "the editor is gone once the edit is handed over";

  grid_->openEditor(2, 1, true);
  key(VK_ESCAPE);
  ASSERT_EQ(edits_.size(), 2u);
  EXPECT_EQ(edits_[1].row, 2);
  EXPECT_EQ(edits_[1].key, grid_key::kEscape);
  EXPECT_FALSE(edits_[1].entry.has_value());
}

TEST_F(GridEditTest, ATypedNumberOrALostFocusEndsTheEdit) {
  grid_->openEditor(1, 1, false);
  HWND edit = GetWindow(grid_->editor(), GW_CHILD);
  EXPECT_EQ(textOf(edit), L"Feld 2") << "a typed edit starts from the cell without its blanks";
  SetWindowTextW(edit, L"3");
  key(VK_RETURN);
  ASSERT_EQ(edits_.size(), 1u);
  EXPECT_EQ(edits_[0].typed, "3");
  EXPECT_FALSE(edits_[0].entry.has_value());

  // With its list open and nothing highlighted, a lost focus passes the first entry.
  grid_->openEditor(2, 1, true);
  SetFocus(GetDlgItem(dialog_->window(), mapping_ids::kClose));
  pump();
  ASSERT_EQ(edits_.size(), 2u);
  EXPECT_EQ(edits_[1].entry, std::optional<int>(0));
}

TEST_F(GridEditTest, AHeaderClickHandsAnOpenEditOverFirst) {
  std::vector<std::string> order;
  grid_->onCellEdited = [&](const CellEdit&) { order.push_back("edit"); };
  grid_->onHeaderClicked = [&](int column) { order.push_back("header " + std::to_string(column)); };
  grid_->openEditor(0, 1, true);
  NMLISTVIEW click{};
  click.hdr.hwndFrom = grid_->window();
  click.hdr.idFrom = mapping_ids::kFieldList;
  click.hdr.code = LVN_COLUMNCLICK;
  click.iSubItem = 1;
  grid_->notify(click.hdr);
  EXPECT_EQ(order, (std::vector<std::string>{"edit", "header 1"}));
}

TEST_F(GridEditTest, CellsAreReadFromTheModelWithoutTrailingBlanks) {
  wchar_t buffer[64] = {};
  LVITEMW item{};
  item.iSubItem = 1;
  item.pszText = buffer;
  item.cchTextMax = 64;
  SendMessageW(grid_->window(), LVM_GETITEMTEXTW, 2, reinterpret_cast<LPARAM>(&item));
  EXPECT_STREQ(buffer, L"Feld 3");
  EXPECT_EQ(ListView_GetItemCount(grid_->window()), 3);
}

}  // namespace
}  // namespace zandor::win32

#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "resources/dialog_template.h"
#include "ui/dialog.h"

namespace zandor::test {

// A dialog for tests, built from a real template. Running it runs a script that plays the
// user: clicks, typing (through the input rule, as a field would take it), Escape and the
// close box. A modal dialog still open when its script ends fails the test.
class FakeDialog : public Dialog {
 public:
  using Script = std::function<void(FakeDialog&)>;

  FakeDialog(const DialogTemplate& tmpl, Script script);
  ~FakeDialog() override;

  Control* control(int id) override;
  void setTitle(const std::string& title) override { title_ = title; }
  int runModal() override;
  void showModeless() override { shown_ = true; }
  void end(int result) override;
  void refresh() override {}

  // The user's actions.
  void click(int id);
  void type(int id, const std::string& text);
  void select(int id, int index);
  bool pressEscape() { return requestClose(CloseReason::Escape); }
  bool pressCloseBox() { return requestClose(CloseReason::CloseBox); }

  const std::string& name() const { return name_; }
  const std::string& title() const { return title_; }
  bool isOpen() const { return shown_ && !result_; }
  std::optional<int> result() const { return result_; }
  std::string text(int id) { return OCTRL(*this, id).text(); }
  bool checked(int id) { return OCTRL(*this, id).checked(); }

 private:
  class FakeControl;

  std::string name_;
  std::string title_;
  std::map<int, std::unique_ptr<FakeControl>> controls_;
  Script script_;
  bool shown_ = false;
  std::optional<int> result_;
};

}  // namespace zandor::test

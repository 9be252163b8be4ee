#include "support/fake_dialog.h"

#include <gtest/gtest.h>

namespace zandor::test {

class FakeDialog::FakeControl : public Control {
 public:
  FakeControl(const ControlTemplate& t) : id_(t.id), kind_(t.kind), text_(t.caption) {}

  int id() const override { return id_; }
  std::string text() const override { return text_; }
  void setText(const std::string& text) override { text_ = text; }
  bool checked() const override { return checked_; }
  void setChecked(bool on) override { checked_ = on; }
  std::vector<std::string> items() const override { return items_; }
  void setItems(const std::vector<std::string>& items) override {
    items_ = items;
    selection_ = -1;
  }
  int selection() const override { return selection_; }
  void setSelection(int index) override {
    selection_ = index >= 0 && index < static_cast<int>(items_.size()) ? index : -1;
  }
  bool visible() const override { return visible_; }
  void setVisible(bool on) override { visible_ = on; }
  bool enabled() const override { return enabled_; }
  void setEnabled(bool on) override { enabled_ = on; }
  void setFocus() override {}
  void setInputRule(const InputRule& rule) override { rule_ = rule; }

  ControlKind kind() const { return kind_; }
  const InputRule& rule() const { return rule_; }

 private:
  int id_;
  ControlKind kind_;
  std::string text_;
  bool checked_ = false;
  std::vector<std::string> items_;
  int selection_ = -1;
  bool visible_ = true;
  bool enabled_ = true;
  InputRule rule_;
};

FakeDialog::FakeDialog(const DialogTemplate& tmpl, Script script)
    : name_(tmpl.name), title_(tmpl.title), script_(std::move(script)) {
  for (const ControlTemplate& c : tmpl.controls) {
    if (c.id != kNoId && !controls_.count(c.id)) {
      controls_[c.id] = std::make_unique<FakeControl>(c);
    }
  }
}

FakeDialog::~FakeDialog() = default;

Control* FakeDialog::control(int id) {
  const auto it = controls_.find(id);
  return it == controls_.end() ? nullptr : it->second.get();
}

int FakeDialog::runModal() {
  shown_ = true;
  if (script_) {
    script_(*this);
  } else {
    ADD_FAILURE() << "no script for dialog " << name_;
  }
  if (!result_) {
    ADD_FAILURE() << "dialog " << name_ << " still open when its script ended";
    result_ = 0;
  }
  return *result_;
}

void FakeDialog::end(int result) {
  if (!result_) result_ = result;
}

void FakeDialog::click(int id) {
  if (!isOpen()) {
    ADD_FAILURE() << "click on closed dialog " << name_;
    return;
  }
  auto& c = static_cast<FakeControl&>(OCTRL(*this, id));
  if (!c.visible() || !c.enabled()) {
    ADD_FAILURE() << "click on hidden or disabled control " << id;
    return;
  }
  if (c.kind() == ControlKind::CheckBox) c.setChecked(!c.checked());
  if (c.kind() == ControlKind::RadioButton) c.setChecked(true);
  if (onClicked) onClicked(id);
}

void FakeDialog::type(int id, const std::string& text) {
  auto& c = static_cast<FakeControl&>(OCTRL(*this, id));
  c.setText(c.rule().apply(text));
  if (onChanged) onChanged(id);
}

void FakeDialog::select(int id, int index) {
  OCTRL(*this, id).setSelection(index);
  if (onChanged) onChanged(id);
}

}  // namespace zandor::test

#include "support/scripted_ui.h"

#include <gtest/gtest.h>

#include "base/encoding.h"

namespace zandor::test {

std::vector<std::string> ScriptedUi::informationTexts() const {
  std::vector<std::string> texts;
  for (const Entry& e : log) {
    if (e.kind == "information" || e.kind == "summary") texts.push_back(cp1252ToUtf8(e.text));
  }
  return texts;
}

std::vector<std::string> ScriptedUi::kinds() const {
  std::vector<std::string> result;
  for (const Entry& e : log) result.push_back(e.kind);
  return result;
}

void ScriptedUi::information(const std::string& text) {
  log.push_back({"information", "Information", text});
}

void ScriptedUi::summary(const std::string& text) {
  log.push_back({"summary", "Information", text});
}

bool ScriptedUi::question(const std::string& title, const std::string& text) {
  log.push_back({"question", title, text});
  if (answers.empty()) {
    ADD_FAILURE() << "unexpected question: " << cp1252ToUtf8(text);
    return false;
  }
  const bool answer = answers.front();
  answers.pop_front();
  return answer;
}

std::string ScriptedUi::nextChosenFile(const char* kind, const std::string& title,
                                       const std::string& mask, const std::string& startDirectory) {
  log.push_back({kind, title, mask});
  startDirectories.push_back(startDirectory);
  if (chosenFiles.empty()) {
    ADD_FAILURE() << "unexpected file dialog: " << cp1252ToUtf8(title);
    return {};
  }
  std::string file = chosenFiles.front();
  chosenFiles.pop_front();
  return file;
}

std::string ScriptedUi::chooseFile(const std::string& title, const std::string& mask,
                                   const std::string& startDirectory) {
  return nextChosenFile("chooseFile", title, mask, startDirectory);
}

std::string ScriptedUi::chooseNewFile(const std::string& title, const std::string& mask,
                                      const std::string& startDirectory) {
  return nextChosenFile("chooseNewFile", title, mask, startDirectory);
}

std::string ScriptedUi::chooseFolder(const std::string& title, const std::string& startDirectory) {
  log.push_back({"chooseFolder", title, ""});
  startDirectories.push_back(startDirectory);
  if (chosenFolders.empty()) {
    ADD_FAILURE() << "unexpected folder dialog: " << cp1252ToUtf8(title);
    return {};
  }
  std::string folder = chosenFolders.front();
  chosenFolders.pop_front();
  return folder;
}

void ScriptedUi::waitShow(const std::string& text) {
  log.push_back({"waitShow", "", text});
}
void ScriptedUi::waitSay(const std::string& text) {
  log.push_back({"waitSay", "", text});
}
void ScriptedUi::waitProgress(int permille) {
  log.push_back({"waitProgress", "", std::to_string(permille)});
}
void ScriptedUi::waitEnd() {
  log.push_back({"waitEnd", "", ""});
}
void ScriptedUi::showTextFile(const std::string& path) {
  log.push_back({"showTextFile", "", path});
}
void ScriptedUi::openDocument(const std::string& path) {
  log.push_back({"openDocument", "", path});
}

std::unique_ptr<Dialog> ScriptedUi::makeDialog(const std::string& templateName) {
  log.push_back({"dialog", "", templateName});
  const DialogTemplate* tmpl = findDialogTemplate(templateName);
  if (tmpl == nullptr) {
    ADD_FAILURE() << "no template " << templateName;
    return nullptr;
  }
  FakeDialog::Script script;
  if (!dialogScripts.empty()) {
    script = std::move(dialogScripts.front());
    dialogScripts.pop_front();
  }
  return std::make_unique<FakeDialog>(*tmpl, std::move(script));
}

}  // namespace zandor::test

#include "app/console_ui.h"

#include <ostream>

#include "base/encoding.h"

namespace zandor {

ConsoleUi::ConsoleUi(std::ostream& messages, bool answer, bool showProgress)
    : ConsoleUi(messages, messages, answer, showProgress) {}

ConsoleUi::ConsoleUi(std::ostream& messages, std::ostream& summaries, bool answer,
                     bool showProgress)
    : out_(messages), summaries_(summaries), answer_(answer), showProgress_(showProgress) {}

void ConsoleUi::information(const std::string& text) {
  if (progressShown_) out_ << '\n';
  progressShown_ = false;
  out_ << cp1252ToUtf8(text) << std::endl;
}

void ConsoleUi::detail(const std::string& text) {
  out_ << "  " << cp1252ToUtf8(text) << std::endl;
}

void ConsoleUi::summary(const std::string& text) {
  if (progressShown_) out_ << '\n' << std::flush;
  progressShown_ = false;
  // Line breaks inside a message are CR LF; a terminal wants plain line feeds.
  std::string plain;
  for (char c : cp1252ToUtf8(text)) {
    if (c != '\r') plain += c;
  }
  summaries_ << plain << std::endl;
}

bool ConsoleUi::question(const std::string& title, const std::string& text) {
  out_ << cp1252ToUtf8(title) << ": " << cp1252ToUtf8(text) << " -> " << (answer_ ? "Ja" : "Nein")
       << std::endl;
  return answer_;
}

std::string ConsoleUi::chooseFile(const std::string&, const std::string&, const std::string&) {
  return {};
}

std::string ConsoleUi::chooseFolder(const std::string&, const std::string&) {
  return {};
}

void ConsoleUi::waitShow(const std::string& text) {
  waitSay(text);
}

void ConsoleUi::waitSay(const std::string& text) {
  if (!showProgress_) return;
  out_ << '\r' << cp1252ToUtf8(text) << "\x1b[K" << std::flush;
  progressShown_ = true;
}

void ConsoleUi::waitEnd() {
  if (progressShown_) out_ << '\n' << std::flush;
  progressShown_ = false;
}

void ConsoleUi::showTextFile(const std::string&) {}
void ConsoleUi::openDocument(const std::string&) {}

}  // namespace zandor

#include <gtest/gtest.h>

#include <sstream>

#include "app/console_ui.h"

namespace zandor {
namespace {

TEST(ConsoleUiTest, MessagesAreWrittenAsUtf8AndQuestionsGetTheFixedAnswer) {
  std::ostringstream out;
  ConsoleUi yes(out, true, false);
  yes.information("Datenl\xe4ngenfehler");
  EXPECT_TRUE(yes.question("Frage", "Weiter?"));
  ConsoleUi no(out, false, false);
  EXPECT_FALSE(no.question("Frage", "Weiter?"));
  EXPECT_EQ(out.str(), "Datenlängenfehler\nFrage: Weiter? -> Ja\nFrage: Weiter? -> Nein\n");
  EXPECT_EQ(no.chooseFile("t", "*.dbf", ""), "");
}

TEST(ConsoleUiTest, ProgressIsShownOnlyWhenAskedAndEndsItsLineBeforeAMessage) {
  std::ostringstream quiet;
  ConsoleUi silent(quiet, false, false);
  silent.waitSay("Zeile: 2");
  silent.waitEnd();
  EXPECT_EQ(quiet.str(), "");

  std::ostringstream out;
  ConsoleUi shown(out, false, true);
  shown.waitSay("Zeile: 2");
  shown.information("Fertig");
  EXPECT_EQ(out.str(), "\rZeile: 2\x1b[K\nFertig\n");
}

TEST(ConsoleUiTest, SummariesGoToTheirOwnStreamWithPlainLineFeeds) {
  std::ostringstream messages, summaries;
  ConsoleUi ui(messages, summaries, false, false);
  ui.summary("Fertig!\r\nDavon sind 2 neue Datens\xe4tze");
  EXPECT_EQ(summaries.str(), "Fertig!\nDavon sind 2 neue Datensätze\n");
  EXPECT_EQ(messages.str(), "");
}

}  // namespace
}  // namespace zandor

#include <gtest/gtest.h>

#include "state/app_state.h"
#include "state/wait_message.h"
#include "support/scripted_ui.h"

namespace zandor {
namespace {

class WaitMessageTest : public ::testing::Test {
 protected:
  test::ScriptedUi ui;
  AppState state;
  void SetUp() override { state.ui = &ui; }
};

TEST_F(WaitMessageTest, EndWithoutOpenMessageDoesNothing) {
  EXPECT_TRUE(ENDMSGWAIT(state));
  EXPECT_TRUE(ui.log.empty());
  EXPECT_EQ(state.cWaitText, " ");
}

TEST_F(WaitMessageTest, SayOpensTheMessageWhenNoneIsOpen) {
  EXPECT_TRUE(SAYMSGWAIT(state, "Zeile: 2"));
  EXPECT_TRUE(state.lWaitShown);
  EXPECT_EQ(state.cWaitText, "Zeile: 2");
  EXPECT_EQ(ui.kinds(), (std::vector<std::string>{"waitShow", "waitSay"}));
  EXPECT_EQ(ui.log.back().text, "Zeile: 2");
}

TEST_F(WaitMessageTest, EndResetsTheStateAndANewSayOpensAFreshMessage) {
  STARTMSGWAIT(state);
  SAYMSGWAIT(state, "Zeile: 2");
  SAYMSGWAIT(state, "Zeile: 3");
  ENDMSGWAIT(state);
  EXPECT_FALSE(state.lWaitShown);
  EXPECT_EQ(state.cWaitText, " ");
  SAYMSGWAIT(state, "Zeile: 9");
  EXPECT_EQ(ui.kinds(), (std::vector<std::string>{"waitShow", "waitSay", "waitSay", "waitEnd",
                                                  "waitShow", "waitSay"}));
  EXPECT_EQ(ui.log.back().text, "Zeile: 9");
}

TEST_F(WaitMessageTest, ScopeClosesTheMessageOnEveryWayOut) {
  try {
    WaitMessageScope scope(state);
    SAYMSGWAIT(state, "Zeile: 2");
    throw std::runtime_error("early end");
  } catch (const std::runtime_error&) {
  }
  EXPECT_FALSE(state.lWaitShown);
  EXPECT_EQ(ui.kinds().back(), "waitEnd");
}

TEST(RowProgressTest, CountsThousandthsOfTheKnownRowsAndStaysInRange) {
  EXPECT_EQ(rowProgress(2, 2, 11), 100);
  EXPECT_EQ(rowProgress(11, 2, 11), 1000);
  EXPECT_EQ(rowProgress(7, 2, 11), 600);
  EXPECT_EQ(rowProgress(1, 1, 1), 1000);
  // The used range is an upper bound, but a sheet may say less than it holds.
  EXPECT_EQ(rowProgress(40, 2, 11), 1000);
  EXPECT_EQ(rowProgress(2, 2, 1), 1000);  // no rows known
  EXPECT_EQ(rowProgress(2, 2, 2'000'000'000L), 0);
}

TEST_F(WaitMessageTest, StartingAnOpenMessageLeavesItAsItIs) {
  SAYMSGWAIT(state,
             "Excel-Datei wird ge\xf6"
             "ffnet ...");
  STARTMSGWAIT(state);
  sayWaitRow(state, 2, 2, 3);
  EXPECT_EQ(ui.kinds(),
            (std::vector<std::string>{"waitShow", "waitSay", "waitProgress", "waitSay"}));
  EXPECT_EQ(ui.log[2].text, "500");
  EXPECT_EQ(ui.log[3].text, "Zeile: 2");
}

}  // namespace
}  // namespace zandor

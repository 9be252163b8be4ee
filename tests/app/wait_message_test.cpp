#include <gtest/gtest.h>

#include "app/app_state.h"
#include "app/wait_message.h"
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

}  // namespace
}  // namespace zandor

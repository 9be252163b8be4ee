#include <gtest/gtest.h>

#include <thread>

#include "base/error.h"

namespace zandor {
namespace {

// Installs a handler for one test and restores the previous one.
class HandlerScope {
 public:
  explicit HandlerScope(ErrorHandler handler) : previous_(setErrorHandler(std::move(handler))) {}
  ~HandlerScope() { setErrorHandler(previous_); }

 private:
  ErrorHandler previous_;
};

Error openError() {
  Error e;
  e.genCode = gen::kOpen;
  e.subCode = 1001;
  e.subsystem = "DBFNTX";
  e.description = "Open error";
  e.fileName = "ADRESSEN.dbf";
  e.canRetry = true;
  e.canDefault = true;
  return e;
}

TEST(ErrorText, FollowsTheDescriptionLayout) {
  Error e;
  e.genCode = gen::kNoOrder;
  e.subCode = 1201;
  e.subsystem = "DBFCDX";
  e.description = "Workarea not indexed";
  EXPECT_EQ(e.text(), "Error DBFCDX/1201  Workarea not indexed");
  e.severity = 1;
  EXPECT_EQ(e.text(), "Warning DBFCDX/1201  Workarea not indexed");
  EXPECT_EQ(openError().text(), "Error DBFNTX/1001  Open error: ADRESSEN.dbf");
  Error os = openError();
  os.osCode = 2;
  os.fileName.clear();
  os.operation = "DBUSEAREA";
  EXPECT_EQ(os.text(), "(DOS Error 2) DBFNTX/1001  Open error: DBUSEAREA");
  EXPECT_EQ(Error{}.text(),
            "Error ???"
            "/???");
}

TEST(ErrorMechanism, GuardTurnsErrorsIntoExceptions) {
  int handled = 0;
  HandlerScope scope([&](const Error&) {
    ++handled;
    return ErrorAnswer::Default;
  });
  try {
    ErrorGuard guard;
    raiseError(openError());
    FAIL() << "raiseError returned inside a guard";
  } catch (const ErrorException& e) {
    EXPECT_EQ(e.error().genCode, gen::kOpen);
    EXPECT_EQ(e.error().subCode, 1001);
  }
  EXPECT_EQ(handled, 0);
  EXPECT_FALSE(isGuarded());
}

TEST(ErrorMechanism, UnguardedErrorsReachTheHandler) {
  std::vector<int> seen;
  HandlerScope scope([&](const Error& e) {
    seen.push_back(e.genCode);
    return ErrorAnswer::Default;
  });
  EXPECT_EQ(raiseError(openError()), ErrorAnswer::Default);
  ErrorGuard guard;
  {
    Unguarded unguarded;  // a step whose errors must reach the handler after all
    EXPECT_EQ(raiseError(openError()), ErrorAnswer::Default);
  }
  EXPECT_TRUE(isGuarded());
  EXPECT_EQ(seen, (std::vector<int>{gen::kOpen, gen::kOpen}));
}

// An operation in the style of the table layer: on failure it asks, retries when told.
bool openWithRetry(int& attempts, int failures) {
  for (;;) {
    if (++attempts > failures) return true;
    if (raiseError(openError()) == ErrorAnswer::Retry) continue;
    return false;
  }
}

// The handler may open a dialog, which belongs to the thread that installed it: an
// unguarded error on another thread comes back as an exception to be handed over.
TEST(ErrorMechanism, UnguardedErrorOnAnotherThreadNeverReachesTheHandlerThere) {
  int calls = 0;
  std::thread::id calledOn;
  HandlerScope scope([&](const Error&) {
    ++calls;
    calledOn = std::this_thread::get_id();
    return ErrorAnswer::Default;
  });
  std::exception_ptr carried;
  std::thread helper([&] {
    try {
      raiseError(openError());
    } catch (...) {
      carried = std::current_exception();
    }
  });
  helper.join();
  EXPECT_EQ(calls, 0);
  ASSERT_TRUE(carried);
  try {
    std::rethrow_exception(carried);
  } catch (const ErrorException& e) {
    // Back on the handler's thread, the carried error is raised again and answered there.
    EXPECT_EQ(raiseError(e.error()), ErrorAnswer::Default);
  }
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(calledOn, std::this_thread::get_id());

  // A handler installed on another thread makes that thread the handler's.
  std::thread installer([&] {
    HandlerScope inner([&](const Error&) {
      ++calls;
      return ErrorAnswer::Default;
    });
    EXPECT_EQ(raiseError(openError()), ErrorAnswer::Default);
  });
  installer.join();
  EXPECT_EQ(calls, 2);
}

TEST(ErrorMechanism, RetryRunsTheOperationAgainAndDefaultGivesTheDefault) {
  int answersLeft = 2;
  HandlerScope scope(
      [&](const Error&) { return answersLeft-- > 0 ? ErrorAnswer::Retry : ErrorAnswer::Default; });
  int attempts = 0;
  EXPECT_TRUE(openWithRetry(attempts, 2));
  EXPECT_EQ(attempts, 3);
  attempts = 0;
  EXPECT_FALSE(openWithRetry(attempts, 5));
  EXPECT_EQ(attempts, 1);
}

TEST(ErrorMechanism, QuitUnwindsPastGuardsAndErrorsInsideTheHandlerQuit) {
  HandlerScope scope([](const Error&) -> ErrorAnswer { throw ProgramQuit(1); });
  EXPECT_THROW(raiseError(openError()), ProgramQuit);

  HandlerScope nested([](const Error& e) -> ErrorAnswer {
    Error inner = e;
    inner.genCode = gen::kRead;
    raiseError(inner);  // an error raised while the handler runs
    return ErrorAnswer::Default;
  });
  try {
    raiseError(openError());
    FAIL();
  } catch (const ProgramQuit& quit) {
    EXPECT_EQ(quit.exitCode(), 1);
  }
  // The handler is usable again afterwards.
  HandlerScope plain([](const Error&) { return ErrorAnswer::Default; });
  EXPECT_EQ(raiseError(openError()), ErrorAnswer::Default);
}

TEST(ErrorMechanism, SomeErrorsAreSettledSilently) {
  Error zero;
  zero.genCode = gen::kZeroDivision;
  EXPECT_EQ(settleSilently(zero), ErrorAnswer::Default);

  Error sharing = openError();
  sharing.osCode = 32;
  EXPECT_EQ(settleSilently(sharing), ErrorAnswer::Default);
  sharing.canDefault = false;
  EXPECT_EQ(settleSilently(sharing), std::nullopt);

  Error append;
  append.genCode = gen::kAppendLock;
  append.canDefault = true;
  EXPECT_EQ(settleSilently(append), ErrorAnswer::Default);
  EXPECT_EQ(settleSilently(openError()), std::nullopt);  // no OS code: needs the user
}

TEST(ErrorMechanism, ConsoleHandlerQuits) {
  testing::internal::CaptureStderr();
  EXPECT_THROW(consoleErrorHandler(openError()), ProgramQuit);
  EXPECT_NE(testing::internal::GetCapturedStderr().find("Open error: ADRESSEN.dbf"),
            std::string::npos);
}

}  // namespace
}  // namespace zandor

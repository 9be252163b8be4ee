// The owner of the spreadsheet readers' helper threads: left by any path, an exception's
// included, it gives its thread the word to stop and joins it (a std::thread left joinable
// ends the program).

#include "sheet/joining_thread.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <stdexcept>

namespace zandor::sheet {
namespace {

// A thread that sleeps until told to stop, as the inflater and the second half's reader do.
struct Sleeper {
  std::mutex mutex;
  std::condition_variable changed;
  bool stop = false, woke = false;

  void sleep() {
    std::unique_lock lock(mutex);
    changed.wait(lock, [&] { return stop; });
    woke = true;
  }
  void tell() {
    std::lock_guard lock(mutex);
    stop = true;
    changed.notify_all();
  }
};

TEST(JoiningThread, AnExceptionLeavesWithTheThreadToldToStopAndJoined) {
  Sleeper s;
  try {
    JoiningThread t([&] { s.sleep(); }, [&] { s.tell(); });
    EXPECT_TRUE(t.running());
    throw std::runtime_error("Lesefehler");
  } catch (const std::runtime_error&) {
  }
  // Joined: what the thread wrote is seen here without a lock.
  EXPECT_TRUE(s.woke);
}

}  // namespace
}  // namespace zandor::sheet

// A lane hands one job at a time to a helper; the owner sees every effect of a job once it
// has settled it, whether the helper ran it or the owner took it back.
#include "base/work_lane.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#if defined(__linux__)
#include <pthread.h>
#include <time.h>
#endif

namespace zandor {
namespace {

struct Counting {
  std::vector<long> seen;  // written by whoever runs the job, read by the owner
  long next = 0;
  std::atomic<long> byHelper{0};
  std::atomic<std::thread::id> helper{};
  static void job(void* self) {
    auto& c = *static_cast<Counting*>(self);
    c.seen.push_back(c.next);
    if (std::this_thread::get_id() == c.helper.load()) ++c.byHelper;
  }
};

TEST(WorkLane, EveryJobRunsOnceAndIsSeenWhenSettled) {
  WorkLane lane;
  Counting counting;
  std::thread helper([&] {
    counting.helper = std::this_thread::get_id();
    lane.serveUntilClosed();
  });
  constexpr long kJobs = 200000;
  for (long i = 0; i < kJobs; ++i) {
    counting.next = i;
    lane.post(&Counting::job, &counting);
    if (i % 3 == 0) std::this_thread::yield();  // now and then the helper gets there first
    lane.settle();
    ASSERT_FALSE(lane.busy());
    ASSERT_EQ(counting.seen.size(), static_cast<std::size_t>(i + 1));
    ASSERT_EQ(counting.seen.back(), i);
  }
  lane.close();
  helper.join();
  EXPECT_GT(counting.byHelper.load(), 0);  // both ways were taken
  EXPECT_LT(counting.byHelper.load(), kJobs);
}

TEST(WorkLane, WithoutAHelperTheOwnerRunsTheJob) {
  WorkLane lane;
  Counting counting;
  lane.settle();  // nothing handed over: returns at once
  counting.next = 7;
  lane.post(&Counting::job, &counting);
  EXPECT_TRUE(lane.busy());
  lane.settle();
  EXPECT_FALSE(lane.busy());
  ASSERT_EQ(counting.seen.size(), 1u);
  EXPECT_EQ(counting.seen[0], 7);
  EXPECT_FALSE(lane.serve());  // nothing left to serve
}

#if defined(__linux__)
// Processor time a thread has used so far, in nanoseconds.
long long cpuNanos(std::thread& thread) {
  clockid_t clock{};
  if (pthread_getcpuclockid(thread.native_handle(), &clock) != 0) return -1;
  timespec t{};
  if (clock_gettime(clock, &t) != 0) return -1;
  return static_cast<long long>(t.tv_sec) * 1000000000LL + t.tv_nsec;
}

// A helper without a job sleeps: its processor time stands still, however long it waits,
// and a job handed over wakes it. (A thread asleep in the kernel uses no time at all, so
// standing still is exact; one that spins or looks now and then never stands still.)
TEST(WorkLane, AnIdleHelperUsesNoProcessorTimeAndAJobWakesIt) {
  WorkLane lane;
  Counting counting;
  std::thread helper([&] {
    counting.helper = std::this_thread::get_id();
    lane.serveUntilClosed();
  });
  while (lane.sleeps() == 0) std::this_thread::yield();
  // It may still be on its way into the kernel: wait for a first quiet spell.
  bool quiet = false;
  for (int tries = 0; tries < 200 && !quiet; ++tries) {
    const long long before = cpuNanos(helper);
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    quiet = before >= 0 && cpuNanos(helper) == before;
  }
  ASSERT_TRUE(quiet) << "the idle helper kept using processor time";
  const long long asleep = cpuNanos(helper);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(cpuNanos(helper), asleep);

  // Woken by a job: the helper runs it without the owner settling (the owner only waits
  // for the count to move).
  const unsigned long sleepsBefore = lane.sleeps();
  lane.post(&Counting::job, &counting);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (counting.byHelper.load() == 0 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::yield();
  }
  lane.settle();
  EXPECT_EQ(counting.byHelper.load(), 1);
  EXPECT_GT(cpuNanos(helper), asleep);
  while (lane.sleeps() == sleepsBefore) std::this_thread::yield();  // and sleeps again
  lane.close();
  helper.join();
}
#endif

// Hand-overs where the owner often arrives while the helper is still at the job, so it sleeps
// in settle() and must be woken when the job ends. A lost wake-up hung imports now and then;
// here it shows as a stall, reported instead of waiting for the test's time-out.
TEST(WorkLane, AnOwnerWaitingForAJobIsAlwaysWoken) {
  WorkLane lane;
  std::thread helper([&] { lane.serveUntilClosed(); });
  static std::atomic<int> length{0};
  static std::atomic<long> sink{0};
  const auto job = [](void*) {
    for (int i = 0, n = length.load(std::memory_order_relaxed); i < n; ++i) {
      sink.fetch_add(1, std::memory_order_relaxed);
    }
  };
  std::atomic<long> settled{0};
  std::atomic<bool> done{false};
  std::thread watchdog([&] {
    long last = -1;
    for (int tick = 1; !done.load(); ++tick) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      if (tick % 50 != 0) continue;  // five seconds without a hand-over
      const long now = settled.load();
      if (!done.load() && now == last) {
        std::fprintf(stderr, "the owner never woke after %ld hand-overs\n", now);
        std::abort();
      }
      last = now;
    }
  });
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  for (long i = 0; std::chrono::steady_clock::now() < end; ++i) {
    length.store(static_cast<int>((i * 7919) % 600), std::memory_order_relaxed);
    lane.post(job, nullptr);
    lane.settle();
    settled.store(i + 1);
  }
  done = true;
  lane.close();
  helper.join();
  watchdog.join();
  EXPECT_GT(settled.load(), 1000);
}

// Once closed, a helper goes, and a job handed over later is run by the owner as it settles.
TEST(WorkLane, AClosedLaneSendsItsHelperAwayAndTheOwnerRunsLaterJobs) {
  WorkLane lane;
  Counting counting;
  std::thread helper([&] {
    counting.helper = std::this_thread::get_id();
    lane.serveUntilClosed();
  });
  lane.close();
  helper.join();  // returns: the helper went
  counting.next = 3;
  lane.post(&Counting::job, &counting);
  EXPECT_TRUE(lane.busy());
  lane.settle();
  EXPECT_FALSE(lane.busy());
  ASSERT_EQ(counting.seen.size(), 1u);
  EXPECT_EQ(counting.byHelper.load(), 0);
}

}  // namespace
}  // namespace zandor

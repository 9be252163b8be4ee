// A lane hands one job at a time to a helper; the owner sees every effect of a job once it
// has settled it, whether the helper ran it or the owner took it back.
#include "base/work_lane.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace zandor {
namespace {

struct Counting {
  std::vector<long> seen;  // written by whoever runs the job, read by the owner
  long next = 0;
  std::atomic<long> byHelper{0};
  static void job(void* self) {
    auto& c = *static_cast<Counting*>(self);
    c.seen.push_back(c.next);
  }
};

TEST(WorkLane, EveryJobRunsOnceAndIsSeenWhenSettled) {
  WorkLane lane;
  Counting counting;
  std::atomic<bool> stop{false};
  std::thread helper([&] {
    while (!stop.load()) {
      if (lane.serve())
        ++counting.byHelper;
      else
        lane.serveOrWait();
    }
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
  stop = true;
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

}  // namespace
}  // namespace zandor

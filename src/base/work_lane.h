#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>

namespace zandor {

// One job at a time, handed from the thread that owns some data to a helper thread. The
// owner takes a job back and runs it itself when no helper has begun it, so a job never
// waits for a helper that is busy, asleep or gone; a helper that began one finishes it
// before it goes. Jobs catch what they throw. Whoever waits here sleeps until woken: an idle
// helper and an owner waiting for a job to end use no processor time.
class WorkLane {
 public:
  using Job = void (*)(void* data);

  // Owner: hands a job over (the one before must be settled) and wakes a sleeping helper.
  void post(Job job, void* data);
  // Owner: returns once the job handed over is done, running it here if no helper began it.
  void settle();
  // Owner: whether a job was handed over and not settled yet.
  bool busy() const { return state_.load(std::memory_order_acquire) != kIdle; }
  // Owner: settles, then sends every helper in serveUntilClosed() away. Jobs handed over
  // after this are run by settle(), as without a helper.
  void close();

  // Helper: runs the job handed over if there is one no one has begun; true when it ran one.
  bool serve();
  // Helper: serves every job handed over until the lane is closed, asleep in between.
  void serveUntilClosed();
  // How often a helper found no job and waited for one (woken by post or close).
  unsigned long sleeps() const { return sleeps_.load(std::memory_order_relaxed); }

 private:
  static constexpr int kIdle = 0, kPosted = 1, kRunning = 2;
  bool claim();
  void run();
  void sleepWhile(const std::atomic<int>& value, int old);
  void sleepWhile(const std::atomic<unsigned>& value, unsigned old);
  template <typename T>
  void sleepUntilChanged(const std::atomic<T>& value, T old);
  void wakeSleepers();

  std::atomic<int> state_{kIdle};
  // Moves on with every post and with close: what a sleeping helper waits on.
  std::atomic<unsigned> signal_{0};
  std::atomic<bool> closed_{false};
  std::atomic<unsigned long> sleeps_{0};
  Job job_ = nullptr;
  void* data_ = nullptr;
  std::mutex sleepLock_;
  std::condition_variable wake_;
  // Those asleep on wake_.
  std::atomic<int> sleepers_{0};
};

}  // namespace zandor

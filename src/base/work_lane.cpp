#include "base/work_lane.h"

#include <thread>

namespace zandor {

void WorkLane::post(Job job, void* data) {
  job_ = job;
  data_ = data;
  state_.store(kPosted, std::memory_order_release);
  signal_.fetch_add(1, std::memory_order_release);
  wakeSleepers();
}

namespace {

// A job often ends within microseconds: looking a few times before sleeping, as the standard
// library's own atomic wait does, saves the sleeper and its waker a system call each.
template <typename T>
bool changesSoon(const std::atomic<T>& value, T old) {
  for (int look = 0; look < 16; ++look) {
    if (value.load(std::memory_order_acquire) != old) return true;
    if (look < 12) {
#if defined(__x86_64__) || defined(__i386__)
      __builtin_ia32_pause();
#endif
    } else {
      std::this_thread::yield();
    }
  }
  return false;
}

}  // namespace

// Sleepers wait on a condition variable rather than on the atomics themselves: GCC 12's
// atomic wait can lose a wake-up (a notify that reads the waiter count before its own store
// is visible skips the wake), which hung an import now and then, and MinGW's misses them
// outright.
template <typename T>
void WorkLane::sleepUntilChanged(const std::atomic<T>& value, T old) {
  if (changesSoon(value, old)) return;
  std::unique_lock lock(sleepLock_);
  sleepers_.fetch_add(1, std::memory_order_relaxed);
  // Pairs with the fence in wakeSleepers: the waker sees this sleeper, or the check below
  // sees the change.
  std::atomic_thread_fence(std::memory_order_seq_cst);
  wake_.wait(lock, [&] { return value.load(std::memory_order_acquire) != old; });
  sleepers_.fetch_sub(1, std::memory_order_relaxed);
}
void WorkLane::sleepWhile(const std::atomic<int>& value, int old) {
  sleepUntilChanged(value, old);
}
void WorkLane::sleepWhile(const std::atomic<unsigned>& value, unsigned old) {
  sleepUntilChanged(value, old);
}
void WorkLane::wakeSleepers() {
  // A wake with none asleep makes no call (under Wine each would be a round trip to its
  // server).
  std::atomic_thread_fence(std::memory_order_seq_cst);
  if (sleepers_.load(std::memory_order_relaxed) == 0) return;
  // Taking the lock orders the change before a sleeper's check or after its wait began.
  { std::lock_guard lock(sleepLock_); }
  wake_.notify_all();
}

bool WorkLane::claim() {
  int expected = kPosted;
  return state_.load(std::memory_order_relaxed) == kPosted &&
         state_.compare_exchange_strong(expected, kRunning, std::memory_order_acquire);
}

void WorkLane::run() {
  job_(data_);
  state_.store(kIdle, std::memory_order_release);
  wakeSleepers();  // the owner, if it waits in settle()
}

bool WorkLane::serve() {
  if (!claim()) return false;
  run();
  return true;
}

void WorkLane::serveUntilClosed() {
  for (;;) {
    // Read before looking for a job: a post after the look moves it on, and the wait below
    // then returns at once.
    const unsigned seen = signal_.load(std::memory_order_acquire);
    if (closed_.load(std::memory_order_acquire)) return;
    if (serve()) continue;
    sleeps_.fetch_add(1, std::memory_order_relaxed);
    sleepWhile(signal_, seen);
  }
}

void WorkLane::settle() {
  if (claim()) {
    run();
    return;
  }
  // A helper is at it (or nothing was handed over): sleep until it has done.
  for (int state = state_.load(std::memory_order_acquire); state == kRunning;
       state = state_.load(std::memory_order_acquire)) {
    sleepWhile(state_, kRunning);
  }
}

void WorkLane::close() {
  settle();
  closed_.store(true, std::memory_order_release);
  signal_.fetch_add(1, std::memory_order_release);
  wakeSleepers();
}

}  // namespace zandor

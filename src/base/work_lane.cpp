#include "base/work_lane.h"

#ifdef _WIN32
#include <thread>
#endif

namespace zandor {

void WorkLane::post(Job job, void* data) {
  job_ = job;
  data_ = data;
  state_.store(kPosted, std::memory_order_release);
  signal_.fetch_add(1, std::memory_order_release);
  wakeSleepers(signal_, false);  // no system call unless a helper sleeps
}

#ifdef _WIN32
namespace {

// Sleeping and waking cost several system calls each there (under Wine each a round trip
// to its server), while the next job or the end of one mostly comes within microseconds:
// so a sleeper first looks for the change a while. True when it came.
template <class T>
bool changesSoon(const std::atomic<T>& value, T old) {
  for (int i = 0; i < 64; ++i) {
    if (value.load(std::memory_order_acquire) != old) return true;
    __builtin_ia32_pause();
  }
  for (int i = 0; i < 256; ++i) {
    if (value.load(std::memory_order_acquire) != old) return true;
    std::this_thread::yield();
  }
  return false;
}

}  // namespace

template <class T>
void WorkLane::sleepUntilChanged(const std::atomic<T>& value, T old) {
  if (changesSoon(value, old)) return;
  std::unique_lock lock(sleepLock_);
  sleepers_.fetch_add(1, std::memory_order_relaxed);
  // Pairs with the fence in wakeAll: the waker sees this sleeper, or the check below
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
void WorkLane::wakeAll() {
  std::atomic_thread_fence(std::memory_order_seq_cst);
  if (sleepers_.load(std::memory_order_relaxed) == 0) return;
  // Taking the lock orders the change before a sleeper's check or after its wait began.
  { std::lock_guard lock(sleepLock_); }
  wake_.notify_all();
}
void WorkLane::wakeSleepers(std::atomic<int>&, bool) {
  wakeAll();
}
void WorkLane::wakeSleepers(std::atomic<unsigned>&, bool) {
  wakeAll();
}
#else
void WorkLane::sleepWhile(const std::atomic<int>& value, int old) {
  value.wait(old, std::memory_order_acquire);
}
void WorkLane::sleepWhile(const std::atomic<unsigned>& value, unsigned old) {
  value.wait(old, std::memory_order_acquire);
}
void WorkLane::wakeSleepers(std::atomic<int>& value, bool all) {
  all ? value.notify_all() : value.notify_one();
}
void WorkLane::wakeSleepers(std::atomic<unsigned>& value, bool all) {
  all ? value.notify_all() : value.notify_one();
}
#endif

bool WorkLane::claim() {
  int expected = kPosted;
  return state_.load(std::memory_order_relaxed) == kPosted &&
         state_.compare_exchange_strong(expected, kRunning, std::memory_order_acquire);
}

void WorkLane::run() {
  job_(data_);
  state_.store(kIdle, std::memory_order_release);
  wakeSleepers(state_, false);  // the owner, if it waits in settle()
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
  wakeSleepers(signal_, true);
}

}  // namespace zandor

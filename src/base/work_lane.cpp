#include "base/work_lane.h"

namespace zandor {

void WorkLane::post(Job job, void* data) {
  job_ = job;
  data_ = data;
  state_.store(kPosted, std::memory_order_release);
  signal_.fetch_add(1, std::memory_order_release);
  signal_.notify_one();  // no system call unless a helper sleeps
}

bool WorkLane::claim() {
  int expected = kPosted;
  return state_.load(std::memory_order_relaxed) == kPosted &&
         state_.compare_exchange_strong(expected, kRunning, std::memory_order_acquire);
}

void WorkLane::run() {
  job_(data_);
  state_.store(kIdle, std::memory_order_release);
  state_.notify_one();  // the owner, if it waits in settle()
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
    signal_.wait(seen, std::memory_order_acquire);
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
    state_.wait(kRunning, std::memory_order_acquire);
  }
}

void WorkLane::close() {
  settle();
  closed_.store(true, std::memory_order_release);
  signal_.fetch_add(1, std::memory_order_release);
  signal_.notify_all();
}

}  // namespace zandor

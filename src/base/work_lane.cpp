#include "base/work_lane.h"

#include <thread>

namespace zandor {

namespace {

void pause() {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_ia32_pause();
#elif defined(__aarch64__)
  asm volatile("yield");
#else
  std::this_thread::yield();
#endif
}

}  // namespace

void WorkLane::post(Job job, void* data) {
  job_ = job;
  data_ = data;
  state_.store(kPosted, std::memory_order_release);
}

bool WorkLane::claim() {
  int expected = kPosted;
  return state_.load(std::memory_order_relaxed) == kPosted &&
         state_.compare_exchange_strong(expected, kRunning, std::memory_order_acquire);
}

void WorkLane::run() {
  job_(data_);
  state_.store(kIdle, std::memory_order_release);
}

bool WorkLane::serve() {
  if (!claim()) return false;
  run();
  return true;
}

bool WorkLane::serveOrWait() {
  for (int spins = 0; spins < 64; ++spins) {
    if (serve()) return true;
    pause();
  }
  return false;
}

void WorkLane::settle() {
  if (claim()) {
    run();
    return;
  }
  // A helper is at it: it is quicker to wait than to sleep and be woken.
  for (unsigned spins = 0; state_.load(std::memory_order_acquire) != kIdle; ++spins) {
    if (spins < 4096)
      pause();
    else
      std::this_thread::yield();
  }
}

}  // namespace zandor

#pragma once

#include <atomic>

namespace zandor {

// One job at a time, handed from the thread that owns some data to a helper thread that
// looks for it between its own work. The owner takes a job back and runs it itself when no
// helper has begun it, so a job never waits for a helper that is busy or gone; a helper
// that began one finishes it before it goes. Jobs catch what they throw.
class WorkLane {
 public:
  using Job = void (*)(void* data);

  // Owner: hands a job over (the one before must be settled).
  void post(Job job, void* data);
  // Owner: returns once the job handed over is done, running it here if no helper began it.
  void settle();
  // Owner: whether a job was handed over and not settled yet.
  bool busy() const { return state_.load(std::memory_order_acquire) != kIdle; }

  // Helper: runs the job handed over if there is one no one has begun; true when it ran one.
  bool serve();
  // Helper: serve(), or a short wait for a job when there is none; true when it ran one.
  bool serveOrWait();

 private:
  static constexpr int kIdle = 0, kPosted = 1, kRunning = 2;
  bool claim();
  void run();

  std::atomic<int> state_{kIdle};
  Job job_ = nullptr;
  void* data_ = nullptr;
};

}  // namespace zandor

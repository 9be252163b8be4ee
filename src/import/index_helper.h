#pragma once

#include <thread>

#include "base/work_lane.h"

namespace zandor {

class WorkAreas;

// Keeps the index files beside the one searched up to date on a thread of its own, while
// the run goes on with the next row (where there is a second processor for it). Without
// that thread, or once it has finished, the work areas maintain every file in place.
class IndexHelper {
 public:
  explicit IndexHelper(WorkAreas& areas);
  // Lets go quietly when finish() was not reached (an early end, an error on its way out):
  // what the lane held is settled under a guard, and a file whose keys failed there is
  // done again, with its errors, when the table is closed.
  ~IndexHelper();
  IndexHelper(const IndexHelper&) = delete;
  IndexHelper& operator=(const IndexHelper&) = delete;

  bool running() const { return thread_.joinable(); }
  // Waits for the work handed over and lets go of the areas; errors of that work reach the
  // handler here.
  void finish();

 private:
  void letGoQuietly() noexcept;
  void stopThread();

  WorkAreas& areas_;
  WorkLane lane_;
  std::thread thread_;
  bool attached_ = false;
};

}  // namespace zandor

#include "import/index_helper.h"

#include <system_error>

#include "base/error.h"
#include "table/work_areas.h"

namespace zandor {

IndexHelper::IndexHelper(WorkAreas& areas) : areas_(areas) {
  if (std::thread::hardware_concurrency() < 2) return;
  try {
    thread_ = std::thread([this] { lane_.serveUntilClosed(); });
  } catch (const std::system_error&) {
    return;  // no thread to be had: every file is maintained in place
  }
  attached_ = true;  // from here the areas may hold the lane, also when the call fails
  try {
    areas_.setWorkLane(&lane_);
  } catch (...) {
    letGoQuietly();
    stopThread();
    throw;
  }
}

IndexHelper::~IndexHelper() {
  letGoQuietly();
  stopThread();
}

void IndexHelper::letGoQuietly() noexcept {
  if (!attached_) return;
  attached_ = false;
  try {
    // On the way out of an error the handler has had its say already.
    ErrorGuard quiet;
    areas_.setWorkLane(nullptr);
  } catch (...) {
    // The areas let go of the lane all the same; what failed is done again at the close.
  }
}

void IndexHelper::finish() {
  if (attached_) {
    attached_ = false;
    areas_.setWorkLane(nullptr);
  }
  stopThread();
}

void IndexHelper::stopThread() {
  if (!thread_.joinable()) return;
  lane_.close();
  thread_.join();
}

}  // namespace zandor

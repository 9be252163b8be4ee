#include "import/fault_watch.h"

#include <utility>

namespace zandor {

FaultWatch::FaultWatch(std::optional<Error>& fault) : fault_(fault) {
  previous_ = setErrorHandler([this](const Error& e) { return answer(e); });
}

FaultWatch::~FaultWatch() {
  setErrorHandler(std::move(previous_));
}

ErrorAnswer FaultWatch::answer(const Error& e) {
  if (!isFileFault(e)) return previous_(e);
  ErrorAnswer given = ErrorAnswer::Default;
  try {
    given = previous_(e);
  } catch (...) {
    fault_ = e;
    throw;
  }
  if (given == ErrorAnswer::Retry) return given;
  fault_ = e;
  throw RunEnded();
}

}  // namespace zandor

#pragma once

#include <optional>

#include "base/error.h"

namespace zandor {

// Thrown past every guard when a file fault ends the run.
struct RunEnded {};

// While it lives, a file fault (a failed write, a damaged file) that reaches the handler
// ends the run: let pass with the default result, the run would go on without the record
// and report success for rows it lost. Retry is the handler's to grant. The fault is kept
// for the log, also when the handler quits the program.
class FaultWatch {
 public:
  explicit FaultWatch(std::optional<Error>& fault);
  ~FaultWatch();
  FaultWatch(const FaultWatch&) = delete;
  FaultWatch& operator=(const FaultWatch&) = delete;

 private:
  ErrorAnswer answer(const Error& e);

  std::optional<Error>& fault_;
  ErrorHandler previous_;
};

}  // namespace zandor

#pragma once

#include <stdexcept>
#include <string>
#include <system_error>

#include "base/error.h"

namespace zandor {

// Thrown inside the index engines when a file's bytes make no sense. The public entry
// points turn it into the damage error (general code 32, sub-code 1012).
class IndexDamage : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

constexpr int kIndexDamagedSubCode = 1012;
constexpr int kIndexOpenSubCode = 1003;

// The error raised for a damaged index file of the given driver ("DBFCDX", "DBFNTX").
Error indexDamageError(const std::string& driver, const std::string& fileName,
                       const std::string& detail);
// err: the errno value of the failure.
Error indexOpenError(const std::string& driver, const std::string& fileName, int err);
Error indexWriteError(const std::string& driver, const std::string& fileName, int err);

// A record whose key a candidate (primary-key) order already holds for another record.
constexpr int kDuplicateKeyGenCode = 42;
constexpr int kDuplicateKeySubCode = 1030;
Error duplicateKeyError(const std::string& driver, const std::string& fileName,
                        const std::string& order, const std::string& key);
bool isDuplicateKeyError(const Error& error);

// Runs an index operation. Damage and OS failures first undo what is not committed, then
// raise their error; Retry runs the operation again, Default gives R{} (false, nothing).
template <class R, class F, class Undo>
R runIndexOperation(const std::string& driver, const std::string& fileName, F&& operation,
                    Undo&& undo) {
  for (;;) {
    try {
      return operation();
    } catch (const IndexDamage& e) {
      undo();
      if (raiseError(indexDamageError(driver, fileName, e.what())) == ErrorAnswer::Retry) {
        continue;
      }
      return R{};
    } catch (const std::system_error& e) {
      undo();
      if (raiseError(indexWriteError(driver, fileName, e.code().value())) == ErrorAnswer::Retry) {
        continue;
      }
      return R{};
    }
  }
}

}  // namespace zandor

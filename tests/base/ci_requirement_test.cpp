// What a test needs and cannot find makes it fail in CI (elsewhere it is skipped).

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "support/test_support.h"

namespace zandor {
namespace {

// Sets CI for the scope (nothing: unset), and puts back what was there.
class CiVariable {
 public:
  explicit CiVariable(const char* value) {
    if (const char* old = std::getenv("CI")) saved_ = old;
    set(value);
  }
  ~CiVariable() { set(saved_ ? saved_->c_str() : nullptr); }
  CiVariable(const CiVariable&) = delete;
  CiVariable& operator=(const CiVariable&) = delete;

 private:
  static void set(const char* value) {
#ifdef _WIN32
    _putenv_s("CI", value ? value : "");
#else
    if (value)
      setenv("CI", value, 1);
    else
      unsetenv("CI");
#endif
  }
  std::optional<std::string> saved_;
};

void requireMissingTool() {
  ZANDOR_REQUIRE(false, "Werkzeug");
}

TEST(CiRequirement, CiIsToldByItsVariable) {
  for (const char* off : {static_cast<const char*>(nullptr), "", "0", "false"}) {
    CiVariable ci(off);
    EXPECT_FALSE(test::inCi()) << (off ? off : "(unset)");
  }
  for (const char* on : {"1", "true", "yes"}) {
    CiVariable ci(on);
    EXPECT_TRUE(test::inCi()) << on;
  }
}

TEST(CiRequirement, AMissingNeedFailsInCi) {
  CiVariable ci("true");
  EXPECT_FATAL_FAILURE(requireMissingTool(), "no Werkzeug in CI");
}

}  // namespace
}  // namespace zandor

// The validator's multi-threaded tests, labelled so that they run under ThreadSanitizer too:
// there a data race in the module fails the test that provoked it.

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "HostTestSupport.h"

namespace {

using hosttest::RunHost;

#if defined(__SANITIZE_THREAD__)
constexpr bool kRacesAreSeen = true;
#else
constexpr bool kRacesAreSeen = false;
#endif

TEST(ValidateThreads, TheModulePassesTheThreadedTests) {
  for (const char* test : {"threads", "state"}) {
    const auto result = RunHost({"validate", "--only", test, "--strictness", "10", "--seed", "5"});
    EXPECT_EQ(result.status, 0) << result.out;
    EXPECT_NE(result.out.find(std::string("PASS ") + test + " ("), std::string::npos) << result.out;
  }
}

TEST(ValidateThreads, TheVst3ModulePassesTheThreadedTests) {
  for (const char* test : {"vst3-threads", "vst3-state"}) {
    const auto result = RunHost({"validate", "--module", CORVANE_VST3_BUNDLE, "--only", test,
                                 "--strictness", "10", "--seed", "5"});
    EXPECT_EQ(result.status, 0) << result.out;
    EXPECT_NE(result.out.find(std::string("PASS ") + test + " ("), std::string::npos) << result.out;
  }
}

TEST(ValidateThreads, ARaceFailsTheThreadsTest) {
  if (!kRacesAreSeen) GTEST_SKIP() << "a race without a crash shows only under ThreadSanitizer";
  ::setenv("CORVANE_FIXTURE_FAULT", "race", 1);
  const auto result = RunHost(
      {"validate", "--module", VALIDATE_FIXTURE_CORVANE_PATH, "--only", "threads", "--seed", "5"});
  ::unsetenv("CORVANE_FIXTURE_FAULT");
  EXPECT_EQ(result.status, 1) << result.out;
  EXPECT_NE(result.out.find("FAIL threads: "), std::string::npos) << result.out;
}

}  // namespace

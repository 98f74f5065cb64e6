#include <gtest/gtest.h>

#include <string>

#include "HostTestSupport.h"

namespace {

using hosttest::RunHost;

TEST(Validate, PassesOnTheModule) {
  const auto result = RunHost({"validate", "--strictness", "5", "--seed", "7"});
  EXPECT_EQ(result.status, 0) << result.out << result.err;
  EXPECT_NE(result.out.find("seed 7"), std::string::npos) << result.out;
  EXPECT_EQ(result.out.find("FAIL"), std::string::npos) << result.out;
  const std::string last = result.out.substr(result.out.rfind('\n', result.out.size() - 2) + 1);
  EXPECT_EQ(last.rfind(" passed, 0 failed\n"), last.size() - 18) << last;
}

TEST(Validate, ListsAndRunsOne) {
  const auto list = RunHost({"validate", "--list"});
  ASSERT_EQ(list.status, 0);
  EXPECT_NE(list.out.find("load-unload\n"), std::string::npos) << list.out;
  EXPECT_NE(list.out.find("parameters\n"), std::string::npos) << list.out;

  const auto one = RunHost({"validate", "--only", "describe"});
  EXPECT_EQ(one.status, 0) << one.out;
  EXPECT_NE(one.out.find("PASS describe ("), std::string::npos) << one.out;
  EXPECT_EQ(one.out.find("load-unload"), std::string::npos) << one.out;
  EXPECT_NE(one.out.find("\n1 passed, 0 failed\n"), std::string::npos) << one.out;
}

TEST(Validate, BadArgumentsAreUsageErrors) {
  for (const auto& args :
       std::vector<std::vector<std::string>>{{"validate", "--bogus"},
                                             {"validate", "--strictness", "11"},
                                             {"validate", "--strictness", "0"},
                                             {"validate", "--seed", "-1"},
                                             {"validate", "--timeout", "0"},
                                             {"validate", "--only", "no-such-test"},
                                             {"validate", "--module"},
                                             {"validate", "--module", "/nonexistent/Corvane.so"}}) {
    const auto result = RunHost(args);
    EXPECT_EQ(result.status, 2) << args.back();
    EXPECT_EQ(result.err.rfind("corvane-host: ", 0), 0u) << result.err;
    EXPECT_EQ(hosttest::LineCount(result.err), 1) << result.err;
    EXPECT_TRUE(result.out.empty()) << result.out;
  }
}

void ExpectLoadUnloadFails(const char* module, const std::string& reason) {
  const auto result = RunHost({"validate", "--module", module, "--only", "load-unload"});
  EXPECT_EQ(result.status, 1) << result.out;
  EXPECT_NE(result.out.find("FAIL load-unload: "), std::string::npos) << result.out;
  EXPECT_NE(result.out.find(reason), std::string::npos) << result.out;
  EXPECT_NE(result.out.find("\n0 passed, 1 failed\n"), std::string::npos) << result.out;
}

TEST(Validate, CatchesABrokenModule) {
  ExpectLoadUnloadFails(VALIDATE_FIXTURE_BUSY_PATH, "ACFCanUnloadNow reports 1");
  ExpectLoadUnloadFails(VALIDATE_FIXTURE_EXTRA_EXPORT_PATH, "exports 'CorvaneLeakedHelper'");
  const auto describe =
      RunHost({"validate", "--module", VALIDATE_FIXTURE_EXTRA_EXPORT_PATH, "--only", "describe"});
  EXPECT_EQ(describe.status, 1) << describe.out;
  EXPECT_NE(describe.out.find("FAIL describe: "), std::string::npos) << describe.out;
}

#ifdef CORVANE_SANITIZED
// A sanitizer's fault handler reports the crash and exits instead of letting the signal kill
// the child.
constexpr const char* kCrashed = "exited with status 1";
#else
constexpr const char* kCrashed = "crashed with signal 11 (SIGSEGV)";
#endif

TEST(Validate, ACrashFailsOnlyItsTest) {
  const auto result = RunHost({"validate", "--module", VALIDATE_FIXTURE_CRASH_PATH});
  EXPECT_EQ(result.status, 1) << result.out;
  EXPECT_NE(result.out.find(std::string("FAIL load-unload: ") + kCrashed), std::string::npos)
      << result.out;
  // The run goes on after a crash: every later test gets its own child, and its own failure.
  EXPECT_NE(result.out.find(std::string("FAIL lifecycle: ") + kCrashed), std::string::npos)
      << result.out;
  EXPECT_NE(result.out.find("\n0 passed, "), std::string::npos) << result.out;
}

TEST(Validate, AHangIsKilledAtTheTimeLimit) {
  const auto result = RunHost(
      {"validate", "--module", VALIDATE_FIXTURE_HANG_PATH, "--only", "describe", "--timeout", "1"});
  EXPECT_EQ(result.status, 1) << result.out;
  EXPECT_NE(result.out.find("FAIL describe: timed out after 1 s"), std::string::npos) << result.out;
}

}  // namespace

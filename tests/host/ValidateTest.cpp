#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "HostTestSupport.h"
#include "host/realtime/RealtimeProbe.h"

namespace {

using hosttest::RunHost;

/** DISPLAY unset for the scope: the tests of a window system must know they cannot run. */
class ScopedNoDisplay {
 public:
  ScopedNoDisplay() {
    if (const char* display = std::getenv("DISPLAY")) mSaved = display;
    ::unsetenv("DISPLAY");
  }
  ~ScopedNoDisplay() {
    if (!mSaved.empty()) ::setenv("DISPLAY", mSaved.c_str(), 1);
  }

 private:
  std::string mSaved;
};

// Every test passes but the one that needs a display, which is skipped (the suite runs it under
// an X server of its own: ValidateWindow.RunsUnderItsOwnXServer).
TEST(Validate, PassesOnTheModule) {
  ScopedNoDisplay noDisplay;
  const auto result = RunHost({"validate", "--strictness", "5", "--seed", "7"});
  EXPECT_EQ(result.status, 0) << result.out << result.err;
  EXPECT_NE(result.out.find("seed 7"), std::string::npos) << result.out;
  EXPECT_EQ(result.out.find("FAIL"), std::string::npos) << result.out;
  const std::string last = result.out.substr(result.out.rfind('\n', result.out.size() - 2) + 1);
  EXPECT_NE(last.find(" passed, 0 failed, 1 skipped\n"), std::string::npos) << last;
}

TEST(Validate, ListsAndRunsOne) {
  const auto list = RunHost({"validate", "--list"});
  ASSERT_EQ(list.status, 0);
  for (const char* name :
       {"load-unload", "describe", "lifecycle", "parameters", "parameter-traversal", "block-sizes",
        "buffers", "bad-samples", "silence", "state", "automation", "oversampling-switch",
        "realtime", "threads"})
    EXPECT_NE(list.out.find(std::string(name) + "\n"), std::string::npos) << name;

  const auto one = RunHost({"validate", "--only", "describe"});
  EXPECT_EQ(one.status, 0) << one.out;
  EXPECT_NE(one.out.find("PASS describe ("), std::string::npos) << one.out;
  EXPECT_EQ(one.out.find("load-unload"), std::string::npos) << one.out;
  EXPECT_NE(one.out.find("\n1 passed, 0 failed\n"), std::string::npos) << one.out;
}

// A test that cannot check anything here says so: without a display the editor's window test
// is SKIPPED and counted apart, never a pass, and the run still succeeds.
TEST(Validate, WithoutADisplayTheWindowTestIsSkippedNotPassed) {
  ScopedNoDisplay noDisplay;
  const auto result = RunHost({"validate", "--only", "editor-window"});
  EXPECT_EQ(result.status, 0) << result.out;
  EXPECT_EQ(result.out.find("PASS editor-window"), std::string::npos) << result.out;
  EXPECT_NE(result.out.find("SKIPPED editor-window: no X display"), std::string::npos)
      << result.out;
  EXPECT_NE(result.out.find("\n0 passed, 0 failed, 1 skipped\n"), std::string::npos) << result.out;
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

// Each fault of the broken Corvane against the test that is there to catch it; the reason must
// name what went wrong. A run of just that test keeps this quick and shows that it is the test,
// not a neighbour, that catches the fault.
TEST(Validate, EachTestCatchesItsFault) {
  struct Case {
    const char* fault;
    const char* test;
    const char* reason;
  };
  const Case cases[] = {
      {"same-ids", "describe", "repeats the plug-in ID 'TMN1'"},
      {"unreadable-text", "parameters", "does not read back its own text 'about "},
      {"leaks-timer", "lifecycle",
       "a timer or watch of the destroyed instance is still registered"},
      {"nan-at-edge", "parameter-traversal", "non-finite output after '1' = 0.000000"},
      {"passes-nan", "bad-samples", "NaN in: non-finite output in block 4"},
      {"slow-denormals", "bad-samples", "times as long as normal input"},
      {"noise-floor", "silence", "for silent input"},
      {"forgets-state", "state", "after the restore, not"},
      {"writes-past-block", "buffers", "wrote past the block, at sample 300"},
      {"block-edge", "block-sizes",
       "a block grown from 512 to 12288 differs from 512-sample blocks"},
      {"no-touch", "automation", "does not reach the host as touch, value, release"},
      {"late-latency", "oversampling-switch", "the latency is still reported as 0"},
      {"allocates", "realtime", "allocations and"},
      {"locks", "realtime", "locks inside the render callback"},
      {"accepts-nan", "parameters", "takes NaN through UpdateParameterNormalizedValue"},
      {"silent-start", "startup", "samples after initialization are silent"},
      {"early-state-lost", "state-before-init", "after a restore before initialization, not"},
      {"gap-on-growth", "block-sizes", "falls silent at sample"},
      {"latency-on-audio", "threads", "came from another thread than the host's main thread"},
  };
  for (const Case& c : cases) {
    // Under ThreadSanitizer locks are its business, and the probe leaves them alone.
    if (std::string(c.fault) == "locks" && !corvane::realtime::SeesLocksAndSleeps()) continue;
    ::setenv("CORVANE_FIXTURE_FAULT", c.fault, 1);
    const auto result = RunHost({"validate", "--module", VALIDATE_FIXTURE_CORVANE_PATH, "--only",
                                 c.test, "--strictness", "3", "--seed", "11"});
    ::unsetenv("CORVANE_FIXTURE_FAULT");
    EXPECT_EQ(result.status, 1) << c.fault << "\n" << result.out;
    EXPECT_NE(result.out.find(std::string("FAIL ") + c.test + ": "), std::string::npos)
        << c.fault << "\n"
        << result.out;
    EXPECT_NE(result.out.find(c.reason), std::string::npos) << c.fault << "\n" << result.out;
  }
  // Without a fault it is Corvane, and every test passes.
  const auto healthy = RunHost(
      {"validate", "--module", VALIDATE_FIXTURE_CORVANE_PATH, "--strictness", "3", "--seed", "11"});
  EXPECT_EQ(healthy.status, 0) << healthy.out;
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

#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <iosfwd>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace corvane::host::validate {

/** What a test sees: the module to load, how hard to push, and its own seeded randomness. */
struct TestContext {
  std::filesystem::path module;
  int strictness = 5;
  uint64_t seed = 0;
  std::mt19937_64 random;
  /** Lines printed under the test's result: what it could not check, and why. */
  std::vector<std::string> notes;
  void Note(std::string text) { notes.push_back(std::move(text)); }
};

/** Thrown by a test to fail with a one-line reason. */
struct Failure {
  std::string reason;
};

/** Thrown by a test that cannot check anything here (no display, no editor), with why: it is
 * reported SKIPPED and counted apart, never as a pass. */
struct Skipped {
  std::string reason;
};

struct TestCase {
  const char* name;
  std::function<void(TestContext&)> run;
  /** Times the default time limit the test gets: opening editors over and over takes long. */
  int timeScale = 1;
};

/** Every test, in the order they run. */
const std::vector<TestCase>& Registry();

struct ValidateOptions {
  std::optional<std::filesystem::path> module;
  int strictness = 5;
  std::optional<uint64_t> seed;
  std::optional<std::string> only;
  /** Per-test time limit in seconds; by default it grows with the strictness. */
  std::optional<int> timeoutSeconds;
  bool list = false;
  bool help = false;
};

/** Parses the arguments after "validate"; throws HostError (usage status) on anything else. */
ValidateOptions ParseValidateOptions(const std::vector<std::string>& args);

/**
 * Runs the chosen tests, each in a forked child with a time limit, and writes one line per test
 * (PASS, FAIL or SKIPPED) and the totals to out. Returns 0 only when nothing failed; skipped
 * tests are counted apart.
 */
int RunValidate(const std::vector<std::string>& args, std::ostream& out);

}  // namespace corvane::host::validate

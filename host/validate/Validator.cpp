#include "host/validate/Validator.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <ostream>
#include <random>

#include "host/HostError.h"
#include "host/PluginSession.h"
#include "host/claphost/ClapHost.h"
#include "host/validate/ClapTests.h"
#include "host/validate/Vst3Tests.h"
#include "host/vst3host/Vst3Host.h"

namespace corvane::host::validate {

namespace {

std::optional<uint64_t> ParseUnsigned(const std::string& text) {
  if (text.empty() || text.size() > 20) return std::nullopt;
  uint64_t value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    const uint64_t next = value * 10 + static_cast<uint64_t>(c - '0');
    if (next / 10 != value) return std::nullopt;
    value = next;
  }
  return value;
}

struct Outcome {
  enum class Kind { kPassed, kFailed, kSkipped };
  Kind kind = Kind::kFailed;
  std::string reason;  // failed or skipped: why; passed: the test's notes, one per line
};

/** The exit status of a child whose test was skipped. */
constexpr int kSkippedStatus = 3;

/** Generous by default, since strictness scales the work; a hang is still caught within it. */
std::chrono::milliseconds TimeLimit(const ValidateOptions& options, const TestCase& test) {
  if (options.timeoutSeconds) return std::chrono::seconds(*options.timeoutSeconds);
  return std::chrono::milliseconds((20000 + 4000 * options.strictness) * test.timeScale);
}

/** The child reports through a pipe; its exit status alone cannot carry a reason. */
Outcome RunInChild(const TestCase& test, TestContext context, std::chrono::milliseconds limit) {
  int fds[2];
  // Close-on-exec: a helper the test runs (nm) must not keep the pipe open after the test.
  if (::pipe2(fds, O_CLOEXEC) != 0)
    return {Outcome::Kind::kFailed, std::string("cannot make a pipe: ") + std::strerror(errno)};
  const pid_t pid = ::fork();
  if (pid < 0) {
    ::close(fds[0]);
    ::close(fds[1]);
    return {Outcome::Kind::kFailed, std::string("cannot fork: ") + std::strerror(errno)};
  }
  if (pid == 0) {
    ::close(fds[0]);
    std::string message;
    int status = 1;
    try {
      test.run(context);
      status = 0;
      for (const std::string& note : context.notes) message += note + '\n';
    } catch (const Failure& failure) {
      message = failure.reason;
    } catch (const Skipped& skipped) {
      message = skipped.reason;
      status = kSkippedStatus;
    } catch (const HostError& e) {
      message = e.what();
    } catch (const std::exception& e) {
      message = std::string("exception: ") + e.what();
    } catch (...) {
      message = "unknown exception";
    }
    size_t done = 0;
    while (done < message.size()) {
      const ssize_t n = ::write(fds[1], message.data() + done, message.size() - done);
      if (n <= 0) break;
      done += static_cast<size_t>(n);
    }
    // No atexit handlers or static destructors: they belong to the parent's process image.
    ::_exit(status);
  }
  ::close(fds[1]);

  std::string message;
  bool timedOut = false;
  const auto deadline = std::chrono::steady_clock::now() + limit;
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      timedOut = true;
      break;
    }
    pollfd fd{fds[0], POLLIN, 0};
    const int ready = ::poll(&fd, 1, static_cast<int>(left.count()));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) continue;
    char buffer[512];
    const ssize_t n = ::read(fds[0], buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    message.append(buffer, static_cast<size_t>(n));
  }
  ::close(fds[0]);
  if (timedOut) ::kill(pid, SIGKILL);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (timedOut)
    return {Outcome::Kind::kFailed,
            "timed out after " + std::to_string(limit.count() / 1000) + " s"};
  if (WIFSIGNALED(status)) {
    const int signal = WTERMSIG(status);
    const char* name = ::sigabbrev_np(signal);
    return {Outcome::Kind::kFailed, "crashed with signal " + std::to_string(signal) +
                                        (name ? std::string(" (SIG") + name + ")" : std::string())};
  }
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return {Outcome::Kind::kPassed, message};
  if (WIFEXITED(status) && WEXITSTATUS(status) == kSkippedStatus && !message.empty())
    return {Outcome::Kind::kSkipped, message};
  if (message.empty()) message = "exited with status " + std::to_string(WEXITSTATUS(status));
  return {Outcome::Kind::kFailed, message};
}

std::string OneLine(std::string text) {
  while (!text.empty() && text.back() == '\n') text.pop_back();
  for (char& c : text)
    if (c == '\n') c = ' ';
  return text;
}

}  // namespace

ValidateOptions ParseValidateOptions(const std::vector<std::string>& args) {
  ValidateOptions options;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    auto value = [&]() -> const std::string& {
      if (i + 1 >= args.size()) throw HostError(arg + " needs a value");
      return args[++i];
    };
    if (arg == "--help" || arg == "-h") {
      options.help = true;
    } else if (arg == "--list") {
      options.list = true;
    } else if (arg == "--module") {
      options.module = value();
      if (options.module->empty()) throw HostError("--module needs a path");
    } else if (arg == "--strictness") {
      const std::string& text = value();
      const auto level = ParseUnsigned(text);
      if (!level || *level < 1 || *level > 10)
        throw HostError("--strictness takes 1 to 10, not '" + text + "'");
      options.strictness = static_cast<int>(*level);
    } else if (arg == "--timeout") {
      const std::string& text = value();
      const auto seconds = ParseUnsigned(text);
      if (!seconds || *seconds < 1 || *seconds > 3600)
        throw HostError("--timeout takes 1 to 3600 seconds, not '" + text + "'");
      options.timeoutSeconds = static_cast<int>(*seconds);
    } else if (arg == "--seed") {
      const std::string& text = value();
      options.seed = ParseUnsigned(text);
      if (!options.seed) throw HostError("--seed takes a non-negative integer, not '" + text + "'");
    } else if (arg == "--only") {
      const std::string& name = value();
      bool known = false;
      for (const TestCase& test : Registry()) known = known || name == test.name;
      for (const TestCase& test : Vst3Registry()) known = known || name == test.name;
      for (const TestCase& test : ClapRegistry()) known = known || name == test.name;
      if (!known) throw HostError("no test named '" + name + "' (see validate --list)");
      options.only = name;
    } else {
      throw HostError("validate does not take '" + arg + "'");
    }
  }
  return options;
}

namespace {

/** A VST3 bundle (or the module in one) gets the VST3 tests, a CLAP bundle the CLAP tests;
 * anything else is an AAX module. */
const std::vector<TestCase>& RegistryFor(const std::filesystem::path& module) {
  if (vst3::IsVst3Path(module)) return Vst3Registry();
  return clap::IsClapPath(module) ? ClapRegistry() : Registry();
}

}  // namespace

int RunValidate(const std::vector<std::string>& args, std::ostream& out) {
  const ValidateOptions options = ParseValidateOptions(args);
  if (options.help || options.list) {
    if (options.help)
      out << "usage: corvane-host validate [--module PATH] [--strictness 1..10] [--seed N]\n"
             "                             [--only NAME] [--timeout SECONDS] [--list]\n"
             "tests:\n";
    for (const TestCase& test : RegistryFor(options.module.value_or(DefaultModulePath())))
      out << test.name << '\n';
    return 0;
  }
  const std::filesystem::path module = options.module.value_or(DefaultModulePath());
  std::error_code ec;
  if (!std::filesystem::is_regular_file(module, ec) &&
      !(vst3::IsVst3Path(module) && std::filesystem::is_directory(module, ec)))
    throw HostError("module '" + module.string() + "' does not exist");
  const std::vector<TestCase>& registry = RegistryFor(module);
  if (options.only) {
    bool here = false;
    for (const TestCase& test : registry) here = here || *options.only == test.name;
    if (!here)
      throw HostError("no test named '" + *options.only + "' for this kind of module (see --list)");
  }

  const uint64_t seed = options.seed.value_or(std::random_device{}());
  out << "seed " << seed << ", strictness " << options.strictness << ", module " << module.string()
      << '\n';
  int passed = 0;
  int failed = 0;
  int skipped = 0;
  for (const TestCase& test : registry) {
    if (options.only && *options.only != test.name) continue;
    TestContext context;
    context.module = module;
    context.strictness = options.strictness;
    // Each test gets its own stream, so --only reproduces what a full run did.
    context.seed = seed ^ std::hash<std::string>{}(test.name);
    context.random.seed(context.seed);
    // Whatever is buffered would be written twice, once by the child too.
    out.flush();
    const auto start = std::chrono::steady_clock::now();
    const Outcome outcome = RunInChild(test, std::move(context), TimeLimit(options, test));
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::steady_clock::now() - start)
                        .count();
    if (outcome.kind == Outcome::Kind::kSkipped) {
      ++skipped;
      out << "SKIPPED " << test.name << ": " << OneLine(outcome.reason) << '\n';
    } else if (outcome.kind == Outcome::Kind::kPassed) {
      ++passed;
      out << "PASS " << test.name << " (" << ms << " ms)\n";
      size_t start = 0;
      for (size_t end; (end = outcome.reason.find('\n', start)) != std::string::npos;
           start = end + 1)
        out << "  note: " << outcome.reason.substr(start, end - start) << '\n';
    } else {
      ++failed;
      out << "FAIL " << test.name << ": " << OneLine(outcome.reason) << '\n';
    }
    out.flush();
  }
  out << passed << " passed, " << failed << " failed";
  if (skipped > 0) out << ", " << skipped << " skipped";
  out << '\n';
  return failed == 0 ? 0 : kExitFailure;
}

}  // namespace corvane::host::validate

#pragma once

#include <stdexcept>
#include <string>

namespace corvane::host {

/** Exit status for anything the user can fix in the command line or the input file. */
constexpr int kExitUsage = 2;
/** Exit status for failures after the arguments were accepted (disk full, read error). */
constexpr int kExitFailure = 1;

/**
 * A failure meant for the user: the message becomes the single "corvane-host: " line on the
 * error stream, the status the process's exit status.
 */
class HostError : public std::runtime_error {
 public:
  HostError(int status, const std::string& message)
      : std::runtime_error(message), mStatus(status) {}
  explicit HostError(const std::string& message) : HostError(kExitUsage, message) {}

  int Status() const { return mStatus; }

 private:
  int mStatus;
};

}  // namespace corvane::host

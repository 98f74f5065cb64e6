#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

namespace corvane::testing {

/** An X server of the test's own (Xvfb), on the first free display number; Name() is empty when
 * none could start. */
class XvfbServer {
 public:
  explicit XvfbServer(const char* screen = "1280x1024x24") {
    int fds[2];
    if (::pipe(fds) != 0) return;
    mPid = ::fork();
    if (mPid == 0) {
      ::close(fds[0]);
      const std::string fd = std::to_string(fds[1]);
      const int null = ::open("/dev/null", O_WRONLY);
      if (null >= 0) {
        ::dup2(null, 1);
        ::dup2(null, 2);
      }
      ::execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", screen, "-nolisten", "tcp",
               static_cast<char*>(nullptr));
      ::_exit(127);
    }
    ::close(fds[1]);
    std::string number;
    char c;
    while (::read(fds[0], &c, 1) == 1 && c != '\n') number += c;
    ::close(fds[0]);
    if (!number.empty()) mName = ":" + number;
  }
  ~XvfbServer() {
    if (mPid <= 0) return;
    ::kill(mPid, SIGTERM);
    int status = 0;
    ::waitpid(mPid, &status, 0);
  }
  XvfbServer(const XvfbServer&) = delete;
  XvfbServer& operator=(const XvfbServer&) = delete;
  const std::string& Name() const { return mName; }

 private:
  pid_t mPid = -1;
  std::string mName;
};

}  // namespace corvane::testing

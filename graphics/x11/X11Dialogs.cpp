#include "graphics/x11/X11Dialogs.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

extern char** environ;

namespace iplug::igraphics::x11 {

namespace {

// How often children that have closed their output, or were started detached, are looked for.
constexpr int kReapIntervalMs = 20;
constexpr int kDetachedReapIntervalMs = 200;

std::vector<char*> ArgvOf(const std::vector<std::string>& argv) {
  std::vector<char*> out;
  for (const std::string& a : argv) out.push_back(const_cast<char*>(a.c_str()));
  out.push_back(nullptr);
  return out;
}

// Starts argv[0] (a path) with stdin and stderr on /dev/null and stdout on outFd when given.
pid_t Spawn(const std::vector<std::string>& argv, int outFd) {
  if (argv.empty() || argv[0].empty()) return -1;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  if (outFd >= 0)
    posix_spawn_file_actions_adddup2(&actions, outFd, 1);
  else
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  // The host's signal mask and dispositions are not the child's business.
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  sigset_t none, all;
  sigemptyset(&none);
  sigfillset(&all);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setsigdefault(&attr, &all);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  pid_t pid = -1;
  std::vector<char*> args = ArgvOf(argv);
  const int rc = posix_spawn(&pid, argv[0].c_str(), &actions, &attr, args.data(), environ);
  posix_spawnattr_destroy(&attr);
  posix_spawn_file_actions_destroy(&actions);
  return rc == 0 ? pid : -1;
}

// Children started without waiting, reaped from a timer of whichever run loop is current.
struct Reaper {
  std::vector<pid_t> pids;
  IRunLoop* loop = nullptr;
  IRunLoop::Id timer = IRunLoop::kInvalidId;

  void Add(pid_t pid) {
    // Also reaps what a run loop gone since (a closed host, a test's) left behind.
    Reap();
    pids.push_back(pid);
    IRunLoop* current = GetRunLoop();
    if (!current || (current == loop && timer != IRunLoop::kInvalidId)) return;
    loop = current;
    timer = loop->AddTimer(kDetachedReapIntervalMs, [this](IRunLoop::Id id) {
      if (id != timer) return;
      Reap();
    });
  }
  void Reap() {
    pids.erase(std::remove_if(pids.begin(), pids.end(),
                              [](pid_t p) {
                                const pid_t r = waitpid(p, nullptr, WNOHANG);
                                return r == p || (r < 0 && errno == ECHILD);
                              }),
               pids.end());
    if (pids.empty() && timer != IRunLoop::kInvalidId) {
      // A loop that is no longer the current one may be gone, and its timers with it.
      if (loop == GetRunLoop()) loop->RemoveTimer(timer);
      timer = IRunLoop::kInvalidId;
      loop = nullptr;
    }
  }
};

Reaper& Detached() {
  static Reaper reaper;
  return reaper;
}

std::string Trimmed(const std::string& s) {
  size_t end = s.size();
  while (end > 0 && (s[end - 1] == '\n' || s[end - 1] == '\r')) --end;
  return s.substr(0, end);
}

std::vector<std::string> Extensions(const char* extensions) {
  std::vector<std::string> out;
  std::istringstream in(extensions ? extensions : "");
  for (std::string ext; in >> ext;) out.push_back("*." + ext);
  return out;
}

std::string Join(const std::vector<std::string>& parts, const char* sep) {
  std::string out;
  for (size_t i = 0; i < parts.size(); ++i) out += (i ? sep : "") + parts[i];
  return out;
}

std::string Hex(const IArgb& c) {
  char text[8];
  std::snprintf(text, sizeof text, "#%02x%02x%02x", std::clamp(c.R, 0, 255),
                std::clamp(c.G, 0, 255), std::clamp(c.B, 0, 255));
  return text;
}

}  // namespace

std::string FindProgram(const char* name) {
  const char* path = std::getenv("PATH");
  if (!name || !*name || !path) return {};
  std::istringstream in(path);
  for (std::string dir; std::getline(in, dir, ':');) {
    if (dir.empty()) continue;
    const std::string candidate = dir + "/" + name;
    struct stat st {};
    if (stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
        access(candidate.c_str(), X_OK) == 0)
      return candidate;
  }
  return {};
}

bool SpawnDetached(const std::vector<std::string>& argv) {
  const pid_t pid = Spawn(argv, -1);
  if (pid < 0) return false;
  Detached().Add(pid);
  return true;
}

DialogHelper FindDialogHelper() {
  if (std::string p = FindProgram("zenity"); !p.empty()) return {DialogTool::Zenity, p};
  if (std::string p = FindProgram("kdialog"); !p.empty()) return {DialogTool::KDialog, p};
  return {};
}

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::vector<std::string> FileDialogCommand(const DialogHelper& helper, EFileAction action,
                                           const std::string& fileName, const std::string& folder,
                                           const char* extensions) {
  std::string start = folder;
  if (!start.empty() && start.back() != '/') start += '/';
  start += fileName;
  const std::vector<std::string> patterns = Extensions(extensions);
  const bool save = action == EFileAction::Save;
  if (helper.tool == DialogTool::KDialog) {
    std::vector<std::string> argv = {helper.program,
                                     save ? "--getsavefilename" : "--getopenfilename",
                                     start.empty() ? "." : start};
    if (!patterns.empty()) argv.push_back(Join(patterns, " "));
    return argv;
  }
  std::vector<std::string> argv = {helper.program, "--file-selection"};
  if (save) {
    argv.push_back("--save");
    argv.push_back("--confirm-overwrite");
  }
  if (!start.empty()) argv.push_back("--filename=" + start);
  if (!patterns.empty()) argv.push_back("--file-filter=" + Join(patterns, " "));
  return argv;
}

std::vector<std::string> DirectoryDialogCommand(const DialogHelper& helper,
                                                const std::string& folder) {
  if (helper.tool == DialogTool::KDialog)
    return {helper.program, "--title", "Choose a Directory", "--getexistingdirectory",
            folder.empty() ? "." : folder};
  std::vector<std::string> argv = {helper.program, "--file-selection", "--directory",
                                   "--title=Choose a Directory"};
  if (!folder.empty()) argv.push_back("--filename=" + folder + (folder.back() == '/' ? "" : "/"));
  return argv;
}

std::vector<std::string> ColorDialogCommand(const DialogHelper& helper, const IArgb& color,
                                            const char* title) {
  const std::string t = title ? title : "";
  if (helper.tool == DialogTool::KDialog) {
    std::vector<std::string> argv = {helper.program, "--getcolor", "--default", Hex(color)};
    if (!t.empty()) argv.insert(argv.begin() + 1, {"--title", t});
    return argv;
  }
  std::vector<std::string> argv = {helper.program, "--color-selection", "--color=" + Hex(color)};
  if (!t.empty()) argv.push_back("--title=" + t);
  return argv;
}

std::vector<std::string> MessageBoxCommand(const DialogHelper& helper, const char* text,
                                           const char* caption, EMsgBoxType type) {
  const std::string body = text ? text : "", title = caption ? caption : "";
  if (helper.tool == DialogTool::KDialog) {
    const char* kind = "--msgbox";
    switch (type) {
      case EMsgBoxType::YesNo:
        kind = "--yesno";
        break;
      case EMsgBoxType::YesNoCancel:
        kind = "--yesnocancel";
        break;
      case EMsgBoxType::OKCancel:
      case EMsgBoxType::RetryCancel:
      case EMsgBoxType::AbortRetryIgnore:
        kind = "--warningcontinuecancel";
        break;
      default:
        break;
    }
    return {helper.program, "--title", title, kind, body};
  }
  // zenity's text is Pango markup; --no-markup keeps an '&' or a '<' what it is.
  std::vector<std::string> argv = {helper.program, "--no-markup", "--title=" + title,
                                   "--text=" + body};
  switch (type) {
    case EMsgBoxType::OK:
      argv.insert(argv.begin() + 1, "--info");
      break;
    case EMsgBoxType::OKCancel:
      argv.insert(argv.begin() + 1, {"--question", "--ok-label=OK", "--cancel-label=Cancel"});
      break;
    case EMsgBoxType::YesNo:
      argv.insert(argv.begin() + 1, {"--question", "--ok-label=Yes", "--cancel-label=No"});
      break;
    case EMsgBoxType::YesNoCancel:
      argv.insert(argv.begin() + 1,
                  {"--question", "--ok-label=Yes", "--cancel-label=No", "--extra-button=Cancel"});
      break;
    case EMsgBoxType::RetryCancel:
      argv.insert(argv.begin() + 1, {"--question", "--ok-label=Retry", "--cancel-label=Cancel"});
      break;
    case EMsgBoxType::AbortRetryIgnore:
      argv.insert(argv.begin() + 1, {"--question", "--ok-label=Retry", "--cancel-label=Abort",
                                     "--extra-button=Ignore"});
      break;
  }
  return argv;
}

EMsgBoxResult MessageBoxAnswer(const DialogHelper& helper, EMsgBoxType type, int exitCode,
                               const std::string& output) {
  const std::string extra = Trimmed(output);
  if (helper.tool == DialogTool::KDialog) {
    switch (type) {
      case EMsgBoxType::OK:
        return EMsgBoxResult::OK;
      case EMsgBoxType::YesNo:
        return exitCode == 0 ? EMsgBoxResult::Yes : EMsgBoxResult::No;
      case EMsgBoxType::YesNoCancel:
        return exitCode == 0   ? EMsgBoxResult::Yes
               : exitCode == 1 ? EMsgBoxResult::No
                               : EMsgBoxResult::Cancel;
      case EMsgBoxType::RetryCancel:
      case EMsgBoxType::AbortRetryIgnore:
        return exitCode == 0 ? EMsgBoxResult::Retry : EMsgBoxResult::Cancel;
      default:
        return exitCode == 0 ? EMsgBoxResult::OK : EMsgBoxResult::Cancel;
    }
  }
  switch (type) {
    case EMsgBoxType::OK:
      return EMsgBoxResult::OK;
    case EMsgBoxType::OKCancel:
      return exitCode == 0 ? EMsgBoxResult::OK : EMsgBoxResult::Cancel;
    case EMsgBoxType::YesNo:
      return exitCode == 0 ? EMsgBoxResult::Yes : EMsgBoxResult::No;
    case EMsgBoxType::YesNoCancel:
      // The extra button answers 1 with its label on the output, as closing the box does not.
      return exitCode == 0                        ? EMsgBoxResult::Yes
             : extra == "Cancel" || exitCode != 1 ? EMsgBoxResult::Cancel
                                                  : EMsgBoxResult::No;
    case EMsgBoxType::RetryCancel:
      return exitCode == 0 ? EMsgBoxResult::Retry : EMsgBoxResult::Cancel;
    case EMsgBoxType::AbortRetryIgnore:
      return exitCode == 0       ? EMsgBoxResult::Retry
             : extra == "Ignore" ? EMsgBoxResult::Ignore
                                 : EMsgBoxResult::Abort;
  }
  return EMsgBoxResult::Cancel;
}

bool ParseColorAnswer(const std::string& output, IArgb& color) {
  const std::string s = Trimmed(output);
  int r = 0, g = 0, b = 0;
  if (s.size() == 7 && s[0] == '#' && std::sscanf(s.c_str() + 1, "%2x%2x%2x", &r, &g, &b) == 3) {
  } else if (std::sscanf(s.c_str(), "rgb(%d,%d,%d)", &r, &g, &b) == 3 ||
             std::sscanf(s.c_str(), "rgba(%d,%d,%d", &r, &g, &b) == 3) {
  } else {
    return false;
  }
  color.R = std::clamp(r, 0, 255);
  color.G = std::clamp(g, 0, 255);
  color.B = std::clamp(b, 0, 255);
  return true;
}

// ---- The child ----

std::unique_ptr<HelperDialog> HelperDialog::Start(const std::vector<std::string>& argv, Done done) {
  IRunLoop* loop = GetRunLoop();
  if (!loop) return nullptr;
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return nullptr;
  const pid_t pid = Spawn(argv, fds[1]);
  close(fds[1]);
  if (pid < 0) {
    close(fds[0]);
    return nullptr;
  }
  fcntl(fds[0], F_SETFL, fcntl(fds[0], F_GETFL) | O_NONBLOCK);
  std::unique_ptr<HelperDialog> dialog(new HelperDialog());
  dialog->mLoop = loop;
  dialog->mPid = pid;
  dialog->mFd = fds[0];
  dialog->mDone = std::move(done);
  HelperDialog* self = dialog.get();
  dialog->mWatch = loop->WatchFd(fds[0], [self](int) { self->OnReadable(); });
  if (dialog->mWatch == IRunLoop::kInvalidId) return nullptr;
  return dialog;
}

HelperDialog::~HelperDialog() {
  if (mWatch != IRunLoop::kInvalidId) mLoop->UnwatchFd(mWatch);
  if (mTimer != IRunLoop::kInvalidId) mLoop->RemoveTimer(mTimer);
  if (mFd >= 0) close(mFd);
  if (mPid > 0) {
    // Killed outright, so the wait below ends at once.
    kill(mPid, SIGKILL);
    waitpid(mPid, nullptr, 0);
  }
}

void HelperDialog::OnReadable() {
  char buffer[4096];
  for (;;) {
    const ssize_t n = read(mFd, buffer, sizeof buffer);
    if (n > 0) {
      mOutput.append(buffer, static_cast<size_t>(n));
      continue;
    }
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) return;
    break;
  }
  mLoop->UnwatchFd(mWatch);
  mWatch = IRunLoop::kInvalidId;
  close(mFd);
  mFd = -1;
  TryReap();
  if (mPid > 0 && mTimer == IRunLoop::kInvalidId)
    mTimer = mLoop->AddTimer(kReapIntervalMs, [this](IRunLoop::Id id) {
      if (id == mTimer) TryReap();
    });
}

void HelperDialog::TryReap() {
  int status = 0;
  const pid_t r = waitpid(mPid, &status, WNOHANG);
  if (r == 0) return;
  mPid = -1;
  if (mTimer != IRunLoop::kInvalidId) mLoop->RemoveTimer(mTimer);
  mTimer = IRunLoop::kInvalidId;
  const int code = r > 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  // The answer may close the editor, and this dialog with it: nothing of it is used after.
  Done done = std::move(mDone);
  const std::string output = std::move(mOutput);
  if (done) done(code, output);
}

}  // namespace iplug::igraphics::x11

#pragma once

#include <sys/types.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "framework/IRunLoop.h"
#include "graphics/IGraphicsStructs.h"

namespace iplug::igraphics::x11 {

/** The full path of a program found on PATH, or "" when there is none. */
std::string FindProgram(const char* name);

/**
 * Starts a program and does not wait for it: the child is reaped later from the run loop's
 * timer. False when it cannot be started.
 */
bool SpawnDetached(const std::vector<std::string>& argv);

/** The program that shows dialogs on this desktop: zenity first, else kdialog. */
enum class DialogTool { None, Zenity, KDialog };
struct DialogHelper {
  DialogTool tool = DialogTool::None;
  std::string program;
};
DialogHelper FindDialogHelper();

// The helper's command lines and how its answers read.
std::vector<std::string> FileDialogCommand(const DialogHelper& helper, EFileAction action,
                                           const std::string& fileName, const std::string& folder,
                                           const char* extensions);
std::vector<std::string> DirectoryDialogCommand(const DialogHelper& helper,
                                                const std::string& folder);
std::vector<std::string> ColorDialogCommand(const DialogHelper& helper, const IArgb& color,
                                            const char* title);
std::vector<std::string> MessageBoxCommand(const DialogHelper& helper, const char* text,
                                           const char* caption, EMsgBoxType type);
/** "rgb(r,g,b)", "rgba(r,g,b,a)" or "#rrggbb"; A is kept. */
bool ParseColorAnswer(const std::string& output, IArgb& color);
EMsgBoxResult MessageBoxAnswer(const DialogHelper& helper, EMsgBoxType type, int exitCode,
                               const std::string& output);
/** The folder holding a path, with its trailing '/'; "" when it has none. */
std::string FolderOf(const std::string& path);

/**
 * A dialog helper running as a child whose standard output is read through a descriptor
 * watched on the run loop; done gets the exit code (-1 when it did not exit normally) and the
 * output once the child has ended. Deleting it first kills the child, and done never comes.
 *
 * Main thread only.
 */
class HelperDialog {
 public:
  using Done = std::function<void(int exitCode, const std::string& output)>;
  /** Null when the program cannot be started or there is no run loop. */
  static std::unique_ptr<HelperDialog> Start(const std::vector<std::string>& argv, Done done);
  ~HelperDialog();
  HelperDialog(const HelperDialog&) = delete;
  HelperDialog& operator=(const HelperDialog&) = delete;

  bool Finished() const { return mPid < 0; }

 private:
  HelperDialog() = default;
  void OnReadable();
  void TryReap();

  IRunLoop* mLoop = nullptr;
  pid_t mPid = -1;
  int mFd = -1;
  IRunLoop::Id mWatch = IRunLoop::kInvalidId;
  IRunLoop::Id mTimer = IRunLoop::kInvalidId;
  std::string mOutput;
  Done mDone;
};

}  // namespace iplug::igraphics::x11

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "HeadlessTestSupport.h"
#include "X11TestSupport.h"
#include "graphics/x11/IGraphicsX11.h"
#include "graphics/x11/X11Clipboard.h"

namespace {

using namespace headless_test;
using namespace x11_test;
using iplug::igraphics::x11::FileUriFromPath;
using iplug::igraphics::x11::Latin1FromUtf8;
using iplug::igraphics::x11::Utf8FromLatin1;

const std::string kUnicode = "Corvane \xE2\x9C\x93 -12.5 dB \xC3\xBC";  // "Corvane ✓ -12.5 dB ü"

// Another X client, run while the editor's loop keeps answering: xclip asks the editor and
// waits, so waiting for it without running the loop would hang both.
struct Program {
  pid_t pid = -1;
  int out = -1;
  std::string output;
  int status = -1;

  Program(const std::vector<std::string>& argv, const std::string& input) {
    int in[2], o[2];
    if (pipe(in) != 0 || pipe(o) != 0) return;
    pid = fork();
    if (pid == 0) {
      dup2(in[0], 0);
      dup2(o[1], 1);
      close(in[1]);
      close(o[0]);
      std::vector<char*> args;
      for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
      args.push_back(nullptr);
      execvp(args[0], args.data());
      _exit(127);
    }
    close(in[0]);
    close(o[1]);
    if (!input.empty() && write(in[1], input.data(), input.size()) < 0) input.size();
    close(in[1]);
    out = o[0];
    fcntl(out, F_SETFL, O_NONBLOCK);
  }
  ~Program() {
    if (pid > 0 && status < 0) {
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
    }
    if (out >= 0) close(out);
  }
  bool Finished() {
    char buffer[4096];
    for (ssize_t n; (n = read(out, buffer, sizeof buffer)) > 0;) output.append(buffer, n);
    if (status >= 0) return true;
    int st = 0;
    if (waitpid(pid, &st, WNOHANG) == pid) {
      status = WIFEXITED(st) ? WEXITSTATUS(st) : 128;
      for (ssize_t n; (n = read(out, buffer, sizeof buffer)) > 0;) output.append(buffer, n);
      return true;
    }
    return false;
  }
};

struct ClipEditor {
  ClipEditor() {
    delegate.SetEditorSize(650, 400);
    delegate.SetGraphicsFactory([this] { return new IGraphicsX11(delegate, 650, 400, 60, 1.f); });
    delegate.SetLayoutFunction([](IGraphics* g) {
      g->AddControl(new DrawingControl(IBox(0, 0, 650, 400), [](IGraphics& gr) {
        gr.FillRect(COLOR_GRAY, IBox(0, 0, 650, 400));
      }));
    });
  }
  ~ClipEditor() { delegate.CloseWindow(); }
  IGraphicsX11* UI() const { return static_cast<IGraphicsX11*>(delegate.GetUI()); }
  TestEditorDelegate delegate;
};

class X11ClipboardTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Xvfb& server = SharedXvfb();
    ASSERT_TRUE(server.Running()) << server.Error();
    setenv("DISPLAY", server.Display().c_str(), 1);
    iplug::SetRunLoop(&loop);
    host = std::make_unique<Host>(650, 400);
    editor = std::make_unique<ClipEditor>();
    editor->delegate.OpenWindow(host->ParentHandle());
    ASSERT_NE(ui()->NativeWindow(), nullptr) << IGraphicsX11::LastError();
    clipboard = Atom("CLIPBOARD");
  }
  void TearDown() override {
    editor.reset();
    host.reset();
    iplug::SetRunLoop(nullptr);
  }
  IGraphicsX11* ui() const { return editor->UI(); }

  xcb_atom_t Atom(const char* name) {
    xcb_connection_t* c = host->Connection();
    auto* reply = xcb_intern_atom_reply(
        c, xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr);
    const xcb_atom_t atom = reply ? reply->atom : XCB_NONE;
    std::free(reply);
    return atom;
  }
  /** What xclip reads from the clipboard as a target, running the editor's loop meanwhile. */
  std::string XclipOut(const char* target) {
    Program xclip({"xclip", "-o", "-selection", "clipboard", "-t", target}, "");
    EXPECT_TRUE(loop.RunUntil([&] { return xclip.Finished(); }, 3000));
    EXPECT_EQ(xclip.status, 0) << "xclip failed for " << target << " (127: not installed; see "
                               << "scripts/deps.sh)";
    return xclip.output;
  }
  static int64_t MsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 start)
        .count();
  }

  PollRunLoop loop;
  std::unique_ptr<Host> host;
  std::unique_ptr<ClipEditor> editor;
  xcb_atom_t clipboard = XCB_NONE;
};

TEST(X11ClipboardText, UrisArePercentEncodedAndStringIsLatin1) {
  EXPECT_EQ(FileUriFromPath("/tmp/a b/\xC3\xBC%.wav"), "file:///tmp/a%20b/%C3%BC%25.wav");
  EXPECT_EQ(FileUriFromPath("/x/Take_1-2~.wav"), "file:///x/Take_1-2~.wav");
  EXPECT_EQ(Latin1FromUtf8("d\xC3\xBC \xE2\x9C\x93"), "d\xFC ?");
  EXPECT_EQ(Utf8FromLatin1("d\xFC"), "d\xC3\xBC");
}

TEST_F(X11ClipboardTest, WrittenTextReachesAnotherClientInEveryTextTarget) {
  ASSERT_TRUE(ui()->WriteClipboardText(kUnicode.c_str()));
  EXPECT_EQ(XclipOut("UTF8_STRING"), kUnicode);
  EXPECT_EQ(XclipOut("TEXT"), kUnicode);
  EXPECT_EQ(XclipOut("STRING"), Latin1FromUtf8(kUnicode));
  const std::string targets = XclipOut("TARGETS");
  for (const char* t : {"TARGETS", "UTF8_STRING", "STRING", "TEXT"})
    EXPECT_NE(targets.find(t), std::string::npos) << targets;
  EXPECT_EQ(targets.find("text/uri-list"), std::string::npos) << targets;
  // Reading back our own text needs no round trip through the server.
  std::string back;
  EXPECT_TRUE(ui()->ReadClipboardText(back));
  EXPECT_EQ(back, kUnicode);
}

TEST_F(X11ClipboardTest, TextAnotherClientCopiedIsReadAndItsOwnershipEndsOurs) {
  ASSERT_TRUE(ui()->WriteClipboardText("ours"));
  // Serves a few requests, then ends.
  Program xclip({"xclip", "-i", "-selection", "clipboard", "-quiet", "-loops", "3"}, kUnicode);
  std::string text;
  ASSERT_TRUE(loop.RunUntil(
      [&] {
        loop.RunFor(5);
        return ui()->ReadClipboardText(text) && text == kUnicode;
      },
      3000))
      << text;
  EXPECT_EQ(text, kUnicode);
}

TEST_F(X11ClipboardTest, WithoutAnOwnerReadingFailsAtOnce) {
  xcb_set_selection_owner(host->Connection(), XCB_NONE, clipboard, XCB_CURRENT_TIME);
  host->Sync();
  std::string text = "left over";
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(ui()->ReadClipboardText(text));
  EXPECT_LT(MsSince(start), 50);
  EXPECT_TRUE(text.empty());
}

TEST_F(X11ClipboardTest, AnOwnerThatNeverAnswersCostsAtMostTheBound) {
  // The host's connection owns the clipboard and never reads its requests.
  xcb_window_t owner = host->Top();
  xcb_set_selection_owner(host->Connection(), owner, clipboard, XCB_CURRENT_TIME);
  host->Sync();
  // Input arriving meanwhile is kept for the editor, not lost.
  host->MovePointer(static_cast<xcb_window_t>(reinterpret_cast<uintptr_t>(ui()->NativeWindow())),
                    40, 40);
  std::string text;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(ui()->ReadClipboardText(text));
  const int64_t waited = MsSince(start);
  EXPECT_GE(waited, 90);
  EXPECT_LT(waited, 300);
  loop.RunFor(30);
  float x = 0.f, y = 0.f;
  ui()->QueryPointerPosition(x, y);
  EXPECT_EQ(x, 40.f);
  xcb_set_selection_owner(host->Connection(), XCB_NONE, clipboard, XCB_CURRENT_TIME);
  host->Sync();
}

TEST_F(X11ClipboardTest, AFilePathIsOfferedAsAUriListAndAsText) {
  const std::string path =
      "/tmp/Corvane takes/\xC3\xBC"
      "ber.wav";
  ASSERT_TRUE(ui()->WriteClipboardFilePath(path.c_str()));
  EXPECT_NE(XclipOut("TARGETS").find("text/uri-list"), std::string::npos);
  EXPECT_EQ(XclipOut("text/uri-list"), "file:///tmp/Corvane%20takes/%C3%BCber.wav\r\n");
  EXPECT_EQ(XclipOut("UTF8_STRING"), path);
}

TEST_F(X11ClipboardTest, TheLastEditorClosingGivesTheClipboardBack) {
  ASSERT_TRUE(ui()->WriteClipboardText("bye"));
  editor->delegate.CloseWindow();
  xcb_connection_t* c = host->Connection();
  auto* reply = xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, clipboard), nullptr);
  ASSERT_NE(reply, nullptr);
  EXPECT_EQ(reply->owner, static_cast<xcb_window_t>(XCB_NONE));
  std::free(reply);
}

}  // namespace

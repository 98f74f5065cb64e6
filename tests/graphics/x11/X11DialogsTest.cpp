#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "HeadlessTestSupport.h"
#include "X11TestSupport.h"
#include "graphics/x11/IGraphicsX11.h"
#include "graphics/x11/X11Dialogs.h"
#include "graphics/x11/X11Fonts.h"

namespace {

using namespace headless_test;
using namespace x11_test;
namespace x11 = iplug::igraphics::x11;
using Clock = std::chrono::steady_clock;

std::string ReadFile(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

long MsSince(Clock::time_point start) {
  return static_cast<long>(
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

TEST(X11DialogCommands, AnswersReadAsTheButtonsAndColoursTheyStandFor) {
  const x11::DialogHelper zenity{x11::DialogTool::Zenity, "/usr/bin/zenity"};
  EXPECT_EQ(x11::MessageBoxAnswer(zenity, EMsgBoxType::YesNo, 0, ""), EMsgBoxResult::Yes);
  EXPECT_EQ(x11::MessageBoxAnswer(zenity, EMsgBoxType::YesNo, 1, ""), EMsgBoxResult::No);
  EXPECT_EQ(x11::MessageBoxAnswer(zenity, EMsgBoxType::YesNoCancel, 1, "Cancel\n"),
            EMsgBoxResult::Cancel);
  EXPECT_EQ(x11::MessageBoxAnswer(zenity, EMsgBoxType::YesNoCancel, 1, ""), EMsgBoxResult::No);
  EXPECT_EQ(x11::MessageBoxAnswer(zenity, EMsgBoxType::OKCancel, 1, ""), EMsgBoxResult::Cancel);
  EXPECT_EQ(x11::MessageBoxAnswer(zenity, EMsgBoxType::AbortRetryIgnore, 1, "Ignore\n"),
            EMsgBoxResult::Ignore);
  const x11::DialogHelper kdialog{x11::DialogTool::KDialog, "/usr/bin/kdialog"};
  EXPECT_EQ(x11::MessageBoxAnswer(kdialog, EMsgBoxType::YesNoCancel, 2, ""), EMsgBoxResult::Cancel);

  IArgb c(7, 1, 2, 3);
  EXPECT_TRUE(x11::ParseColorAnswer("rgb(10,20,30)\n", c));
  EXPECT_EQ(c, IArgb(7, 10, 20, 30));
  EXPECT_TRUE(x11::ParseColorAnswer("rgba(1,2,3,0.5)\n", c));
  EXPECT_EQ(c, IArgb(7, 1, 2, 3));
  EXPECT_TRUE(x11::ParseColorAnswer("#ff8000\n", c));
  EXPECT_EQ(c, IArgb(7, 255, 128, 0));
  EXPECT_FALSE(x11::ParseColorAnswer("", c));

  const auto argv =
      x11::FileDialogCommand(zenity, EFileAction::Save, "take.wav", "/tmp/a", "wav aif");
  EXPECT_EQ(argv, (std::vector<std::string>{"/usr/bin/zenity", "--file-selection", "--save",
                                            "--confirm-overwrite", "--filename=/tmp/a/take.wav",
                                            "--file-filter=*.wav *.aif"}));
  EXPECT_EQ(x11::DirectoryDialogCommand(zenity, "")[3], "--title=Choose a Directory");
  EXPECT_EQ(x11::FolderOf("/tmp/a/take.wav"), "/tmp/a/");
  EXPECT_EQ(x11::FolderOf("take.wav"), "");
}

class X11Services : public ::testing::Test {
 protected:
  void SetUp() override {
    Xvfb& server = SharedXvfb();
    ASSERT_TRUE(server.Running()) << server.Error();
    setenv("DISPLAY", server.Display().c_str(), 1);
    iplug::SetRunLoop(&loop);
    savedPath = std::getenv("PATH") ? std::getenv("PATH") : "";
    bin = std::filesystem::temp_directory_path() /
          ("corvane-x11-bin-" + std::to_string(getpid()) + "-" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(bin);
    std::filesystem::create_directories(bin);
    // Only the programs a test puts there, and the shell the fake ones need.
    setenv("PATH", bin.c_str(), 1);
    delegate.SetEditorSize(200, 100);
    delegate.SetGraphicsFactory([this] { return new IGraphicsX11(delegate, 200, 100, 60); });
  }
  void TearDown() override {
    delegate.CloseWindow();
    setenv("PATH", savedPath.c_str(), 1);
    iplug::SetRunLoop(nullptr);
    std::filesystem::remove_all(bin);
  }
  IGraphicsX11* Open(Host& host) {
    delegate.OpenWindow(host.ParentHandle());
    return static_cast<IGraphicsX11*>(delegate.GetUI());
  }
  /** A fake program in the test's PATH running a shell script. */
  void FakeProgram(const char* name, const std::string& script) {
    const std::string path = (bin / name).string();
    std::ofstream(path) << "#!/bin/sh\n" << script << "\n";
    chmod(path.c_str(), 0755);
  }
  std::string Log() const { return (bin / "log").string(); }

  PollRunLoop loop;
  TestEditorDelegate delegate;
  std::string savedPath;
  std::filesystem::path bin;
};

TEST_F(X11Services, WithoutAHelperProgramEveryDialogAnswersCancelledAtOnce) {
  Host host(200, 100);
  IGraphicsX11* ui = Open(host);
  ASSERT_NE(ui->NativeWindow(), nullptr) << IGraphicsX11::LastError();
  const auto start = Clock::now();
  std::vector<EMsgBoxResult> boxes;
  EXPECT_EQ(ui->ShowMessageBox("Sure?", "Corvane", EMsgBoxType::YesNo,
                               [&](EMsgBoxResult r) { boxes.push_back(r); }),
            EMsgBoxResult::Cancel);
  EXPECT_EQ(boxes, std::vector<EMsgBoxResult>{EMsgBoxResult::Cancel});
  std::string file = "take.wav", folder = "/tmp";
  int files = 0;
  ui->ChooseFile(file, folder, EFileAction::Open, "wav",
                 [&](const std::string& f, const std::string& p) {
                   ++files;
                   EXPECT_EQ(f, "");
                   EXPECT_EQ(p, "/tmp");
                 });
  EXPECT_EQ(files, 1);
  EXPECT_EQ(file, "");
  std::string dir = "/tmp";
  int dirs = 0;
  ui->ChooseDirectory(dir, [&](const std::string&, const std::string& p) {
    ++dirs;
    EXPECT_EQ(p, "");
  });
  EXPECT_EQ(dirs, 1);
  IArgb color(255, 1, 2, 3);
  EXPECT_FALSE(ui->PickColor(color, "Colour", [](const IArgb&) { ADD_FAILURE(); }));
  EXPECT_EQ(color, IArgb(255, 1, 2, 3));
  EXPECT_LT(MsSince(start), 200);
  EXPECT_EQ(ui->RunningDialogs(), 0);
}

TEST_F(X11Services, AHelperAnswersLaterThroughTheCompletionAndNeverWithoutOne) {
  FakeProgram("zenity", "echo \"$@\" >> " + Log() + "\necho /tmp/picked/take.wav");
  Host host(200, 100);
  IGraphicsX11* ui = Open(host);
  ASSERT_NE(ui->NativeWindow(), nullptr) << IGraphicsX11::LastError();

  // Nobody to hear the answer: cancelled at once, and nothing started.
  std::string file = "x.wav", folder = "/tmp";
  ui->ChooseFile(file, folder, EFileAction::Open, "wav");
  EXPECT_EQ(file, "");
  EXPECT_EQ(ui->RunningDialogs(), 0);

  std::vector<std::string> answer;
  file = "take.wav";
  ui->ChooseFile(file, folder, EFileAction::Open, "wav aif",
                 [&](const std::string& f, const std::string& p) {
                   answer = {f, p};
                 });
  EXPECT_TRUE(answer.empty());
  ASSERT_TRUE(loop.RunUntil([&] { return !answer.empty(); }));
  EXPECT_EQ(answer, (std::vector<std::string>{"/tmp/picked/take.wav", "/tmp/picked/"}));
  EXPECT_EQ(ReadFile(Log()),
            "--file-selection --filename=/tmp/take.wav --file-filter=*.wav *.aif\n");
  EXPECT_EQ(ui->RunningDialogs(), 0);
}

TEST_F(X11Services, ClosingTheEditorEndsADialogStillOpenWithoutAnAnswer) {
  FakeProgram("zenity", "exec /bin/sleep 30");
  Host host(200, 100);
  IGraphicsX11* ui = Open(host);
  ASSERT_NE(ui->NativeWindow(), nullptr) << IGraphicsX11::LastError();
  bool answered = false;
  EXPECT_EQ(ui->ShowMessageBox("Sure?", "Corvane", EMsgBoxType::YesNo,
                               [&](EMsgBoxResult) { answered = true; }),
            EMsgBoxResult::NoResult);
  loop.RunFor(50);
  EXPECT_EQ(ui->RunningDialogs(), 1);
  const auto start = Clock::now();
  delegate.CloseWindow();
  EXPECT_LT(MsSince(start), 1000);
  loop.RunFor(50);
  EXPECT_FALSE(answered);
}

TEST_F(X11Services, OpenUrlStartsXdgOpenWithTheUrlAndDoesNotWaitForIt) {
  Host host(200, 100);
  IGraphicsX11* ui = Open(host);
  ASSERT_NE(ui->NativeWindow(), nullptr) << IGraphicsX11::LastError();
  EXPECT_FALSE(ui->OpenURL("https://example.com/a?b=c&d"));
  EXPECT_FALSE(ui->ShowInFileBrowser("/tmp", false));

  FakeProgram("xdg-open", "echo \"$1\" >> " + Log() + "\n/bin/sleep 2");
  const auto start = Clock::now();
  EXPECT_TRUE(ui->OpenURL("https://example.com/a?b=c&d"));
  EXPECT_LT(MsSince(start), 500);
  ASSERT_TRUE(loop.RunUntil([&] { return !ReadFile(Log()).empty(); }));
  EXPECT_EQ(ReadFile(Log()), "https://example.com/a?b=c&d\n");

  // Selecting a file shows the folder holding it.
  EXPECT_TRUE(ui->ShowInFileBrowser("/tmp/picked/take.wav", true));
  ASSERT_TRUE(
      loop.RunUntil([&] { return ReadFile(Log()).find("/tmp/picked/\n") != std::string::npos; }));

  // A confirmation nobody can give (no helper) opens nothing.
  EXPECT_FALSE(ui->OpenURL("https://example.com/other", "Corvane", "Open the manual?"));
  loop.RunFor(100);
  EXPECT_EQ(ReadFile(Log()).find("other"), std::string::npos);
}

TEST_F(X11Services, OpenUrlWithAConfirmationOpensOnlyOnYes) {
  Host host(200, 100);
  IGraphicsX11* ui = Open(host);
  ASSERT_NE(ui->NativeWindow(), nullptr) << IGraphicsX11::LastError();
  FakeProgram("xdg-open", "echo \"$1\" >> " + Log());
  // The helper's question says No (exit 1), then Yes (exit 0).
  FakeProgram("zenity", "echo asked >> " + Log() + "\nexit 1");
  EXPECT_FALSE(ui->OpenURL("https://example.com/no", "Corvane", "Open the manual?"));
  ASSERT_TRUE(loop.RunUntil([&] { return ui->RunningDialogs() == 0 && !ReadFile(Log()).empty(); }));
  loop.RunFor(50);
  EXPECT_EQ(ReadFile(Log()), "asked\n");
  FakeProgram("zenity", "exit 0");
  EXPECT_FALSE(ui->OpenURL("https://example.com/yes", "Corvane", "Open the manual?"));
  ASSERT_TRUE(loop.RunUntil(
      [&] { return ReadFile(Log()).find("https://example.com/yes") != std::string::npos; }));
  EXPECT_EQ(ReadFile(Log()), "asked\nhttps://example.com/yes\n");
}

TEST_F(X11Services, InstalledFamiliesAreFoundThroughFontconfigAndOthersAreNot) {
  setenv("PATH", savedPath.c_str(), 1);
  Host host(200, 100);
  IGraphicsX11* ui = Open(host);
  ASSERT_NE(ui->NativeWindow(), nullptr) << IGraphicsX11::LastError();
  EXPECT_EQ(ui->LoadNativeFont("nope", "Corvane No Such Family", EFontStyle::Normal), nullptr);
  x11::FontFileMatch match;
  if (!x11::FindSystemFont("DejaVu Sans", EFontStyle::Normal, match))
    GTEST_SKIP() << "DejaVu Sans is not installed here";
  auto font = ui->LoadNativeFont("dejavu", "DejaVu Sans", EFontStyle::Normal);
  ASSERT_NE(font, nullptr);
  const IFontBlob blob = font->GetFontBlob();
  EXPECT_GE(blob.FaceIdx(), 0);
  EXPECT_TRUE(ui->LoadBackendFont("dejavu", *font));
  x11::FontFileMatch bold;
  ASSERT_TRUE(x11::FindSystemFont("dejavu sans", EFontStyle::Bold, bold));
  EXPECT_NE(bold.file, match.file);
}

}  // namespace

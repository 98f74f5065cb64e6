#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <optional>
#include <string>

#include "plugin/editor/DisplayScale.h"

namespace fs = std::filesystem;

namespace {

// Saves and restores one environment variable.
class EnvScope {
 public:
  explicit EnvScope(const char* name) : mName(name) {
    if (const char* v = std::getenv(name)) mOld = v;
  }
  ~EnvScope() {
    if (mOld)
      setenv(mName, mOld->c_str(), 1);
    else
      unsetenv(mName);
  }
  void Set(const char* value) {
    if (value)
      setenv(mName, value, 1);
    else
      unsetenv(mName);
  }

 private:
  const char* mName;
  std::optional<std::string> mOld;
};

class DisplayScale : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "corvane-prefs-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    mRoot = pattern;
    mXdg.Set(mRoot.c_str());
  }
  void TearDown() override { fs::remove_all(mRoot); }

  fs::path Folder() const { return fs::path(mRoot) / "Pellumar" / "Preferences"; }
  fs::path File() const { return Folder() / "corvane-display-scale.txt"; }

  void WriteRaw(const std::string& content) {
    fs::create_directories(Folder());
    std::ofstream(File(), std::ios::binary) << content;
  }
  std::string ReadRaw() const {
    std::ifstream in(File(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  int EntriesInFolder() const {
    return static_cast<int>(std::distance(fs::directory_iterator(Folder()), {}));
  }

  std::string mRoot;
  EnvScope mXdg{"XDG_CONFIG_HOME"};
  EnvScope mHome{"HOME"};
};

bool WriteWithoutRoomForData(float value) {
  std::signal(SIGXFSZ, SIG_IGN);
  const rlimit none{0, 0};
  setrlimit(RLIMIT_FSIZE, &none);
  return corvane::WriteDisplayScale("corvane", value);
}

}  // namespace

TEST_F(DisplayScale, PathFollowsTheXdgRulesAndSanitizesTheId) {
  EXPECT_EQ(corvane::DisplayScalePath("corvane"),
            mRoot + "/Pellumar/Preferences/corvane-display-scale.txt");
  EXPECT_EQ(corvane::DisplayScalePath("a/b\\c:d*e?f\"g<h>i|j"),
            mRoot + "/Pellumar/Preferences/a_b_c_d_e_f_g_h_i_j-display-scale.txt");
  EXPECT_EQ(corvane::DisplayScalePath(""), "");

  mXdg.Set((mRoot + "/").c_str());
  EXPECT_EQ(corvane::DisplayScaleFolder(), mRoot + "/Pellumar/Preferences/");

  mHome.Set("/home/someone");
  for (const char* xdg : {static_cast<const char*>(nullptr), "", "relative/config"}) {
    mXdg.Set(xdg);
    EXPECT_EQ(corvane::DisplayScaleFolder(), "/home/someone/.config/Pellumar/Preferences/");
  }
  mXdg.Set(nullptr);
  mHome.Set(nullptr);
  EXPECT_EQ(corvane::DisplayScalePath("corvane"), "");
  float value = 3.0f;
  EXPECT_FALSE(corvane::ReadDisplayScale("corvane", value));
  EXPECT_FALSE(corvane::WriteDisplayScale("corvane", 1.5f));
  EXPECT_EQ(value, 3.0f);
}

TEST_F(DisplayScale, AcceptsOnlyAFirstLineHoldingOnePositiveFiniteNumber) {
  const struct {
    const char* content;
    float stored;  // what the editor opens at
  } cases[] = {
      {"1.5", 1.5f},        {"1.5\n", 1.5f},    {"  1.5  \n", 1.5f}, {"1.5\r\n", 1.5f},
      {"1.5\nabc\n", 1.5f}, {"+1.25\n", 1.25f}, {"9\n", 4.0f},       {"0.1\n", 0.5f},
      {"1.5x\n", 1.0f},     {"\n1.5\n", 1.0f},  {"", 1.0f},          {"abc\n", 1.0f},
      {"0\n", 1.0f},        {"-1\n", 1.0f},     {"inf\n", 1.0f},     {"nan\n", 1.0f},
      {"1e39\n", 1.0f},     {"   \n", 1.0f},    {"1.5 2\n", 1.0f},
  };
  for (const auto& c : cases) {
    WriteRaw(c.content);
    EXPECT_EQ(corvane::StoredDisplayScale(), c.stored) << '"' << c.content << '"';
  }

  float value = 7.0f;
  WriteRaw("1.75\n");
  EXPECT_TRUE(corvane::ReadDisplayScale("corvane", value));
  EXPECT_EQ(value, 1.75f);
  WriteRaw("abc\n");
  EXPECT_FALSE(corvane::ReadDisplayScale("corvane", value));
  EXPECT_EQ(value, 1.75f);
  fs::remove(File());
  EXPECT_FALSE(corvane::ReadDisplayScale("corvane", value));
  EXPECT_EQ(corvane::StoredDisplayScale(), 1.0f);
}

TEST_F(DisplayScale, WriteCreatesTheFoldersAndReplacesTheFileWhole) {
  EXPECT_TRUE(corvane::WriteDisplayScale("corvane", 1.75f));
  EXPECT_EQ(ReadRaw(), "1.7500\n");
  EXPECT_TRUE(corvane::WriteDisplayScale("corvane", 0.5f));
  EXPECT_EQ(ReadRaw(), "0.5000\n");
  EXPECT_EQ(EntriesInFolder(), 1) << "a temporary file was left behind";
  EXPECT_EQ(corvane::StoredDisplayScale(), 0.5f);

  for (float bad : {0.0f, -1.0f, std::numeric_limits<float>::infinity(),
                    std::numeric_limits<float>::quiet_NaN()})
    EXPECT_FALSE(corvane::WriteDisplayScale("corvane", bad));
  EXPECT_EQ(ReadRaw(), "0.5000\n");
}

TEST_F(DisplayScale, FailedWritesKeepTheOldPreferenceAndLeaveNoTemporaryFile) {
  WriteRaw("1.2500\n");

  // The file system refuses the data itself (as a full disk would), in a child process so the
  // limit does not outlive the test; root ignores permissions but not this limit.
  EXPECT_EXIT(std::_Exit(WriteWithoutRoomForData(2.0f) ? 1 : 0), ::testing::ExitedWithCode(0), "");
  EXPECT_EQ(ReadRaw(), "1.2500\n");
  EXPECT_EQ(EntriesInFolder(), 1);

  // The name is taken by a folder, so the rename cannot replace it.
  const fs::path other = Folder() / "blocked-display-scale.txt";
  fs::create_directory(other);
  EXPECT_FALSE(corvane::WriteDisplayScale("blocked", 2.0f));
  EXPECT_EQ(EntriesInFolder(), 2);

  // The configuration folder is a plain file.
  const fs::path plainFile = fs::path(mRoot) / "not-a-folder";
  std::ofstream(plainFile) << "x";
  mXdg.Set(plainFile.c_str());
  EXPECT_FALSE(corvane::WriteDisplayScale("corvane", 2.0f));
}

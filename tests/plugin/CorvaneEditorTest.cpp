#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include "plugin/Corvane.h"
#include "plugin/editor/DisplayScale.h"
#include "tests/graphics/GraphicsTestSupport.h"

using namespace corvane;
using graphics_test::RecordingGraphics;

namespace {

/** The editor side of the curve as the layout attaches it. */
class FakeCurveDisplay : public CurveDisplay {
 public:
  std::mutex& PointsMutex() override { return mutex; }
  std::vector<double>& Points() override { return points; }
  void MarkForRedraw() override { ++redraws; }
  std::mutex mutex;
  std::vector<double> points;
  int redraws = 0;
};

/** A control that records the meter records it receives. */
class MeterProbe : public graphics_test::TestControl {
 public:
  MeterProbe() : TestControl(iplug::igraphics::IBox(0, 0, 10, 10), "meter") {}
  void OnDelegateMessage(int msgTag, int dataSize, const void* data) override {
    ASSERT_EQ(dataSize, static_cast<int>(sizeof(MeterSender::Record)));
    records.push_back(*static_cast<const MeterSender::Record*>(data));
  }
  std::vector<MeterSender::Record> records;
};

/** Corvane with a recording graphics context instead of a window. */
class EditorCorvane : public Corvane {
 public:
  EditorCorvane() {
    SetGraphicsFactory([this] {
      auto* g = new RecordingGraphics(*this, 650, 400, StoredDisplayScale());
      return g;
    });
    SetLayoutFunction([this](iplug::igraphics::IGraphics* g) {
      for (int tag = 1; tag <= 4; ++tag) {
        auto* probe = new MeterProbe;
        g->AddControl(probe, tag);
        probes[tag] = probe;
      }
      SetCurveDisplay(&curve);
      PushCurveToEditor();
    });
  }
  FakeCurveDisplay curve;
  MeterProbe* probes[5] = {};
};

/** Points the preference file at a private folder for the test's lifetime. */
class ScopedConfigHome {
 public:
  ScopedConfigHome() {
    mDir = std::filesystem::temp_directory_path() /
           ("corvane-editor-test-" + std::to_string(::getpid()));
    std::filesystem::create_directories(mDir);
    const char* old = std::getenv("XDG_CONFIG_HOME");
    if (old) mOld = old;
    ::setenv("XDG_CONFIG_HOME", mDir.c_str(), 1);
  }
  ~ScopedConfigHome() {
    if (mOld.empty())
      ::unsetenv("XDG_CONFIG_HOME");
    else
      ::setenv("XDG_CONFIG_HOME", mOld.c_str(), 1);
    std::filesystem::remove_all(mDir);
  }

 private:
  std::filesystem::path mDir;
  std::string mOld;
};

void Change(Corvane& plug, int index, double value) {
  plug.GetParam(index)->SetValue(value);
  plug.OnParamChange(index, iplug::kHost);
}

}  // namespace

TEST(CorvaneEditor, CurveFollowsParametersOnlyWhileTheEditorIsOpen) {
  ScopedConfigHome config;
  EditorCorvane plug;
  Change(plug, kThreshold, -20.0);
  EXPECT_TRUE(plug.curve.points.empty());  // no editor: coefficients only

  ASSERT_NE(plug.OpenWindow(reinterpret_cast<void*>(1)), nullptr);
  ASSERT_EQ(plug.curve.points.size(), static_cast<size_t>(kCurvePoints));
  const int redraws = plug.curve.redraws;
  Change(plug, kGain, 60.0);
  EXPECT_GT(plug.curve.redraws, redraws);
  EXPECT_DOUBLE_EQ(plug.curve.points.front(), 0.0015);  // driven hard: flat at both ends
  EXPECT_DOUBLE_EQ(plug.curve.points.back(), 0.999);

  const int before = plug.curve.redraws;
  plug.GetParam(kOversampling)->SetValue(1.0);
  plug.OnParamChange(kOversampling, iplug::kHost);
  EXPECT_EQ(plug.curve.redraws, before);  // oversampling does not shape the curve

  plug.CloseWindow();
  Change(plug, kGain, 0.0);
  EXPECT_EQ(plug.curve.redraws, before);
}

TEST(CorvaneEditor, MeterRecordsReachTheControlsByTagOnTheIdleTick) {
  ScopedConfigHome config;
  EditorCorvane plug;
  plug.SetSampleRate(44100.0);
  plug.ResizeChannelBuffers(64);
  plug.ResetProcessing();
  plug.OpenWindow(reinterpret_cast<void*>(1));

  std::vector<double> left(64, 0.5), right(64, 0.25), out0(64), out1(64);
  double* ins[2] = {left.data(), right.data()};
  double* outs[2] = {out0.data(), out1.data()};
  plug.SetChannelsConnected(iplug::kOutput, 0, 2, true);
  for (int i = 0; i < 3; ++i) plug.ProcessAudio(ins, outs, 64);
  plug.OnIdleTimer();
  for (int tag = 1; tag <= 4; ++tag) {
    ASSERT_EQ(plug.probes[tag]->records.size(), 3u) << tag;
    EXPECT_EQ(plug.probes[tag]->records.back().ctrlTag, tag);
  }
  EXPECT_GT(plug.probes[1]->records.back().vals[0], plug.probes[2]->records.back().vals[0]);

  // More than 64 blocks while the editor is closed: the newest records are dropped, and the
  // meters resume with current values when the editor opens again.
  plug.CloseWindow();
  for (int i = 0; i < 100; ++i) plug.ProcessAudio(ins, outs, 64);
  plug.OnIdleTimer();  // drained into no control
  plug.OpenWindow(reinterpret_cast<void*>(1));
  plug.ProcessAudio(ins, outs, 64);
  plug.OnIdleTimer();
  EXPECT_EQ(plug.probes[3]->records.size(), 1u);
}

TEST(CorvaneEditor, DisplayScaleIsStoredOnCloseAndRestoredOnOpen) {
  ScopedConfigHome config;
  EditorCorvane plug;
  plug.OpenWindow(reinterpret_cast<void*>(1));
  auto* ui = static_cast<RecordingGraphics*>(plug.GetUI());
  EXPECT_FLOAT_EQ(ui->GetDrawScale(), 1.0f);
  ui->Resize(650, 400, 1.5f, true);
  plug.CloseWindow();
  EXPECT_FLOAT_EQ(StoredDisplayScale(), 1.5f);

  // A second instance opening later starts at the stored scale.
  EditorCorvane other;
  other.OpenWindow(reinterpret_cast<void*>(1));
  EXPECT_FLOAT_EQ(other.GetUI()->GetDrawScale(), 1.5f);
  other.CloseWindow();

  // A stored scale that differs from the context's is applied as a finished corner drag.
  ASSERT_TRUE(WriteDisplayScale("corvane", 2.0f));
  plug.OpenWindow(reinterpret_cast<void*>(1));
  EXPECT_FLOAT_EQ(plug.GetUI()->GetDrawScale(), 2.0f);
  EXPECT_FALSE(plug.GetUI()->GetResizingInProcess());
}

// Host automation may arrive on another thread while the editor closes: the curve display must
// never be touched after it has been let go.
TEST(CorvaneEditor, ParameterChangesOnAnotherThreadRaceEditorClosing) {
  ScopedConfigHome config;
  EditorCorvane plug;
  std::atomic<bool> stop{false};
  std::thread host([&] {
    double v = 0;
    while (!stop) Change(plug, kThreshold, -(v = v > 50 ? 0 : v + 1));
  });
  for (int i = 0; i < 200; ++i) {
    plug.OpenWindow(reinterpret_cast<void*>(1));
    plug.CloseWindow();
  }
  stop = true;
  host.join();
  SUCCEED();
}

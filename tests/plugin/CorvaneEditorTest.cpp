#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <typeinfo>
#include <vector>

#include "aax/interfaces/AAX_OffscreenView.h"
#include "plugin/Corvane.h"
#include "plugin/editor/CorvaneEditor.h"
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

namespace {

/** A host's memory view that keeps the frames presented to it. */
struct MemoryView {
  MemoryView() {
    view.structSize = sizeof(AAX_OffscreenView);
    view.hostContext = this;
    view.screenScale = 1.f;
    view.PresentFrame = [](void* context, const uint8_t* pixels, int32_t w, int32_t h,
                           int32_t stride) {
      auto& self = *static_cast<MemoryView*>(context);
      self.width = w;
      self.height = h;
      self.pixels.clear();
      for (int32_t y = 0; y < h; ++y)
        self.pixels.insert(self.pixels.end(), pixels + y * stride, pixels + y * stride + 4 * w);
    };
  }
  AAX_OffscreenView view{};
  std::vector<uint8_t> pixels;
  int32_t width = 0, height = 0;
};

/** Corvane as a host opens it, with its own factory and layout, in a memory view. */
void OpenInMemory(Corvane& plug, MemoryView& memory) {
  plug.SetEditorParent(AAX_eViewContainer_Type_Offscreen, &memory.view);
  ASSERT_NE(plug.OpenWindow(&memory.view), nullptr);
}

std::string ControlList(const iplug::igraphics::IGraphics& g) {
  std::string list;
  for (int i = 0; i < g.NControls(); ++i) {
    const auto* c = g.GetControl(i);
    const auto& r = c->GetRECT();
    list += std::string(typeid(*c).name()) + " " + std::to_string(c->GetParamIdx()) + " " +
            std::to_string(c->GetTag()) + " " + std::to_string(r.L) + "," + std::to_string(r.T) +
            "," + std::to_string(r.R) + "," + std::to_string(r.B) + "\n";
  }
  return list;
}

}  // namespace

// Closing lets every control go; the next open builds the same editor from scratch, and it
// looks the same.
TEST(CorvaneEditor, OpeningTwiceBuildsTheSameControlsAndPicture) {
  ScopedConfigHome config;
  Corvane plug;
  MemoryView memory;
  OpenInMemory(plug, memory);
  const std::string first = ControlList(*plug.GetUI());
  memory.view.Tick(memory.view.editorContext);
  const std::vector<uint8_t> picture = memory.pixels;
  plug.CloseWindow();
  EXPECT_EQ(plug.GetUI(), nullptr);
  EXPECT_EQ(memory.view.editorContext, nullptr);

  OpenInMemory(plug, memory);
  EXPECT_EQ(ControlList(*plug.GetUI()), first);
  memory.view.Tick(memory.view.editorContext);
  EXPECT_EQ(memory.width, corvane::kEditorWidth);
  EXPECT_EQ(memory.height, corvane::kEditorHeight);
  EXPECT_TRUE(memory.pixels == picture);
  plug.CloseWindow();
}

// A picture-taking host chooses the zoom: the user's preference neither sets it nor follows it.
TEST(CorvaneEditor, AHostZoomLeavesTheStoredPreferenceAlone) {
  ScopedConfigHome config;
  ASSERT_TRUE(WriteDisplayScale("corvane", 1.75f));
  Corvane plug;
  MemoryView memory;
  memory.view.drawScale = 1.5f;
  OpenInMemory(plug, memory);
  EXPECT_FLOAT_EQ(plug.GetUI()->GetDrawScale(), 1.5f);
  plug.CloseWindow();
  EXPECT_FLOAT_EQ(StoredDisplayScale(), 1.75f);

  // Without a zoom of the host's the preference holds, and closing writes it back.
  memory.view.drawScale = 0.f;
  OpenInMemory(plug, memory);
  EXPECT_FLOAT_EQ(plug.GetUI()->GetDrawScale(), 1.75f);
  memory.view.Tick(memory.view.editorContext);
  EXPECT_EQ(memory.width, 1137);  // 650 × 1.75, whole pixels
  plug.CloseWindow();
  EXPECT_FLOAT_EQ(StoredDisplayScale(), 1.75f);
}

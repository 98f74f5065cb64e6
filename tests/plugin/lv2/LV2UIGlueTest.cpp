// The UI side of the LV2 binding on a product of the test's own, drawn headless: port events
// into the editor, the editor's edits out to the host, its size, and the run loop the host's
// idle calls pump.

#include <gtest/gtest.h>
#include <lv2/ui/ui.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "aax/interfaces/AAX_Types.h"
#include "framework/ISender.h"
#include "framework/lv2/IPlugLV2UI.h"
#include "framework/lv2/IPlugLV2UI_RunLoop.h"
#include "graphics/IControl.h"
#include "graphics/headless/IGraphicsHeadless.h"

namespace {

using iplug::IPlugLV2UI;
using iplug::igraphics::IControl;
using iplug::igraphics::IGraphics;
using iplug::igraphics::IGraphicsHeadless;

constexpr const char* kStereo = "urn:corvane-test:probe#stereo";
constexpr const char* kMono = "urn:corvane-test:probe#mono";
enum { kGain = 0, kMix, kSwitch, kNumProbeParams };
constexpr int kLevelTags[2] = {7, 8};

iplug::PluginConfig ProbeConfig() {
  iplug::PluginConfig config;
  config.nParams = kNumProbeParams;
  config.nPresets = 1;
  config.channelIOStr = "1-1 2-2";
  config.pluginName = "Probe";
  config.productName = "Probe";
  config.mfrName = "Test";
  config.plugHasUI = true;
  config.plugWidth = 120;
  config.plugHeight = 80;
  config.SetWidthBounds(60, 480);
  config.SetHeightBounds(40, 320);
  return config;
}

class ProbePlug : public iplug::IPlugLV2 {
 public:
  ProbePlug() : IPlugLV2(ProbeConfig()) {
    GetParam(kGain)->DefineDouble("Gain", 0.0, 0.0, 60.0, 0.1, "dB");
    GetParam(kMix)->DefineDouble("Mix", 50.0, 0.0, 100.0, 0.1, "%");
    GetParam(kSwitch)->DefineBool("Switch", false);
  }
  using IEditorDelegate::OnParamChange;
  void OnParamChange(int paramIdx) override { changes.push_back(paramIdx); }

  std::vector<int> changes;
};

class KnobProbe : public IControl {
 public:
  explicit KnobProbe(int paramIdx) : IControl(iplug::igraphics::IBox(0, 0, 20, 20), paramIdx) {}
  void Draw(IGraphics&) override {}
};

class LevelProbe : public IControl {
 public:
  LevelProbe() : IControl(iplug::igraphics::IBox(20, 0, 40, 20)) {}
  void Draw(IGraphics&) override {}
  void OnDelegateMessage(int msgTag, int dataSize, const void* data) override {
    ASSERT_EQ(msgTag, 0);
    ASSERT_EQ(dataSize, static_cast<int>(sizeof(iplug::SenderRecord)));
    std::memcpy(&last, data, sizeof last);
    ++messages;
  }
  iplug::SenderRecord last;
  int messages = 0;
};

/** What the product's UI factory made last, and what it was asked for. */
struct Made {
  ProbePlug* plug = nullptr;
  IGraphicsHeadless* graphics = nullptr;
  int32_t parentKind = 0;
  void* parent = nullptr;
  bool refuse = false;
  float screenScale = 1.f;
};
Made gMade;

const iplug::resources::ResourceTable kNoResources{nullptr, 0};

/** The host's end: the write function, ui:resize and ui:touch, each recorded. */
struct Host {
  struct Write {
    uint32_t port;
    float value;
  };
  struct Touch {
    uint32_t port;
    bool grabbed;
  };
  std::vector<Write> writes;
  std::vector<std::pair<int, int>> resizes;
  std::vector<Touch> touches;
  int resizeAnswer = 0;

  LV2UI_Resize resize{this, [](LV2UI_Feature_Handle h, int w, int ht) {
                        auto* host = static_cast<Host*>(h);
                        host->resizes.emplace_back(w, ht);
                        return host->resizeAnswer;
                      }};
  LV2UI_Touch touch{this, [](LV2UI_Feature_Handle h, uint32_t port, bool grabbed) {
                      static_cast<Host*>(h)->touches.push_back({port, grabbed});
                    }};
  LV2_Feature parentFeature{LV2_UI__parent, reinterpret_cast<void*>(uintptr_t{0x2a00005})};
  LV2_Feature resizeFeature{LV2_UI__resize, &resize};
  LV2_Feature touchFeature{LV2_UI__touch, &touch};

  static void WriteFunction(LV2UI_Controller controller, uint32_t port, uint32_t size,
                            uint32_t protocol, const void* buffer) {
    ASSERT_EQ(size, sizeof(float));
    ASSERT_EQ(protocol, 0u);
    float value;
    std::memcpy(&value, buffer, sizeof value);
    static_cast<Host*>(controller)->writes.push_back({port, value});
  }

  std::unique_ptr<IPlugLV2UI> Open(const char* uri, std::vector<const LV2_Feature*> features) {
    features.push_back(nullptr);
    return IPlugLV2UI::Create(uri, WriteFunction, this, features.data());
  }
  std::unique_ptr<IPlugLV2UI> Open(const char* uri = kStereo) {
    return Open(uri, {&parentFeature, &resizeFeature, &touchFeature});
  }
};

void Event(IPlugLV2UI& ui, uint32_t port, float value) {
  ui.PortEvent(port, sizeof value, 0, &value);
}

KnobProbe* Knob(int paramIdx) {
  KnobProbe* found = nullptr;
  gMade.graphics->EachControl([&](IControl& control) {
    if (control.GetParamIdx(0) == paramIdx) found = static_cast<KnobProbe*>(&control);
  });
  return found;
}

LevelProbe* Level(int tag) {
  return static_cast<LevelProbe*>(gMade.graphics->GetControlWithTag(tag));
}

}  // namespace

namespace iplug {

IPlugLV2* MakePlugLV2() {
  return new ProbePlug;
}

const LV2Description& LV2DescriptionOfPlug() {
  static const LV2Description description = [] {
    LV2Description d;
    d.project = "urn:corvane-test:probe";
    d.variants = {{kStereo, "Probe", 2}, {kMono, "Probe Mono", 1}};
    d.paramSymbols = {"gain", "mix", "switch"};
    d.monitors = {{"level_a", "Level A", kLevelTags[0]}, {"level_b", "Level B", kLevelTags[1]}};
    d.uiUri = "urn:corvane-test:probe#ui";
    d.uiBinary = "probe_ui.so";
    return d;
  }();
  return description;
}

IPlugLV2* MakePlugLV2UI() {
  if (gMade.refuse) return nullptr;
  auto* plug = new ProbePlug;
  gMade.plug = plug;
  plug->SetGraphicsFactory([plug]() -> igraphics::IGraphics* {
    gMade.parentKind = plug->EditorParentKind();
    gMade.parent = plug->EditorParent();
    gMade.graphics = new IGraphicsHeadless(*plug, 120, 80, 60, 1.f, kNoResources);
    gMade.graphics->SetScreenScaleOnOpen(gMade.screenScale);
    return gMade.graphics;
  });
  plug->SetLayoutFunction([](igraphics::IGraphics* g) {
    for (int p = 0; p < kNumProbeParams; ++p) g->AddControl(new KnobProbe(p));
    for (const int tag : kLevelTags) g->AddControl(new LevelProbe, tag);
  });
  return plug;
}

}  // namespace iplug

class LV2UIGlue : public ::testing::Test {
 protected:
  void SetUp() override { gMade = Made(); }
  void TearDown() override { gMade = Made(); }
  Host host;
};

TEST_F(LV2UIGlue, OpensTheEditorInTheHostsWindowAndTellsTheHostItsSize) {
  std::unique_ptr<IPlugLV2UI> ui = host.Open();
  ASSERT_TRUE(ui);
  EXPECT_EQ(gMade.parentKind, AAX_eViewContainer_Type_X11Window);
  EXPECT_EQ(gMade.parent, host.parentFeature.data);
  EXPECT_EQ(ui->Widget(), gMade.graphics->NativeWindow());
  ASSERT_FALSE(host.resizes.empty());
  EXPECT_EQ(host.resizes.back(), std::make_pair(120, 80));
  // The ports: audio 2 + 2, three parameters, three extra ports, two monitors.
  EXPECT_EQ(ui->Layout().Count(), 12u);
  EXPECT_EQ(ui->Layout().ParamPort(kGain), 4u);
  EXPECT_EQ(ui->Layout().MonitorPort(0), 10u);
  EXPECT_EQ(ui->Idle(), 0);
}

TEST_F(LV2UIGlue, TheSizeIsInWindowPixelsOnADenseScreen) {
  gMade.screenScale = 2.f;
  std::unique_ptr<IPlugLV2UI> ui = host.Open();
  ASSERT_TRUE(ui);
  EXPECT_EQ(host.resizes.back(), std::make_pair(240, 160));
}

TEST_F(LV2UIGlue, RefusesWithoutAParentAForeignPluginOrAnEditor) {
  EXPECT_FALSE(host.Open(kStereo, {&host.resizeFeature}));
  EXPECT_FALSE(host.Open("urn:corvane-test:other", {&host.parentFeature}));
  LV2_Feature zero{LV2_UI__parent, nullptr};
  EXPECT_FALSE(host.Open(kStereo, {&zero}));
  gMade.refuse = true;
  EXPECT_FALSE(host.Open());
  // Every refusal gave the run loop back.
  EXPECT_EQ(iplug::GetRunLoop(), nullptr);
}

TEST_F(LV2UIGlue, WorksWithoutResizeAndTouch) {
  std::unique_ptr<IPlugLV2UI> ui = host.Open(kMono, {&host.parentFeature});
  ASSERT_TRUE(ui);
  ProbePlug& plug = *gMade.plug;
  plug.BeginEditFromEditor(kMix);
  plug.SetParamFromEditor(kMix, 0.25);
  plug.EndEditFromEditor(kMix);
  ASSERT_EQ(host.writes.size(), 1u);
  EXPECT_EQ(host.writes[0].port, 2u + kMix);  // mono: one audio port each way
  EXPECT_FLOAT_EQ(host.writes[0].value, 25.f);
  EXPECT_TRUE(host.resizes.empty());
  EXPECT_TRUE(host.touches.empty());
}

TEST_F(LV2UIGlue, ParameterPortsMoveTheirControlsAsHostChanges) {
  std::unique_ptr<IPlugLV2UI> ui = host.Open();
  ASSERT_TRUE(ui);
  ProbePlug& plug = *gMade.plug;
  plug.changes.clear();
  const uint32_t gainPort = ui->Layout().ParamPort(kGain);

  Event(*ui, gainPort, 30.f);
  EXPECT_DOUBLE_EQ(plug.GetParam(kGain)->Value(), 30.0);
  EXPECT_DOUBLE_EQ(Knob(kGain)->GetValue(), 0.5);
  EXPECT_EQ(plug.changes, std::vector<int>({kGain}));
  // The host reports what the port holds: the same value again is no change.
  Event(*ui, gainPort, 30.f);
  EXPECT_EQ(plug.changes.size(), 1u);
  // A float on a decimal grid lands on the decimal, as the plug-in's own port reading does.
  Event(*ui, gainPort, 12.3f);
  EXPECT_EQ(plug.GetParam(kGain)->Value(), 12.3);
  // Out of range is clamped, not a value at all is ignored.
  Event(*ui, gainPort, 1000.f);
  EXPECT_DOUBLE_EQ(plug.GetParam(kGain)->Value(), 60.0);
  Event(*ui, gainPort, std::nanf(""));
  Event(*ui, gainPort, INFINITY);
  EXPECT_DOUBLE_EQ(plug.GetParam(kGain)->Value(), 60.0);
  Event(*ui, ui->Layout().ParamPort(kSwitch), 1.f);
  EXPECT_DOUBLE_EQ(Knob(kSwitch)->GetValue(), 1.0);

  // Other formats, sizes and ports (audio, the extra ports, past the end) change nothing.
  const double before = plug.GetParam(kMix)->Value();
  const double bigger = 10.0;
  ui->PortEvent(ui->Layout().ParamPort(kMix), sizeof bigger, 0, &bigger);
  const float value = 90.f;
  ui->PortEvent(ui->Layout().ParamPort(kMix), sizeof value, 17, &value);
  ui->PortEvent(ui->Layout().ParamPort(kMix), sizeof value, 0, nullptr);
  for (const uint32_t port : {0u, 3u, ui->Layout().FirstExtra(), ui->Layout().Count(), 999u})
    Event(*ui, port, 90.f);
  EXPECT_EQ(plug.GetParam(kMix)->Value(), before);
  EXPECT_EQ(Level(kLevelTags[0])->messages + Level(kLevelTags[1])->messages, 0);
  EXPECT_TRUE(host.writes.empty());  // the host's own values never go back to it
}

TEST_F(LV2UIGlue, MonitorPortsBecomeSenderRecordsForTheirControls) {
  std::unique_ptr<IPlugLV2UI> ui = host.Open();
  ASSERT_TRUE(ui);
  Event(*ui, ui->Layout().MonitorPort(1), 0.75f);
  LevelProbe* b = Level(kLevelTags[1]);
  ASSERT_EQ(b->messages, 1);
  EXPECT_EQ(b->last.ctrlTag, kLevelTags[1]);
  EXPECT_EQ(b->last.nChans, 1);
  EXPECT_EQ(b->last.chanOffset, 0);
  EXPECT_EQ(b->last.vals[0], 0.75f);
  EXPECT_EQ(Level(kLevelTags[0])->messages, 0);
  Event(*ui, ui->Layout().MonitorPort(0), std::nanf(""));
  EXPECT_EQ(Level(kLevelTags[0])->last.vals[0], 0.f);  // no level is silence
}

TEST_F(LV2UIGlue, EditsGoToTheHostFramedByTouchAndItsLaggingReportsAreNotTaken) {
  std::unique_ptr<IPlugLV2UI> ui = host.Open();
  ASSERT_TRUE(ui);
  ProbePlug& plug = *gMade.plug;
  const uint32_t gainPort = ui->Layout().ParamPort(kGain);

  plug.BeginEditFromEditor(kGain);
  plug.SetParamFromEditor(kGain, 0.5);
  plug.SetParamFromEditor(kGain, 0.6);
  // The host reports the first value back while the user has moved on: not taken.
  Event(*ui, gainPort, 30.f);
  EXPECT_DOUBLE_EQ(plug.GetParam(kGain)->Value(), 36.0);
  plug.EndEditFromEditor(kGain);

  ASSERT_EQ(host.writes.size(), 2u);
  EXPECT_EQ(host.writes[0].port, gainPort);
  EXPECT_FLOAT_EQ(host.writes[0].value, 30.f);  // in the parameter's units, as the port's
  EXPECT_FLOAT_EQ(host.writes[1].value, 36.f);
  ASSERT_EQ(host.touches.size(), 2u);
  EXPECT_EQ(host.touches[0].port, gainPort);
  EXPECT_TRUE(host.touches[0].grabbed);
  EXPECT_FALSE(host.touches[1].grabbed);

  // After the gesture the host's values are the host's again (automation playing back).
  Event(*ui, gainPort, 6.f);
  EXPECT_DOUBLE_EQ(plug.GetParam(kGain)->Value(), 6.0);
  EXPECT_EQ(host.writes.size(), 2u);
}

TEST_F(LV2UIGlue, TheEditorsResizeGoesToTheHost) {
  std::unique_ptr<IPlugLV2UI> ui = host.Open();
  ASSERT_TRUE(ui);
  host.resizes.clear();
  gMade.graphics->Resize(120, 80, 2.f, true);
  ASSERT_FALSE(host.resizes.empty());
  EXPECT_EQ(host.resizes.back(), std::make_pair(240, 160));
  EXPECT_EQ(gMade.graphics->NativeResizes().back(), true);
  host.resizeAnswer = 1;  // a host that would not
  gMade.graphics->Resize(120, 80, 1.f, true);
  EXPECT_EQ(gMade.graphics->NativeResizes().back(), false);
}

// Two UIs (of both variants) in one process share the run loop, and each talks to its own host.
TEST_F(LV2UIGlue, SeveralUIsShareTheRunLoopAndEachWritesToItsOwnHost) {
  Host otherHost;
  std::unique_ptr<IPlugLV2UI> first = host.Open(kStereo);
  ASSERT_TRUE(first);
  ProbePlug* firstPlug = gMade.plug;
  iplug::IRunLoop* shared = iplug::GetRunLoop();
  ASSERT_NE(shared, nullptr);
  std::unique_ptr<IPlugLV2UI> second = otherHost.Open(kMono);
  ASSERT_TRUE(second);
  EXPECT_EQ(iplug::GetRunLoop(), shared);

  // A timer of the editor's fires from either UI's idle call.
  int ticks = 0;
  const iplug::IRunLoop::Id timer = shared->AddTimer(1, [&](iplug::IRunLoop::Id) { ++ticks; });
  for (int i = 0; i < 100 && ticks == 0; ++i) {
    second->Idle();
    usleep(2000);
  }
  EXPECT_GT(ticks, 0);
  shared->RemoveTimer(timer);

  firstPlug->SetParamFromEditor(kGain, 1.0);
  gMade.plug->SetParamFromEditor(kGain, 1.0);
  ASSERT_EQ(host.writes.size(), 1u);
  ASSERT_EQ(otherHost.writes.size(), 1u);
  EXPECT_EQ(host.writes[0].port, 4u);
  EXPECT_EQ(otherHost.writes[0].port, 2u);

  first.reset();
  EXPECT_EQ(iplug::GetRunLoop(), shared);
  EXPECT_EQ(second->Idle(), 0);
  second.reset();
  EXPECT_EQ(iplug::GetRunLoop(), nullptr);
}

#include "plugin/Corvane.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <vector>

#include "framework/IPlugUtilities.h"
#include "graphics/IGraphics.h"
#include "plugin/CorvanePresets.h"
#include "plugin/editor/DisplayScale.h"
#if !defined(CORVANE_LV2)
#include "plugin/editor/CorvaneEditor.h"
#endif

namespace corvane {

using namespace iplug;

PluginConfig MakeCorvaneConfig() {
  PluginConfig config;
  config.nParams = kNumParams;
  config.nPresets = static_cast<int32_t>(FactoryPresets().size());
  config.channelIOStr = "1-1 2-2";
  config.pluginName = "Corvane";
  config.productName = "Corvane";
  config.mfrName = "Pellumar";
  config.vendorVersion = 0x00040100;
  config.uniqueID = FourCC("jr00");
  config.mfrID = FourCC("Plmr");
  config.latency = 0;
  config.plugType = 0;
  config.plugHasUI = true;
  config.plugWidth = 650;
  config.plugHeight = 400;
  config.SetWidthBounds(216, 1950);
  config.SetHeightBounds(133, 1200);
  return config;
}

Corvane::Corvane() : Binding(MakeCorvaneConfig()) {
  DefineParameters();
  MakeFactoryPresets();
  mEngine.InitOversampling(GetParam(kOversampling)->Value() >= 0.5);
  mCurvePoints.assign(kCurvePoints, 0.0);
  DeriveCoefficients();
  InstallEditor();
}

void Corvane::InstallEditor() {
#if !defined(CORVANE_LV2)
  SetGraphicsFactory([this]() -> igraphics::IGraphics* {
    const EditorPlatform platform =
        MakeCorvaneGraphics(*this, EditorParentKind(), EditorParent(), StoredDisplayScale());
    mHostZoom = platform.hostZoom ? platform.drawScale : 0.f;
    return platform.graphics;
  });
  SetLayoutFunction([this](igraphics::IGraphics* g) {
    LayoutCorvaneEditor(
        *g,
        [this](igraphics::ITransferCurveControl* curve) {
          // The points buffer was sized with the plug-in: a host thread may be filling it right
          // now, under the display's lock, for a change of its own.
          SetCurveDisplay(curve);
          PushCurveToEditor();
        },
        EditorPresetsOf(*this));
  });
#endif
}

Corvane::~Corvane() {
  StopIdleTimer();
}

void Corvane::DefineParameters() {
  GetParam(kThreshold)->DefineDouble("Threshold", 0.0, -60.0, 0.0, 0.1, "dB");
  GetParam(kThresholdAsym)->DefineDouble("T Assym", 0.0, -30.0, 30.0, 0.1, "dB");
  GetParam(kNonlinearity)->DefineDouble("Nonlinearity", 1.0, 1.0, 1.13, 0.0001, "");
  GetParam(kNonlinearityAsym)->DefineDouble("N Assym", 0.0, -0.06, 0.06, 0.0001, "Offset");
  GetParam(kKnee)->DefineDouble("Knee", 0.1, 0.1, 9.0, 0.1, "dB");
  GetParam(kKneeAsym)->DefineDouble("K Assym", 0.0, -9.0, 9.0, 0.1, "dB");
  GetParam(kModA)->DefineDouble("Mod A", 0.0, 0.0, 100.0, 0.1, "%");
  GetParam(kModB)->DefineDouble("Mod B", 0.0, 0.0, 100.0, 0.1, "%");
  GetParam(kGain)->DefineDouble("Gain", 0.0, 0.0, 60.0, 0.1, "dB");
  GetParam(kMix)->DefineDouble("Mix", 50.0, 0.0, 100.0, 0.1, "%");
  GetParam(kOutputLevel)->DefineDouble("Output", 0.0, -60.0, 0.0, 0.1, "dB");
  GetParam(kOversampling)
      ->DefineBool("Oversampling", false, "", kFlagCannotAutomate, "", "off", "on");
}

void Corvane::MakeFactoryPresets() {
  int index = 0;
  for (const FactoryPreset& preset : FactoryPresets()) {
    // Oversampling is the last parameter: a preset that leaves it alone holds one value fewer,
    // and restoring it keeps the switch as it is.
    std::vector<double> values(std::begin(preset.values), std::end(preset.values));
    if (preset.oversampling) values.push_back(*preset.oversampling ? 1.0 : 0.0);
    MakeFactoryPreset(index++, preset.name, preset.description, values);
  }
}

CurveParams Corvane::CurrentCurveParams() const {
  CurveParams p;
  p.threshold = GetParam(kThreshold)->Value();
  p.thresholdAsym = GetParam(kThresholdAsym)->Value();
  p.nonlinearity = GetParam(kNonlinearity)->Value();
  p.nonlinearityAsym = GetParam(kNonlinearityAsym)->Value();
  p.knee = GetParam(kKnee)->Value();
  p.kneeAsym = GetParam(kKneeAsym)->Value();
  p.modA = GetParam(kModA)->Value();
  p.modB = GetParam(kModB)->Value();
  p.gain = GetParam(kGain)->Value();
  p.mix = GetParam(kMix)->Value();
  p.output = GetParam(kOutputLevel)->Value();
  return p;
}

void Corvane::DeriveCoefficients() {
  // Read under the engine's writer lock: two threads changing parameters at once must not
  // leave the older reading in force.
  mEngine.UpdateCurve([this] { return CurrentCurveParams(); });
}

void Corvane::PushCurveToEditor() {
  // Without an editor nothing is locked: a binding may deliver parameter changes on the audio
  // thread.
  if (!mHasCurveDisplay.load(std::memory_order_acquire)) return;
  std::lock_guard<std::mutex> displayLock(mCurveDisplayMutex);
  if (!mCurveDisplay) return;
  // mCurvePoints is only ever touched under this lock.
  ComputeCurvePoints(mEngine.LatestCurve(), mCurvePoints.data());
  std::lock_guard<std::mutex> pointsLock(mCurveDisplay->PointsMutex());
  mCurveDisplay->Points().assign(mCurvePoints.begin(), mCurvePoints.end());
  mCurveDisplay->MarkForRedraw();
}

void Corvane::SetCurveDisplay(CurveDisplay* display) {
  std::lock_guard<std::mutex> lock(mCurveDisplayMutex);
  mCurveDisplay = display;
  mHasCurveDisplay.store(display != nullptr, std::memory_order_release);
}

void Corvane::ProcessAudio(double** inputs, double** outputs, int frames) {
  mEngine.ProcessAudio(inputs, outputs, frames, NChannels(kInput), ConnectedChannelCount(kOutput));
}

void Corvane::ProcessWhileBypassed(double** inputs, int frames) {
  mEngine.ProcessWhileBypassed(inputs, frames, NChannels(kInput), ConnectedChannelCount(kOutput));
}

void Corvane::ResetProcessing() {
  // Where the host runs deferred work, an oversampler nobody plays through is not built (it is
  // most of an instance's memory) until a switch asks for it.
  if (CanDeferWork())
    mEngine.SetBuildRequester(
        [](void* plug) noexcept { return static_cast<Corvane*>(plug)->RequestDeferredWork(); },
        this);
  else
    mEngine.SetBuildRequester(nullptr, nullptr);
  // A mono bus resamples one channel, not a silent second beside it.
  const int latency = mEngine.ResetProcessing(
      GetSampleRate(), GetBlockSize(), GetRenderingOffline(), GetBlockCapacity(),
      std::max(ChannelsInUse(kInput), ChannelsInUse(kOutput)));
  ReportLatencyIfChanged(latency);
}

void Corvane::OnRenderingOfflineChanged() {
  mEngine.SetRenderingOffline(GetRenderingOffline());
}

void Corvane::ReportLatencyIfChanged(int latency) {
  if (latency == ReportedLatency()) return;
  ChangeLatency(latency);
  mReportedLatency.store(latency, std::memory_order_release);
}

void Corvane::OnParamChange(int paramIdx) {
  if (paramIdx == kOversampling) {
    // The engine follows the parameter itself, whoever changed it: a request that only
    // travelled through the editor's queue could be dropped when the queue is full.
    RequestOversamplingFromParameter();
    return;
  }
  DeriveCoefficients();
  PushCurveToEditor();
}

void Corvane::OnParamChange(int paramIdx, EParamSource source, int sampleOffset) {
  if (sampleOffset < 0) {
    IEditorDelegate::OnParamChange(paramIdx, source, sampleOffset);
    return;
  }
  if (paramIdx == kOversampling) {
    RequestOversamplingFromParameter();
    return;
  }
  DeriveCoefficients();
  mCurveStale.store(true, std::memory_order_release);
}

int Corvane::ExpectedLatency() const {
  return mEngine.TargetLatency();
}

void Corvane::OnEditorParamChange(int paramIdx, EParamSource /*source*/) {
  if (paramIdx == kOversampling) RequestOversamplingFromParameter();
}

void Corvane::RequestOversamplingFromParameter() {
  mEngine.RequestOversampling(GetParam(kOversampling)->Value() >= 0.5);
}

void Corvane::SettleAfterReset() noexcept {
  mEngine.SettleAfterReset();
}

void Corvane::ReportPendingLatency() {
  int latency = 0;
  if (!mEngine.TakePendingLatency(latency)) return;
  try {
    ReportLatencyIfChanged(latency);
  } catch (...) {
    // Nothing changed (the bypass delay could not be had): the next call tries again.
    mEngine.RepostPendingLatency(latency);
  }
}

void Corvane::OnIdleTick() {
  ReportPendingLatency();
  if (mCurveStale.exchange(false, std::memory_order_acq_rel)) PushCurveToEditor();
  for (EMeter meter : {kMeterInputLeft, kMeterInputRight, kMeterOutputLeft, kMeterOutputRight})
    mEngine.Sender(meter).TransmitToEditor(*this);
}

void Corvane::OnEditorOpen() {
  IPlugAPIBase::OnEditorOpen();
  if (igraphics::IGraphics* ui = GetUI()) {
    // A host taking pictures chose the zoom itself, over the size the last editor closed at.
    const float scale = mHostZoom > 0.f ? mHostZoom : StoredDisplayScale();
    if (std::fabs(scale - ui->GetDrawScale()) > 0.0001f) {
      // Applied as a finished corner drag would be, so bitmaps reload at the new scale.
      ui->SetResizingInProcess(true);
      ui->SetShiftDuringResize(false);
      ui->Resize(ui->Width(), ui->Height(), scale, true);
      ui->FinishCornerResize();
    }
  }
  PushCurveToEditor();
}

void Corvane::OnEditorClose() {
  if (igraphics::IGraphics* ui = GetUI(); ui && mHostZoom == 0.f)
    WriteDisplayScale("corvane", ui->GetDrawScale());
  SetCurveDisplay(nullptr);
}

}  // namespace corvane

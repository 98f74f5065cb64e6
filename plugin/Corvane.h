#pragma once

#include <atomic>
#include <vector>

#include <mutex>

#include "framework/IPlugConfig.h"
#include "plugin/CorvaneParams.h"
#include "plugin/CurveDisplay.h"
#include "plugin/dsp/SaturationEngine.h"

// One source for every format: each module target compiles this class on its own binding (the
// LV2 module defines CORVANE_LV2, the VST3 module CORVANE_VST3, the CLAP module CORVANE_CLAP;
// everything else is AAX).
#if defined(CORVANE_LV2)
#include "framework/lv2/IPlugLV2.h"
#elif defined(CORVANE_VST3)
#include "framework/vst3/IPlugVST3.h"
#elif defined(CORVANE_CLAP)
#include "framework/clap/IPlugCLAP.h"
#else
#include "framework/aax/IPlugAAX.h"
#endif

namespace corvane {

#if defined(CORVANE_LV2)
using Binding = iplug::IPlugLV2;
#elif defined(CORVANE_VST3)
using Binding = iplug::IPlugVST3;
#elif defined(CORVANE_CLAP)
using Binding = iplug::IPlugCLAP;
#else
using Binding = iplug::IPlugAAX;
#endif

/** The construction record of the product. */
iplug::PluginConfig MakeCorvaneConfig();

/**
 * The Corvane plug-in object: its parameters, its reactions to parameter changes, resets and
 * editor events, and the audio engine it drives.
 */
class Corvane : public Binding {
 public:
  Corvane();
  ~Corvane() override;

  // IPlugProcessor
  void ProcessAudio(double** inputs, double** outputs, int frames) override;
  void ProcessWhileBypassed(double** inputs, int frames) override;
  void ResetProcessing() override;
  /** [any thread] Switches to the oversampler of the new rendering mode while blocks run. */
  void OnRenderingOfflineChanged() override;
  int LatencyCeiling() const override { return mEngine.LatencyCeiling(); }
  void DoDeferredWork() override { mEngine.BuildRequested(); }
  /** [audio] Oversampling and the rendering mode as they are now, without the switch. */
  void SettleAfterReset() noexcept override;
  /** Reports the latency the engine came to after a switch, if it differs from the last. */
  void ReportPendingLatency() override;
  /** [main] The latency once the switch asked for (if any) has run. */
  int ExpectedLatency() const override;

  // Editor delegate
  /** [whichever thread delivers the change; no lock or allocation while no editor is open] */
  void OnParamChange(int paramIdx) override;
  /** A change inside processing (sampleOffset >= 0) derives the sound at once and leaves the
   * curve picture to the next idle tick. */
  void OnParamChange(int paramIdx, iplug::EParamSource source, int sampleOffset = -1) override;
  /** [main] */
  void OnEditorParamChange(int paramIdx, iplug::EParamSource source) override;
  /** [main] Restores the stored display scale and shows the curve. */
  void OnEditorOpen() override;
  /** [main] Stores the display scale and lets go of the curve display. */
  void OnEditorClose() override;

  /** [main] Every 20 ms: reports a latency change the audio thread asked for
   * (ReportPendingLatency), then hands the meter records to the editor. */
  void OnIdleTick() override;

  /** Reads parameters 0..10, publishes new coefficients to the audio thread. */
  void DeriveCoefficients();
  /** Computes the curve picture and hands it to the curve display, if one is attached. */
  void PushCurveToEditor();
  /** [main] Set by the editor's layout; null while no editor is open. */
  void SetCurveDisplay(CurveDisplay* display);

  int ReportedLatency() const { return mReportedLatency.load(std::memory_order_acquire); }
  const std::vector<double>& CurvePoints() const { return mCurvePoints; }
  SaturationEngine& Engine() { return mEngine; }
  const SaturationEngine& Engine() const { return mEngine; }

 private:
  void MakeFactoryPresets();
  void DefineParameters();
  /** The graphics factory and the layout (AAX and VST3 builds; the LV2 editor is a UI module
   * of its own). */
  void InstallEditor();
  CurveParams CurrentCurveParams() const;
  void RequestOversamplingFromParameter();
  void ReportLatencyIfChanged(int latency);

  SaturationEngine mEngine;
  std::vector<double> mCurvePoints;
  // Parameter changes may arrive on a host thread while the editor closes on the main thread:
  // the display is only touched, and only forgotten, under this lock.
  std::mutex mCurveDisplayMutex;
  CurveDisplay* mCurveDisplay = nullptr;
  std::atomic<bool> mHasCurveDisplay{false};
  // A change made inside processing left the curve picture behind: the idle tick redraws it.
  std::atomic<bool> mCurveStale{false};
  std::atomic<int> mReportedLatency{-1};
  // [main] The open editor's zoom when the host chose it (not the user's preference), else 0.
  float mHostZoom = 0.f;
};

}  // namespace corvane

#pragma once

#include <atomic>
#include <vector>

#include "framework/IEditorDelegate.h"
#include "framework/IPlugConfig.h"
#include "framework/IPlugProcessor.h"
#include "plugin/CorvaneParams.h"
#include "plugin/dsp/SaturationEngine.h"

namespace corvane {

/** The construction record of the product. */
iplug::PluginConfig MakeCorvaneConfig();

/**
 * The Corvane plug-in object: its parameters, its reactions to parameter changes and resets,
 * and the audio engine it drives.
 */
class Corvane : public iplug::IEditorDelegate, public iplug::IPlugProcessor {
 public:
  Corvane();
  ~Corvane() override;

  // IPlugProcessor
  void ProcessAudio(double** inputs, double** outputs, int frames) override;
  void ProcessWhileBypassed(double** inputs, int frames) override;
  void ResetProcessing() override;
  bool EmitMidiMessage(const iplug::MidiMessage&) override { return false; }

  // IEditorDelegate
  using IEditorDelegate::OnParamChange;
  void OnParamChange(int paramIdx) override;
  void OnEditorParamChange(int paramIdx, iplug::EParamSource source) override;
  void BeginEditFromEditor(int) override {}
  void EndEditFromEditor(int) override {}

  /** [main] Every 20 ms: reports a latency change the audio thread asked for. */
  void OnIdleTick();

  /** Reads parameters 0..10, publishes new coefficients to the audio thread. */
  void DeriveCoefficients();
  /** Computes the editor's picture of the curve from the latest coefficients. */
  void PushCurveToEditor();

  int ReportedLatency() const { return mReportedLatency.load(std::memory_order_acquire); }
  const std::vector<double>& CurvePoints() const { return mCurvePoints; }
  SaturationEngine& Engine() { return mEngine; }
  const SaturationEngine& Engine() const { return mEngine; }

 private:
  void DefineParameters();
  CurveParams CurrentCurveParams() const;
  void ReportLatencyIfChanged(int latency);

  SaturationEngine mEngine;
  std::vector<double> mCurvePoints;
  std::atomic<int> mReportedLatency{-1};
};

}  // namespace corvane

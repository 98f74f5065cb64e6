#pragma once

#include <algorithm>
#include <vector>

#include "framework/IPlugUtilities.h"
#include "framework/aax/IPlugAAX.h"
#include "plugin/Corvane.h"

namespace aaxtest {

/** Corvane that records what reaches the processor and the editor side. */
class RecordingCorvane : public corvane::Corvane {
 public:
  struct Change {
    int paramIdx;
    iplug::EParamSource source;
  };
  struct ToControls {
    int paramIdx;
    double value;
    bool normalized;
  };

  using Corvane::OnParamChange;
  void OnParamChange(int paramIdx, iplug::EParamSource source, int sampleOffset) override {
    changes.push_back({paramIdx, source});
    Corvane::OnParamChange(paramIdx, source, sampleOffset);
  }
  void SendParamValueToControls(int paramIdx, double value, bool normalized) override {
    toControls.push_back({paramIdx, value, normalized});
    Corvane::SendParamValueToControls(paramIdx, value, normalized);
  }
  void OnIdleTick() override {
    ++idleTicks;
    Corvane::OnIdleTick();
  }

  std::vector<Change> changes;
  std::vector<ToControls> toControls;
  int idleTicks = 0;
};

/**
 * A plug-in whose processed output is a constant 1 whatever the input, so that a mix of the
 * processed and the bypassed signal shows its weights; optionally with latency.
 */
class ConstantPlug : public iplug::IPlugAAX {
 public:
  static iplug::PluginConfig Config() {
    iplug::PluginConfig config;
    config.nParams = 1;
    config.channelIOStr = "1-1 2-2";
    config.pluginName = "Constant";
    config.productName = "Constant";
    config.mfrName = "Test";
    config.uniqueID = iplug::FourCC("cnst");
    config.mfrID = iplug::FourCC("Test");
    return config;
  }

  explicit ConstantPlug(int latency = 0) : IPlugAAX(Config()), mLatencyOnReset(latency) {
    GetParam(0)->DefineDouble("Level", 0.0, 0.0, 1.0, 0.01);
  }

  void ProcessAudio(double**, double** outputs, int frames) override {
    for (int c = 0; c < NChannels(iplug::kOutput); ++c) std::fill_n(outputs[c], frames, 1.0);
  }
  void ProcessWhileBypassed(double**, int) override { ++bypassedBlocks; }
  void ResetProcessing() override {
    ++resets;
    if (GetLatency() != mLatencyOnReset) ChangeLatency(mLatencyOnReset);
  }

  int resets = 0;
  int bypassedBlocks = 0;

 private:
  int mLatencyOnReset;
};

/** One parameter of every kind the bridge maps. */
class KindsPlug : public iplug::IPlugAAX {
 public:
  static iplug::PluginConfig Config() {
    iplug::PluginConfig config = ConstantPlug::Config();
    config.nParams = 5;
    return config;
  }

  KindsPlug() : IPlugAAX(Config()) {
    GetParam(0)->DefineInt("Steps", 42, 0, 100, "st");
    GetParam(1)->DefineEnum("Mode", 1, 3, "", iplug::kFlagsNone, "", {"A", "B"});
    GetParam(2)->DefineBool("Switch", true, "", iplug::kFlagCannotAutomate, "", "no", "yes");
    GetParam(3)->DefineDouble("Level", -6.0, -60.0, 0.0, 0.1, "dB");
    // Parameter 4 stays undefined: it has no kind and gets no AAX parameter.
  }
};

}  // namespace aaxtest

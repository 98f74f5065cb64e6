#include <algorithm>
#include <stdexcept>
#include <string>
#include <utility>

#include "host/PluginSession.h"
#include "plugin/Corvane.h"

namespace corvane::host {

namespace {

class CorvaneSession final : public PluginSession {
 public:
  int ParameterCount() const override { return mPlugin.NParams(); }

  ParameterInfo Parameter(int index) const override {
    const iplug::IParam* param = CheckedParam(index);
    ParameterInfo info;
    info.name = param->Name();
    info.unit = param->Label();
    info.min = param->Min();
    info.max = param->Max();
    info.defaultValue = param->Default();
    info.isBoolean = param->Kind() == iplug::kKindBool;
    return info;
  }

  void SetParameter(int index, double plainValue) override {
    CheckedParam(index)->SetValue(plainValue);
    mPlugin.OnParamChange(index, iplug::kHost);
    // Oversampling only reacts on the editor side (it requests the click-free switch).
    mPlugin.OnEditorParamChange(index, iplug::kDelegate);
  }

  void Reset(double sampleRate, int maxBlock, bool offline) override {
    if (maxBlock < 1) throw std::invalid_argument("block size must be positive");
    mPlugin.SetSampleRate(sampleRate);
    // The engine sizes its buffers from GetBlockSize(), so the channel buffers come first.
    mPlugin.ResizeChannelBuffers(maxBlock);
    mPlugin.SetRenderingOffline(offline);
    mPlugin.ResetProcessing();
    mMaxBlock = maxBlock;
  }

  void Process(const float* const* in, float* const* out, int channels, int frames) override {
    if (channels < 1 || channels > kMaxChannels)
      throw std::invalid_argument("Corvane processes mono or stereo only");
    if (mMaxBlock < 1) throw std::logic_error("Process before Reset");
    Connect(channels);
    for (int done = 0; done < frames;) {
      const int n = std::min(mMaxBlock, frames - done);
      float* inputs[kMaxChannels];
      float* outputs[kMaxChannels];
      for (int c = 0; c < channels; ++c) {
        // The binding only reads input arrays, but takes them as non-const like a host's.
        inputs[c] = const_cast<float*>(in[c]) + done;
        outputs[c] = out[c] + done;
      }
      mPlugin.BindHostBuffers(iplug::kInput, 0, kMaxChannels, inputs, n);
      mPlugin.BindHostBuffers(iplug::kOutput, 0, kMaxChannels, outputs, n);
      mPlugin.ProcessChannelsToHost(n);
      done += n;
    }
  }

  int Latency() const override { return mPlugin.GetLatency(); }

  bool Settling() const override {
    return mPlugin.Engine().Flushing() || mPlugin.Engine().SwitchPending();
  }

  void IdleTick() override { mPlugin.OnIdleTick(); }

 private:
  static constexpr int kMaxChannels = 2;

  const iplug::IParam* CheckedParam(int index) const {
    const iplug::IParam* param = mPlugin.GetParam(index);
    if (!param) throw std::out_of_range("no parameter with index " + std::to_string(index));
    return param;
  }
  iplug::IParam* CheckedParam(int index) {
    return const_cast<iplug::IParam*>(std::as_const(*this).CheckedParam(index));
  }

  // Channel slots beyond the file's width stay disconnected: "1-1" is a mono layout, not
  // a stereo one with a silent right channel.
  void Connect(int channels) {
    if (channels == mConnected) return;
    for (iplug::ERoute route : {iplug::kInput, iplug::kOutput}) {
      mPlugin.SetChannelsConnected(route, 0, channels, true);
      mPlugin.SetChannelsConnected(route, channels, kMaxChannels - channels, false);
    }
    mConnected = channels;
  }

  Corvane mPlugin;
  int mMaxBlock = 0;
  int mConnected = 0;
};

}  // namespace

std::unique_ptr<PluginSession> MakeCorvaneSession() {
  return std::make_unique<CorvaneSession>();
}

}  // namespace corvane::host

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <string>
#include <utility>

#include "host/HostError.h"
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

  std::string ParameterText(int index) const override {
    const iplug::IParam* param = CheckedParam(index);
    std::string text = param->DisplayText();
    if (!param->Label()[0]) return text;
    return text + " " + param->Label();
  }

  // The master bypass and its crossfade belong to the host binding, not to the plug-in object.
  bool SupportsBypass() const override { return false; }
  void SetBypass(bool) override {
    throw std::logic_error("the in-process plug-in has no master bypass");
  }

  uint32_t StateChunkID() const override { return static_cast<uint32_t>(mPlugin.GetUniqueID()); }

  ChunkRecord SaveState() override {
    iplug::IStateChunk chunk;
    if (!mPlugin.WriteState(chunk)) throw HostError(kExitFailure, "the plug-in wrote no state");
    ChunkRecord record;
    record.version = mPlugin.GetPluginVersion();
    record.manufacturerID = static_cast<uint32_t>(mPlugin.GetMfrID());
    record.productID = static_cast<uint32_t>(mPlugin.GetUniqueID());
    // Without a module there is no component and so no native plug-in ID; the product stands in.
    record.pluginID = static_cast<uint32_t>(mPlugin.GetUniqueID());
    record.chunkID = StateChunkID();
    record.name = mPlugin.GetPluginName();
    record.data.assign(chunk.Data(), chunk.Data() + chunk.Size());
    return record;
  }

  void LoadState(const ChunkRecord& record) override {
    if (record.chunkID != StateChunkID())
      throw HostError("the state holds chunk " + DescribeTypeID(record.chunkID) +
                      ", but the plug-in keeps its state in " + DescribeTypeID(StateChunkID()));
    iplug::IStateChunk chunk;
    chunk.PutBytes(record.data.data(), static_cast<int32_t>(record.data.size()));
    mPlugin.ReadState(chunk, 0);
  }

  void Reset(double sampleRate, int maxBlock, bool offline, int /*channels*/) override {
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
      // The peaks a host binding hands to the host's meters: all connected channels.
      for (int c = 0; c < channels; ++c) {
        mMeters.input = Peak(inputs[c], n, mMeters.input);
        mMeters.output = Peak(outputs[c], n, mMeters.output);
      }
      done += n;
    }
  }

  MeterReading TakeMeterReading() override {
    const MeterReading reading = mMeters;
    mMeters = MeterReading{};
    return reading;
  }

  int Latency() const override { return mPlugin.GetLatency(); }

  bool Settling() const override {
    return mPlugin.Engine().Flushing() || mPlugin.Engine().SwitchPending();
  }

  void IdleTick() override { mPlugin.OnIdleTick(); }

 private:
  static constexpr int kMaxChannels = 2;

  static double Peak(const float* samples, int n, double peak) {
    for (int i = 0; i < n; ++i) peak = std::max(peak, static_cast<double>(std::fabs(samples[i])));
    return peak;
  }

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
  MeterReading mMeters;
};

}  // namespace

std::unique_ptr<PluginSession> MakeCorvaneSession() {
  return std::make_unique<CorvaneSession>();
}

}  // namespace corvane::host

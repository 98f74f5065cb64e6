#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "host/PluginSession.h"
#include "host/vst3host/Vst3Host.h"

namespace corvane::host {

/**
 * The plug-in loaded from a VST3 bundle, driven as a VST3 host drives an insert: one instance
 * (component, processor and controller) for the session, values sent with the audio as
 * parameter changes at the next block's start (and to the controller, as hosts keep their
 * controllers up to date), the state through the component's stream, the offline render as
 * the process mode. A change of rate or layout makes a new instance from the old one's state.
 */
class Vst3Session final : public PluginSession {
 public:
  /** Throws HostError when the bundle cannot be loaded or has no plug-in for the channels. */
  Vst3Session(const std::filesystem::path& bundle, double sampleRate, int channels);
  ~Vst3Session() override;

  int ParameterCount() const override { return static_cast<int>(mInfo.size()); }
  ParameterInfo Parameter(int index) const override { return mInfo.at(Checked(index)); }
  void SetParameter(int index, double plainValue) override;
  std::string ParameterText(int index) const override;
  bool SupportsBypass() const override { return mBypassID.has_value(); }
  void SetBypass(bool bypassed) override;
  /** The component's state carries the same image as the AAX chunk, under its ID. */
  uint32_t StateChunkID() const override;
  ChunkRecord SaveState() override;
  void LoadState(const ChunkRecord& record) override;
  void Reset(double sampleRate, int maxBlock, bool offline, int channels) override;
  void Process(const float* const* in, float* const* out, int channels, int frames) override;
  void RenderFinished() override;
  MeterReading TakeMeterReading() override;
  int Latency() const override;
  bool Settling() const override { return false; }
  void IdleTick() override {}
  void Close() override;

  vst3::Instance& Instance() { return *mInstance; }

 private:
  size_t Checked(int index) const;
  void MakeInstance(int channels, const std::vector<uint8_t>* state);
  void ReadParameters();

  std::unique_ptr<vst3::Module> mModule;
  std::unique_ptr<vst3::Instance> mInstance;
  std::vector<v3_param_id> mIDs;
  std::vector<ParameterInfo> mInfo;
  std::optional<v3_param_id> mBypassID;
  vst3::ParameterChanges mPending;
  MeterReading mMeters;
  double mSampleRate = 0.0;
  int mChannels = 0;
  int mMaxBlock = 0;
  bool mOffline = false;
  bool mConfigured = false;
};

}  // namespace corvane::host

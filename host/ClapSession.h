#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "host/PluginSession.h"
#include "host/claphost/ClapHost.h"

namespace corvane::host {

/**
 * The plug-in loaded from a CLAP bundle, driven as a CLAP host drives an insert: one instance for
 * the session, of the factory's plug-in whose main port has the channels; values sent as events at
 * the next block's first sample (or flushed at once while inactive), the state through the
 * plug-in's stream. The headers carry no render extension, so an offline render runs as a
 * real-time one. A change of layout makes a new instance from the old one's state.
 */
class ClapSession final : public PluginSession {
 public:
  /** Throws HostError when the bundle cannot be loaded or has no plug-in for the channels. */
  ClapSession(const std::filesystem::path& bundle, double sampleRate, int channels);
  ~ClapSession() override;

  int ParameterCount() const override { return static_cast<int>(mInfo.size()); }
  ParameterInfo Parameter(int index) const override { return mInfo.at(Checked(index)); }
  void SetParameter(int index, double plainValue) override;
  std::string ParameterText(int index) const override;
  bool SupportsBypass() const override { return false; }
  void SetBypass(bool bypassed) override;
  /** The plug-in's state carries the same image as the AAX chunk, under its ID. */
  uint32_t StateChunkID() const override;
  ChunkRecord SaveState() override;
  void LoadState(const ChunkRecord& record) override;
  void Reset(double sampleRate, int maxBlock, bool offline, int channels) override;
  void Process(const float* const* in, float* const* out, int channels, int frames) override;
  MeterReading TakeMeterReading() override;
  int Latency() const override;
  bool Settling() const override { return false; }
  void IdleTick() override;
  void Close() override;

  clap::Instance& Instance() { return *mInstance; }

 private:
  size_t Checked(int index) const;
  void MakeInstance(int channels, const std::vector<uint8_t>* state);
  void ReadParameters();

  std::unique_ptr<clap::Module> mModule;
  clap::Host mHost;
  std::unique_ptr<clap::Instance> mInstance;
  std::vector<clap_id> mIDs;
  std::vector<ParameterInfo> mInfo;
  clap::Events mPending;
  bool mHasPending = false;
  MeterReading mMeters;
  int mChannels = 0;
  int mMaxBlock = 0;
};

}  // namespace corvane::host

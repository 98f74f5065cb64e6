#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host/ModuleHost.h"
#include "host/PluginSession.h"

namespace corvane::host {

/**
 * The plug-in loaded from its module, driven the way a host drives an insert: one instance for
 * the whole session, created for the session's rate and channel layout and initialized at once.
 * Values, states, the track name and the offline notifications go to that running instance,
 * and the plug-in has to take them as they come: nothing is re-applied for it and nothing is
 * reset on its behalf. Only a change of rate or layout (which a session on a real host never
 * sees while it runs) makes a new instance, the way hosts do it: from the old one's state chunk,
 * set before the new one is initialized.
 */
class ModuleSession final : public PluginSession {
 public:
  /** Throws HostError as MakeModuleSession. */
  ModuleSession(const std::filesystem::path& path, double sampleRate, int channels,
                aaxhost::HostRunLoop::Clock clock = aaxhost::HostRunLoop::Clock::kManual);

  int ParameterCount() const override { return static_cast<int>(mInfo.size()); }
  ParameterInfo Parameter(int index) const override { return mInfo.at(Checked(index)); }
  void SetParameter(int index, double plainValue) override;
  std::string ParameterText(int index) const override;
  bool SupportsBypass() const override { return mBypassID.has_value(); }
  void SetBypass(bool bypassed) override;
  uint32_t StateChunkID() const override { return mChunkID; }
  ChunkRecord SaveState() override { return StateOf(*mInstance); }
  void LoadState(const ChunkRecord& record) override;
  void SetTrackName(const std::string& name) override;
  void Reset(double sampleRate, int maxBlock, bool offline, int channels) override;
  void Process(const float* const* in, float* const* out, int channels, int frames) override;
  void RenderFinished() override;
  MeterReading TakeMeterReading() override;
  int Latency() const override { return mInstance->Latency(); }
  // The plug-in cannot tell the host when its filters have filled after a reset; the render
  // loop's pre-roll is what covers that.
  bool Settling() const override { return false; }
  void IdleTick() override;
  void Close() override;

  /** The loaded module and the running instance, for what a session does not cover (the
   * editor). A Reset to another rate or layout replaces the instance. */
  ModuleHost& Module() { return *mModule; }
  ModuleInstance& Instance() { return *mInstance; }
  /** The plug-in's ID of the parameter at a session index. */
  const std::string& ParameterID(int index) const { return mIDs.at(Checked(index)); }

 private:
  size_t Checked(int index) const;
  /** A running instance for the rate and layout: initialized, its context laid out. */
  std::unique_ptr<ModuleInstance> MakeInstance(double sampleRate, int channels,
                                               const ChunkRecord* state = nullptr);
  void SendTrackName(ModuleInstance& instance);
  ChunkRecord StateOf(const ModuleInstance& instance) const;
  void ReadParameters();

  // Declared first, destroyed last: the instance goes before the module that made it.
  std::unique_ptr<ModuleHost> mModule;
  std::unique_ptr<ModuleInstance> mInstance;
  std::optional<std::string> mBypassID;
  uint32_t mChunkID = 0;
  std::vector<std::string> mIDs;
  std::vector<ParameterInfo> mInfo;
  std::string mTrackName;
  bool mOffline = false;
  double mSampleRate = 0.0;
  int mChannels = 0;
  int mMaxBlock = 0;
  int64_t mPosition = 0;
};

}  // namespace corvane::host

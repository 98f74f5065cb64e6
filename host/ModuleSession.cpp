#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "host/HostError.h"
#include "host/ModuleHost.h"
#include "host/PluginSession.h"

#ifndef CORVANE_DEFAULT_MODULE_PATH
#define CORVANE_DEFAULT_MODULE_PATH "Corvane.so"
#endif

namespace corvane::host {

namespace {

constexpr int kIdleTickMs = 20;
constexpr double kModelSampleRate = 48000.0;
/** Room the plug-in gets for a value text; its own texts hold at most 32 characters. */
constexpr int32_t kValueTextLength = 32;

/** Splits "-60.00dB" into -60 and "dB"; false when the text does not start with a number. */
bool SplitNumber(const std::string& text, double& value, std::string& unit) {
  const char* begin = text.c_str();
  char* end = nullptr;
  errno = 0;
  value = std::strtod(begin, &end);
  if (end == begin || errno == ERANGE) return false;
  std::string rest(end);
  while (!rest.empty() && std::isspace(static_cast<unsigned char>(rest.front()))) rest.erase(0, 1);
  while (!rest.empty() && std::isspace(static_cast<unsigned char>(rest.back()))) rest.pop_back();
  unit = rest;
  return true;
}

/**
 * The plug-in loaded from its module, driven the way a host drives an insert.
 *
 * A model instance, initialized at load, answers the parameter queries and takes the values
 * set before a render. Every Reset creates the render instance afresh for the rate and channel
 * layout of the render: the plug-in reads its processing mode (oversampling, offline) only when
 * it resets, and it resets only inside Initialize (or when a block grows). So the render
 * instance receives the offline notification and the model's state chunk before Initialize,
 * and then the values the host applied to the model through the parameter bridge, so that host
 * and plug-in agree on every parameter.
 */
class ModuleSession final : public PluginSession {
 public:
  explicit ModuleSession(const std::filesystem::path& path)
      : mModule(std::make_unique<ModuleHost>(path)) {
    const aaxhost::Effect& effect = mModule->Effect();
    const aaxhost::Component* component = FindComponentForChannels(effect, 2);
    if (!component) component = FindComponentForChannels(effect, 1);
    if (!component)
      throw HostError("module '" + mModule->Path().string() +
                      "' describes no mono or stereo component");
    mModel = std::make_unique<ModuleInstance>(*mModule, *component, kModelSampleRate);
    mModel->Initialize();
    mBypassID = mModel->MasterBypassID();
    mChunkID = mModel->ChunkID();
    ReadParameters();
  }

  int ParameterCount() const override { return static_cast<int>(mInfo.size()); }

  ParameterInfo Parameter(int index) const override { return mInfo.at(Checked(index)); }

  void SetParameter(int index, double plainValue) override {
    const size_t i = Checked(index);
    const std::string& id = mIDs[i];
    double normalized = plainValue >= 0.5 ? 1.0 : 0.0;
    if (!mInfo[i].isBoolean) {
      // The plug-in's own parser and taper turn the display value into its normalized value.
      const std::optional<double> parsed = mModel->NormalizedFromText(id, ExactText(plainValue));
      if (!parsed)
        throw HostError(kExitFailure, "the plug-in does not take " + ExactText(plainValue) +
                                          " for " + mInfo[i].name);
      normalized = *parsed;
    }
    for (ModuleInstance* instance : Instances()) instance->Apply(id, normalized);
  }

  std::string ParameterText(int index) const override {
    return Current().CurrentText(mIDs.at(Checked(index)), kValueTextLength);
  }

  bool SupportsBypass() const override { return mBypassID.has_value(); }

  void SetBypass(bool bypassed) override {
    if (!mBypassID) throw std::logic_error("the plug-in has no master bypass");
    Current().Apply(*mBypassID, bypassed ? 1.0 : 0.0);
  }

  uint32_t StateChunkID() const override { return mChunkID; }

  ChunkRecord SaveState() override { return StateOf(Current()); }

  void LoadState(const ChunkRecord& record) override {
    if (record.chunkID != mChunkID)
      throw HostError("the state holds chunk " + DescribeTypeID(record.chunkID) +
                      ", but the plug-in keeps its state in " + DescribeTypeID(mChunkID));
    for (ModuleInstance* instance : Instances()) instance->SetChunk(record);
  }

  void SetTrackName(const std::string& name) override {
    mTrackName = name;
    for (ModuleInstance* instance : Instances()) SendTrackName(*instance);
  }

  void Reset(double sampleRate, int maxBlock, bool offline, int channels) override {
    if (maxBlock < 1) throw std::invalid_argument("block size must be positive");
    const aaxhost::Component* component = FindComponentForChannels(mModule->Effect(), channels);
    if (!component)
      throw HostError("module '" + mModule->Path().string() + "' has no component for " +
                      std::to_string(channels) + "-channel audio");

    mRender.reset();
    auto instance = std::make_unique<ModuleInstance>(*mModule, *component, sampleRate);
    if (offline) instance->Notify(AAX_eNotificationEvent_EnteringOfflineMode, nullptr, 0);
    if (mChunkID != 0) instance->SetChunk(StateOf(*mModel));
    instance->Initialize();
    for (const auto& [id, normalized] : mModel->AppliedValues()) instance->Apply(id, normalized);
    SendTrackName(*instance);
    instance->PrepareContext();

    mRender = std::move(instance);
    mOffline = offline;
    mChannels = channels;
    mMaxBlock = maxBlock;
    mPosition = 0;
  }

  void Process(const float* const* in, float* const* out, int channels, int frames) override {
    if (!mRender) throw std::logic_error("Process before Reset");
    if (channels != mChannels) throw std::invalid_argument("channel count differs from Reset");
    for (int done = 0; done < frames;) {
      const int n = std::min(mMaxBlock, frames - done);
      float* inputs[2];
      float* outputs[2];
      for (int c = 0; c < channels; ++c) {
        // The plug-in only reads its inputs, but takes them as non-const like a host's.
        inputs[c] = const_cast<float*>(in[c]) + done;
        outputs[c] = out[c] + done;
      }
      mRender->ProcessBlock(inputs, outputs, n, mPosition);
      mPosition += n;
      done += n;
    }
  }

  void RenderFinished() override {
    if (mRender && mOffline) mRender->Notify(AAX_eNotificationEvent_ExitingOfflineMode, nullptr, 0);
    mOffline = false;
  }

  MeterReading TakeMeterReading() override {
    if (!mRender) return {};
    const auto [input, output] = mRender->TakeMeterPeaks();
    return MeterReading{input, output};
  }

  int Latency() const override { return Current().Latency(); }

  // The plug-in cannot tell the host when its filters have filled after a reset; the render
  // loop's pre-roll is what covers that.
  bool Settling() const override { return false; }

  void IdleTick() override { mModule->RunLoop().Advance(kIdleTickMs); }

  void Close() override {
    mRender.reset();
    mModel.reset();
    mModule->Close();
  }

 private:
  size_t Checked(int index) const {
    if (index < 0 || static_cast<size_t>(index) >= mIDs.size())
      throw std::out_of_range("no parameter with index " + std::to_string(index));
    return static_cast<size_t>(index);
  }

  ModuleInstance& Current() const { return mRender ? *mRender : *mModel; }

  std::vector<ModuleInstance*> Instances() {
    std::vector<ModuleInstance*> instances{mModel.get()};
    if (mRender) instances.push_back(mRender.get());
    return instances;
  }

  void SendTrackName(ModuleInstance& instance) {
    if (mTrackName.empty()) return;
    // The notification carries the host's string object, not its characters.
    aaxhost::HostString name(mTrackName);
    instance.Notify(AAX_eNotificationEvent_TrackNameChanged, &name,
                    static_cast<uint32_t>(mTrackName.size() + 1));
  }

  ChunkRecord StateOf(const ModuleInstance& instance) const {
    if (mChunkID == 0) throw HostError("the plug-in keeps no state chunk");
    const aaxhost::Description& description = mModule->Description();
    const aaxhost::Effect& effect = mModule->Effect();
    const aaxhost::Component& component = instance.Component();
    ChunkRecord record;
    record.version = static_cast<int32_t>(description.packageVersion);
    record.manufacturerID =
        static_cast<uint32_t>(component.ProcProperty(AAX_eProperty_ManufacturerID).value_or(0));
    record.productID =
        static_cast<uint32_t>(component.ProcProperty(AAX_eProperty_ProductID).value_or(0));
    record.pluginID =
        static_cast<uint32_t>(component.ProcProperty(AAX_eProperty_PlugInID_Native).value_or(0));
    record.chunkID = mChunkID;
    record.name = effect.names.empty() ? std::string() : effect.names.front();
    record.data = instance.GetChunk(mChunkID);
    return record;
  }

  void ReadParameters() {
    const int32_t count = mModel->ParameterCount();
    for (int32_t i = 0; i < count; ++i) {
      const std::string id = mModel->ParameterID(i);
      if (mBypassID && id == *mBypassID) continue;
      ParameterInfo info;
      info.name = mModel->ParameterName(id);
      const std::string low = mModel->TextForNormalized(id, 0.0);
      const std::string high = mModel->TextForNormalized(id, 1.0);
      std::string lowUnit;
      const bool numeric = SplitNumber(low, info.min, lowUnit) &&
                           SplitNumber(high, info.max, info.unit) &&
                           SplitNumber(mModel->TextForNormalized(id, mModel->DefaultNormalized(id)),
                                       info.defaultValue, lowUnit);
      // A switch shows texts of its own ("off", "on") rather than numbers; the host drives
      // such a parameter between the ends of its range.
      if (!numeric) {
        info.isBoolean = true;
        info.unit.clear();
        info.min = 0.0;
        info.max = 1.0;
        info.defaultValue = mModel->DefaultNormalized(id) >= 0.5 ? 1.0 : 0.0;
      }
      mIDs.push_back(id);
      mInfo.push_back(std::move(info));
    }
  }

  // Declared first, destroyed last: the instances go before the module that made them.
  std::unique_ptr<ModuleHost> mModule;
  std::unique_ptr<ModuleInstance> mModel;
  std::unique_ptr<ModuleInstance> mRender;
  std::optional<std::string> mBypassID;
  uint32_t mChunkID = 0;
  std::vector<std::string> mIDs;
  std::vector<ParameterInfo> mInfo;
  std::string mTrackName;
  bool mOffline = false;
  int mChannels = 0;
  int mMaxBlock = 0;
  int64_t mPosition = 0;
};

}  // namespace

std::filesystem::path DefaultModulePath() {
  return CORVANE_DEFAULT_MODULE_PATH;
}

std::unique_ptr<PluginSession> MakeModuleSession(const std::filesystem::path& module) {
  return std::make_unique<ModuleSession>(module);
}

}  // namespace corvane::host

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "host/ClapSession.h"
#include "host/HostError.h"
#include "host/ModuleSession.h"
#include "host/SessionSupport.h"
#include "host/Vst3Session.h"

namespace corvane::host {

namespace {

constexpr int kIdleTickMs = 20;
/** Room the plug-in gets for a value text; its own texts hold at most 32 characters. */
constexpr int32_t kValueTextLength = 32;

}  // namespace

ModuleSession::ModuleSession(const std::filesystem::path& path, double sampleRate, int channels,
                             aaxhost::HostRunLoop::Clock clock)
    : mModule(std::make_unique<ModuleHost>(path, clock)) {
  mInstance = MakeInstance(sampleRate, channels);
  mBypassID = mInstance->MasterBypassID();
  mChunkID = mInstance->ChunkID();
  ReadParameters();
}

void ModuleSession::SetParameter(int index, double plainValue) {
  const size_t i = Checked(index);
  const std::string& id = mIDs[i];
  double normalized = plainValue >= 0.5 ? 1.0 : 0.0;
  if (!mInfo[i].isBoolean) {
    // The plug-in's own parser and taper turn the display value into its normalized value.
    const std::optional<double> parsed = mInstance->NormalizedFromText(id, ExactText(plainValue));
    if (!parsed)
      throw HostError(kExitFailure, "the plug-in does not take " + ExactText(plainValue) + " for " +
                                        mInfo[i].name);
    normalized = *parsed;
  }
  mInstance->Apply(id, normalized);
}

std::string ModuleSession::ParameterText(int index) const {
  return mInstance->CurrentText(mIDs.at(Checked(index)), kValueTextLength);
}

void ModuleSession::SetBypass(bool bypassed) {
  if (!mBypassID) throw std::logic_error("the plug-in has no master bypass");
  mInstance->Apply(*mBypassID, bypassed ? 1.0 : 0.0);
}

void ModuleSession::LoadState(const ChunkRecord& record) {
  CheckStateChunk(record.chunkID, mChunkID);
  mInstance->SetChunk(record);
}

void ModuleSession::SetTrackName(const std::string& name) {
  mTrackName = name;
  SendTrackName(*mInstance);
}

void ModuleSession::Reset(double sampleRate, int maxBlock, bool offline, int channels) {
  if (maxBlock < 1) throw std::invalid_argument("block size must be positive");
  if (sampleRate != mSampleRate || channels != mChannels) {
    // What a host does when a session's rate or layout changes: the state carries over.
    const std::optional<ChunkRecord> state =
        mChunkID != 0 ? std::optional<ChunkRecord>(StateOf(*mInstance)) : std::nullopt;
    mInstance.reset();
    mInstance = MakeInstance(sampleRate, channels, state ? &*state : nullptr);
  }
  // A bounce begins with the notification to the running instance, and nothing else.
  if (offline != mOffline)
    mInstance->Notify(offline ? AAX_eNotificationEvent_EnteringOfflineMode
                              : AAX_eNotificationEvent_ExitingOfflineMode,
                      nullptr, 0);
  mOffline = offline;
  mMaxBlock = maxBlock;
}

void ModuleSession::Process(const float* const* in, float* const* out, int channels, int frames) {
  if (mMaxBlock < 1) throw std::logic_error("Process before Reset");
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
    mInstance->ProcessBlock(inputs, outputs, n, mPosition);
    mPosition += n;
    done += n;
  }
}

void ModuleSession::RenderFinished() {
  if (mOffline) mInstance->Notify(AAX_eNotificationEvent_ExitingOfflineMode, nullptr, 0);
  mOffline = false;
}

MeterReading ModuleSession::TakeMeterReading() {
  const auto [input, output] = mInstance->TakeMeterPeaks();
  return MeterReading{input, output};
}

void ModuleSession::IdleTick() {
  mModule->RunLoop().Advance(kIdleTickMs);
}

void ModuleSession::Close() {
  mInstance.reset();
  mModule->Close();
}

size_t ModuleSession::Checked(int index) const {
  if (index < 0 || static_cast<size_t>(index) >= mIDs.size())
    throw std::out_of_range("no parameter with index " + std::to_string(index));
  return static_cast<size_t>(index);
}

std::unique_ptr<ModuleInstance> ModuleSession::MakeInstance(double sampleRate, int channels,
                                                            const ChunkRecord* state) {
  const aaxhost::Component* component = FindComponentForChannels(mModule->Effect(), channels);
  if (!component)
    throw HostError("module '" + mModule->Path().string() + "' has no component for " +
                    std::to_string(channels) + "-channel audio");
  auto instance = std::make_unique<ModuleInstance>(*mModule, *component, sampleRate);
  if (state) instance->SetChunk(*state);
  instance->Initialize();
  SendTrackName(*instance);
  instance->PrepareContext();
  mSampleRate = sampleRate;
  mChannels = channels;
  return instance;
}

void ModuleSession::SendTrackName(ModuleInstance& instance) {
  if (mTrackName.empty()) return;
  // The notification carries the host's string object, not its characters.
  aaxhost::HostString name(mTrackName);
  instance.Notify(AAX_eNotificationEvent_TrackNameChanged, &name,
                  static_cast<uint32_t>(mTrackName.size() + 1));
}

ChunkRecord ModuleSession::StateOf(const ModuleInstance& instance) const {
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

void ModuleSession::ReadParameters() {
  ModuleInstance* const model = mInstance.get();
  const int32_t count = model->ParameterCount();
  for (int32_t i = 0; i < count; ++i) {
    const std::string id = model->ParameterID(i);
    if (mBypassID && id == *mBypassID) continue;
    ParameterInfo info;
    info.name = model->ParameterName(id);
    const std::string low = model->TextForNormalized(id, 0.0);
    const std::string high = model->TextForNormalized(id, 1.0);
    std::string lowUnit;
    const bool numeric = SplitNumber(low, info.min, lowUnit) &&
                         SplitNumber(high, info.max, info.unit) &&
                         SplitNumber(model->TextForNormalized(id, model->DefaultNormalized(id)),
                                     info.defaultValue, lowUnit);
    // A switch shows texts of its own ("off", "on") rather than numbers; the host drives
    // such a parameter between the ends of its range.
    if (!numeric) {
      info.isBoolean = true;
      info.unit.clear();
      info.min = 0.0;
      info.max = 1.0;
      info.defaultValue = model->DefaultNormalized(id) >= 0.5 ? 1.0 : 0.0;
    }
    mIDs.push_back(id);
    mInfo.push_back(std::move(info));
  }
}

std::filesystem::path DefaultModulePath() {
  namespace fs = std::filesystem;
  const fs::path inBundle =
      fs::path("Corvane.aaxplugin") / "Contents" / "x86_64-linux" / "Corvane.so";
  std::error_code ec;
  const fs::path self = fs::read_symlink("/proc/self/exe", ec);
  if (ec) return inBundle;
  // Installed, the module sits in lib/corvane beside the tool's bin; built, it sits in the
  // build's bin, which is the tool's own folder or, for the test programs, an ancestor's.
  const fs::path installed = self.parent_path().parent_path() / "lib" / "corvane" / inBundle;
  if (fs::exists(installed, ec)) return installed;
  fs::path dir = self.parent_path();
  for (int level = 0; level < 5 && !dir.empty(); ++level, dir = dir.parent_path()) {
    for (const fs::path& candidate : {dir / inBundle, dir / "bin" / inBundle})
      if (fs::exists(candidate, ec)) return candidate;
    if (dir == dir.root_path()) break;
  }
  // Named in the error the load then gives.
  return installed;
}

std::unique_ptr<PluginSession> MakeModuleSession(const std::filesystem::path& module,
                                                 double sampleRate, int channels) {
  if (vst3::IsVst3Path(module)) return std::make_unique<Vst3Session>(module, sampleRate, channels);
  if (clap::IsClapPath(module)) return std::make_unique<ClapSession>(module, sampleRate, channels);
  return std::make_unique<ModuleSession>(module, sampleRate, channels);
}

}  // namespace corvane::host

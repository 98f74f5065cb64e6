#include "host/Vst3Session.h"

#include <algorithm>

#include "host/HostError.h"
#include "host/ModuleHost.h"
#include "host/SessionSupport.h"

namespace corvane::host {

Vst3Session::Vst3Session(const std::filesystem::path& bundle, double sampleRate, int channels)
    : mModule(std::make_unique<vst3::Module>(bundle)), mSampleRate(sampleRate) {
  MakeInstance(channels, nullptr);
  ReadParameters();
}

Vst3Session::~Vst3Session() {
  mInstance.reset();
}

size_t Vst3Session::Checked(int index) const {
  if (index < 0 || static_cast<size_t>(index) >= mIDs.size())
    throw std::out_of_range("no parameter with index " + std::to_string(index));
  return static_cast<size_t>(index);
}

void Vst3Session::MakeInstance(int channels, const std::vector<uint8_t>* state) {
  const vst3::ClassInfo* chosen = nullptr;
  std::vector<vst3::ClassInfo> processors = mModule->Processors();
  for (const vst3::ClassInfo& c : processors) {
    vst3::Instance probe(*mModule, c);
    if (probe.Channels() == channels) {
      chosen = &c;
      break;
    }
  }
  if (!chosen)
    throw HostError("bundle '" + mModule->Binary().string() + "' has no plug-in for " +
                    std::to_string(channels) + "-channel audio");
  mInstance.reset();
  mInstance = std::make_unique<vst3::Instance>(*mModule, *chosen);
  const v3_speaker_arrangement arrangement =
      channels == 1 ? V3_SPEAKER_M : (V3_SPEAKER_L | V3_SPEAKER_R);
  if (mInstance->SetArrangements(arrangement, arrangement) != V3_OK)
    throw HostError("the plug-in refuses " + std::to_string(channels) + "-channel buses");
  if (state && mInstance->SetState(*state) != V3_OK)
    throw HostError(kExitFailure, "the plug-in refuses the state it saved");
  mChannels = channels;
  mConfigured = false;
}

void Vst3Session::ReadParameters() {
  mIDs.clear();
  mInfo.clear();
  mBypassID = mInstance->BypassID();
  for (int32_t i = 0; i < mInstance->ParameterCount(); ++i) {
    const v3_param_info p = mInstance->Info(i);
    if (mBypassID && p.param_id == *mBypassID) continue;
    ParameterInfo info;
    for (int k = 0; k < 128 && p.title[k]; ++k) info.name += static_cast<char>(p.title[k]);
    std::string unit;
    const bool numeric = SplitNumber(mInstance->Text(p.param_id, 0.0), info.min, unit) &&
                         SplitNumber(mInstance->Text(p.param_id, 1.0), info.max, info.unit) &&
                         SplitNumber(mInstance->Text(p.param_id, p.default_normalised_value),
                                     info.defaultValue, unit);
    if (!numeric || p.step_count == 1) {
      info.isBoolean = true;
      info.unit.clear();
      info.min = 0.0;
      info.max = 1.0;
      info.defaultValue = p.default_normalised_value >= 0.5 ? 1.0 : 0.0;
    }
    mIDs.push_back(p.param_id);
    mInfo.push_back(std::move(info));
  }
}

void Vst3Session::SetParameter(int index, double plainValue) {
  const size_t i = Checked(index);
  const v3_param_id id = mIDs[i];
  double normalized = plainValue >= 0.5 ? 1.0 : 0.0;
  if (!mInfo[i].isBoolean) {
    const std::optional<double> parsed = mInstance->ValueOf(id, ExactText(plainValue));
    if (!parsed)
      throw HostError(kExitFailure, "the plug-in does not take " + ExactText(plainValue) + " for " +
                                        mInfo[i].name);
    normalized = *parsed;
  }
  // As hosts do: the controller shows it now, the processor hears it with the next block.
  mInstance->SetNormalized(id, normalized);
  mPending.Add(id, 0, normalized);
}

std::string Vst3Session::ParameterText(int index) const {
  const v3_param_id id = mIDs.at(Checked(index));
  return mInstance->Text(id, mInstance->Normalized(id));
}

void Vst3Session::SetBypass(bool bypassed) {
  if (!mBypassID) throw std::logic_error("the plug-in has no bypass parameter");
  mInstance->SetNormalized(*mBypassID, bypassed ? 1.0 : 0.0);
  mPending.Add(*mBypassID, 0, bypassed ? 1.0 : 0.0);
}

uint32_t Vst3Session::StateChunkID() const {
  return kCorvaneStateChunkID;
}

ChunkRecord Vst3Session::SaveState() {
  ChunkRecord record;
  record.chunkID = kCorvaneStateChunkID;
  record.name = "Corvane";
  record.data = mInstance->State();
  return record;
}

void Vst3Session::LoadState(const ChunkRecord& record) {
  CheckStateChunk(record.chunkID, kCorvaneStateChunkID);
  if (mInstance->SetState(record.data) != V3_OK) throw HostError("the plug-in refuses the state");
}

void Vst3Session::Reset(double sampleRate, int maxBlock, bool offline, int channels) {
  if (maxBlock < 1) throw std::invalid_argument("block size must be positive");
  if (channels != mChannels) {
    const std::vector<uint8_t> state = mInstance->State();
    MakeInstance(channels, &state);
  }
  if (mInstance->Active()) {
    mInstance->SetProcessing(false);
    mInstance->SetActive(false);
  }
  const v3_result setup =
      mInstance->Setup(sampleRate, maxBlock, offline ? V3_OFFLINE : V3_REALTIME);
  if (setup != V3_OK) throw HostError(kExitFailure, "the plug-in refuses its processing setup");
  if (mInstance->SetActive(true) != V3_OK)
    throw HostError(kExitFailure, "the plug-in refuses to activate");
  mInstance->SetProcessing(true);
  mSampleRate = sampleRate;
  mMaxBlock = maxBlock;
  mOffline = offline;
  mConfigured = true;
}

void Vst3Session::Process(const float* const* in, float* const* out, int channels, int frames) {
  if (!mConfigured) throw std::logic_error("Process before Reset");
  if (channels != mChannels) throw std::invalid_argument("channel count differs from Reset");
  for (int done = 0; done < frames;) {
    const int n = std::min(mMaxBlock, frames - done);
    float* inputs[2];
    float* outputs[2];
    for (int c = 0; c < channels; ++c) {
      inputs[c] = const_cast<float*>(in[c]) + done;
      outputs[c] = out[c] + done;
    }
    const v3_result result =
        mInstance->Process(inputs, outputs, n, mPending.Empty() ? nullptr : &mPending,
                           mOffline ? V3_OFFLINE : V3_REALTIME);
    mPending.Clear();
    if (result != V3_OK) throw HostError(kExitFailure, "the plug-in's process() failed");
    for (int c = 0; c < channels; ++c) {
      mMeters.input = PeakOf(inputs[c], n, mMeters.input);
      mMeters.output = PeakOf(outputs[c], n, mMeters.output);
    }
    done += n;
  }
}

void Vst3Session::RenderFinished() {
  if (!mOffline) return;
  // The bounce is over: back to a realtime setup, as a host re-arms after an export.
  Reset(mSampleRate, mMaxBlock, false, mChannels);
}

MeterReading Vst3Session::TakeMeterReading() {
  const MeterReading reading = mMeters;
  mMeters = MeterReading{};
  return reading;
}

int Vst3Session::Latency() const {
  return static_cast<int>(mInstance->Latency());
}

void Vst3Session::Close() {
  mInstance.reset();
  if (mModule && !mModule->Close())
    throw HostError(kExitFailure, "ModuleExit of the VST3 module refused");
}

}  // namespace corvane::host

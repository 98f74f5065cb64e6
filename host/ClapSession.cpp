#include "host/ClapSession.h"

#include <algorithm>

#include "host/HostError.h"
#include "host/ModuleHost.h"
#include "host/SessionSupport.h"

namespace corvane::host {

ClapSession::ClapSession(const std::filesystem::path& bundle, double, int channels) {
  try {
    mModule = std::make_unique<clap::Module>(bundle.string());
  } catch (const std::runtime_error& e) {
    throw HostError(e.what());
  }
  MakeInstance(channels, nullptr);
  ReadParameters();
}

ClapSession::~ClapSession() {
  mInstance.reset();
}

size_t ClapSession::Checked(int index) const {
  if (index < 0 || static_cast<size_t>(index) >= mIDs.size())
    throw std::out_of_range("no parameter with index " + std::to_string(index));
  return static_cast<size_t>(index);
}

void ClapSession::MakeInstance(int channels, const std::vector<uint8_t>* state) {
  const clap_plugin_factory_t* factory = mModule->Factory();
  const uint32_t count = factory->get_plugin_count(factory);
  std::string chosen;
  for (uint32_t i = 0; i < count && chosen.empty(); ++i) {
    const clap_plugin_descriptor_t* d = factory->get_plugin_descriptor(factory, i);
    if (!d || !d->id) continue;
    try {
      clap::Instance probe(*mModule, mHost, d->id);
      if (probe.Channels() == static_cast<uint32_t>(channels)) chosen = d->id;
    } catch (const std::runtime_error&) {
    }
  }
  if (chosen.empty())
    throw HostError("bundle has no plug-in for " + std::to_string(channels) + "-channel audio");
  mInstance.reset();
  try {
    mInstance = std::make_unique<clap::Instance>(*mModule, mHost, chosen.c_str());
  } catch (const std::runtime_error& e) {
    throw HostError(kExitFailure, e.what());
  }
  if (state && !mInstance->Load(*state))
    throw HostError(kExitFailure, "the plug-in refuses the state it saved");
  mChannels = channels;
}

void ClapSession::ReadParameters() {
  mIDs.clear();
  mInfo.clear();
  for (uint32_t i = 0; i < mInstance->ParamCount(); ++i) {
    const clap_param_info_t p = mInstance->Info(i);
    ParameterInfo info;
    info.name = p.name;
    info.min = p.min_value;
    info.max = p.max_value;
    info.defaultValue = p.default_value;
    double shown = 0.0;
    const bool numeric = SplitNumber(mInstance->Text(p.id, p.max_value), shown, info.unit);
    if (!numeric ||
        ((p.flags & CLAP_PARAM_IS_STEPPED) && p.min_value == 0.0 && p.max_value == 1.0)) {
      info.isBoolean = true;
      info.unit.clear();
      info.min = 0.0;
      info.max = 1.0;
      info.defaultValue = p.default_value >= 0.5 ? 1.0 : 0.0;
    }
    mIDs.push_back(p.id);
    mInfo.push_back(std::move(info));
  }
}

void ClapSession::SetParameter(int index, double plainValue) {
  const size_t i = Checked(index);
  double value = plainValue >= 0.5 ? 1.0 : 0.0;
  if (!mInfo[i].isBoolean) {
    if (!mInstance->ValueOf(mIDs[i], ExactText(plainValue), value))
      throw HostError(kExitFailure, "the plug-in does not take " + ExactText(plainValue) + " for " +
                                        mInfo[i].name);
  }
  // As hosts do: inactive, the value goes in with a flush now; active, with the next block.
  if (!mInstance->Active()) {
    clap::Events now;
    now.Value(0, mIDs[i], value);
    mInstance->Flush(now);
    return;
  }
  mPending.Value(0, mIDs[i], value);
  mHasPending = true;
}

std::string ClapSession::ParameterText(int index) const {
  const clap_id id = mIDs.at(Checked(index));
  return mInstance->Text(id, mInstance->Value(id));
}

void ClapSession::SetBypass(bool) {
  throw std::logic_error("a CLAP plug-in's bypass is its host's");
}

uint32_t ClapSession::StateChunkID() const {
  return kCorvaneStateChunkID;
}

ChunkRecord ClapSession::SaveState() {
  ChunkRecord record;
  record.chunkID = kCorvaneStateChunkID;
  record.name = "Corvane";
  if (!mInstance->Save(record.data)) throw HostError(kExitFailure, "the plug-in saves no state");
  return record;
}

void ClapSession::LoadState(const ChunkRecord& record) {
  CheckStateChunk(record.chunkID, kCorvaneStateChunkID);
  if (!mInstance->Load(record.data)) throw HostError("the plug-in refuses the state");
}

void ClapSession::Reset(double sampleRate, int maxBlock, bool, int channels) {
  if (maxBlock < 1) throw std::invalid_argument("block size must be positive");
  if (channels != mChannels) {
    std::vector<uint8_t> state;
    if (!mInstance->Save(state)) throw HostError(kExitFailure, "the plug-in saves no state");
    MakeInstance(channels, &state);
  }
  mInstance->Deactivate();
  if (!mInstance->Activate(sampleRate, static_cast<uint32_t>(maxBlock)))
    throw HostError(kExitFailure, "the plug-in refuses to activate");
  mMaxBlock = maxBlock;
}

void ClapSession::Process(const float* const* in, float* const* out, int channels, int frames) {
  if (!mInstance->Active()) throw std::logic_error("Process before Reset");
  if (channels != mChannels) throw std::invalid_argument("channel count differs from Reset");
  for (int done = 0; done < frames;) {
    const int n = std::min(mMaxBlock, frames - done);
    float* inputs[2];
    float* outputs[2];
    for (int c = 0; c < channels; ++c) {
      inputs[c] = const_cast<float*>(in[c]) + done;
      outputs[c] = out[c] + done;
    }
    const clap_process_status status =
        mInstance->Process(inputs, outputs, static_cast<uint32_t>(channels),
                           static_cast<uint32_t>(n), mHasPending ? &mPending : nullptr);
    mPending.Clear();
    mHasPending = false;
    if (status == CLAP_PROCESS_ERROR)
      throw HostError(kExitFailure, "the plug-in's process() failed");
    for (int c = 0; c < channels; ++c) {
      mMeters.input = PeakOf(inputs[c], n, mMeters.input);
      mMeters.output = PeakOf(outputs[c], n, mMeters.output);
    }
    done += n;
  }
  // A restart the plug-in asks for (its latency changed) is not made in the middle of a render:
  // the render loop reads the latency it reports and aligns the output itself.
}

MeterReading ClapSession::TakeMeterReading() {
  const MeterReading reading = mMeters;
  mMeters = MeterReading{};
  return reading;
}

int ClapSession::Latency() const {
  return static_cast<int>(mInstance->Latency());
}

void ClapSession::IdleTick() {
  // What the plug-in asked the main thread for.
  if (mHost.callbacks.exchange(0) > 0) mInstance->Get()->on_main_thread(mInstance->Get());
}

void ClapSession::Close() {
  mInstance.reset();
  mModule.reset();
}

}  // namespace corvane::host

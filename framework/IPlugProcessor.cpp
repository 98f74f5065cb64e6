#include "framework/IPlugProcessor.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace iplug {

namespace {

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= text.size()) {
    const size_t end = text.find(separator, start);
    const size_t stop = end == std::string::npos ? text.size() : end;
    parts.push_back(text.substr(start, stop - start));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return parts;
}

}  // namespace

IPlugProcessor::BypassDelay::BypassDelay(int length_, int nIn, int nOut, int capacity_)
    : buffer(static_cast<size_t>(std::max({length_, capacity_, 0})) *
                 static_cast<size_t>(std::max(nIn, 0)),
             0.0),
      nInputs(nIn),
      nOutputs(nOut),
      length(std::clamp(length_, 0, std::max(length_, capacity_))),
      capacity(std::max({length_, capacity_, 0})) {}

IPlugProcessor::IPlugProcessor(const PluginConfig& config)
    : mPlugType(config.plugType),
      mDoesMidiIn(config.plugDoesMidiIn),
      mDoesMidiOut(config.plugDoesMidiOut),
      mDoesMPE(config.plugDoesMPE),
      mLatency(config.latency) {
  int maxIn = 0, maxOut = 0, maxInBuses = 0, maxOutBuses = 0;
  ParseChannelIO(config.channelIOStr, mLayouts, maxIn, maxOut, maxInBuses, maxOutBuses);
  // Wildcard layouts give negative totals; they still need no slots of their own.
  mInChannels.resize(static_cast<size_t>(std::max(maxIn, 0)));
  mOutChannels.resize(static_cast<size_t>(std::max(maxOut, 0)));
  mInData.assign(mInChannels.size(), nullptr);
  mOutData.assign(mOutChannels.size(), nullptr);
}

IPlugProcessor::~IPlugProcessor() = default;

int IPlugProcessor::ParseChannelIO(const char* text, std::vector<ChannelLayout>& layouts,
                                   int& maxIn, int& maxOut, int& maxInBuses, int& maxOutBuses) {
  maxIn = maxOut = maxInBuses = maxOutBuses = 0;
  const std::string copy = text ? text : "";
  for (const std::string& token : Split(copy, ' ')) {
    if (token.empty()) continue;
    const size_t dash = token.find('-');
    // Channel configurations are constants of a product; a malformed token is a programming
    // error, skipped here rather than half-parsed.
    if (dash == std::string::npos || dash == 0 || dash + 1 >= token.size()) continue;

    ChannelLayout layout;
    const std::string sides[2] = {token.substr(0, dash), token.substr(dash + 1)};
    for (int side = 0; side < 2; ++side) {
      const ERoute direction = side == 0 ? kInput : kOutput;
      int32_t& total = side == 0 ? layout.totalInputs : layout.totalOutputs;
      std::vector<BusSpec>& buses = side == 0 ? layout.inputBuses : layout.outputBuses;
      for (const std::string& busToken : Split(sides[side], '.')) {
        int count = 0;
        if (busToken == "*")
          count = kWildcardChannels;
        else if (std::sscanf(busToken.c_str(), "%d", &count) != 1)
          count = 0;
        if (count != 0) buses.push_back(BusSpec{direction, count});
        total += count;
      }
    }
    maxIn = std::max(maxIn, layout.totalInputs);
    maxOut = std::max(maxOut, layout.totalOutputs);
    maxInBuses = std::max(maxInBuses, static_cast<int>(layout.inputBuses.size()));
    maxOutBuses = std::max(maxOutBuses, static_cast<int>(layout.outputBuses.size()));
    layouts.push_back(std::move(layout));
  }
  return static_cast<int>(layouts.size());
}

int IPlugProcessor::MostBuses(ERoute direction, int* layoutIndex) const {
  int most = 0;
  for (size_t i = 0; i < mLayouts.size(); ++i) {
    const auto& buses = direction == kInput ? mLayouts[i].inputBuses : mLayouts[i].outputBuses;
    const int n = static_cast<int>(buses.size());
    if (n >= most) {  // a tie goes to the later layout
      most = n;
      if (layoutIndex) *layoutIndex = static_cast<int>(i);
    }
  }
  return most;
}

int IPlugProcessor::WidestBusChannels(ERoute direction, int busIdx) const {
  if (!mLayouts.empty()) {
    const auto& first = direction == kInput ? mLayouts[0].inputBuses : mLayouts[0].outputBuses;
    for (const BusSpec& bus : first)
      if (bus.numChannels == kWildcardChannels) return -1;
  }
  int widest = 0;
  for (const ChannelLayout& layout : mLayouts) {
    const auto& buses = direction == kInput ? layout.inputBuses : layout.outputBuses;
    if (busIdx >= 0 && busIdx < static_cast<int>(buses.size()))
      widest = std::max(widest, static_cast<int>(buses[static_cast<size_t>(busIdx)].numChannels));
  }
  return widest;
}

void IPlugProcessor::ProcessAudio(double** inputs, double** outputs, int frames) {
  const int nIn = NChannels(kInput);
  const int nOut = NChannels(kOutput);
  for (int c = 0; c < nOut; ++c) {
    if (c < nIn)
      std::copy_n(inputs[c], frames, outputs[c]);
    else
      std::fill_n(outputs[c], frames, 0.0);
  }
}

bool IPlugProcessor::EmitMidiMessages(const std::vector<MidiMessage>& messages) {
  bool all = true;
  for (const MidiMessage& message : messages) all = EmitMidiMessage(message) && all;
  return all;
}

void IPlugProcessor::BusName(ERoute direction, int busIdx, int nBuses, std::string& name) const {
  char text[33];
  if (direction == kInput) {
    if (nBuses == 1)
      std::snprintf(text, sizeof text, "Input");
    else if (nBuses == 2)
      std::snprintf(text, sizeof text, "%s", busIdx == 0 ? "Main" : "Aux");
    else
      std::snprintf(text, sizeof text, "Input %i", busIdx);
  } else {
    if (nBuses == 1)
      std::snprintf(text, sizeof text, "Output");
    else
      std::snprintf(text, sizeof text, "Output %i", busIdx);
  }
  name = text;
}

void IPlugProcessor::SetChannelsConnected(ERoute direction, int first, int count, bool connected) {
  auto& slots = direction == kInput ? mInChannels : mOutChannels;
  auto& data = direction == kInput ? mInData : mOutData;
  const int last = std::min(first + count, static_cast<int>(slots.size()));
  for (int c = std::max(first, 0); c < last; ++c) {
    ChannelSlot& slot = slots[static_cast<size_t>(c)];
    if (!connected) {
      // An input that loses its host buffer must read silence, not the last block it held.
      if (slot.connected && direction == kInput)
        std::fill(slot.scratch.begin(), slot.scratch.end(), 0.0);
      data[static_cast<size_t>(c)] = slot.scratch.data();
      slot.hostBuffer = nullptr;
    }
    slot.connected = connected;
  }
}

void IPlugProcessor::BindHostBuffers(ERoute direction, int first, int count,
                                     float* const* hostArrays, int frames, int offset) {
  auto& slots = direction == kInput ? mInChannels : mOutChannels;
  auto& data = direction == kInput ? mInData : mOutData;
  const int last = std::min(first + count, static_cast<int>(slots.size()));
  int next = 0;
  for (int c = std::max(first, 0); c < last; ++c) {
    ChannelSlot& slot = slots[static_cast<size_t>(c)];
    if (!slot.connected) continue;
    float* host = hostArrays ? hostArrays[next++] : nullptr;
    if (host) host += offset;
    data[static_cast<size_t>(c)] = slot.scratch.data();
    if (direction == kInput) {
      const int n = std::min(frames, static_cast<int>(slot.scratch.size()));
      if (host)
        for (int i = 0; i < n; ++i) slot.scratch[static_cast<size_t>(i)] = host[i];
      else
        std::fill_n(slot.scratch.begin(), n, 0.0);
    } else {
      slot.hostBuffer = host;
    }
  }
}

void IPlugProcessor::ProcessChannels(int frames) {
  if (frames > mBlockCapacity) frames = mBlockCapacity;  // the buffers hold no more
  ProcessAudio(mInData.data(), mOutData.data(), std::max(frames, 0));
}

void IPlugProcessor::ConvertOutputsToHost(int frames) {
  for (ChannelSlot& slot : mOutChannels) {
    if (!slot.connected || !slot.hostBuffer) continue;
    const int n = std::min(frames, static_cast<int>(slot.scratch.size()));
    for (int i = 0; i < n; ++i)
      slot.hostBuffer[i] = static_cast<float>(slot.scratch[static_cast<size_t>(i)]);
    for (int i = n; i < frames; ++i) slot.hostBuffer[i] = 0.0f;
  }
}

void IPlugProcessor::ProcessChannelsToHost(int frames) {
  ProcessChannels(frames);
  ConvertOutputsToHost(frames);
}

void IPlugProcessor::PassThroughChannels(int frames) {
  frames = std::clamp(frames, 0, mBlockCapacity);
  mDelayHandOver.Adopt(mActiveDelay);
  const int nIn = NChannels(kInput);
  const int nOut = NChannels(kOutput);
  const int shared = std::min(nIn, nOut);
  BypassDelay* delay = mActiveDelay.get();

  if (delay && delay->length > 0) {
    const int channels = std::min(shared, static_cast<int>(delay->nInputs));
    const int length = delay->length;
    const int stride = delay->capacity;
    int pos = delay->writePos;
    for (int i = 0; i < frames; ++i) {
      for (int j = 0; j < channels; ++j) {
        double& cell = delay->buffer[static_cast<size_t>(j * stride + pos)];
        mOutData[static_cast<size_t>(j)][i] = cell;
        cell = mInData[static_cast<size_t>(j)][i];
      }
      if (++pos >= length) pos = 0;
    }
    delay->writePos = pos;
    for (int j = channels; j < nOut; ++j)
      std::fill_n(mOutData[static_cast<size_t>(j)], frames, 0.0);
    return;
  }

  for (int j = 0; j < nOut; ++j) {
    if (j < shared)
      std::copy_n(mInData[static_cast<size_t>(j)], frames, mOutData[static_cast<size_t>(j)]);
    else
      std::fill_n(mOutData[static_cast<size_t>(j)], frames, 0.0);
  }
}

void IPlugProcessor::PassThroughChannelsToHost(int frames) {
  PassThroughChannels(frames);
  ConvertOutputsToHost(frames);
}

void IPlugProcessor::ResizeChannelBuffers(int blockSize, int maxBlock) {
  blockSize = std::max(blockSize, 0);
  const int capacity = std::max({blockSize, maxBlock, kMinBlockCapacity});
  if (capacity != mBlockCapacity) {
    for (auto* slots : {&mInChannels, &mOutChannels})
      for (ChannelSlot& slot : *slots) slot.scratch.assign(static_cast<size_t>(capacity), 0.0);
    for (size_t c = 0; c < mInChannels.size(); ++c) mInData[c] = mInChannels[c].scratch.data();
    for (size_t c = 0; c < mOutChannels.size(); ++c) mOutData[c] = mOutChannels[c].scratch.data();
    for (auto* set : {&mFade.a, &mFade.b})
      set->assign(mOutChannels.size(), std::vector<double>(static_cast<size_t>(capacity), 0.0));
    mBlockCapacity = capacity;
  }
  mBlockSize = blockSize;
}

int IPlugProcessor::CrossfadeBufferFrames() const {
  return mFade.a.empty() ? 0 : static_cast<int>(mFade.a.front().size());
}

void IPlugProcessor::StartBypassFade(bool bypass) noexcept {
  // A flip during a fade restarts it from the other side.
  mFade.active = true;
  mFade.towardsBypass = bypass;
  mFade.position = 0;
  mFade.length = std::max(1, static_cast<int32_t>(GetSampleRate() * kBypassFadeSeconds));
}

void IPlugProcessor::CopyOutputs(std::vector<std::vector<double>>& set, int frames) noexcept {
  for (size_t c = 0; c < set.size() && c < mOutData.size(); ++c) {
    const size_t n = std::min(static_cast<size_t>(std::max(frames, 0)), set[c].size());
    if (mOutData[c]) std::copy_n(mOutData[c], n, set[c].begin());
  }
}

void IPlugProcessor::RenderBypassFade(bool bypass, bool flipped, int frames,
                                      float* const* hostOutputs, int offset,
                                      int channels) noexcept {
  // The processed half is the block's one and only feed of the processor: a second feed
  // (ProcessWhileBypassed) would run its filters over the block again and replay stale,
  // shifted audio into the fade.
  if (!flipped || bypass) {
    ProcessChannels(frames);
    CopyOutputs(mFade.a, frames);
    if (flipped) SetBypassed(true);
    PassThroughChannels(frames);
    CopyOutputs(mFade.b, frames);
  } else {
    PassThroughChannels(frames);
    CopyOutputs(mFade.b, frames);
    SetBypassed(false);
    ProcessChannels(frames);
    CopyOutputs(mFade.a, frames);
  }

  const int mixed = std::min(frames, CrossfadeBufferFrames());
  const int connected = std::min(channels, static_cast<int>(mFade.a.size()));
  const double length = static_cast<double>(mFade.length);
  for (int c = 0; hostOutputs && c < connected; ++c) {
    float* output = hostOutputs[c] ? hostOutputs[c] + offset : nullptr;
    if (!output) continue;
    const double* a = mFade.a[static_cast<size_t>(c)].data();
    const double* b = mFade.b[static_cast<size_t>(c)].data();
    for (int j = 0; j < mixed; ++j) {
      double w = std::min(1.0, static_cast<double>(mFade.position + j) / length);
      if (!mFade.towardsBypass) w = 1.0 - w;
      output[j] = static_cast<float>((1.0 - w) * a[j] + w * b[j]);
    }
  }
  mFade.position += frames;
  if (mFade.position >= mFade.length) {
    mFade.active = false;
    mFade.position = 0;
  }
}

int IPlugProcessor::ConnectedChannelCount(ERoute direction) const {
  const auto& slots = direction == kInput ? mInChannels : mOutChannels;
  return static_cast<int>(
      std::count_if(slots.begin(), slots.end(), [](const ChannelSlot& s) { return s.connected; }));
}

void IPlugProcessor::CreateBypassDelay() {
  if (mInChannels.empty()) return;
  mDelayHandOver.Publish(
      std::make_unique<BypassDelay>(GetLatency(), NChannels(kInput), NChannels(kOutput)));
  mHasBypassDelay = true;
}

void IPlugProcessor::ReserveBypassDelay(int maxSamples) {
  if (mInChannels.empty()) return;
  mDelayHandOver.DropPending();
  mActiveDelay = std::make_unique<BypassDelay>(GetLatency(), NChannels(kInput), NChannels(kOutput),
                                               maxSamples);
  mDelayHandOver.Collect();
}

void IPlugProcessor::ReserveBypassDelayForReset(int maxSamples) {
  const int ceiling = LatencyCeiling();
  ReserveBypassDelay(ceiling >= 0 ? std::min(ceiling, maxSamples) : maxSamples);
}

void IPlugProcessor::SetLatencyInPlace(int samples) noexcept {
  mLatency.store(samples, std::memory_order_relaxed);
  if (BypassDelay* delay = mActiveDelay.get()) {
    delay->length = std::clamp(samples, 0, delay->capacity);
    delay->writePos = 0;
    for (int j = 0; j < delay->nInputs; ++j)
      std::fill_n(delay->buffer.begin() + static_cast<std::ptrdiff_t>(j) * delay->capacity,
                  delay->length, 0.0);
  }
}

void IPlugProcessor::ChangeLatency(int samples) {
  // The new line first: if it cannot be had, the latency stays what the delay line holds.
  std::unique_ptr<BypassDelay> fresh;
  if (mHasBypassDelay)
    fresh = std::make_unique<BypassDelay>(samples, NChannels(kInput), NChannels(kOutput));
  mLatency.store(samples, std::memory_order_relaxed);
  if (fresh) mDelayHandOver.Publish(std::move(fresh));
}

}  // namespace iplug

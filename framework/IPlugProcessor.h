#pragma once

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "framework/IPlugConfig.h"
#include "framework/IPlugConstants.h"
#include "framework/IPlugHandOver.h"
#include "framework/IPlugStructs.h"

namespace iplug {

/** Channel count that stands for a wildcard bus ("*"). */
constexpr int32_t kWildcardChannels = -64;

/** The channel buffers hold at least this many frames, whatever block size the host announces:
 * a host that then delivers longer blocks is served in pieces of the buffers' size, never by a
 * reset on its audio thread. More would be memory every instance of a session keeps (and the
 * oversamplers' buffers grow four times as fast) for pieces that cost next to nothing. */
constexpr int32_t kMinBlockCapacity = 1024;

struct BusSpec {
  ERoute direction = kInput;
  int32_t numChannels = 0;
};

/** The buses of one channel configuration, e.g. "2-2". */
struct ChannelLayout {
  std::vector<BusSpec> inputBuses;
  std::vector<BusSpec> outputBuses;
  int32_t totalInputs = 0;
  int32_t totalOutputs = 0;
};

/** Host transport as the binding last saw it. */
struct ITimeInfo {
  double tempo = 120.0;
  double samplePos = -1.0;
  double ppqPos = -1.0;
  double lastBar = -1.0;
  double cycleStart = -1.0;
  double cycleEnd = -1.0;
  int32_t numerator = 4;
  int32_t denominator = 4;
  bool transportIsRunning = false;
  bool transportLoopEnabled = false;
};

/**
 * The audio side of a plug-in object: channel configurations, per-channel buffers, conversion
 * between the host's float32 buffers and the float64 arrays the product processes, latency
 * compensated pass-through while bypassed, and the processing context (rate, block size,
 * latency, offline flag).
 *
 * Thread use is tagged per operation: [audio] runs on the host's real-time thread and never
 * allocates or blocks; [main] runs on the host's main thread; [not during a block] is for calls
 * the binding makes between blocks.
 */
class IPlugProcessor {
 public:
  explicit IPlugProcessor(const PluginConfig& config);
  virtual ~IPlugProcessor();
  IPlugProcessor(const IPlugProcessor&) = delete;
  IPlugProcessor& operator=(const IPlugProcessor&) = delete;

  // Product overrides.
  /** [audio] Copies input i to output i where both exist and zeros the other outputs. */
  virtual void ProcessAudio(double** inputs, double** outputs, int frames);
  /** [audio] Called instead of ProcessAudio while the host bypasses the plug-in. */
  virtual void ProcessWhileBypassed(double** inputs, int frames) {}
  /** [audio] */
  virtual void HandleMidiMessage(const MidiMessage& message) { EmitMidiMessage(message); }
  /** [not during a block] Sample rate or block size changed; rebuild what depends on them. */
  virtual void ResetProcessing() {}
  /**
   * [audio, right before the first block after a reset] Values that changed since the reset are
   * the state processing starts in, taken as if they had been in force at the reset: no
   * transition is heard. Bindings whose hosts set values only once processing runs (LV2's
   * ports, VST3's and CLAP's parameter events) call it; never allocates.
   */
  virtual void SettleAfterReset() noexcept {}
  /**
   * [main; the audio thread in bindings whose ChangeLatency never allocates] Hands a latency the
   * processor has moved to since the last call to ChangeLatency. A report that fails is kept
   * for the next call.
   */
  virtual void ReportPendingLatency() {}
  /** [main] The latency the processor will have once the changes asked for so far have taken
   * effect (a switch still fading, say): what a host that asks now should compensate for. */
  virtual int ExpectedLatency() const { return GetLatency(); }
  /** [not during a block, after a reset] The most latency the processor can come to report
   * before its next reset, or -1 when it cannot say: how much delay line a binding whose
   * latency changes arrive on the audio thread must keep in reserve. */
  virtual int LatencyCeiling() const { return -1; }
  /** [a thread that may allocate and lock, never the audio thread] Work the processor asked for
   * with RequestDeferredWork(). */
  virtual void DoDeferredWork() {}
  /** [main, blocks may be running] The host switched between realtime and offline rendering
   * after the last reset; GetRenderingOffline() has the new state. Whatever this changes must
   * reach the audio thread without a lock. */
  virtual void OnRenderingOfflineChanged() {}
  /** [audio] Queues a message for the host. */
  virtual bool EmitMidiMessage(const MidiMessage& message) = 0;
  virtual bool EmitMidiMessages(const std::vector<MidiMessage>& messages);
  virtual bool EmitSysEx(const uint8_t* /*data*/, int /*size*/, int /*offset*/) { return false; }
  virtual void BusName(ERoute direction, int busIdx, int nBuses, std::string& name) const;
  /** [main] or [not during a block]. Also re-sizes the bypass delay, handing the new line to
   * the audio thread without a lock. When the new line cannot be allocated this throws and
   * changes nothing, so the latency and the bypass delay always agree. */
  virtual void ChangeLatency(int samples);
  virtual void ChangeTailLength(int samples) { mTailLength = samples; }

  // Channel configurations.
  /** Parses "1-1 2-2"-style text into layouts; returns the number of layouts. */
  static int ParseChannelIO(const char* text, std::vector<ChannelLayout>& layouts, int& maxIn,
                            int& maxOut, int& maxInBuses, int& maxOutBuses);
  int MostBuses(ERoute direction, int* layoutIndex = nullptr) const;
  int WidestBusChannels(ERoute direction, int busIdx) const;
  const std::vector<ChannelLayout>& Layouts() const { return mLayouts; }

  // The host's bypass, the same in every binding.
  /** The crossfade when the host's bypass flips lasts this long. */
  static constexpr double kBypassFadeSeconds = 0.01;
  /**
   * [audio] One block of at most GetBlockCapacity() frames, the host's buffers bound: processed,
   * bypassed (ProcessWhileBypassed, then the input delayed by the latency), or a crossfade
   * between the two when the bypass has just flipped. Writes the host's outputs (the first
   * `channels` connected ones). beforeProcessing() runs right before the processor is called.
   * With pluginHandlesBypass the plug-in always processes and no fade runs. Each block feeds the
   * processor once: during a fade the processed half is its only feed.
   */
  template <typename BeforeProcessing>
  void RenderWithHostBypass(bool bypass, bool pluginHandlesBypass, int frames,
                            float* const* hostOutputs, int offset, int channels,
                            BeforeProcessing&& beforeProcessing) {
    const bool flipped = bypass != GetBypassed() && !pluginHandlesBypass;
    if (flipped) StartBypassFade(bypass);
    if (pluginHandlesBypass) SetBypassed(bypass);
    if (!mFade.active || pluginHandlesBypass) {
      if (!bypass || pluginHandlesBypass) {
        if (!pluginHandlesBypass) SetBypassed(false);
        beforeProcessing();
        ProcessChannelsToHost(frames);
        PassThroughChannels(frames);  // keeps the bypass delay line current
      } else {
        SetBypassed(true);
        ProcessWhileBypassed(InputData(), frames);
        PassThroughChannelsToHost(frames);
      }
      return;
    }
    beforeProcessing();
    RenderBypassFade(bypass, flipped, frames, hostOutputs, offset, channels);
  }
  /** [not during a block] The host's bypass starts in this state: no crossfade runs. */
  void SettleHostBypass(bool bypassed) noexcept {
    mFade.active = false;
    mFade.position = 0;
    mBypassed = bypassed;
  }
  /** [audio, or main between blocks] State of the bypass crossfade. */
  bool CrossfadeActive() const { return mFade.active; }
  int CrossfadeLength() const { return mFade.length; }
  /** Frames each crossfade buffer holds. */
  int CrossfadeBufferFrames() const;

  // Operations the binding drives.
  /** [audio] */
  void SetChannelsConnected(ERoute direction, int first, int count, bool connected);
  /** [audio] Binds the next host array, from `offset` frames in, to every connected channel in
   * the range; inputs are converted to float64 at once. */
  void BindHostBuffers(ERoute direction, int first, int count, float* const* hostArrays, int frames,
                       int offset = 0);
  /** [audio] frames is at most GetBlockCapacity(); longer blocks are the binding's to split. */
  void ProcessChannels(int frames);
  /** [audio] */
  void ProcessChannelsToHost(int frames);
  /** [audio] */
  void PassThroughChannels(int frames);
  /** [audio] */
  void PassThroughChannelsToHost(int frames);
  /** [not during a block] The host's announced block size (and the longest it announces, if
   * it does); the buffers hold max(blockSize, maxBlock, kMinBlockCapacity) frames. */
  void ResizeChannelBuffers(int blockSize, int maxBlock = 0);
  /** [main] */
  void CreateBypassDelay();
  /**
   * [not during a block] For bindings whose latency reports arrive on the audio thread: a bypass
   * delay with room for latencies up to maxSamples, which SetLatencyInPlace then follows
   * without allocating.
   */
  void ReserveBypassDelay(int maxSamples);
  /** [not during a block, after a reset] ReserveBypassDelay for LatencyCeiling(), or for
   * maxSamples when that is lower or unknown: a line sized for any latency at all is memory
   * every instance keeps and never plays. */
  void ReserveBypassDelayForReset(int maxSamples);
  /** [audio, or not during a block] The new latency, and the reserved delay line cut to it
   * (cleared; a latency beyond the room is delayed by the room only). Never allocates. */
  void SetLatencyInPlace(int samples) noexcept;
  int ConnectedChannelCount(ERoute direction) const;

  /** Asks the host, from the audio thread and without blocking, to call DoDeferredWork() soon on
   * a thread of its own; false when it cannot be asked. */
  using DeferredWorkRequester = bool (*)(void* context) noexcept;
  /** [binding, before activation] How this host is asked for deferred work (null: it cannot). */
  void SetDeferredWorkRequester(DeferredWorkRequester requester, void* context) {
    mDeferredWork = requester;
    mDeferredWorkContext = context;
  }
  /** [binding, before activation] The most channels a block will connect from the next
   * activation on (its variant's or stem's bus), or 0 while that is not known: processing may
   * size per-channel state to it at the reset. */
  void SetChannelsInUse(int channels) { mChannelsInUse = std::max(channels, 0); }
  /** The channels a block will connect at most: the announced count, else every slot. */
  int ChannelsInUse(ERoute direction) const {
    return mChannelsInUse > 0 ? std::min(mChannelsInUse, NChannels(direction))
                              : NChannels(direction);
  }
  /** Whether RequestDeferredWork() can succeed in this host. */
  bool CanDeferWork() const { return mDeferredWork != nullptr; }
  /** [audio, never blocks] false: the host cannot be asked now, try again later. */
  bool RequestDeferredWork() noexcept {
    return mDeferredWork && mDeferredWork(mDeferredWorkContext);
  }

  // Context.
  double GetSampleRate() const { return mSampleRate; }
  void SetSampleRate(double rate) { mSampleRate = rate; }
  /** The block size the host announced. */
  int GetBlockSize() const { return mBlockSize; }
  /** The most frames one ProcessChannels call takes (0 before the buffers exist). */
  int GetBlockCapacity() const { return mBlockCapacity; }
  int GetLatency() const { return mLatency.load(std::memory_order_relaxed); }
  int GetTailLength() const { return mTailLength; }
  bool GetBypassed() const { return mBypassed; }
  void SetBypassed(bool bypassed) { mBypassed = bypassed; }
  bool GetRenderingOffline() const { return mRenderingOffline.load(std::memory_order_acquire); }
  void SetRenderingOffline(bool offline) {
    mRenderingOffline.store(offline, std::memory_order_release);
  }
  int NChannels(ERoute direction) const {
    return static_cast<int>(direction == kInput ? mInChannels.size() : mOutChannels.size());
  }
  int GetPlugType() const { return mPlugType; }
  bool DoesMidiIn() const { return mDoesMidiIn; }
  bool DoesMidiOut() const { return mDoesMidiOut; }
  bool DoesMPE() const { return mDoesMPE; }
  const ITimeInfo& GetTimeInfo() const { return mTimeInfo; }
  void SetTimeInfo(const ITimeInfo& info) { mTimeInfo = info; }

  double** InputData() { return mInData.data(); }
  double** OutputData() { return mOutData.data(); }

 private:
  struct ChannelSlot {
    bool connected = false;
    float* hostBuffer = nullptr;
    std::vector<double> scratch;
  };

  /** Delay line that keeps bypassed audio aligned with processed audio; room for `capacity`
   * samples per channel, of which `length` are in use. */
  struct BypassDelay {
    BypassDelay(int length, int nIn, int nOut, int capacity = 0);
    std::vector<double> buffer;
    int32_t nInputs;
    int32_t nOutputs;
    int32_t writePos = 0;
    int32_t length;
    int32_t capacity;
  };

  void ConvertOutputsToHost(int frames);
  void StartBypassFade(bool bypass) noexcept;
  void RenderBypassFade(bool bypass, bool flipped, int frames, float* const* hostOutputs,
                        int offset, int channels) noexcept;
  /** Copies the output channels into one of the fade's buffer sets. */
  void CopyOutputs(std::vector<std::vector<double>>& set, int frames) noexcept;

  DeferredWorkRequester mDeferredWork = nullptr;
  void* mDeferredWorkContext = nullptr;
  int mChannelsInUse = 0;
  int32_t mPlugType;
  bool mDoesMidiIn;
  bool mDoesMidiOut;
  bool mDoesMPE;
  std::atomic<int32_t> mLatency;
  double mSampleRate = 48000.0;
  int32_t mBlockSize = 0;
  int32_t mBlockCapacity = 0;
  int32_t mTailLength = 0;
  bool mBypassed = false;
  std::atomic<bool> mRenderingOffline{false};
  std::vector<ChannelLayout> mLayouts;
  std::vector<double*> mInData;
  std::vector<double*> mOutData;
  std::vector<ChannelSlot> mInChannels;
  std::vector<ChannelSlot> mOutChannels;
  ITimeInfo mTimeInfo;

  // The bypass crossfade: set A holds the processed signal, set B the bypassed one, one buffer
  // per output channel of the buffers' capacity.
  struct BypassFade {
    bool active = false;
    bool towardsBypass = false;
    int32_t position = 0;
    int32_t length = 1;
    std::vector<std::vector<double>> a;
    std::vector<std::vector<double>> b;
  };
  BypassFade mFade;

  // The bypass delay is owned by the audio thread once adopted; new lines come from the main
  // thread through the hand-over, and the lines they replace go back to be freed there.
  bool mHasBypassDelay = false;
  std::unique_ptr<BypassDelay> mActiveDelay;
  HandOver<BypassDelay> mDelayHandOver;
};

}  // namespace iplug

#pragma once

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
 * reset on its audio thread. */
constexpr int32_t kMinBlockCapacity = 4096;

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
  /** [not during a block] The host's announced block size; the buffers hold
   * max(blockSize, kMinBlockCapacity) frames. */
  void ResizeChannelBuffers(int blockSize);
  /** [main] */
  void CreateBypassDelay();
  int ConnectedChannelCount(ERoute direction) const;

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

  /** Delay line that keeps bypassed audio aligned with processed audio. */
  struct BypassDelay {
    BypassDelay(int length, int nIn, int nOut);
    std::vector<double> buffer;
    int32_t nInputs;
    int32_t nOutputs;
    int32_t writePos = 0;
    int32_t length;
  };

  void ConvertOutputsToHost(int frames);

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

  // The bypass delay is owned by the audio thread once adopted; new lines come from the main
  // thread through the hand-over, and the lines they replace go back to be freed there.
  bool mHasBypassDelay = false;
  std::unique_ptr<BypassDelay> mActiveDelay;
  HandOver<BypassDelay> mDelayHandOver;
};

}  // namespace iplug

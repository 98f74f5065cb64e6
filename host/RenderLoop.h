#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "host/PluginSession.h"

namespace corvane::host {

/** Interleaved audio frames from a file or from memory. */
class FrameSource {
 public:
  virtual ~FrameSource() = default;
  virtual int Channels() const = 0;
  /** Reads up to frames frames; returns how many were read, 0 once the source is exhausted. */
  virtual int Read(float* interleaved, int frames) = 0;
};

/** Interleaved audio frames to a file or to memory. */
class FrameSink {
 public:
  virtual ~FrameSink() = default;
  virtual void Write(const float* interleaved, int frames) = 0;
};

class MemorySource final : public FrameSource {
 public:
  MemorySource(const std::vector<float>& interleaved, int channels)
      : mData(interleaved), mChannels(channels) {}
  int Channels() const override { return mChannels; }
  int Read(float* interleaved, int frames) override;

 private:
  const std::vector<float>& mData;
  int mChannels;
  size_t mPosition = 0;  // in samples
};

class MemorySink final : public FrameSink {
 public:
  void Write(const float* interleaved, int frames) override;
  explicit MemorySink(int channels) : mChannels(channels) {}
  const std::vector<float>& Data() const { return mData; }

 private:
  int mChannels;
  std::vector<float> mData;
};

/** Called between blocks with the input position (in frames) of the next or last block. */
using BlockHook = std::function<void(int64_t frame)>;

struct RenderSettings {
  double sampleRate = 48000.0;
  int blockSize = 512;
  bool offline = false;
  /** Write exactly what the plug-in produced for the input blocks (no settling, no latency
   * compensation) instead of output aligned with the input. */
  bool raw = false;
  /** Before each block of the input and of the tail (not of the pre-roll): frame is the input
   * position of the block's first frame. Host automation goes here. */
  BlockHook beforeBlock;
  /** After each such block: frame is the input position after it. */
  BlockHook afterBlock;
};

struct RenderStats {
  int64_t frames = 0;       // input frames, which is also the output length
  double inputPeak = 0.0;   // linear, over all channels
  double outputPeak = 0.0;  // linear, as written
  int latency = 0;          // the plug-in's latency during the render (raw: at its end)
};

/** Called with the number of input frames consumed so far. */
using ProgressCallback = std::function<void(int64_t framesDone)>;

/** Silence rendered before the input, whatever the plug-in reports: at least this long... */
constexpr double kMinPrerollSeconds = 0.25;
/** ...and at least this many blocks, plus the plug-in's latency. */
constexpr int kMinPrerollBlocks = 1;

/**
 * Resets the session (its parameters must be set already) and renders the whole source into
 * the sink, one host block at a time. Unless settings.raw is set, the plug-in first settles on
 * silence (a pre-roll of kMinPrerollSeconds or kMinPrerollBlocks blocks plus the latency,
 * whichever is longer, and on until the session stops settling), then its latency is
 * compensated: the sink receives exactly as many frames as the source held, and output frame k
 * is the plug-in's response to input frame k.
 */
RenderStats Render(PluginSession& session, FrameSource& source, FrameSink& sink,
                   const RenderSettings& settings, const ProgressCallback& progress = {});

}  // namespace corvane::host

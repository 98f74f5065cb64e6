#include "host/RenderLoop.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "host/HostError.h"

namespace corvane::host {

namespace {

constexpr double kIdleTickSeconds = 0.02;
/** A plug-in that is still settling after this much silence is broken, not slow. */
constexpr double kMaxSettleSeconds = 60.0;

/** Stands in for the host's idle timer, which a real host runs on wall-clock time; an offline
 * render counts rendered audio instead so that the ticks fall at the same audio positions
 * however fast the machine is. */
class IdleTimer {
 public:
  IdleTimer(PluginSession& session, double sampleRate)
      : mSession(session),
        mInterval(std::max<int64_t>(1, std::llround(sampleRate * kIdleTickSeconds))) {}

  /** Returns the ticks that fell due. */
  int Advance(int frames) {
    int ticks = 0;
    mElapsed += frames;
    while (mElapsed >= mInterval) {
      mElapsed -= mInterval;
      mSession.IdleTick();
      ++ticks;
    }
    return ticks;
  }

 private:
  PluginSession& mSession;
  int64_t mInterval;
  int64_t mElapsed = 0;
};

double Peak(const float* samples, size_t count, double peak) {
  for (size_t i = 0; i < count; ++i)
    peak = std::max(peak, static_cast<double>(std::fabs(samples[i])));
  return peak;
}

}  // namespace

int MemorySource::Read(float* interleaved, int frames) {
  const size_t available = (mData.size() - mPosition) / static_cast<size_t>(mChannels);
  const size_t n = std::min(available, static_cast<size_t>(std::max(frames, 0)));
  std::copy_n(mData.begin() + static_cast<std::ptrdiff_t>(mPosition), n * mChannels, interleaved);
  mPosition += n * static_cast<size_t>(mChannels);
  return static_cast<int>(n);
}

void MemorySink::Write(const float* interleaved, int frames) {
  mData.insert(mData.end(), interleaved, interleaved + static_cast<size_t>(frames) * mChannels);
}

RenderStats Render(PluginSession& session, FrameSource& source, FrameSink& sink,
                   const RenderSettings& settings, const ProgressCallback& progress) {
  const int channels = source.Channels();
  const int block = settings.blockSize;
  if (channels < 1 || channels > 2) throw std::invalid_argument("only mono or stereo renders");
  if (block < 1) throw std::invalid_argument("block size must be positive");

  session.Reset(settings.sampleRate, block, settings.offline, channels);
  IdleTimer timer(session, settings.sampleRate);

  const auto blockSamples = static_cast<size_t>(block) * static_cast<size_t>(channels);
  std::vector<float> planarIn(blockSamples, 0.0f);
  std::vector<float> planarOut(blockSamples, 0.0f);
  std::vector<float> interleaved(blockSamples, 0.0f);
  float* in[2] = {planarIn.data(), planarIn.data() + (channels - 1) * block};
  float* out[2] = {planarOut.data(), planarOut.data() + (channels - 1) * block};

  if (!settings.raw) {
    // The silence rendered here is what a host's transport would have played before the
    // file starts; its output is never heard. The fixed pre-roll is there because a plug-in
    // loaded from a module cannot say when its filters are full; it also gives every session
    // the same silence before the audio, so that they can be compared sample for sample.
    const int64_t preroll =
        std::max<int64_t>(std::llround(settings.sampleRate * kMinPrerollSeconds),
                          static_cast<int64_t>(kMinPrerollBlocks) * block) +
        std::max(session.Latency(), 0);
    const auto limit = preroll + static_cast<int64_t>(settings.sampleRate * kMaxSettleSeconds);
    int64_t settled = 0;
    auto silentBlock = [&] {
      if (settled >= limit)
        throw HostError(kExitFailure, "the plug-in did not settle within 60 s of silence");
      session.Process(in, out, channels, block);
      settled += block;
      return timer.Advance(block);
    };
    while (settled < preroll || session.Settling()) silentBlock();
    // A latency change made while settling is only reported at an idle tick, and idle ticks
    // come with rendered audio only: go on until one has come before the latency is read.
    while (silentBlock() == 0) {
    }
  }

  RenderStats stats;
  stats.latency = session.Latency();
  const int64_t latency = settings.raw ? 0 : std::max(stats.latency, 0);
  int64_t toSkip = latency;    // leading output that answers the settling silence
  int64_t tailLeft = latency;  // silence that pushes the last input frames out
  int64_t position = 0;        // input frames handed to the plug-in, tail included
  bool exhausted = false;

  for (;;) {
    int filled = 0;
    while (!exhausted && filled < block) {
      const int n =
          source.Read(interleaved.data() + static_cast<size_t>(filled) * channels, block - filled);
      if (n <= 0) {
        exhausted = true;
      } else {
        filled += n;
        stats.frames += n;
      }
    }
    stats.inputPeak =
        Peak(interleaved.data(), static_cast<size_t>(filled) * channels, stats.inputPeak);
    for (int c = 0; c < channels; ++c)
      for (int i = 0; i < filled; ++i)
        in[c][i] = interleaved[static_cast<size_t>(i * channels + c)];

    const int tail = static_cast<int>(std::min<int64_t>(tailLeft, block - filled));
    for (int c = 0; c < channels; ++c) std::fill_n(in[c] + filled, tail, 0.0f);
    tailLeft -= tail;
    const int n = filled + tail;
    if (n == 0) break;

    if (settings.beforeBlock) settings.beforeBlock(position);
    session.Process(in, out, channels, n);
    timer.Advance(n);
    position += n;
    if (settings.afterBlock) settings.afterBlock(position);

    const int skip = static_cast<int>(std::min<int64_t>(toSkip, n));
    toSkip -= skip;
    const int keep = n - skip;
    for (int c = 0; c < channels; ++c)
      for (int i = 0; i < keep; ++i)
        interleaved[static_cast<size_t>(i * channels + c)] = out[c][skip + i];
    const auto kept = static_cast<size_t>(keep) * channels;
    stats.outputPeak = Peak(interleaved.data(), kept, stats.outputPeak);
    if (keep > 0) sink.Write(interleaved.data(), keep);
    if (progress) progress(stats.frames);
  }
  // A raw render has no settling: the latency it runs with is known by its end.
  if (settings.raw) stats.latency = session.Latency();
  session.RenderFinished();
  return stats;
}

}  // namespace corvane::host

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "plugin/Corvane.h"
#include "tests/support/AllocationCounter.h"

using namespace corvane;
using iplug::kInput;
using iplug::kOutput;

namespace {

/** Drives a Corvane object through the processor base with host float buffers. */
class Host {
 public:
  Host(Corvane& plug, int channels, int maxBlock) : mPlug(plug), mChannels(channels) {
    mIn.assign(2, std::vector<float>(static_cast<size_t>(maxBlock)));
    mOut.assign(2, std::vector<float>(static_cast<size_t>(maxBlock)));
    for (int c = 0; c < 2; ++c) {
      mInPtrs[c] = mIn[static_cast<size_t>(c)].data();
      mOutPtrs[c] = mOut[static_cast<size_t>(c)].data();
    }
    plug.SetSampleRate(44100.0);
    plug.ResizeChannelBuffers(maxBlock);
    plug.ResetProcessing();
  }

  void Block(int frames, double& phase) {
    for (int i = 0; i < frames; ++i, phase += 0.031)
      for (int c = 0; c < 2; ++c)
        mIn[static_cast<size_t>(c)][static_cast<size_t>(i)] =
            0.8f * static_cast<float>(std::sin(phase + c));
    mPlug.SetChannelsConnected(kInput, 0, mChannels, true);
    mPlug.SetChannelsConnected(kInput, mChannels, 2 - mChannels, false);
    mPlug.BindHostBuffers(kInput, 0, 2, mInPtrs, frames);
    mPlug.SetChannelsConnected(kOutput, 0, mChannels, true);
    mPlug.SetChannelsConnected(kOutput, mChannels, 2 - mChannels, false);
    mPlug.BindHostBuffers(kOutput, 0, 2, mOutPtrs, frames);
    mPlug.ProcessChannelsToHost(frames);
  }

  const std::vector<float>& Out(int c) const { return mOut[static_cast<size_t>(c)]; }

 private:
  Corvane& mPlug;
  int mChannels;
  std::vector<std::vector<float>> mIn, mOut;
  float* mInPtrs[2];
  float* mOutPtrs[2];
};

void SetParam(Corvane& plug, int index, double value) {
  plug.GetParam(index)->SetValue(value);
  plug.OnParamChange(index, iplug::kHost);
  plug.OnEditorParamChange(index, iplug::kDelegate);
}

}  // namespace

// Many seconds of audio with oversampling on, at the block sizes hosts use, with switches and
// bypassed stretches: the audio thread's path must never touch the heap.
TEST(EngineRealtime, ProcessingNeverAllocates) {
  std::mt19937 rng(3);
  for (int pattern : {1, 64, 512, 1024, -1}) {
    Corvane plug;
    SetParam(plug, kGain, 12.0);
    SetParam(plug, kModA, 50.0);
    SetParam(plug, kModB, 50.0);
    SetParam(plug, kThreshold, -20.0);
    SetParam(plug, kOversampling, 1.0);
    Host host(plug, pattern == 64 ? 1 : 2, 1024);
    ASSERT_TRUE(plug.Engine().OversamplingActive());

    const long total = static_cast<long>(44100 * (pattern == 1 ? 3 : 12));
    double phase = 0.0;
    long done = 0, allocations = 0;
    int block = 0;
    while (done < total) {
      const int n = pattern > 0 ? pattern : static_cast<int>(rng() % 1024) + 1;
      // Switch off and on again now and then; the requests come from the "main thread".
      if (++block % 997 == 0)
        SetParam(plug, kOversampling, plug.Engine().OversamplingActive() ? 0.0 : 1.0);
      testsupport::ScopedAllocationCounter counter;
      if (block % 300 < 10) {
        plug.ProcessWhileBypassed(plug.InputData(), n);
        plug.PassThroughChannels(n);
      } else {
        host.Block(n, phase);
      }
      allocations += counter.Count();
      done += n;
    }
    EXPECT_EQ(allocations, 0) << "block pattern " << pattern;
    for (float v : host.Out(0)) ASSERT_TRUE(std::isfinite(v));
  }
}

#pragma once

#include <vector>

#include "framework/IPlugProcessor.h"

namespace processor_test {

inline iplug::PluginConfig ConfigFor(const char* io, int latency = 0) {
  iplug::PluginConfig config;
  config.channelIOStr = io;
  config.latency = latency;
  return config;
}

class TestProcessor : public iplug::IPlugProcessor {
 public:
  explicit TestProcessor(const iplug::PluginConfig& config) : IPlugProcessor(config) {}
  bool EmitMidiMessage(const iplug::MidiMessage&) override { return false; }
};

/** Host-side float buffers and the pointer arrays the binding calls take. */
struct HostBuffers {
  HostBuffers(int channels, int frames)
      : in(channels, std::vector<float>(frames)), out(channels, std::vector<float>(frames)) {
    for (auto& c : in) inPtrs.push_back(c.data());
    for (auto& c : out) outPtrs.push_back(c.data());
  }
  std::vector<std::vector<float>> in, out;
  std::vector<float*> inPtrs, outPtrs;
};

}  // namespace processor_test

#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "aax/library/AAX_VCollection.h"
#include "framework/aax/IPlugAAX.h"
#include "framework/aax/IPlugAAX_Describe.h"
#include "host/aaxhost/AlgorithmContext.h"
#include "host/aaxhost/DescriptionCollection.h"
#include "host/aaxhost/InstanceHost.h"

namespace aaxtest {

/**
 * What the test executable's MakePlug and MakeEffectConfig return; Corvane and its description
 * unless a test replaces them.
 */
extern std::function<iplug::IPlugAAX*()> gMakePlug;
extern std::function<iplug::AAXEffectConfig()> gMakeEffectConfig;

/** The product's description as the host recorded it. */
const aaxhost::Description& ProductDescription();
/** The component of the product's description with that native plug-in ID. */
const aaxhost::Component& ProductComponent(AAX_CTypeID nativeID);

inline IACFUnknown* UnknownOf(iplug::IPlugAAX* plug) {
  return static_cast<AAX_IEffectParametersV1*>(plug);
}

/**
 * One instance as a host runs it: the plug-in object initialized with its own host objects and
 * an algorithm context laid out from the product's mono or stereo component. Owns the plug-in's
 * creation reference.
 */
class Instance {
 public:
  explicit Instance(iplug::IPlugAAX* plug, float sampleRate = 48000.0f, int channels = 2);
  ~Instance();
  Instance(const Instance&) = delete;
  Instance& operator=(const Instance&) = delete;

  iplug::IPlugAAX& Plug() { return *mPlug; }
  template <class T>
  T& PlugAs() {
    return static_cast<T&>(*mPlug);
  }
  aaxhost::InstanceHost& Host() { return mHost; }
  aaxhost::AlgorithmContext& Context() { return *mContext; }
  int Channels() const { return mChannels; }

  /** The host applies set-value requests at once, as it would echo them back. */
  void EchoSetValueRequests();

  /**
   * [one block] Delivers posted packets, then runs the render callback on frames of in (one
   * vector per channel, from offset) into out.
   */
  void Process(std::vector<std::vector<float>>& in, std::vector<std::vector<float>>& out,
               int frames, int offset = 0);
  /** Process in two halves: the host's preparation (which allocates), then the callback alone. */
  void Prepare(std::vector<std::vector<float>>& in, std::vector<std::vector<float>>& out,
               int frames, int offset = 0);
  void Render();
  /** Runs the whole of in through blocks of blockSize, writing out (sized like in). */
  void ProcessAll(std::vector<std::vector<float>>& in, std::vector<std::vector<float>>& out,
                  int blockSize);

 private:
  iplug::IPlugAAX* mPlug;
  int mChannels;
  aaxhost::InstanceHost mHost;
  std::unique_ptr<aaxhost::AlgorithmContext> mContext;
};

/** channels × frames of value. */
std::vector<std::vector<float>> Signal(int channels, int frames, float value = 0.0f);

}  // namespace aaxtest

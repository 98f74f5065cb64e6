#pragma once

// A small LV2 host on lilv, a host library nobody here wrote, for the bundle's tests: the world
// with the built bundle, URID mapping, the block-length options, and instances with their
// ports connected to buffers.

#include <lilv/lilv.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/options/options.h>
#include <lv2/state/state.h>
#include <lv2/urid/urid.h>
#include <lv2/worker/worker.h>

#include <atomic>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "host/realtime/RealtimeProbe.h"

namespace lv2test {

inline constexpr const char* kStereoURI = "http://pellumar.com/plugins/corvane#stereo";
inline constexpr const char* kMonoURI = "http://pellumar.com/plugins/corvane#mono";

/** URIDs as a host hands them out: one per URI, from 1. */
class URIDMap {
 public:
  URIDMap();
  LV2_URID Map(const char* uri);
  const char* Unmap(LV2_URID urid) const;
  LV2_URID_Map* MapFeatureData() { return &mMap; }
  LV2_URID_Unmap* UnmapFeatureData() { return &mUnmap; }

 private:
  std::map<std::string, LV2_URID> mIds;
  std::vector<std::string> mUris;
  LV2_URID_Map mMap;
  LV2_URID_Unmap mUnmap;
};

/** The world, loaded with the built bundle only. */
class World {
 public:
  World();
  ~World();
  World(const World&) = delete;
  World& operator=(const World&) = delete;

  LilvWorld* Get() const { return mWorld; }
  const LilvPlugin* Plugin(const char* uri) const;
  URIDMap& Urids() { return mUrids; }

 private:
  LilvWorld* mWorld = nullptr;
  URIDMap mUrids;
};

/** What features the host offers. */
enum class Features {
  kNone,
  kMapAndOptions,
  /** Also a worker, as Ardour and jalv have: its work runs when the test calls RunWork(). */
  kMapOptionsAndWorker,
  /** Map and options, then a feature whose URI points at no memory, as lv2file passes one. */
  kMapOptionsAndAStrayOne
};

/** Whether an instance is activated on construction. */
enum class Start { kActive, kInactive };

/**
 * One instance with every port connected: planar float buffers for audio, a float per control
 * port (set to the port's default). Activated on construction unless asked not to be.
 */
class Instance {
 public:
  Instance(World& world, const char* uri, double rate, Features features = Features::kMapAndOptions,
           int nominalBlock = 512, int maxBlock = 8192, Start start = Start::kActive);
  ~Instance();
  Instance(const Instance&) = delete;
  Instance& operator=(const Instance&) = delete;

  bool Valid() const { return mInstance != nullptr; }
  void Activate();
  void Deactivate();
  bool Active() const { return mActive; }
  const LilvPlugin* Plugin() const { return mPlugin; }
  LilvInstance* Get() const { return mInstance; }
  int Channels() const { return mChannels; }

  /** A control port's value, by symbol. */
  float& Control(const std::string& symbol);
  /** Runs frames of in (channels x frames, planar) into out, in one run() call; the buffers
   * grow as needed (never inside the call). */
  void Run(const std::vector<std::vector<float>>& in, std::vector<std::vector<float>>& out,
           int frames, int offset = 0);
  /** While on, every run() call (that call alone) is watched by the real-time probe. */
  void Watch(bool on) { mWatch = on; }
  corvane::realtime::Violations Seen() const { return mSeen; }
  /** The plug-in's state interface, or null. */
  const LV2_State_Interface* StateInterface() const;
  /** Work the plug-in scheduled since the last call, carried out now, on the calling thread, as
   * a host's worker thread would; the number of requests served. */
  int RunWork();

 private:
  bool mWatch = false;
  bool mActive = false;
  corvane::realtime::Violations mSeen;
  World& mWorld;
  const LilvPlugin* mPlugin = nullptr;
  LilvInstance* mInstance = nullptr;
  int mChannels = 0;
  std::vector<std::vector<float>> mIn;
  std::vector<std::vector<float>> mOut;
  std::vector<uint32_t> mAudioInPorts;
  std::vector<uint32_t> mAudioOutPorts;
  std::map<std::string, float> mControlValues;
  std::map<std::string, uint32_t> mControlPorts;
  int32_t mNominal = 0;
  int32_t mMax = 0;
  std::vector<LV2_Options_Option> mOptions;
  LV2_Feature mMapFeature{};
  LV2_Feature mOptionsFeature{};
  std::vector<const LV2_Feature*> mFeatures;
  LV2_Worker_Schedule mSchedule{};
  LV2_Feature mScheduleFeature{};
  LV2_Feature mStrayFeature{};
  std::atomic<int> mWorkPending{0};  // run() schedules, the worker's thread serves
};

/** A state as the plug-in stores it: one property, as an LV2 host keeps it. */
struct StateBlob {
  std::vector<uint8_t> bytes;
  uint32_t key = 0;
  uint32_t type = 0;
  uint32_t flags = 0;
  int stores = 0;
  /** What save() answered. */
  LV2_State_Status status = LV2_STATE_ERR_UNKNOWN;
};

/** The plug-in's save(), through its state interface. */
StateBlob Save(Instance& instance);
/** The plug-in's restore() of a blob. */
LV2_State_Status Restore(Instance& instance, const StateBlob& blob);

}  // namespace lv2test

#include "tests/plugin/lv2/LilvHost.h"

#include <lv2/atom/atom.h>
#include <lv2/core/lv2.h>
#include <lv2/state/state.h>

#include <dlfcn.h>

#include <algorithm>
#include <cstdint>
#include <stdexcept>

namespace lv2test {

URIDMap::URIDMap() {
  mMap.handle = this;
  mMap.map = [](LV2_URID_Map_Handle handle, const char* uri) {
    return static_cast<URIDMap*>(handle)->Map(uri);
  };
  mUnmap.handle = this;
  mUnmap.unmap = [](LV2_URID_Unmap_Handle handle, LV2_URID urid) {
    return static_cast<URIDMap*>(handle)->Unmap(urid);
  };
}

LV2_URID URIDMap::Map(const char* uri) {
  const auto found = mIds.find(uri);
  if (found != mIds.end()) return found->second;
  mUris.emplace_back(uri);
  const auto id = static_cast<LV2_URID>(mUris.size());
  mIds.emplace(uri, id);
  return id;
}

const char* URIDMap::Unmap(LV2_URID urid) const {
  return urid >= 1 && urid <= mUris.size() ? mUris[urid - 1].c_str() : nullptr;
}

World::World() : mWorld(lilv_world_new()) {
  // The module's libsoxr pulls in libgomp, which allocates when it is loaded and never frees
  // it: unloaded with the module, that would show as a leak of the module's. A host process
  // keeps such libraries loaded; so does this one.
  static void* const kKeepLoaded = ::dlopen("libsoxr.so.0", RTLD_NOW | RTLD_NODELETE);
  (void)kKeepLoaded;
  LilvNode* path = lilv_new_string(mWorld, CORVANE_LV2_PATH);
  lilv_world_set_option(mWorld, LILV_OPTION_LV2_PATH, path);
  lilv_node_free(path);
  lilv_world_load_all(mWorld);
}

World::~World() {
  lilv_world_free(mWorld);
}

const LilvPlugin* World::Plugin(const char* uri) const {
  LilvNode* node = lilv_new_uri(mWorld, uri);
  const LilvPlugin* plugin = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(mWorld), node);
  lilv_node_free(node);
  return plugin;
}

Instance::Instance(World& world, const char* uri, double rate, Features features, int nominalBlock,
                   int maxBlock, Start start)
    : mWorld(world), mPlugin(world.Plugin(uri)), mNominal(nominalBlock), mMax(maxBlock) {
  if (!mPlugin) return;
  if (features != Features::kNone) {
    URIDMap& urids = world.Urids();
    const LV2_URID atomInt = urids.Map(LV2_ATOM__Int);
    mOptions = {{LV2_OPTIONS_INSTANCE, 0, urids.Map(LV2_BUF_SIZE__nominalBlockLength),
                 sizeof(int32_t), atomInt, &mNominal},
                {LV2_OPTIONS_INSTANCE, 0, urids.Map(LV2_BUF_SIZE__maxBlockLength), sizeof(int32_t),
                 atomInt, &mMax},
                {LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr}};
    mMapFeature = {LV2_URID__map, urids.MapFeatureData()};
    mOptionsFeature = {LV2_OPTIONS__options, mOptions.data()};
    mFeatures = {&mMapFeature, &mOptionsFeature};
  }
  if (features == Features::kMapOptionsAndWorker) {
    mSchedule.handle = this;
    mSchedule.schedule_work = [](LV2_Worker_Schedule_Handle self, uint32_t, const void*) {
      static_cast<Instance*>(self)->mWorkPending.fetch_add(1);
      return LV2_WORKER_SUCCESS;
    };
    mScheduleFeature = {LV2_WORKER__schedule, &mSchedule};
    mFeatures.push_back(&mScheduleFeature);
  }
  if (features == Features::kMapOptionsAndAStrayOne) {
    // Where lv2file's stray URI pointed: unmapped in every process seen.
    mStrayFeature = {reinterpret_cast<const char*>(uintptr_t{0xff000000ff}), nullptr};
    mFeatures.push_back(&mStrayFeature);
  }
  mFeatures.push_back(nullptr);
  mInstance = lilv_plugin_instantiate(mPlugin, rate, mFeatures.data());
  if (!mInstance) return;

  LilvWorld* w = world.Get();
  LilvNode* audio = lilv_new_uri(w, LV2_CORE__AudioPort);
  LilvNode* control = lilv_new_uri(w, LV2_CORE__ControlPort);
  LilvNode* input = lilv_new_uri(w, LV2_CORE__InputPort);
  for (uint32_t i = 0; i < lilv_plugin_get_num_ports(mPlugin); ++i) {
    const LilvPort* port = lilv_plugin_get_port_by_index(mPlugin, i);
    const bool isInput = lilv_port_is_a(mPlugin, port, input);
    if (lilv_port_is_a(mPlugin, port, audio)) {
      (isInput ? mAudioInPorts : mAudioOutPorts).push_back(i);
    } else if (lilv_port_is_a(mPlugin, port, control)) {
      const std::string symbol = lilv_node_as_string(lilv_port_get_symbol(mPlugin, port));
      LilvNode* value = nullptr;
      lilv_port_get_range(mPlugin, port, &value, nullptr, nullptr);
      mControlValues[symbol] = value ? lilv_node_as_float(value) : 0.0f;
      lilv_node_free(value);
      mControlPorts[symbol] = i;
      lilv_instance_connect_port(mInstance, i, &mControlValues[symbol]);
    }
  }
  lilv_node_free(audio);
  lilv_node_free(control);
  lilv_node_free(input);
  mChannels = static_cast<int>(mAudioInPorts.size());
  mIn.assign(static_cast<size_t>(mChannels), std::vector<float>(16, 0.0f));
  mOut.assign(static_cast<size_t>(mChannels), std::vector<float>(16, 0.0f));
  if (start == Start::kActive) Activate();
}

Instance::~Instance() {
  if (!mInstance) return;
  Deactivate();
  lilv_instance_free(mInstance);
}

void Instance::Activate() {
  if (mActive) return;
  lilv_instance_activate(mInstance);
  mActive = true;
}

void Instance::Deactivate() {
  if (!mActive) return;
  lilv_instance_deactivate(mInstance);
  mActive = false;
}

int Instance::RunWork() {
  const int served = mWorkPending.exchange(0);
  const auto* worker = static_cast<const LV2_Worker_Interface*>(
      lilv_instance_get_extension_data(mInstance, LV2_WORKER__interface));
  const uint8_t wake = 0;
  for (int i = 0; worker && i < served; ++i)
    worker->work(lilv_instance_get_handle(mInstance), nullptr, nullptr, sizeof wake, &wake);
  return served;
}

const LV2_State_Interface* Instance::StateInterface() const {
  return static_cast<const LV2_State_Interface*>(
      lilv_instance_get_extension_data(mInstance, LV2_STATE__interface));
}

float& Instance::Control(const std::string& symbol) {
  const auto found = mControlValues.find(symbol);
  if (found == mControlValues.end()) throw std::out_of_range("no control port " + symbol);
  return found->second;
}

void Instance::Run(const std::vector<std::vector<float>>& in, std::vector<std::vector<float>>& out,
                   int frames, int offset) {
  out.resize(static_cast<size_t>(mChannels));
  for (int c = 0; c < mChannels; ++c) {
    auto& buffer = mIn[static_cast<size_t>(c)];
    if (buffer.size() < static_cast<size_t>(frames)) buffer.resize(static_cast<size_t>(frames));
    std::copy_n(in[static_cast<size_t>(c)].begin() + offset, frames, buffer.begin());
    if (mOut[static_cast<size_t>(c)].size() < static_cast<size_t>(frames))
      mOut[static_cast<size_t>(c)].resize(static_cast<size_t>(frames));
    lilv_instance_connect_port(mInstance, mAudioInPorts[static_cast<size_t>(c)], buffer.data());
    lilv_instance_connect_port(mInstance, mAudioOutPorts[static_cast<size_t>(c)],
                               mOut[static_cast<size_t>(c)].data());
  }
  if (mWatch) {
    corvane::realtime::ScopedProbe probe;
    lilv_instance_run(mInstance, static_cast<uint32_t>(frames));
    mSeen = mSeen + probe.Seen();
  } else {
    lilv_instance_run(mInstance, static_cast<uint32_t>(frames));
  }
  for (int c = 0; c < mChannels; ++c) {
    auto& o = out[static_cast<size_t>(c)];
    if (o.size() < static_cast<size_t>(offset + frames))
      o.resize(static_cast<size_t>(offset + frames));
    std::copy_n(mOut[static_cast<size_t>(c)].begin(), frames, o.begin() + offset);
  }
}

namespace {

LV2_State_Status Store(LV2_State_Handle handle, uint32_t key, const void* value, size_t size,
                       uint32_t type, uint32_t flags) {
  auto* blob = static_cast<StateBlob*>(handle);
  const auto* bytes = static_cast<const uint8_t*>(value);
  blob->bytes.assign(bytes, bytes + size);
  blob->key = key;
  blob->type = type;
  blob->flags = flags;
  ++blob->stores;
  return LV2_STATE_SUCCESS;
}

const void* Retrieve(LV2_State_Handle handle, uint32_t key, size_t* size, uint32_t* type,
                     uint32_t* flags) {
  const auto* blob = static_cast<const StateBlob*>(handle);
  if (key != blob->key) return nullptr;
  *size = blob->bytes.size();
  *type = blob->type;
  *flags = blob->flags;
  return blob->bytes.data();
}

}  // namespace

StateBlob Save(Instance& instance) {
  StateBlob blob;
  if (const LV2_State_Interface* state = instance.StateInterface())
    blob.status = state->save(lilv_instance_get_handle(instance.Get()), Store, &blob,
                              LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE, nullptr);
  return blob;
}

LV2_State_Status Restore(Instance& instance, const StateBlob& blob) {
  const LV2_State_Interface* state = instance.StateInterface();
  if (!state) return LV2_STATE_ERR_NO_FEATURE;
  return state->restore(lilv_instance_get_handle(instance.Get()), Retrieve,
                        const_cast<StateBlob*>(&blob), 0, nullptr);
}

}  // namespace lv2test

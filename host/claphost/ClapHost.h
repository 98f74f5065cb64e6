#pragma once

// A minimal CLAP host: it loads a bundle with dlopen, goes through clap_entry and the plug-in
// factory as a host does, and offers the plug-in thread-check, params, latency, gui and
// timer-support. Which thread is "audio" is the caller's to say (AudioScope): the tool and the
// tests interleave both duties on one thread, as an offline renderer does.

#include <clap/entry.h>
#include <clap/ext/audio-ports.h>
#include <clap/ext/gui.h>
#include <clap/ext/latency.h>
#include <clap/ext/params.h>
#include <clap/ext/state.h>
#include <clap/ext/thread-check.h>
#include <clap/ext/timer-support.h>
#include <clap/plugin-factory.h>
#include <dlfcn.h>

#include <filesystem>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <map>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace corvane::host::clap {

inline thread_local bool tOnAudio = false;

/** While alive, the calling thread is the host's audio thread; scopes nest. */
struct AudioScope {
  AudioScope() : mWas(tOnAudio) { tOnAudio = true; }
  ~AudioScope() { tOnAudio = mWas; }
  AudioScope(const AudioScope&) = delete;
  AudioScope& operator=(const AudioScope&) = delete;

 private:
  bool mWas;
};

class Host {
 public:
  explicit Host(bool offerThreadCheck = true) : mOfferThreadCheck(offerThreadCheck) {
    mHost.clap_version = CLAP_VERSION_INIT;
    mHost.host_data = this;
    mHost.name = "corvane-host";
    mHost.vendor = "Pellumar";
    mHost.url = "";
    mHost.version = "1";
    mHost.get_extension = [](const clap_host_t* h, const char* id) -> const void* {
      Host& self = Of(h);
      if (!std::strcmp(id, CLAP_EXT_THREAD_CHECK))
        return self.mOfferThreadCheck ? &self.mThreadCheck : nullptr;
      if (!std::strcmp(id, CLAP_EXT_PARAMS)) return &self.mParams;
      if (!std::strcmp(id, CLAP_EXT_LATENCY)) return &self.mLatency;
      if (!std::strcmp(id, CLAP_EXT_TIMER_SUPPORT)) return &self.mTimers;
      if (!std::strcmp(id, CLAP_EXT_GUI)) return &self.mGui;
      return nullptr;
    };
    mHost.request_restart = [](const clap_host_t* h) { Of(h).restarts.fetch_add(1); };
    mHost.request_process = [](const clap_host_t*) {};
    mHost.request_callback = [](const clap_host_t* h) { Of(h).callbacks.fetch_add(1); };
    mThreadCheck.is_main_thread = [](const clap_host_t* h) {
      return !tOnAudio && std::this_thread::get_id() == Of(h).mMain;
    };
    mThreadCheck.is_audio_thread = [](const clap_host_t*) { return tOnAudio; };
    mParams.rescan = [](const clap_host_t*, clap_param_rescan_flags) {};
    mParams.clear = [](const clap_host_t*, clap_id, clap_param_clear_flags) {};
    mParams.request_flush = [](const clap_host_t* h) { Of(h).flushRequests.fetch_add(1); };
    mLatency.changed = [](const clap_host_t* h) { Of(h).latencyChanges.fetch_add(1); };
    mTimers.register_timer = [](const clap_host_t* h, uint32_t period, clap_id* id) {
      Host& self = Of(h);
      *id = self.mNextTimer++;
      self.timers[*id] = period;
      return true;
    };
    mTimers.unregister_timer = [](const clap_host_t* h, clap_id id) {
      return Of(h).timers.erase(id) == 1;
    };
    mGui.resize_hints_changed = [](const clap_host_t*) {};
    mGui.request_resize = [](const clap_host_t* h, uint32_t w, uint32_t height) {
      Of(h).resizeRequests.emplace_back(w, height);
      return true;
    };
    mGui.request_show = [](const clap_host_t*) { return true; };
    mGui.request_hide = [](const clap_host_t*) { return true; };
    mGui.closed = [](const clap_host_t*, bool) {};
  }
  Host(const Host&) = delete;
  Host& operator=(const Host&) = delete;

  const clap_host_t* Get() const { return &mHost; }

  std::atomic<int> restarts{0};
  std::atomic<int> callbacks{0};
  std::atomic<int> flushRequests{0};
  std::atomic<int> latencyChanges{0};
  std::map<clap_id, uint32_t> timers;
  std::vector<std::pair<uint32_t, uint32_t>> resizeRequests;

 private:
  static Host& Of(const clap_host_t* h) { return *static_cast<Host*>(h->host_data); }

  bool mOfferThreadCheck;
  std::thread::id mMain = std::this_thread::get_id();
  clap_host_t mHost{};
  clap_host_thread_check_t mThreadCheck{};
  clap_host_params_t mParams{};
  clap_host_latency_t mLatency{};
  clap_host_timer_support_t mTimers{};
  clap_host_gui_t mGui{};
  clap_id mNextTimer = 1;
};

/** Whether a path names a CLAP bundle (a shared object ending in .clap). */
inline bool IsClapPath(const std::filesystem::path& path) {
  return path.extension() == ".clap";
}

/** The bundle, loaded and initialized through its entry; throws std::runtime_error when it
 * cannot be. */
class Module {
 public:
  explicit Module(const std::string& path) {
    mHandle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!mHandle) throw std::runtime_error("cannot load '" + path + "': " + ::dlerror());
    mEntry = static_cast<const clap_plugin_entry_t*>(::dlsym(mHandle, "clap_entry"));
    if (!mEntry || !mEntry->init(path.c_str())) {
      ::dlclose(mHandle);
      throw std::runtime_error("'" + path + "' has no clap_entry, or its init refused");
    }
    mFactory =
        static_cast<const clap_plugin_factory_t*>(mEntry->get_factory(CLAP_PLUGIN_FACTORY_ID));
    if (!mFactory) {
      mEntry->deinit();
      ::dlclose(mHandle);
      throw std::runtime_error("'" + path + "' offers no plug-in factory");
    }
  }
  ~Module() {
    mEntry->deinit();
    ::dlclose(mHandle);
  }
  Module(const Module&) = delete;
  Module& operator=(const Module&) = delete;

  const clap_plugin_entry_t* Entry() const { return mEntry; }
  const clap_plugin_factory_t* Factory() const { return mFactory; }

 private:
  void* mHandle = nullptr;
  const clap_plugin_entry_t* mEntry = nullptr;
  const clap_plugin_factory_t* mFactory = nullptr;
};

/** Input events: a list the plug-in reads, in the order given. */
class Events {
 public:
  void Value(uint32_t time, clap_id id, double value) {
    clap_event_param_value_t e{};
    e.header = {sizeof e, time, CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_PARAM_VALUE, 0};
    e.param_id = id;
    e.note_id = -1;
    e.port_index = -1;
    e.channel = -1;
    e.key = -1;
    e.value = value;
    mEvents.push_back(e);
  }
  void Clear() { mEvents.clear(); }
  const clap_input_events_t* List() {
    mList.ctx = this;
    mList.size = [](const clap_input_events_t* l) {
      return static_cast<uint32_t>(static_cast<Events*>(l->ctx)->mEvents.size());
    };
    mList.get = [](const clap_input_events_t* l, uint32_t i) -> const clap_event_header_t* {
      auto& events = static_cast<Events*>(l->ctx)->mEvents;
      return i < events.size() ? &events[i].header : nullptr;
    };
    return &mList;
  }

 private:
  std::vector<clap_event_param_value_t> mEvents;
  clap_input_events_t mList{};
};

/** Output events: what the plug-in pushed, by type, id and value. */
class Output {
 public:
  struct Event {
    uint16_t type;
    clap_id id;
    double value;
  };
  Output() {
    mList.ctx = this;
    mList.try_push = [](const clap_output_events_t* l, const clap_event_header_t* e) {
      auto* self = static_cast<Output*>(l->ctx);
      if (self->events.size() == self->events.capacity()) return false;  // never grows in process
      if (e->type == CLAP_EVENT_PARAM_VALUE) {
        const auto* v = reinterpret_cast<const clap_event_param_value_t*>(e);
        self->events.push_back({e->type, v->param_id, v->value});
      } else {
        const auto* g = reinterpret_cast<const clap_event_param_gesture_t*>(e);
        self->events.push_back({e->type, g->param_id, 0.0});
      }
      return true;
    };
    events.reserve(64);
  }
  Output(const Output&) = delete;
  Output& operator=(const Output&) = delete;
  const clap_output_events_t* List() const { return &mList; }
  std::vector<Event> events;

 private:
  clap_output_events_t mList{};
};

/** The state stream a host hands a plug-in: over bytes, at most `perCall` of them per call (a
 * stream may hand out one byte at a time), or failing every call when told to. */
struct ByteStream {
  std::vector<uint8_t> bytes;
  size_t perCall = SIZE_MAX;
  size_t at = 0;
  bool fail = false;
  clap_istream_t in{};
  clap_ostream_t out{};

  ByteStream() {
    in.ctx = this;
    in.read = [](const clap_istream_t* s, void* buffer, uint64_t size) -> int64_t {
      auto* self = static_cast<ByteStream*>(s->ctx);
      if (self->fail) return -1;
      const size_t n = std::min<size_t>({size, self->perCall, self->bytes.size() - self->at});
      std::memcpy(buffer, self->bytes.data() + self->at, n);
      self->at += n;
      return static_cast<int64_t>(n);
    };
    out.ctx = this;
    out.write = [](const clap_ostream_t* s, const void* buffer, uint64_t size) -> int64_t {
      auto* self = static_cast<ByteStream*>(s->ctx);
      if (self->fail) return -1;
      const size_t n = std::min<size_t>(size, self->perCall);
      const auto* b = static_cast<const uint8_t*>(buffer);
      self->bytes.insert(self->bytes.end(), b, b + n);
      return static_cast<int64_t>(n);
    };
  }
  ByteStream(const ByteStream&) = delete;
  ByteStream& operator=(const ByteStream&) = delete;
};

/** One plug-in of a bundle, made and initialized through the factory; throws
 * std::runtime_error when it cannot be. Calls tagged [audio] run as the host's audio thread. */
class Instance {
 public:
  Instance(const Module& module, Host& host, const char* id) {
    mPlugin = module.Factory()->create_plugin(module.Factory(), host.Get(), id);
    if (!mPlugin) throw std::runtime_error(std::string("the factory makes no '") + id + "'");
    if (!mPlugin->init(mPlugin)) {
      mPlugin->destroy(mPlugin);
      throw std::runtime_error(std::string("'") + id + "' refuses init");
    }
    mParams = Ext<clap_plugin_params_t>(CLAP_EXT_PARAMS);
    mState = Ext<clap_plugin_state_t>(CLAP_EXT_STATE);
    mLatency = Ext<clap_plugin_latency_t>(CLAP_EXT_LATENCY);
    mPorts = Ext<clap_plugin_audio_ports_t>(CLAP_EXT_AUDIO_PORTS);
  }
  ~Instance() {
    if (mActive) Deactivate();
    mPlugin->destroy(mPlugin);
  }
  Instance(const Instance&) = delete;
  Instance& operator=(const Instance&) = delete;

  template <typename T>
  const T* Ext(const char* id) const {
    return static_cast<const T*>(mPlugin->get_extension(mPlugin, id));
  }
  const clap_plugin_t* Get() const { return mPlugin; }
  const clap_plugin_params_t* Params() const { return mParams; }
  const clap_plugin_state_t* State() const { return mState; }
  bool Active() const { return mActive; }

  /** The main output port's channels; 0 without one. */
  uint32_t Channels() const {
    clap_audio_port_info_t info{};
    if (!mPorts || mPorts->count(mPlugin, false) < 1 || !mPorts->get(mPlugin, 0, false, &info))
      return 0;
    return info.channel_count;
  }

  bool Activate(double rate, uint32_t maxFrames) {
    mActive = mPlugin->activate(mPlugin, rate, 1, maxFrames);
    if (!mActive) return false;
    AudioScope audio;
    mProcessing = mPlugin->start_processing(mPlugin);
    return mProcessing;
  }
  void Deactivate() {
    if (mProcessing) {
      AudioScope audio;
      mPlugin->stop_processing(mPlugin);
      mProcessing = false;
    }
    if (mActive) mPlugin->deactivate(mPlugin);
    mActive = false;
  }
  /** [audio] One block; in and out may be the same buffers. */
  clap_process_status Process(float* const* in, float* const* out, uint32_t channels,
                              uint32_t frames, Events* events = nullptr, Output* output = nullptr) {
    AudioScope audio;
    clap_audio_buffer_t inBuffer{const_cast<float**>(in), nullptr, channels, 0, 0};
    clap_audio_buffer_t outBuffer{const_cast<float**>(out), nullptr, channels, 0, 0};
    clap_process_t p{};
    p.steady_time = -1;
    p.frames_count = frames;
    p.audio_inputs = &inBuffer;
    p.audio_outputs = &outBuffer;
    p.audio_inputs_count = 1;
    p.audio_outputs_count = 1;
    p.in_events = events ? events->List() : mNoEvents.List();
    p.out_events = output ? output->List() : mNoOutput.List();
    return mPlugin->process(mPlugin, &p);
  }
  /** params.flush on the thread it belongs to: the audio thread while active, else the main. */
  void Flush(Events& events, Output* output = nullptr) {
    if (mActive) {
      AudioScope audio;
      mParams->flush(mPlugin, events.List(), output ? output->List() : mNoOutput.List());
    } else {
      mParams->flush(mPlugin, events.List(), output ? output->List() : mNoOutput.List());
    }
  }
  uint32_t ParamCount() const { return mParams ? mParams->count(mPlugin) : 0; }
  clap_param_info_t Info(uint32_t index) const {
    clap_param_info_t info{};
    if (!mParams || !mParams->get_info(mPlugin, index, &info))
      throw std::runtime_error("no parameter at index " + std::to_string(index));
    return info;
  }
  double Value(clap_id id) const {
    double v = 0.0;
    if (!mParams || !mParams->get_value(mPlugin, id, &v))
      throw std::runtime_error("no value for parameter " + std::to_string(id));
    return v;
  }
  std::string Text(clap_id id, double value) const {
    char text[CLAP_NAME_SIZE] = {};
    if (!mParams || !mParams->value_to_text(mPlugin, id, value, text, sizeof text)) return "";
    return text;
  }
  bool ValueOf(clap_id id, const std::string& text, double& value) const {
    return mParams && mParams->text_to_value(mPlugin, id, text.c_str(), &value);
  }
  /** The state through a stream that takes perCall bytes per call; false when refused. */
  bool Save(std::vector<uint8_t>& bytes, size_t perCall = SIZE_MAX) const {
    ByteStream s;
    s.perCall = perCall;
    if (!mState || !mState->save(mPlugin, &s.out)) return false;
    bytes = std::move(s.bytes);
    return true;
  }
  bool Load(const std::vector<uint8_t>& bytes, size_t perCall = SIZE_MAX) {
    ByteStream s;
    s.bytes = bytes;
    s.perCall = perCall;
    return mState && mState->load(mPlugin, &s.in);
  }
  uint32_t Latency() const { return mLatency ? mLatency->get(mPlugin) : 0; }

 private:
  const clap_plugin_t* mPlugin = nullptr;
  const clap_plugin_params_t* mParams = nullptr;
  const clap_plugin_state_t* mState = nullptr;
  const clap_plugin_latency_t* mLatency = nullptr;
  const clap_plugin_audio_ports_t* mPorts = nullptr;
  bool mActive = false;
  bool mProcessing = false;
  Events mNoEvents;
  Output mNoOutput;
};

}  // namespace corvane::host::clap

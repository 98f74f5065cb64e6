// What a CLAP host holds: the plug-in factory, and per instance one clap_plugin with the tables of
// its extensions. Every entry point leads from the clap_plugin to the plug-in object behind it;
// nothing thrown gets out.

#include "framework/clap/IPlugCLAP_Objects.h"

#include <atomic>
#include <cstring>
#include <memory>
#include <new>

#include "framework/clap/IPlugCLAP.h"

namespace iplug {

namespace {

std::atomic<int> gLiveInstances{0};

template <typename Fn>
auto Guarded(Fn&& fn, decltype(fn()) failed) noexcept -> decltype(fn()) {
  try {
    return fn();
  } catch (...) {
    return failed;
  }
}

template <typename Fn>
void GuardedVoid(Fn&& fn) noexcept {
  try {
    fn();
  } catch (...) {
  }
}

/** The descriptors, made once from the product's description; their texts live as long. */
struct Descriptors {
  std::vector<std::vector<const char*>> features;
  std::vector<clap_plugin_descriptor_t> list;

  Descriptors() {
    const CLAPDescription& d = CLAPDescriptionOfPlug();
    features.reserve(d.variants.size());
    for (const CLAPVariant& v : d.variants) {
      std::vector<const char*>& f = features.emplace_back();
      for (const std::string& feature : v.features) f.push_back(feature.c_str());
      f.push_back(nullptr);
      clap_plugin_descriptor_t desc{};
      desc.clap_version = CLAP_VERSION_INIT;
      desc.id = v.id.c_str();
      desc.name = v.name.c_str();
      desc.vendor = d.vendor.c_str();
      desc.url = d.url.c_str();
      desc.manual_url = "";
      desc.support_url = d.url.c_str();
      desc.version = d.version.c_str();
      desc.description = d.description.c_str();
      desc.features = f.data();
      list.push_back(desc);
    }
  }
};

const Descriptors& TheDescriptors() {
  static const Descriptors descriptors;
  return descriptors;
}

/** One instance as the host holds it: the clap_plugin first, then the object. */
struct Instance {
  clap_plugin_t plugin{};
  std::unique_ptr<IPlugCLAP> plug;
  bool initialized = false;

  Instance() { gLiveInstances.fetch_add(1, std::memory_order_relaxed); }
  ~Instance() { gLiveInstances.fetch_sub(1, std::memory_order_relaxed); }
};

IPlugCLAP& Of(const clap_plugin_t* plugin) {
  return *static_cast<Instance*>(plugin->plugin_data)->plug;
}

// ---- Extensions ----

const clap_plugin_audio_ports_t kAudioPorts = {
    [](const clap_plugin_t* p, bool isInput) -> uint32_t {
      return Guarded([&] { return Of(p).AudioPortCount(isInput); }, 0u);
    },
    [](const clap_plugin_t* p, uint32_t index, bool isInput, clap_audio_port_info_t* info) {
      return info && Guarded([&] { return Of(p).AudioPortInfo(index, isInput, *info); }, false);
    },
};

const clap_plugin_params_t kParams = {
    [](const clap_plugin_t* p) -> uint32_t {
      return Guarded([&] { return Of(p).ParamCount(); }, 0u);
    },
    [](const clap_plugin_t* p, uint32_t index, clap_param_info_t* info) {
      return info && Guarded([&] { return Of(p).ParamInfo(index, *info); }, false);
    },
    [](const clap_plugin_t* p, clap_id id, double* value) {
      return value && Guarded([&] { return Of(p).ParamValue(id, *value); }, false);
    },
    [](const clap_plugin_t* p, clap_id id, double value, char* display, uint32_t size) {
      return Guarded([&] { return Of(p).ValueToText(id, value, display, size); }, false);
    },
    [](const clap_plugin_t* p, clap_id id, const char* display, double* value) {
      return value && Guarded([&] { return Of(p).TextToValue(id, display, *value); }, false);
    },
    [](const clap_plugin_t* p, const clap_input_events_t* in, const clap_output_events_t* out) {
      Of(p).Flush(in, out);
    },
};

const clap_plugin_state_t kState = {
    [](const clap_plugin_t* p, const clap_ostream_t* stream) {
      return stream && Guarded([&] { return Of(p).SaveState(*stream); }, false);
    },
    [](const clap_plugin_t* p, const clap_istream_t* stream) {
      return stream && Guarded([&] { return Of(p).LoadState(*stream); }, false);
    },
};

const clap_plugin_latency_t kLatency = {
    [](const clap_plugin_t* p) -> uint32_t { return Guarded([&] { return Of(p).Latency(); }, 0u); },
};

const clap_plugin_timer_support_t kTimerSupport = {
    [](const clap_plugin_t* p, clap_id id) { GuardedVoid([&] { Of(p).OnTimer(id); }); },
};

const clap_plugin_gui_t kGui = {
    // is_api_supported
    [](const clap_plugin_t* p, const char* api, bool floating) {
      return Guarded([&] { return Of(p).GuiIsApiSupported(api, floating); }, false);
    },
    // get_preferred_api
    [](const clap_plugin_t*, const char** api, bool* floating) {
      if (!api || !floating) return false;
      *api = CLAP_WINDOW_API_X11;
      *floating = false;
      return true;
    },
    // create
    [](const clap_plugin_t* p, const char* api, bool floating) {
      return Guarded([&] { return Of(p).GuiCreate(api, floating); }, false);
    },
    // destroy
    [](const clap_plugin_t* p) { GuardedVoid([&] { Of(p).GuiDestroy(); }); },
    // set_scale
    [](const clap_plugin_t* p, double scale) {
      return Guarded([&] { return Of(p).GuiSetScale(scale); }, false);
    },
    // get_size
    [](const clap_plugin_t* p, uint32_t* w, uint32_t* h) {
      return w && h && Guarded([&] { return Of(p).GuiGetSize(*w, *h); }, false);
    },
    // can_resize
    [](const clap_plugin_t* p) { return Guarded([&] { return Of(p).GuiCanResize(); }, false); },
    // get_resize_hints
    [](const clap_plugin_t* p, clap_gui_resize_hints_t* hints) {
      return hints && Guarded([&] { return Of(p).GuiResizeHints(*hints); }, false);
    },
    // adjust_size
    [](const clap_plugin_t* p, uint32_t* w, uint32_t* h) {
      return w && h && Guarded([&] { return Of(p).GuiAdjustSize(*w, *h); }, false);
    },
    // set_size
    [](const clap_plugin_t* p, uint32_t w, uint32_t h) {
      return Guarded([&] { return Of(p).GuiSetSize(w, h); }, false);
    },
    // set_parent
    [](const clap_plugin_t* p, const clap_window_t* window) {
      return Guarded([&] { return Of(p).GuiSetParent(window); }, false);
    },
    // set_transient: embedded only
    [](const clap_plugin_t*, const clap_window_t*) { return false; },
    // suggest_title: embedded, so no title of its own
    [](const clap_plugin_t*, const char*) {},
    // show
    [](const clap_plugin_t* p) { return Guarded([&] { return Of(p).GuiShow(); }, false); },
    // hide
    [](const clap_plugin_t* p) { return Guarded([&] { return Of(p).GuiHide(); }, false); },
};

// ---- The plug-in ----

bool Init(const clap_plugin_t* p) {
  auto* instance = static_cast<Instance*>(p->plugin_data);
  if (instance->initialized) return false;
  instance->initialized = Guarded([&] { return instance->plug->Init(); }, false);
  return instance->initialized;
}

void Destroy(const clap_plugin_t* p) {
  auto* instance = static_cast<Instance*>(p->plugin_data);
  GuardedVoid([&] {
    // A host may destroy an active instance, or one with its editor open.
    if (instance->plug->Active()) instance->plug->Deactivate();
    instance->plug->GuiDestroy();
  });
  delete instance;
}

const void* Extension(const clap_plugin_t*, const char* id) {
  if (!id) return nullptr;
  if (!std::strcmp(id, CLAP_EXT_AUDIO_PORTS)) return &kAudioPorts;
  if (!std::strcmp(id, CLAP_EXT_PARAMS)) return &kParams;
  if (!std::strcmp(id, CLAP_EXT_STATE)) return &kState;
  if (!std::strcmp(id, CLAP_EXT_LATENCY)) return &kLatency;
  if (!std::strcmp(id, CLAP_EXT_GUI)) return &kGui;
  if (!std::strcmp(id, CLAP_EXT_TIMER_SUPPORT)) return &kTimerSupport;
  return nullptr;
}

const clap_plugin_t* CreatePlugin(const clap_host_t* host, const char* id) {
  if (!host || !id || !clap_version_is_compatible(host->clap_version)) return nullptr;
  const Descriptors& descriptors = TheDescriptors();
  const CLAPDescription& description = CLAPDescriptionOfPlug();
  for (size_t i = 0; i < descriptors.list.size(); ++i) {
    if (std::strcmp(descriptors.list[i].id, id) != 0) continue;
    auto instance = std::make_unique<Instance>();
    instance->plug.reset(MakePlugCLAP());
    if (!instance->plug || !instance->plug->Attach(host, description.variants[i])) return nullptr;
    clap_plugin_t& plugin = instance->plugin;
    plugin.desc = &descriptors.list[i];
    plugin.plugin_data = instance.get();
    plugin.init = &Init;
    plugin.destroy = &Destroy;
    plugin.activate = [](const clap_plugin_t* p, double rate, uint32_t minFrames,
                         uint32_t maxFrames) {
      return Guarded([&] { return Of(p).Activate(rate, minFrames, maxFrames); }, false);
    };
    plugin.deactivate = [](const clap_plugin_t* p) { GuardedVoid([&] { Of(p).Deactivate(); }); };
    plugin.start_processing = [](const clap_plugin_t* p) { return Of(p).StartProcessing(); };
    plugin.stop_processing = [](const clap_plugin_t* p) { Of(p).StopProcessing(); };
    plugin.reset = [](const clap_plugin_t* p) { Of(p).Reset(); };
    plugin.process = [](const clap_plugin_t* p, const clap_process_t* process) {
      return process ? Of(p).Process(*process) : CLAP_PROCESS_ERROR;
    };
    plugin.get_extension = &Extension;
    plugin.on_main_thread = [](const clap_plugin_t* p) {
      GuardedVoid([&] { Of(p).OnMainThread(); });
    };
    return &instance.release()->plugin;
  }
  return nullptr;
}

const clap_plugin_factory_t kFactory = {
    [](const clap_plugin_factory_t*) -> uint32_t {
      return Guarded([] { return static_cast<uint32_t>(TheDescriptors().list.size()); }, 0u);
    },
    [](const clap_plugin_factory_t*, uint32_t index) -> const clap_plugin_descriptor_t* {
      return Guarded(
          [&]() -> const clap_plugin_descriptor_t* {
            const auto& list = TheDescriptors().list;
            return index < list.size() ? &list[index] : nullptr;
          },
          nullptr);
    },
    [](const clap_plugin_factory_t*, const clap_host_t* host,
       const char* id) -> const clap_plugin_t* {
      return Guarded([&] { return CreatePlugin(host, id); },
                     static_cast<const clap_plugin_t*>(nullptr));
    },
};

}  // namespace

const clap_plugin_factory_t* CLAPFactory() {
  return &kFactory;
}

int CLAPLiveInstances() {
  return gLiveInstances.load(std::memory_order_relaxed);
}

}  // namespace iplug

// The validator's tests of a CLAP bundle: what CLAP hosts rely on and what CLAP's own validators
// check (the entry and factory, the ports, the thread rules, value and text round trips of every
// parameter, the state through a stream that moves one byte per call and the refusal of a bad
// one, process with no events and with an event at every sample, activation cycles, the flush
// while inactive, the latency report with its restart, real-time safety), each through the
// bundle's clap_entry as a host calls it.

#include "host/validate/ClapTests.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "host/claphost/ClapHost.h"
#include "host/realtime/RealtimeProbe.h"

namespace corvane::host::validate {

namespace {

using clap::Events;
using clap::Host;
using clap::Instance;
using clap::Module;

[[noreturn]] void Fail(const std::string& reason) {
  throw Failure{reason};
}

constexpr double kRate = 48000.0;
constexpr uint32_t kMaxBlock = 512;

std::unique_ptr<Module> Load(const TestContext& context) {
  try {
    return std::make_unique<Module>(context.module.string());
  } catch (const std::runtime_error& e) {
    Fail(e.what());
  }
}

std::vector<std::string> PluginIDs(const Module& module) {
  std::vector<std::string> ids;
  const clap_plugin_factory_t* f = module.Factory();
  for (uint32_t i = 0; i < f->get_plugin_count(f); ++i)
    if (const clap_plugin_descriptor_t* d = f->get_plugin_descriptor(f, i); d && d->id)
      ids.emplace_back(d->id);
  if (ids.empty()) Fail("the factory offers no plug-in");
  return ids;
}

std::unique_ptr<Instance> Make(const Module& module, Host& host, const std::string& id) {
  try {
    return std::make_unique<Instance>(module, host, id.c_str());
  } catch (const std::runtime_error& e) {
    Fail(e.what());
  }
}

/** Planar audio, processed in place in blocks with the events each block gets. */
using Signal = std::vector<std::vector<float>>;

Signal Noise(uint32_t channels, int frames, uint64_t seed) {
  std::mt19937_64 random(seed);
  std::uniform_real_distribution<float> sample(-1.f, 1.f);
  Signal s(channels, std::vector<float>(static_cast<size_t>(frames)));
  for (auto& channel : s)
    for (float& v : channel) v = sample(random);
  return s;
}

template <typename BlockOf, typename EventsOf>
Signal Render(Instance& instance, Signal signal, BlockOf&& blockOf, EventsOf&& eventsOf) {
  const int frames = static_cast<int>(signal[0].size());
  const auto channels = static_cast<uint32_t>(signal.size());
  float* pointers[2] = {};
  Events events;
  for (int at = 0; at < frames;) {
    const int n = std::min(blockOf(at), frames - at);
    for (uint32_t c = 0; c < channels; ++c) pointers[c] = signal[c].data() + at;
    events.Clear();
    eventsOf(at, n, events);
    if (instance.Process(pointers, pointers, channels, static_cast<uint32_t>(n), &events) !=
        CLAP_PROCESS_CONTINUE)
      Fail("process() fails on a block of " + std::to_string(n) + " frames");
    at += n;
  }
  for (const auto& channel : signal)
    for (const float v : channel)
      if (!std::isfinite(v)) Fail("the output holds a value that is not finite");
  return signal;
}

/** The parameters a host may automate, with their ranges. */
std::vector<clap_param_info_t> Automatable(const Instance& instance) {
  std::vector<clap_param_info_t> params;
  for (uint32_t i = 0; i < instance.ParamCount(); ++i) {
    const clap_param_info_t info = instance.Info(i);
    if (info.flags & CLAP_PARAM_IS_AUTOMATABLE) params.push_back(info);
  }
  if (params.empty()) Fail("no parameter a host may automate");
  return params;
}

std::vector<double> Values(const Instance& instance) {
  std::vector<double> values;
  for (uint32_t i = 0; i < instance.ParamCount(); ++i)
    values.push_back(instance.Value(instance.Info(i).id));
  return values;
}

// ---- The tests ----

void LoadUnload(TestContext& context) {
  for (int round = 0; round < std::max(1, context.strictness / 2); ++round) {
    auto module = Load(context);
    // A second init, as Qtractor makes one per instance, and the deinit that matches it.
    if (!module->Entry()->init(context.module.c_str())) Fail("a second init is refused");
    module->Entry()->deinit();
    if (module->Entry()->get_factory("clap.no-such-factory") != nullptr)
      Fail("an unknown factory id gives a factory");
    Host host;
    for (const std::string& id : PluginIDs(*module)) Make(*module, host, id);
    const clap_plugin_factory_t* f = module->Factory();
    if (f->create_plugin(f, host.Get(), "no.such.plugin") != nullptr)
      Fail("an unknown plug-in id makes a plug-in");
  }
}

void Describe(TestContext& context) {
  auto module = Load(context);
  Host host;
  const clap_plugin_factory_t* f = module->Factory();
  for (uint32_t i = 0; i < f->get_plugin_count(f); ++i) {
    const clap_plugin_descriptor_t* d = f->get_plugin_descriptor(f, i);
    if (!d || !d->id || !d->name || !*d->name || !d->version || !d->features)
      Fail("descriptor " + std::to_string(i) + " lacks an id, a name, a version or features");
    if (!clap_version_is_compatible(d->clap_version)) Fail(std::string(d->id) + ": bad version");
    bool effect = false;
    for (const char* const* feature = d->features; *feature; ++feature)
      effect = effect || std::strcmp(*feature, CLAP_PLUGIN_FEATURE_AUDIO_EFFECT) == 0;
    if (!effect) Fail(std::string(d->id) + " is not an audio effect");
    auto instance = Make(*module, host, d->id);
    const auto* ports = instance->Ext<clap_plugin_audio_ports_t>(CLAP_EXT_AUDIO_PORTS);
    if (!ports) Fail(std::string(d->id) + " has no audio ports");
    for (const bool input : {true, false}) {
      clap_audio_port_info_t info{};
      if (ports->count(instance->Get(), input) != 1 ||
          !ports->get(instance->Get(), 0, input, &info))
        Fail(std::string(d->id) + ": not one port each way");
      if (info.flags & (CLAP_AUDIO_PORT_SUPPORTS_64BITS | CLAP_AUDIO_PORT_PREFERS_64BITS))
        Fail(std::string(d->id) + " offers 64-bit buffers it does not process");
      if (info.channel_count < 1 || info.channel_count > 2 || !info.port_type)
        Fail(std::string(d->id) + ": a port of " + std::to_string(info.channel_count) +
             " channels");
    }
  }
}

void Threads(TestContext& context) {
  auto module = Load(context);
  Host host;
  for (const std::string& id : PluginIDs(*module)) {
    auto instance = Make(*module, host, id);
    const clap_plugin_t* p = instance->Get();
    const std::vector<double> before = Values(*instance);
    std::vector<uint8_t> state;
    if (!instance->Save(state)) Fail(id + ": no state to save");
    {
      clap::AudioScope audio;
      if (p->activate(p, kRate, 1, kMaxBlock)) Fail(id + ": activate on the audio thread");
      double v = 0.0;
      if (instance->Params()->get_value(p, 0, &v)) Fail(id + ": get_value on the audio thread");
    }
    bool loaded = true;
    std::thread other([&] { loaded = instance->Load(state); });
    other.join();
    if (loaded) Fail(id + ": state.load on a thread that is neither main nor audio");
    if (!p->activate(p, kRate, 1, kMaxBlock)) Fail(id + ": refuses to activate");
    if (p->start_processing(p)) Fail(id + ": start_processing on the main thread");
    // process() on the main thread, with an event that would change a value.
    const clap_param_info_t target = Automatable(*instance).front();
    Events events;
    events.Value(0, target.id, target.max_value);
    std::vector<float> buffer(kMaxBlock, 0.25f);
    float* channels[2] = {buffer.data(), buffer.data()};
    clap_audio_buffer_t audio{channels, nullptr, 1, 0, 0};
    clap_process_t process{};
    process.frames_count = kMaxBlock;
    process.audio_inputs = process.audio_outputs = &audio;
    process.audio_inputs_count = process.audio_outputs_count = 1;
    process.in_events = events.List();
    clap::Output out;
    process.out_events = out.List();
    if (p->process(p, &process) != CLAP_PROCESS_ERROR) Fail(id + ": process() on the main thread");
    // And flush while active on the main thread.
    instance->Params()->flush(p, events.List(), out.List());
    p->deactivate(p);
    if (Values(*instance) != before) Fail(id + ": a refused call changed a value");
  }
}

void ParameterTexts(TestContext& context) {
  auto module = Load(context);
  Host host;
  auto instance = Make(*module, host, PluginIDs(*module).front());
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  for (uint32_t i = 0; i < instance->ParamCount(); ++i) {
    const clap_param_info_t info = instance->Info(i);
    const std::string name = info.name;
    if (!(info.min_value <= info.default_value && info.default_value <= info.max_value))
      Fail(name + ": its default is outside its range");
    for (int round = 0; round < 4 * context.strictness + 2; ++round) {
      const double value =
          round == 0   ? info.min_value
          : round == 1 ? info.max_value
                       : info.min_value + unit(context.random) * (info.max_value - info.min_value);
      const std::string text = instance->Text(info.id, value);
      if (text.empty()) Fail(name + ": no text for " + std::to_string(value));
      double back = 0.0;
      if (!instance->ValueOf(info.id, text, back))
        Fail(name + ": '" + text + "' does not read back");
      if (instance->Text(info.id, back) != text)
        Fail(name + ": '" + text + "' reads back as '" + instance->Text(info.id, back) + "'");
      if (back < info.min_value || back > info.max_value)
        Fail(name + ": '" + text + "' reads back outside the range");
    }
    for (const double bad :
         {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity()}) {
      if (!instance->Text(info.id, bad).empty()) Fail(name + ": a text for a value not finite");
      Events events;
      events.Value(0, info.id, bad);
      const double before = instance->Value(info.id);
      instance->Flush(events);
      if (instance->Value(info.id) != before) Fail(name + ": took a value that is not finite");
    }
    double ignored = 0.0;
    if (instance->ValueOf(info.id, "\x01not a value", ignored)) Fail(name + ": reads nonsense");
  }
}

void State(TestContext& context) {
  auto module = Load(context);
  Host host;
  for (const std::string& id : PluginIDs(*module)) {
    auto a = Make(*module, host, id);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    Events events;
    for (uint32_t i = 0; i < a->ParamCount(); ++i) {
      const clap_param_info_t info = a->Info(i);
      events.Value(0, info.id,
                   info.min_value + unit(context.random) * (info.max_value - info.min_value));
    }
    a->Flush(events);
    std::vector<uint8_t> byByte, whole;
    if (!a->Save(byByte, 1) || !a->Save(whole)) Fail(id + ": refuses to save");
    if (byByte != whole) Fail(id + ": a stream of one byte per call saves another state");
    auto b = Make(*module, host, id);
    if (!b->Load(byByte, 1)) Fail(id + ": refuses its own state, one byte per call");
    std::vector<uint8_t> again;
    b->Save(again);
    if (again != whole || Values(*b) != Values(*a)) Fail(id + ": the state does not round-trip");
    // A bad stream and a malformed image are refused, and nothing changes.
    clap::ByteStream failing;
    failing.fail = true;
    if (b->State()->load(b->Get(), &failing.in)) Fail(id + ": a failing stream is taken");
    if (whole.size() >= 8) {
      std::vector<uint8_t> malformed = whole;
      const double nan = std::numeric_limits<double>::quiet_NaN();
      std::memcpy(malformed.data() + 8 * (context.random() % (whole.size() / 8)), &nan, 8);
      if (b->Load(malformed, 1)) Fail(id + ": a state with a value not finite is taken");
    }
    b->Save(again);
    if (again != whole) Fail(id + ": a refused state changed the plug-in");
  }
}

void Process(TestContext& context) {
  auto module = Load(context);
  Host host;
  for (const std::string& id : PluginIDs(*module)) {
    auto first = Make(*module, host, id);
    auto second = Make(*module, host, id);
    const uint32_t channels = first->Channels();
    if (!first->Activate(kRate, kMaxBlock) || !second->Activate(kRate, kMaxBlock))
      Fail(id + ": refuses to activate");
    const Signal in = Noise(channels, 2000 + 200 * context.strictness, context.random());
    Render(
        *first, in, [](int) { return int{kMaxBlock}; }, [](int, int, Events&) {});
    // An event at every sample sounds as one-frame blocks with the event at their start.
    const std::vector<clap_param_info_t> params = Automatable(*first);
    const clap_param_info_t& p = params[context.random() % params.size()];
    auto valueAt = [&](int frame) {
      return p.min_value + (p.max_value - p.min_value) * ((frame * 7919) % 1000) / 1000.0;
    };
    const Signal every = Render(
        *first, in, [](int) { return int{kMaxBlock}; },
        [&](int at, int n, Events& e) {
          for (int i = 0; i < n; ++i) e.Value(static_cast<uint32_t>(i), p.id, valueAt(at + i));
        });
    Render(
        *second, in, [](int) { return int{kMaxBlock}; }, [](int, int, Events&) {});
    const Signal single = Render(
        *second, in, [](int) { return 1; },
        [&](int at, int, Events& e) { e.Value(0, p.id, valueAt(at)); });
    if (every != single)
      Fail(id + ": events at every sample of '" + p.name + "' sound otherwise than one per frame");
  }
}

void Activation(TestContext& context) {
  auto module = Load(context);
  Host host;
  for (const std::string& id : PluginIDs(*module)) {
    auto instance = Make(*module, host, id);
    const Signal in = Noise(instance->Channels(), 3000, context.random());
    Signal first;
    for (int round = 0; round < 2 + context.strictness / 2; ++round) {
      if (!instance->Activate(kRate, 300))
        Fail(id + ": refuses activation " + std::to_string(round));
      if (instance->Get()->activate(instance->Get(), kRate, 1, 300)) Fail(id + ": activated twice");
      const Signal out = Render(
          *instance, in, [](int) { return 300; }, [](int, int, Events&) {});
      instance->Deactivate();
      if (round == 0)
        first = out;
      else if (out != first)
        Fail(id + ": activation " + std::to_string(round) + " sounds otherwise than the first");
    }
  }
}

void FlushInactive(TestContext& context) {
  auto module = Load(context);
  Host host;
  const std::string id = PluginIDs(*module).front();
  auto flushed = Make(*module, host, id);
  auto restored = Make(*module, host, id);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  Events events;
  for (const clap_param_info_t& p : Automatable(*flushed))
    events.Value(0, p.id, p.min_value + unit(context.random) * (p.max_value - p.min_value));
  flushed->Flush(events);
  std::vector<uint8_t> state;
  flushed->Save(state);
  if (!restored->Load(state)) Fail("refuses a state");
  if (Values(*flushed) == Values(*Make(*module, host, id)))
    Fail("a flush while inactive changed nothing");
  const Signal in = Noise(flushed->Channels(), 4000, context.random());
  if (!flushed->Activate(kRate, kMaxBlock) || !restored->Activate(kRate, kMaxBlock))
    Fail("refuses to activate");
  const auto blocks = [](int) { return int{kMaxBlock}; };
  if (Render(*flushed, in, blocks, [](int, int, Events&) {}) !=
      Render(*restored, in, blocks, [](int, int, Events&) {}))
    Fail("values flushed while inactive sound otherwise than the same values restored");
}

void Latency(TestContext& context) {
  auto module = Load(context);
  Host host;
  auto instance = Make(*module, host, PluginIDs(*module).front());
  // The switch that reconfigures processing: stepped, taking effect in process().
  std::optional<clap_param_info_t> toggle;
  for (uint32_t i = 0; i < instance->ParamCount(); ++i) {
    const clap_param_info_t info = instance->Info(i);
    if ((info.flags & CLAP_PARAM_REQUIRES_PROCESS) && (info.flags & CLAP_PARAM_IS_STEPPED))
      toggle = info;
  }
  if (!toggle) Fail("no stepped parameter that requires processing (the latency switch)");
  if (!instance->Activate(kRate, kMaxBlock)) Fail("refuses to activate");
  const uint32_t before = instance->Latency();
  const double value = instance->Value(toggle->id);
  const double other = value == toggle->max_value ? toggle->min_value : toggle->max_value;
  const Signal in = Noise(instance->Channels(), kMaxBlock * 4, context.random());
  Render(
      *instance, in, [](int) { return int{kMaxBlock}; },
      [&](int at, int, Events& e) {
        if (at == kMaxBlock) e.Value(7, toggle->id, other);
      });
  instance->Deactivate();
  if (!instance->Activate(kRate, kMaxBlock)) Fail("refuses to activate again");
  const uint32_t after = instance->Latency();
  if (after == before) Fail("'" + std::string(toggle->name) + "' leaves the latency as it was");
  if (host.restarts.load() < 1) Fail("the latency changed while active without a restart asked");
}

void Realtime(TestContext& context) {
  auto module = Load(context);
  Host host;
  for (const std::string& id : PluginIDs(*module)) {
    auto instance = Make(*module, host, id);
    if (!instance->Activate(kRate, kMaxBlock)) Fail(id + ": refuses to activate");
    const std::vector<clap_param_info_t> params = Automatable(*instance);
    const uint32_t channels = instance->Channels();
    Signal buffer = Noise(channels, kMaxBlock, context.random());
    float* pointers[2] = {buffer[0].data(), buffer[channels - 1].data()};
    Events events;
    for (uint32_t t = 0; t < kMaxBlock; t += 37) {
      const clap_param_info_t& p = params[t % params.size()];
      events.Value(t, p.id, p.min_value + (p.max_value - p.min_value) * (t % 5) / 4.0);
    }
    instance->Process(pointers, pointers, channels, kMaxBlock, &events);  // caches filled once
    realtime::Violations seen;
    {
      clap::AudioScope audio;
      realtime::ScopedProbe probe;
      for (int round = 0; round < 20 * context.strictness; ++round) {
        const uint32_t frames = 1 + static_cast<uint32_t>(context.random() % kMaxBlock);
        instance->Process(pointers, pointers, channels, frames, &events);
        instance->Params()->flush(instance->Get(), events.List(), nullptr);
      }
      seen = probe.Seen();
    }
    if (seen.Total() != 0)
      Fail(id + ": process() or flush made " + std::to_string(seen.allocations) + " allocations, " +
           std::to_string(seen.frees) + " frees, " + std::to_string(seen.locks) + " locks, " +
           std::to_string(seen.sleeps) + " sleeps");
  }
}

}  // namespace

const std::vector<TestCase>& ClapRegistry() {
  static const std::vector<TestCase> tests{
      {"clap-load-unload", LoadUnload},
      {"clap-describe", Describe},
      {"clap-threads", Threads},
      {"clap-parameter-texts", ParameterTexts},
      {"clap-state", State},
      {"clap-process", Process},
      {"clap-activation", Activation},
      {"clap-flush-inactive", FlushInactive},
      {"clap-latency", Latency},
      {"clap-realtime", Realtime},
  };
  return tests;
}

}  // namespace corvane::host::validate

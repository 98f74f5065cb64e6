// The validator's tests of a VST3 module: what every VST3 host relies on (the factory, buses and
// arrangements, every valid state transition, sample sizes, parameters and their texts, block
// sizes from one frame to far beyond the maximum, the parameter flush, silence flags,
// automation at sample offsets, the state through short streams, the latency report, real-time
// safety, state calls beside process(), and the editor's view), each through the module's
// exports as a host calls them.

#include "host/validate/Vst3Tests.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "framework/ManualRunLoop.h"
#include "host/HostError.h"
#include "host/realtime/RealtimeProbe.h"
#include "host/vst3host/Vst3Host.h"
#include "host/x11/HostWindow.h"

namespace corvane::host::validate {

namespace {

using vst3::Instance;
using vst3::Module;

[[noreturn]] void Fail(const std::string& reason) {
  throw Failure{reason};
}

[[noreturn]] void Skip(const std::string& reason) {
  throw Skipped{reason};
}

constexpr double kRate = 48000.0;
constexpr int kMaxBlock = 512;

std::string Hex(const vst3::ClassID& id) {
  static const char* digits = "0123456789ABCDEF";
  std::string text;
  for (const uint8_t b : id) {
    text += digits[b >> 4];
    text += digits[b & 15];
  }
  return text;
}

std::string Title(const v3_param_info& info) {
  std::string text;
  for (int i = 0; i < 128 && info.title[i]; ++i) text += static_cast<char>(info.title[i]);
  return text;
}

/** Planar audio of some channels. */
struct Signal {
  std::vector<std::vector<float>> channels;
  int Frames() const { return channels.empty() ? 0 : static_cast<int>(channels[0].size()); }
};

Signal Sine(int channels, int frames, double level = 0.7) {
  Signal s;
  s.channels.assign(static_cast<size_t>(channels), std::vector<float>(static_cast<size_t>(frames)));
  for (int c = 0; c < channels; ++c)
    for (int i = 0; i < frames; ++i)
      s.channels[static_cast<size_t>(c)][static_cast<size_t>(i)] =
          static_cast<float>(level * std::sin(0.013 * i * (c + 1)));
  return s;
}

/** An instance of the first processor class with the given channels, set up and running. */
std::unique_ptr<Instance> Running(Module& module, int channels = 2, bool separate = false,
                                  int maxBlock = kMaxBlock) {
  for (const vst3::ClassInfo& c : module.Processors()) {
    auto instance = std::make_unique<Instance>(module, c, separate);
    if (instance->Channels() != channels) continue;
    const v3_speaker_arrangement arrangement =
        channels == 1 ? V3_SPEAKER_M : (V3_SPEAKER_L | V3_SPEAKER_R);
    if (instance->SetArrangements(arrangement, arrangement) != V3_OK)
      Fail("refuses its own " + std::to_string(channels) + "-channel arrangement");
    if (instance->Setup(kRate, maxBlock) != V3_OK) Fail("refuses a 48 kHz, 32-bit setup");
    if (instance->SetActive(true) != V3_OK) Fail("refuses to activate");
    if (instance->SetProcessing(true) != V3_OK) Fail("refuses to start processing");
    return instance;
  }
  Skip("the module has no " + std::to_string(channels) + "-channel plug-in");
}

/** Renders a signal in blocks (block sizes cycle through `blocks`), changes given per block. */
Signal Render(
    Instance& instance, const Signal& in, const std::vector<int>& blocks,
    const std::function<void(int block, int at, vst3::ParameterChanges&)>& changes = nullptr,
    bool inPlace = false) {
  Signal out;
  out.channels.assign(in.channels.size(), std::vector<float>(static_cast<size_t>(in.Frames())));
  if (inPlace) out = in;
  int at = 0;
  for (int block = 0; at < in.Frames(); ++block) {
    const int n = std::min(blocks[static_cast<size_t>(block) % blocks.size()], in.Frames() - at);
    std::vector<float*> ins, outs;
    for (size_t c = 0; c < in.channels.size(); ++c) {
      ins.push_back(inPlace ? out.channels[c].data() + at
                            : const_cast<float*>(in.channels[c].data()) + at);
      outs.push_back(out.channels[c].data() + at);
    }
    vst3::ParameterChanges pc;
    if (changes) changes(block, at, pc);
    if (instance.Process(ins.data(), outs.data(), n, pc.Empty() ? nullptr : &pc) != V3_OK)
      Fail("process() of " + std::to_string(n) + " frames failed");
    at += n;
  }
  return out;
}

bool Finite(const Signal& s) {
  for (const auto& c : s.channels)
    for (const float v : c)
      if (!std::isfinite(v)) return false;
  return true;
}

double Difference(const Signal& a, const Signal& b, int from = 0) {
  double worst = 0.0;
  for (size_t c = 0; c < a.channels.size(); ++c)
    for (size_t i = static_cast<size_t>(from); i < a.channels[c].size(); ++i)
      worst = std::max(worst, static_cast<double>(std::fabs(a.channels[c][i] - b.channels[c][i])));
  return worst;
}

std::optional<v3_param_id> IdNamed(const Instance& instance, const std::string& name) {
  for (int32_t i = 0; i < instance.ParameterCount(); ++i)
    if (Title(instance.Info(i)) == name) return instance.Info(i).param_id;
  return std::nullopt;
}

v3_param_id Need(const Instance& instance, const std::string& name) {
  const auto id = IdNamed(instance, name);
  if (!id) Fail("has no parameter named '" + name + "'");
  return *id;
}

// ---- The tests ----

void LoadUnload(TestContext& context) {
  for (int round = 0; round < std::max(1, context.strictness / 2); ++round) {
    Module module(context.module);
    for (const char* name : {"GetPluginFactory", "ModuleEntry", "ModuleExit"})
      if (!module.HasExport(name)) Fail("exports no " + std::string(name));
    {
      auto instance = Running(module);
      Render(*instance, Sine(2, 1024), {256});
    }
    if (!module.Close()) Fail("ModuleExit refused after every object was let go of");
  }
}

void Describe(TestContext& context) {
  Module module(context.module);
  if (module.Classes().empty()) Fail("the factory has no classes");
  std::vector<std::string> ids;
  for (const vst3::ClassInfo& c : module.Classes()) {
    const std::string where = "class '" + c.name + "' (" + Hex(c.id) + ")";
    if (std::find(ids.begin(), ids.end(), Hex(c.id)) != ids.end())
      Fail(where + " has another class's ID");
    ids.push_back(Hex(c.id));
    if (c.category != "Audio Module Class" && c.category != "Component Controller Class")
      Fail(where + " has the category '" + c.category + "'");
    if (c.name.empty() || c.vendor.empty() || c.version.empty() || c.sdkVersion.empty())
      Fail(where + " leaves a name, vendor, version or SDK version of its class info empty");
    if (c.category == "Audio Module Class" && c.subcategories.find("Fx") == std::string::npos)
      Fail(where + " is not in an Fx subcategory ('" + c.subcategories + "')");
  }
  for (const vst3::ClassInfo& c : module.Processors()) {
    Instance instance(module, c, true);
    if (instance.SingleComponent()) Fail("made a single component when asked for two objects");
  }
}

void Buses(TestContext& context) {
  Module module(context.module);
  for (const vst3::ClassInfo& c : module.Processors()) {
    Instance instance(module, c);
    v3_component** comp = instance.Component();
    const std::string where = "'" + c.name + "'";
    if (v3_cpp_obj(comp)->get_bus_count(comp, V3_AUDIO, V3_INPUT) != 1 ||
        v3_cpp_obj(comp)->get_bus_count(comp, V3_AUDIO, V3_OUTPUT) != 1)
      Fail(where + " does not have one audio bus each way");
    if (v3_cpp_obj(comp)->get_bus_count(comp, V3_EVENT, V3_INPUT) != 0)
      Fail(where + " claims an event bus");
    v3_bus_info in{}, out{};
    v3_cpp_obj(comp)->get_bus_info(comp, V3_AUDIO, V3_INPUT, 0, &in);
    v3_cpp_obj(comp)->get_bus_info(comp, V3_AUDIO, V3_OUTPUT, 0, &out);
    if (in.channel_count != out.channel_count || in.channel_count < 1)
      Fail(where + " has buses of " + std::to_string(in.channel_count) + " and " +
           std::to_string(out.channel_count) + " channels");
    if (v3_cpp_obj(comp)->get_bus_info(comp, V3_AUDIO, V3_INPUT, 1, &in) == V3_OK)
      Fail(where + " describes a second input bus it does not have");
    v3_speaker_arrangement arrangement = 0;
    if (v3_cpp_obj(instance.Processor())
            ->get_bus_arrangement(instance.Processor(), V3_OUTPUT, 0, &arrangement) != V3_OK)
      Fail(where + " has no arrangement for its output bus");
    if (__builtin_popcountll(arrangement) != out.channel_count)
      Fail(where + "'s arrangement does not have its bus's channels");
    if (instance.SetArrangements(arrangement, arrangement) != V3_OK)
      Fail(where + " refuses its own arrangement");
    const v3_speaker_arrangement others[] = {
        V3_SPEAKER_M, V3_SPEAKER_L | V3_SPEAKER_R,
        V3_SPEAKER_L | V3_SPEAKER_R | V3_SPEAKER_C | V3_SPEAKER_LFE | V3_SPEAKER_LS | V3_SPEAKER_RS,
        0};
    for (const v3_speaker_arrangement other : others) {
      if (other == arrangement) continue;
      if (instance.SetArrangements(other, other) == V3_OK)
        Fail(where + " accepts an arrangement of " + std::to_string(__builtin_popcountll(other)) +
             " channels");
    }
    v3_speaker_arrangement two[2] = {arrangement, arrangement};
    if (v3_cpp_obj(instance.Processor())
            ->set_bus_arrangements(instance.Processor(), two, 2, two, 2) == V3_OK)
      Fail(where + " accepts two buses each way");
  }
}

void Lifecycle(TestContext& context) {
  Module module(context.module);
  const vst3::ClassInfo c = module.Processors().front();
  for (int round = 0; round < context.strictness; ++round) {
    Instance instance(module, c);
    const int channels = instance.Channels();
    const Signal in = Sine(channels, 256);
    std::vector<float*> ins, outs;
    Signal out = in;
    for (int ch = 0; ch < channels; ++ch) {
      ins.push_back(const_cast<float*>(in.channels[static_cast<size_t>(ch)].data()));
      outs.push_back(out.channels[static_cast<size_t>(ch)].data());
    }
    // Before activation nothing plays, and saying so is all process() may do.
    if (instance.Process(ins.data(), outs.data(), 256) == V3_OK)
      Fail("process() before activation reports success");
    for (int ch = 0; ch < channels; ++ch)
      for (float s : out.channels[static_cast<size_t>(ch)])
        if (s != 0.f) Fail("process() before activation writes audio");
    if (instance.Setup(kRate, 256) != V3_OK) Fail("refuses its setup");
    // Every transition a host makes, some twice.
    for (int cycle = 0; cycle < 3; ++cycle) {
      if (instance.SetActive(true) != V3_OK) Fail("refuses to activate");
      if (instance.SetActive(true) != V3_OK) Fail("refuses a second activation");
      if (instance.Setup(44100.0, 128) == V3_OK) Fail("takes a new setup while active");
      if (instance.SetProcessing(true) != V3_OK) Fail("refuses to start processing");
      if (instance.Process(ins.data(), outs.data(), 256) != V3_OK) Fail("process() failed");
      if (instance.SetProcessing(false) != V3_OK) Fail("refuses to stop processing");
      // Ardour deactivates with processing still on at quit; both orders must do.
      if (cycle == 1 && instance.SetProcessing(true) != V3_OK) Fail("refuses to process again");
      if (instance.SetActive(false) != V3_OK) Fail("refuses to deactivate");
      if (instance.Setup(cycle == 2 ? 96000.0 : kRate, 64 << cycle) != V3_OK)
        Fail("refuses a setup between activations");
    }
  }
}

void SampleSizes(TestContext& context) {
  Module module(context.module);
  auto instance = Running(module);
  v3_audio_processor** proc = instance->Processor();
  if (v3_cpp_obj(proc)->can_process_sample_size(proc, V3_SAMPLE_32) != V3_OK)
    Fail("cannot process 32-bit samples");
  if (v3_cpp_obj(proc)->can_process_sample_size(proc, V3_SAMPLE_64) == V3_OK)
    Fail("claims 64-bit samples, which it does not process");
  instance->SetProcessing(false);
  instance->SetActive(false);
  if (instance->Setup(kRate, kMaxBlock, V3_REALTIME, V3_SAMPLE_64) == V3_OK)
    Fail("takes a 64-bit setup");
  if (instance->SetActive(true) != V3_OK || instance->SetProcessing(true) != V3_OK)
    Fail("does not run again after a refused setup");
  const Signal out = Render(*instance, Sine(2, 2048), {256});
  float peak = 0.f;
  for (const float v : out.channels[0]) peak = std::max(peak, std::fabs(v));
  if (!Finite(out) || peak < 0.01f) Fail("plays nothing after a refused 64-bit setup");
}

void Parameters(TestContext& context) {
  Module module(context.module);
  auto instance = Running(module);
  const int32_t count = instance->ParameterCount();
  if (count < 1) Fail("has no parameters");
  int bypasses = 0;
  std::vector<v3_param_id> ids;
  for (int32_t i = 0; i < count; ++i) {
    const v3_param_info info = instance->Info(i);
    const std::string name = Title(info);
    const std::string where = "parameter " + std::to_string(info.param_id) + " '" + name + "'";
    if (name.empty()) Fail("parameter " + std::to_string(i) + " has no title");
    if (std::find(ids.begin(), ids.end(), info.param_id) != ids.end())
      Fail(where + " has another parameter's ID");
    ids.push_back(info.param_id);
    if (info.flags & V3_PARAM_IS_BYPASS) {
      ++bypasses;
      if (info.step_count != 1) Fail(where + " is a bypass of more than two states");
      continue;
    }
    if (!(info.default_normalised_value >= 0.0 && info.default_normalised_value <= 1.0))
      Fail(where + " has a default outside 0 … 1");
    if (name == "Oversampling" && (info.step_count != 1 || (info.flags & V3_PARAM_CAN_AUTOMATE)))
      Fail(where + " must be a switch of one step that cannot be automated");
    // Normalized and plain values, and texts, each way.
    for (const double n : {0.0, 0.25, 0.5, 1.0, info.default_normalised_value}) {
      const double plain = instance->ToPlain(info.param_id, n);
      const double back = instance->ToNormalized(info.param_id, plain);
      if (!(std::fabs(back - n) < 1e-6) && info.step_count == 0)
        Fail(where + ": " + std::to_string(n) + " goes to " + std::to_string(plain) +
             " and back to " + std::to_string(back));
      const std::string text = instance->Text(info.param_id, n);
      if (text.empty()) Fail(where + " has no text for " + std::to_string(n));
      const std::optional<double> parsed = instance->ValueOf(info.param_id, text);
      if (!parsed) Fail(where + " does not read back its own text '" + text + "'");
      if (instance->Text(info.param_id, *parsed) != text)
        Fail(where + ": '" + text + "' reads back as '" + instance->Text(info.param_id, *parsed) +
             "'");
    }
    // Bad values are refused and change nothing.
    const double before = instance->Normalized(info.param_id);
    for (const double bad : {std::numeric_limits<double>::quiet_NaN(),
                             std::numeric_limits<double>::infinity(), -0.5, 1.5}) {
      if (instance->SetNormalized(info.param_id, bad) == V3_OK)
        Fail(where + " takes " + std::to_string(bad) + " as a normalized value");
      if (!instance->Text(info.param_id, bad).empty())
        Fail(where + " shows a text for " + std::to_string(bad));
    }
    for (const char* garbage : {"garbage", "", "\x01\xff", "nan", "-inf"})
      if (instance->ValueOf(info.param_id, garbage))
        Fail(where + " reads '" + std::string(garbage) + "' as a value");
    if (instance->Normalized(info.param_id) != before) Fail(where + " changed on bad values");
    // What the host sets, it reads back.
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    const double value = unit(context.random);
    if (instance->SetNormalized(info.param_id, value) != V3_OK) Fail(where + " refuses a value");
    const double read = instance->Normalized(info.param_id);
    if (info.step_count == 0 && std::fabs(read - value) > 1e-3)
      Fail(where + " set to " + std::to_string(value) + " reads " + std::to_string(read));
  }
  if (bypasses != 1) Fail("has " + std::to_string(bypasses) + " bypass parameters, not one");
}

void BlockSizes(TestContext& context) {
  Module module(context.module);
  const Signal in = Sine(2, 48000);
  auto reference = Running(module);
  const auto gain = Need(*reference, "Gain");
  const auto setGain = [&](int block, int, vst3::ParameterChanges& pc) {
    if (block == 0) pc.Add(gain, 0, 0.2);
  };
  const Signal expected = Render(*reference, in, {kMaxBlock}, setGain);
  // One frame, odd sizes, the maximum, and far beyond it: the same sound, never a reset.
  const std::vector<std::vector<int>> patterns = {
      {1}, {2, 17, 1, 333}, {kMaxBlock}, {2 * kMaxBlock + 5}, {10 * kMaxBlock}, {64, 1, 4096, 7}};
  for (const auto& blocks : patterns) {
    auto instance = Running(module);
    // In place too, as hosts process, at the higher strictness.
    const Signal out = Render(*instance, in, blocks, setGain, context.strictness > 5);
    if (!Finite(out)) Fail("non-finite output in blocks of " + std::to_string(blocks[0]));
    const double d = Difference(out, expected);
    if (d > 1e-6)
      Fail("blocks of " + std::to_string(blocks[0]) + " frames sound different (by " +
           std::to_string(d) + ")");
  }
}

void Flush(TestContext& context) {
  Module module(context.module);
  auto instance = Running(module);
  const auto gain = Need(*instance, "Gain");
  // A block of no frames carries values only: they are taken.
  vst3::ParameterChanges pc;
  pc.Add(gain, 0, 0.75);
  if (instance->Process(nullptr, nullptr, 0, &pc) != V3_OK) Fail("refuses a flush");
  if (std::fabs(instance->Normalized(gain) - 0.75) > 1e-9)
    Fail("did not take the value a flush carried");
  // Also before activation, which hosts do to set values up.
  instance->SetProcessing(false);
  instance->SetActive(false);
  pc.Clear();
  pc.Add(gain, 0, 0.25);
  if (instance->Process(nullptr, nullptr, 0, &pc) != V3_OK) Fail("refuses a flush while inactive");
  if (std::fabs(instance->Normalized(gain) - 0.25) > 1e-9)
    Fail("did not take the value of a flush while inactive");
}

void Silence(TestContext& context) {
  Module module(context.module);
  auto instance = Running(module);
  const int n = 256;
  std::vector<float> zeros(n, 0.f), a(n), b(n);
  float* ins[2] = {zeros.data(), zeros.data()};
  float* outs[2] = {a.data(), b.data()};
  uint64_t flags = 0;
  // Silence in, flagged as such: after the filters have emptied, silence out, flagged too.
  for (int block = 0; block < 40; ++block)
    if (instance->Process(ins, outs, n, nullptr, V3_REALTIME, 3, &flags) != V3_OK)
      Fail("process() failed");
  if (flags != 3) Fail("does not flag its silent outputs (flags " + std::to_string(flags) + ")");
  // A flagged input holds garbage: it must be read as the silence it is said to be.
  std::vector<float> garbage(n, 1e30f);
  float* noisy[2] = {garbage.data(), garbage.data()};
  if (instance->Process(noisy, outs, n, nullptr, V3_REALTIME, 3, &flags) != V3_OK || a[10] != 0.f ||
      flags != 3)
    Fail("reads an input flagged as silent");
  const Signal tone = Sine(2, n);
  float* loud[2] = {const_cast<float*>(tone.channels[0].data()),
                    const_cast<float*>(tone.channels[1].data())};
  instance->Process(loud, outs, n, nullptr, V3_REALTIME, 0, &flags);
  instance->Process(loud, outs, n, nullptr, V3_REALTIME, 0, &flags);
  if (flags != 0) Fail("flags outputs as silent that carry sound");
}

void Automation(TestContext& context) {
  Module module(context.module);
  const Signal in = Sine(2, 8192);
  std::uniform_int_distribution<int> where(1, kMaxBlock - 1);
  for (int round = 0; round < context.strictness; ++round) {
    const int offset = where(context.random);
    auto stepped = Running(module);
    const auto gain = Need(*stepped, "Gain");
    // The value changes at a sample inside the fourth block; the output follows from that
    // sample on, exactly as a render whose block starts there.
    const int at = 3 * kMaxBlock + offset;
    const Signal a = Render(*stepped, in, {kMaxBlock}, [&](int block, int, auto& pc) {
      if (block == 3) pc.Add(gain, offset, 0.5);
    });
    auto split = Running(module);
    const Signal b = Render(*split, in, {at, kMaxBlock}, [&](int block, int, auto& pc) {
      if (block == 1) pc.Add(gain, 0, 0.5);
    });
    if (Difference(a, b) > 1e-6)
      Fail("a change at sample " + std::to_string(offset) + " of a block is not heard from there");
    // Points out of order, outside the block and of unknown IDs change nothing for the worse.
    auto odd = Running(module);
    const Signal c = Render(*odd, in, {kMaxBlock}, [&](int block, int, auto& pc) {
      pc.Add(gain, kMaxBlock * 4, 0.3);
      pc.Add(gain, -7, 0.1);
      pc.Add(gain, 3, std::numeric_limits<double>::quiet_NaN());
      pc.Add(987654, 1, 0.5);
    });
    if (!Finite(c)) Fail("non-finite output with odd parameter points");
  }
}

void StateTest(TestContext& context) {
  Module module(context.module);
  auto source = Running(module);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  for (int32_t i = 0; i < source->ParameterCount(); ++i) {
    const v3_param_info info = source->Info(i);
    if (!(info.flags & V3_PARAM_IS_BYPASS))
      source->SetNormalized(info.param_id, unit(context.random));
  }
  const std::vector<uint8_t> state = source->State();
  if (state.empty()) Fail("saves an empty state");
  if (source->ControllerState() != state) Fail("keeps a controller state unlike its component's");
  // Restored through streams of one byte per call, then of any length.
  for (const int chunk : {1, 0, 7}) {
    auto target = Running(module);
    if (target->SetState(state, chunk) != V3_OK)
      Fail("refuses its own state in chunks of " + std::to_string(chunk));
    if (target->State(chunk) != state) Fail("saves other bytes after a restore");
  }
  // Longer: the state of a later version; its first part is ours.
  auto longer = Running(module);
  std::vector<uint8_t> extended = state;
  extended.resize(state.size() + 24, 0x5A);
  if (longer->SetState(extended) != V3_OK) Fail("refuses a longer state");
  if (longer->State() != state) Fail("a longer state does not restore its first part");
  // Malformed: refused, and nothing changes; with no whole value in it, nothing to change.
  auto victim = Running(module);
  const std::vector<uint8_t> before = victim->State();
  std::vector<uint8_t> nan = state;
  const double bad = std::numeric_limits<double>::quiet_NaN();
  std::memcpy(nan.data() + 8, &bad, 8);
  if (victim->SetState(nan) == V3_OK) Fail("accepts a state holding a NaN");
  for (const auto& empty : {std::vector<uint8_t>{}, std::vector<uint8_t>{1, 2, 3}})
    victim->SetState(empty);
  if (victim->State() != before) Fail("a state with no whole value, or a refused one, changed it");
  // A state arriving while process() runs (Ardour restores sessions that way).
  std::atomic<bool> stop{false};
  std::thread audio([&] {
    const Signal in = Sine(2, 256);
    while (!stop.load()) Render(*victim, in, {256});
  });
  for (int round = 0; round < 20 * context.strictness; ++round)
    victim->SetState(round % 2 ? state : before);
  stop.store(true);
  audio.join();
  if (victim->State() != state) Fail("the last state set beside process() is not in force");
}

void Latency(TestContext& context) {
  Module module(context.module);
  auto instance = Running(module);
  const auto oversampling = Need(*instance, "Oversampling");
  instance->TakeEdits();
  if (instance->Latency() != 0) Fail("reports latency before oversampling is on");
  // Switched on by the host on its user-interface thread: it is told at once, and the audio
  // follows with the next blocks.
  instance->SetNormalized(oversampling, 1.0);
  bool restarted = false;
  for (const vst3::Edit& e : instance->TakeEdits())
    restarted = restarted || (e.kind == vst3::Edit::Kind::kRestart &&
                              (static_cast<int>(e.value) & V3_RESTART_LATENCY_CHANGED));
  if (!restarted) Fail("does not ask for a restart when its latency changes");
  const uint32_t latency = instance->Latency();
  if (latency == 0) Fail("reports no latency with oversampling on");
  const Signal in = Sine(2, 8192);
  Render(*instance, in, {kMaxBlock}, [&](int block, int, auto& changes) {
    if (block == 0) changes.Add(oversampling, 0, 1.0);
  });
  if (instance->Latency() != latency) Fail("the latency changed after the switch was heard");
  // Offline renders run at the higher quality, whose latency the host is told with the setup.
  instance->SetProcessing(false);
  instance->SetActive(false);
  if (instance->Setup(kRate, kMaxBlock, V3_OFFLINE) != V3_OK) Fail("refuses an offline setup");
  instance->SetActive(true);
  if (instance->Latency() <= latency) Fail("an offline render does not run at the higher quality");
}

void Realtime(TestContext& context) {
  Module module(context.module);
  auto instance = Running(module);
  const auto gain = Need(*instance, "Gain");
  const auto oversampling = Need(*instance, "Oversampling");
  const Signal in = Sine(2, 30000);
  Render(*instance, in, {kMaxBlock});  // the first blocks may warm caches
  // Everything the host hands over is made before the probe watches: only process() counts.
  const int sizes[] = {1, 64, kMaxBlock, 3 * kMaxBlock};
  std::vector<vst3::ParameterChanges> changes(60 * static_cast<size_t>(context.strictness));
  for (size_t b = 0; b < changes.size(); ++b) {
    changes[b].Add(gain, 0, static_cast<double>(b % 10) / 10.0);
    if (b % 50 == 7) changes[b].Add(oversampling, 3, static_cast<double>((b / 50) % 2));
  }
  Signal out = in;
  float* ins[2] = {const_cast<float*>(in.channels[0].data()),
                   const_cast<float*>(in.channels[1].data())};
  float* outs[2] = {out.channels[0].data(), out.channels[1].data()};
  realtime::Violations seen;
  {
    realtime::ScopedProbe probe;
    for (size_t b = 0; b < changes.size(); ++b)
      instance->Process(ins, outs, sizes[b % 4], &changes[b]);
    seen = probe.Seen();
  }
  if (seen.Total() > 0)
    Fail("process() allocated " + std::to_string(seen.allocations) + ", freed " +
         std::to_string(seen.frees) + ", locked " + std::to_string(seen.locks) + " and slept " +
         std::to_string(seen.sleeps) + " times");
}

void Threads(TestContext& context) {
  Module module(context.module);
  auto instance = Running(module);
  const Signal in = Sine(2, 256);
  std::atomic<bool> stop{false};
  std::atomic<bool> finite{true};
  std::thread audio([&] {
    while (!stop.load()) finite = finite && Finite(Render(*instance, in, {256}));
  });
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  const std::vector<uint8_t> state = instance->State();
  for (int round = 0; round < 200 * context.strictness; ++round) {
    const v3_param_info info = instance->Info(round % instance->ParameterCount());
    instance->SetNormalized(info.param_id, unit(context.random));
    instance->Text(info.param_id, unit(context.random));
    if (round % 17 == 0) instance->SetState(state);
    if (round % 29 == 0) instance->State();
    instance->Latency();
  }
  stop.store(true);
  audio.join();
  if (!finite) Fail("non-finite output while the host changed values and states");
}

// The editor, as a host shows it: a view for X11 windows in a window of the host's, served by
// the host's run loop, torn down while audio runs.
void Editor(TestContext& context) {
  Module module(context.module);
  auto instance = Running(module);
  v3_plugin_view** view = instance->CreateView();
  if (!view) Skip("the plug-in has no editor");
  if (v3_cpp_obj(view)->is_platform_type_supported(view, V3_VIEW_PLATFORM_TYPE_X11) != V3_TRUE)
    Fail("the view does not take X11 windows");
  if (v3_cpp_obj(view)->is_platform_type_supported(view, V3_VIEW_PLATFORM_TYPE_HWND) == V3_TRUE)
    Fail("the view claims Windows windows");
  v3_view_rect rect{};
  v3_cpp_obj(view)->get_size(view, &rect);
  if (rect.right - rect.left < 100 || rect.bottom - rect.top < 60)
    Fail("the view is " + std::to_string(rect.right - rect.left) + " x " +
         std::to_string(rect.bottom - rect.top) + " pixels before it opens");
  std::unique_ptr<HostWindow> window;
  try {
    window =
        std::make_unique<HostWindow>("Corvane", rect.right - rect.left, rect.bottom - rect.top);
  } catch (const HostError& error) {
    v3_cpp_obj_unref(view);
    Skip(error.what());
  }
  v3_cpp_obj_unref(view);

  iplug::ManualRunLoop loop;
  std::atomic<bool> stop{false};
  std::thread audio([&] {
    const Signal in = Sine(2, 256);
    while (!stop.load()) Render(*instance, in, {256});
  });
  std::string failure;
  const int rounds = 2 * context.strictness;
  for (int round = 0; round < rounds && failure.empty(); ++round) {
    vst3::PlugFrame frame(
        loop, [&](const v3_view_rect& r) { window->Resize(r.right - r.left, r.bottom - r.top); });
    v3_plugin_view** v = instance->CreateView();
    if (!v) {
      failure = "no view in round " + std::to_string(round);
      break;
    }
    v3_cpp_obj(v)->set_frame(v, frame.Pointer());
    const auto parent = reinterpret_cast<void*>(static_cast<uintptr_t>(window->Window()));
    if (v3_cpp_obj(v)->attached(v, parent, V3_VIEW_PLATFORM_TYPE_X11) != V3_OK) {
      failure = "the view does not open in the host's window";
    } else {
      for (int tick = 0; tick < 4; ++tick) {
        loop.Advance(17);
        loop.PollWatches(0);
        window->Dispatch();
      }
      if (frame.OpenTimers() == 0) failure = "the editor runs no timer on the host's run loop";
      if (!window->HasChild()) failure = "the editor is not in the host's window";
      if (v3_plugin_view** second = instance->CreateView()) {
        v3_cpp_obj_unref(second);
        failure = "a second view opens beside the first";
      }
      if (v3_cpp_obj(v)->removed(v) != V3_OK) failure = "the view refuses to be removed";
      window->Dispatch();
      if (frame.OpenTimers() != 0 || frame.OpenWatches() != 0)
        failure = "the editor leaves timers or watches on the host's run loop";
    }
    v3_cpp_obj(v)->set_frame(v, nullptr);
    v3_cpp_obj_unref(v);
  }
  stop.store(true);
  audio.join();
  if (!failure.empty()) Fail(failure);
}

}  // namespace

const std::vector<TestCase>& Vst3Registry() {
  static const std::vector<TestCase> tests{
      {"vst3-load-unload", LoadUnload},
      {"vst3-describe", Describe},
      {"vst3-buses", Buses},
      {"vst3-lifecycle", Lifecycle},
      {"vst3-sample-sizes", SampleSizes},
      {"vst3-parameters", Parameters},
      {"vst3-block-sizes", BlockSizes},
      {"vst3-flush", Flush},
      {"vst3-silence", Silence},
      {"vst3-automation", Automation},
      {"vst3-state", StateTest},
      {"vst3-latency", Latency},
      {"vst3-realtime", Realtime},
      {"vst3-threads", Threads},
      {"vst3-editor", Editor, 3},
  };
  return tests;
}

}  // namespace corvane::host::validate

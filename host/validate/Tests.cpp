#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <functional>
#include <limits>
#include <map>
#include <memory>
#include <numbers>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "aax/interfaces/AAX_Exports.h"
#include "aax/interfaces/AAX_Types.h"
#include "host/HostError.h"
#include "host/ModuleHost.h"
#include "host/StateChunk.h"
#include "host/aaxhost/HostObject.h"
#include "host/realtime/RealtimeProbe.h"
#include "host/validate/EditorTests.h"
#include "host/validate/Validator.h"

namespace corvane::host::validate {

namespace {

[[noreturn]] void Fail(const std::string& reason) {
  throw Failure{reason};
}

/** Shows tiny values too, which fixed notation rounds to zero. */
std::string SampleText(float sample) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", static_cast<double>(sample));
  return text;
}

/** The dynamic symbol table as the loader sees it; nm is what the build already relies on. */
std::set<std::string> DefinedDynamicSymbols(const std::filesystem::path& module) {
  std::string quoted;
  for (const char c : module.string())
    quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  const std::string command = "nm -D --defined-only '" + quoted + "' 2>/dev/null";
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) Fail("cannot run nm to read the dynamic symbol table");
  std::set<std::string> names;
  char line[1024];
  while (std::fgets(line, sizeof line, pipe)) {
    std::istringstream fields(line);
    std::string address, type, name;
    if (fields >> address >> type >> name) names.insert(name);
  }
  if (::pclose(pipe) != 0) Fail("nm could not read the dynamic symbol table");
  return names;
}

void LoadUnload(TestContext& context) {
  const std::set<std::string> expected{
      kAAX_ExportName_Startup,         kAAX_ExportName_Shutdown,
      kAAX_ExportName_RegisterPlugin,  kAAX_ExportName_RegisterComponent,
      kAAX_ExportName_GetClassFactory, kAAX_ExportName_CanUnloadNow,
      kAAX_ExportName_GetSDKVersion};
  const std::set<std::string> exported = DefinedDynamicSymbols(context.module);
  for (const std::string& name : exported)
    if (!expected.count(name)) Fail("exports '" + name + "' besides the seven entry points");
  for (const std::string& name : expected)
    if (!exported.count(name)) Fail("does not export " + name);

  const int rounds = context.strictness >= 8 ? 1000 : 200;
  for (int round = 0; round < rounds; ++round) {
    ModuleHost module(context.module);
    (void)module.Description();
    if (const int32_t live = module.LiveObjects(); live != 0)
      Fail("round " + std::to_string(round + 1) + ": ACFCanUnloadNow reports " +
           std::to_string(live) + " before the unload");
    module.Close();
  }
}

void Describe(TestContext& context) {
  ModuleHost module(context.module);
  const aaxhost::Description& description = module.Description();
  if (description.effects.empty()) Fail("describes no effect");
  std::set<std::string> effectIDs;
  // Hosts find a component again in a saved session by these, so any clash is a lost setting.
  std::set<std::vector<int32_t>> pluginIDs;
  for (const aaxhost::Effect& effect : description.effects) {
    if (effect.effectID.empty()) Fail("an effect has an empty ID");
    if (!effectIDs.insert(effect.effectID).second)
      Fail("effect ID '" + effect.effectID + "' is used twice");
    if (effect.names.empty()) Fail("effect '" + effect.effectID + "' has no name");
    for (const std::string& name : effect.names)
      if (name.empty()) Fail("effect '" + effect.effectID + "' has an empty name");
    if (effect.components.empty()) Fail("effect '" + effect.effectID + "' has no component");
    std::set<AAX_CTypeID> meterIDs;
    for (const aaxhost::Meter& meter : effect.meters) {
      if (meter.id == kAAX_TypeID_None || meter.id == 0)
        Fail("a meter has the ID " + DescribeTypeID(meter.id));
      if (!meterIDs.insert(meter.id).second)
        Fail("meter ID " + DescribeTypeID(meter.id) + " is used twice");
    }
    std::set<int32_t> stems;
    for (const aaxhost::Component& component : effect.components) {
      const auto stem = ComponentStemFormat(component);
      const std::string which =
          "component " + (stem ? std::to_string(AAX_StemFormatChannelCount(*stem)) + "-channel"
                               : std::string("(asymmetric)"));
      if (component.processProcs.empty() || !component.processProcs.front().proc)
        Fail(which + " has no process procedure");
      if (stem && !stems.insert(*stem).second) Fail(which + " is described twice");
      std::vector<int32_t> ids;
      for (const int32_t property :
           {AAX_eProperty_ManufacturerID, AAX_eProperty_ProductID, AAX_eProperty_PlugInID_Native}) {
        const auto id = component.ProcProperty(property);
        if (!id || static_cast<uint32_t>(*id) == kAAX_TypeID_None || *id == 0)
          Fail(which + " lacks a real ID under property " + std::to_string(property));
        ids.push_back(*id);
      }
      if (!pluginIDs.insert(ids).second)
        Fail(which + " repeats the plug-in ID " +
             DescribeTypeID(static_cast<uint32_t>(ids.back())));
      std::set<AAX_CFieldIndex> indices;
      for (const aaxhost::Field& field : component.fields)
        if (!indices.insert(field.index).second)
          Fail(which + " declares context field " + std::to_string(field.index) + " twice");
      AAX_CFieldIndex expected = 0;
      for (const AAX_CFieldIndex index : indices) {
        if (index != expected)
          Fail(which + " leaves context field " + std::to_string(expected) + " undeclared");
        ++expected;
      }
    }
  }
  module.Close();
}

std::vector<float> Noise(std::mt19937_64& random, size_t count, float level) {
  std::uniform_real_distribution<float> dist(-level, level);
  std::vector<float> samples(count);
  for (float& s : samples) s = dist(random);
  return samples;
}

std::vector<std::vector<float>> NoiseBlock(std::mt19937_64& random, int channels, int frames) {
  std::vector<std::vector<float>> block;
  for (int c = 0; c < channels; ++c)
    block.push_back(Noise(random, static_cast<size_t>(std::max(frames, 1)), 0.25f));
  return block;
}

bool AllFinite(const std::vector<std::vector<float>>& channels, int frames) {
  for (const auto& c : channels)
    for (int s = 0; s < frames; ++s)
      if (!std::isfinite(c[static_cast<size_t>(s)])) return false;
  return true;
}

/**
 * The host's audio thread: renders one noise block over and over through the instance's
 * audio-thread half while keepGoing(block number) holds. False when any output was not finite.
 */
bool RenderNoiseWhile(ModuleInstance& instance, int inputs, int outputs, int frames, uint64_t seed,
                      const std::function<bool(int)>& keepGoing) {
  std::mt19937_64 random(seed);
  auto in = NoiseBlock(random, inputs, frames);
  std::vector<std::vector<float>> out(static_cast<size_t>(outputs),
                                      std::vector<float>(static_cast<size_t>(frames)));
  std::vector<float*> i, o;
  for (auto& c : in) i.push_back(c.data());
  for (auto& c : out) o.push_back(c.data());
  bool finite = true;
  for (int block = 0; keepGoing(block); ++block) {
    instance.RenderBlock(i.data(), o.data(), frames, static_cast<int64_t>(block) * frames);
    finite = finite && AllFinite(out, frames);
  }
  return finite;
}

/** Runs frames through an instance, channel by channel planar buffers. */
struct Buffers {
  std::vector<std::vector<float>> in, out;
  std::vector<float*> inPointers, outPointers;
  Buffers(int inputs, int outputs, int frames)
      : in(static_cast<size_t>(inputs), std::vector<float>(static_cast<size_t>(frames))),
        out(static_cast<size_t>(outputs), std::vector<float>(static_cast<size_t>(frames))) {
    for (auto& c : in) inPointers.push_back(c.data());
    for (auto& c : out) outPointers.push_back(c.data());
  }
};

int Channels(const aaxhost::Component& component, int32_t property) {
  const auto stem = component.ProcProperty(property);
  return stem ? static_cast<int>(AAX_StemFormatChannelCount(*stem)) : 0;
}

void Lifecycle(TestContext& context) {
  ModuleHost module(context.module);
  const aaxhost::Effect& effect = module.Effect();
  constexpr int kFrames = 256;
  // Whatever the module keeps for itself stays; an instance must take all of its own away.
  const size_t moduleTimers = module.RunLoop().TimerCount();
  const size_t moduleWatches = module.RunLoop().WatchCount();
  for (const double rate : {22050.0, 44100.0, 48000.0, 88200.0, 96000.0, 192000.0, 384000.0}) {
    for (const aaxhost::Component& component : effect.components) {
      const int inputs = Channels(component, AAX_eProperty_InputStemFormat);
      const int outputs = Channels(component, AAX_eProperty_OutputStemFormat);
      for (int pass = 0; pass < 2; ++pass) {
        const std::string where = std::to_string(static_cast<int>(rate)) + " Hz, " +
                                  std::to_string(inputs) + " in/" + std::to_string(outputs) +
                                  " out";
        auto instance = std::make_unique<ModuleInstance>(module, component, rate);
        instance->Initialize();
        instance->PrepareContext();
        Buffers buffers(inputs, outputs, kFrames);
        // Copied in place: the pointers handed to the plug-in were taken at construction.
        for (auto& channel : buffers.in) {
          const auto noise = Noise(context.random, kFrames, 0.5f);
          std::copy(noise.begin(), noise.end(), channel.begin());
        }
        for (int block = 0; block < 4; ++block) {
          instance->ProcessBlock(buffers.inPointers.data(), buffers.outPointers.data(), kFrames,
                                 static_cast<int64_t>(block) * kFrames);
          for (const auto& channel : buffers.out)
            for (const float s : channel)
              if (!std::isfinite(s)) Fail(where + ": non-finite output");
          module.RunLoop().Advance(20);
        }
        aaxhost::InstanceHost& host = instance->Host();
        instance->Teardown();
        if (const int32_t held = host.OutstandingReferences(); held != 0)
          Fail(where + ": the plug-in still holds " + std::to_string(held) +
               " references to the host's objects after it was destroyed");
        instance.reset();
        if (module.RunLoop().TimerCount() != moduleTimers ||
            module.RunLoop().WatchCount() != moduleWatches)
          Fail(where +
               ": a timer or watch of the destroyed instance is still registered, so a "
               "late tick would call into it");
      }
    }
  }
  if (const int32_t live = module.LiveObjects(); live != 0)
    Fail(std::to_string(live) + " objects still alive after every instance was destroyed");
  module.Close();
}

/**
 * A NaN or an infinity from a host (a broken automation lane, a scripting host) must be refused
 * by every entry that takes a value, and change nothing: not the value, its text, the default,
 * the host's automation or the change count.
 */
void CheckNonFiniteRefused(ModuleInstance& instance, const std::string& id,
                           const std::string& label) {
  AAX_IEffectParametersV1& parameters = instance.Parameters();
  aaxhost::AutomationDelegate& delegate = instance.Host().GetAutomationDelegate();
  const double before = instance.Normalized(id);
  const double defaultBefore = instance.DefaultNormalized(id);
  const std::string textBefore = instance.CurrentText(id, 32);
  const int32_t changes = instance.Changes();
  delegate.ClearEvents();
  const char* p = id.c_str();
  for (const double bad :
       {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
        -std::numeric_limits<double>::infinity()}) {
    const std::string what = bad != bad ? "NaN" : bad > 0 ? "+inf" : "-inf";
    aaxhost::HostString text("unchanged");
    const std::pair<const char*, AAX_Result> calls[] = {
        {"UpdateParameterNormalizedValue",
         parameters.UpdateParameterNormalizedValue(p, bad, AAX_eUpdateSource_Parameter)},
        {"UpdateParameterNormalizedRelative", parameters.UpdateParameterNormalizedRelative(p, bad)},
        {"SetParameterNormalizedValue", parameters.SetParameterNormalizedValue(p, bad)},
        {"SetParameterNormalizedRelative", parameters.SetParameterNormalizedRelative(p, bad)},
        {"SetParameterDefaultNormalizedValue",
         parameters.SetParameterDefaultNormalizedValue(p, bad)},
        {"GetParameterStringFromValue", parameters.GetParameterStringFromValue(p, bad, &text, 32)}};
    for (const auto& [call, result] : calls)
      if (result >= 0)
        Fail(label + " takes " + what + " through " + call + " (" + std::to_string(result) + ")");
    if (text.Text() != "unchanged")
      Fail(label + " writes the text '" + text.Text() + "' for " + what);
    instance.ApplyPostedRequests();
    if (instance.Normalized(id) != before || instance.DefaultNormalized(id) != defaultBefore ||
        instance.CurrentText(id, 32) != textBefore)
      Fail(label + " changed after " + what + " was refused: now '" + instance.CurrentText(id, 32) +
           "', was '" + textBefore + "'");
  }
  if (instance.Changes() != changes) Fail(label + " counts refused non-finite values as changes");
  for (const aaxhost::AutomationEvent& event : delegate.Events())
    if (event.kind != aaxhost::AutomationEvent::Kind::kRegister)
      Fail(label + " told the host's automation about a refused non-finite value");
}

void Parameters(TestContext& context) {
  ModuleHost module(context.module);
  const aaxhost::Effect& effect = module.Effect();
  ModuleInstance instance(module, effect.components.front(), 48000.0);
  instance.Initialize();
  const int32_t count = instance.ParameterCount();
  if (count <= 0) Fail("reports no parameters");
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  const int randomValues = 2 * context.strictness;
  for (int32_t index = 0; index < count; ++index) {
    const std::string id = instance.ParameterID(index);
    if (id.empty()) Fail("parameter " + std::to_string(index) + " has an empty ID");
    const std::string label = "parameter '" + id + "'";
    if (instance.ParameterName(id).empty()) Fail(label + " has an empty name");
    const double initial = instance.DefaultNormalized(id);
    if (!(initial >= 0.0 && initial <= 1.0))
      Fail(label + " has the default " + std::to_string(initial) + " outside [0, 1]");
    std::vector<double> values{0.0, 1.0, initial, 0.5};
    for (int i = 0; i < randomValues; ++i) values.push_back(unit(context.random));
    for (const double value : values) {
      const std::string text = instance.TextForNormalized(id, value);
      if (text.empty()) Fail(label + " has no text for " + std::to_string(value));
      const auto back = instance.NormalizedFromText(id, text);
      if (!back) Fail(label + " does not read back its own text '" + text + "'");
      if (!(*back >= 0.0 && *back <= 1.0))
        Fail(label + " reads '" + text + "' as " + std::to_string(*back) + ", outside [0, 1]");
      const std::string again = instance.TextForNormalized(id, *back);
      if (again != text)
        Fail(label + ": " + std::to_string(value) + " -> '" + text + "' -> " +
             std::to_string(*back) + " -> '" + again + "'");
    }
    for (const double edge : {0.0, 1.0}) {
      instance.Apply(id, edge);
      const double now = instance.Normalized(id);
      if (!(now >= 0.0 && now <= 1.0))
        Fail(label + " set to " + std::to_string(edge) + " reports " + std::to_string(now));
    }
    instance.Apply(id, initial);
    // Hosts with narrow displays ask for short names; each must fit and say something.
    for (const int32_t length : {31, 16, 8, 4, 1}) {
      const std::string name = instance.ShortName(id, length);
      if (name.empty() || static_cast<int32_t>(name.size()) > length)
        Fail(label + " gives '" + name + "' for a name of at most " + std::to_string(length) +
             " characters");
    }
    CheckNonFiniteRefused(instance, id, label);
    for (const std::string bad : {"garbage", "", "0,5", "1,0 dB", "\x01\xff", "nan", "-inf"}) {
      // Refusing is right; accepting is tolerable only with a value a host can store.
      const aaxhost::HostString input(bad);
      double value = -1.0;
      const AAX_Result result =
          instance.Parameters().GetParameterValueFromString(id.c_str(), &value, &input);
      if (result == AAX_SUCCESS && !(value >= 0.0 && value <= 1.0))
        Fail(label + " accepts the text '" + bad + "' as " + std::to_string(value));
      if (result > 0)
        Fail(label + " answers the text '" + bad + "' with the code " + std::to_string(result) +
             ", neither success nor an error");
    }
  }
}

const aaxhost::Component& StereoOrFirst(const aaxhost::Effect& effect) {
  const aaxhost::Component* component = FindComponentForChannels(effect, 2);
  return component ? *component : effect.components.front();
}

std::optional<std::string> FindParameterNamed(ModuleInstance& instance, const std::string& word) {
  for (int32_t index = 0; index < instance.ParameterCount(); ++index) {
    const std::string id = instance.ParameterID(index);
    std::string name = instance.ParameterName(id);
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (name.find(word) != std::string::npos) return id;
  }
  return std::nullopt;
}

void Silence(TestContext& context) {
  ModuleHost module(context.module);
  const aaxhost::Component& component = StereoOrFirst(module.Effect());
  const int inputs = Channels(component, AAX_eProperty_InputStemFormat);
  const int outputs = Channels(component, AAX_eProperty_OutputStemFormat);
  for (const bool oversampled : {false, true}) {
    ModuleInstance instance(module, component, 48000.0);
    instance.Initialize();
    const auto oversampling = FindParameterNamed(instance, "oversampl");
    if (oversampled && !oversampling) break;
    if (oversampling) instance.Apply(*oversampling, oversampled ? 1.0 : 0.0);
    instance.PrepareContext();
    constexpr int kFrames = 512;
    Buffers buffers(inputs, outputs, kFrames);
    const int blocks = 8 + 2 * context.strictness;
    int64_t position = 0;
    for (int block = 0; block < blocks; ++block, position += kFrames) {
      instance.ProcessBlock(buffers.inPointers.data(), buffers.outPointers.data(), kFrames,
                            position);
      const int64_t latency = instance.Latency();
      for (size_t c = 0; c < buffers.out.size(); ++c) {
        for (int i = 0; i < kFrames; ++i) {
          if (position + i < latency) continue;
          const float s = buffers.out[c][static_cast<size_t>(i)];
          if (s != 0.0f)
            Fail(std::string(oversampled ? "oversampled" : "plain") + ": sample " +
                 std::to_string(position + i) + " of channel " + std::to_string(c) + " is " +
                 SampleText(s) + " for silent input (latency " + std::to_string(latency) + ")");
        }
      }
    }
  }
}

/** A chunk record laid out as a plug-in reads it, with the header fields a host fills. */
class RawChunk {
 public:
  RawChunk(uint32_t chunkID, const std::vector<uint8_t>& data)
      : mWords((AAX_ChunkAllocationSize(data.size()) + 7) / 8, 0),
        mRecordSize(static_cast<uint32_t>(AAX_ChunkAllocationSize(data.size()))) {
    Get()->fSize = static_cast<int32_t>(data.size());
    Get()->fChunkID = chunkID;
    std::copy(data.begin(), data.end(), reinterpret_cast<uint8_t*>(Get()->fData));
  }
  AAX_SPlugInChunk* Get() { return reinterpret_cast<AAX_SPlugInChunk*>(mWords.data()); }
  uint32_t RecordSize() const { return mRecordSize; }

 private:
  std::vector<uint64_t> mWords;
  uint32_t mRecordSize;
};

AAX_IEffectParametersV5& Sized(ModuleInstance& instance) {
  auto* sized = AAX_QueryInterface<AAX_IEffectParametersV5>(&instance.Parameters(),
                                                            IID_AAX_EffectParametersV5);
  if (!sized) Fail("offers no sized chunk calls");
  // The instance keeps its own reference for as long as this one is used.
  sized->Release();
  return *sized;
}

std::map<std::string, double> AllValues(ModuleInstance& instance) {
  std::map<std::string, double> values;
  for (int32_t index = 0; index < instance.ParameterCount(); ++index) {
    const std::string id = instance.ParameterID(index);
    values[id] = instance.Normalized(id);
  }
  return values;
}

void CheckSane(ModuleInstance& instance, const std::string& after) {
  for (const auto& [id, value] : AllValues(instance))
    if (!(value >= 0.0 && value <= 1.0))
      Fail("after " + after + ", parameter '" + id + "' is " + std::to_string(value));
}

/** Idle ticks for `frames` of audio at 48 kHz, the way a host's timer interleaves with blocks. */
class IdleClock {
 public:
  explicit IdleClock(ModuleHost& module) : mModule(module) {}
  void Rendered(int frames) {
    mDueMs += 1000.0 * frames / 48000.0;
    const auto ms = static_cast<int64_t>(mDueMs);
    mDueMs -= static_cast<double>(ms);
    if (ms > 0) mModule.RunLoop().Advance(ms);
  }

 private:
  ModuleHost& mModule;
  double mDueMs = 0.0;
};

/** Random values on every parameter but the master bypass, applied as the host. */
void Randomize(ModuleInstance& instance, TestContext& context) {
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  const auto bypass = instance.MasterBypassID();
  for (int32_t index = 0; index < instance.ParameterCount(); ++index)
    if (instance.ParameterID(index) != bypass)
      instance.Apply(instance.ParameterID(index), unit(context.random));
}

ChunkRecord RecordOf(uint32_t chunkID, std::vector<uint8_t> data) {
  ChunkRecord record;
  record.chunkID = chunkID;
  record.data = std::move(data);
  return record;
}

/**
 * What a restore must give: the state's own bytes back exactly, and every value and text the
 * host shows as the saved instance showed it. The host's normalized reading comes from the
 * plug-in's report and the host's echo of it: a taper's round trip may move its last bit,
 * never more, and never the text.
 */
void CheckRestored(ModuleInstance& source, ModuleInstance& target,
                   const std::vector<uint8_t>& bytes, const std::string& after) {
  const auto bypass = source.MasterBypassID();
  const auto expected = AllValues(source);
  for (const auto& [id, value] : AllValues(target)) {
    if (id == bypass) continue;
    if (std::fabs(value - expected.at(id)) > 1e-12)
      Fail("parameter '" + id + "' is " + ExactText(value) + " " + after + ", not " +
           ExactText(expected.at(id)));
    if (target.CurrentText(id, 32) != source.CurrentText(id, 32))
      Fail("parameter '" + id + "' shows '" + target.CurrentText(id, 32) + "' " + after +
           ", not '" + source.CurrentText(id, 32) + "'");
  }
  if (target.GetChunk(target.ChunkID()) != bytes)
    Fail("a state restored " + after + " saves different bytes");
  if (!target.CompareChunk(RecordOf(target.ChunkID(), bytes)))
    Fail("the instance restored " + after + " does not compare equal to the state it was given");
}

// The restores of a running instance, through the chunk calls every host has.
void State(TestContext& context) {
  ModuleHost module(context.module);
  const aaxhost::Component& component = module.Effect().components.front();
  for (int round = 0; round < context.strictness; ++round) {
    ModuleInstance source(module, component, 48000.0);
    source.Initialize();
    Randomize(source, context);
    const uint32_t chunkID = source.ChunkID();
    if (chunkID == 0) Fail("offers no state chunk");
    const std::vector<uint8_t> bytes = source.GetChunk(chunkID);

    ModuleInstance target(module, component, 48000.0);
    target.Initialize();
    const int32_t changes = target.Changes();
    target.SetChunk(RecordOf(chunkID, bytes));
    CheckRestored(source, target, bytes, "after the restore");
    if (target.Changes() <= changes)
      Fail("a restore leaves the number of changes at " + std::to_string(target.Changes()) +
           ", so a host would not know its session changed");
    const auto bypass = source.MasterBypassID();
    std::string first = target.ParameterID(0);
    if (first == bypass && target.ParameterCount() > 1) first = target.ParameterID(1);
    target.Apply(first, AllValues(source).at(first) < 0.5 ? 1.0 : 0.0);
    if (target.CompareChunk(RecordOf(chunkID, bytes)) && target.GetChunk(chunkID) != bytes)
      Fail("compares equal to a state after its parameter '" + first + "' changed");

    // A host's record always holds what its size field says; what is in it may be anything.
    // None of these may crash; refusing or applying is both fine if the values stay sane. A
    // chunk of another ID must be refused, and an empty one has nothing to change.
    struct Bad {
      std::string what;
      ChunkRecord record;
      bool mustRefuse = false;
      bool changesNothing = false;
    };
    std::vector<uint8_t> noise(bytes.size() + context.random() % 64);
    for (uint8_t& b : noise) b = static_cast<uint8_t>(context.random());
    const std::vector<Bad> bad{
        {"an empty chunk", RecordOf(chunkID, {}), false, true},
        {"a truncated chunk",
         RecordOf(chunkID, std::vector<uint8_t>(bytes.begin(), bytes.begin() + bytes.size() / 2))},
        {"a random chunk", RecordOf(chunkID, noise)},
        {"a chunk of another ID", RecordOf(chunkID ^ 0x01010101u, bytes), true, true}};
    for (const Bad& b : bad) {
      ModuleInstance victim(module, component, 48000.0);
      victim.Initialize();
      Randomize(victim, context);
      const auto before = AllValues(victim);
      bool accepted = true;
      try {
        victim.SetChunk(b.record);
      } catch (const HostError&) {
        accepted = false;
      }
      if (b.mustRefuse && accepted) Fail(b.what + " is accepted");
      if (b.changesNothing && AllValues(victim) != before) Fail(b.what + " changes parameters");
      try {
        (void)victim.CompareChunk(b.record);
      } catch (const HostError&) {
      }
      CheckSane(victim, b.what);
    }
  }
  context.Note(
      "the unsized chunk calls carry no record size, so a size field that disagrees with its "
      "record is checked by state-sized only");

  // A host may save and restore from a worker thread while the audio thread renders.
  ModuleInstance live(module, component, 48000.0);
  live.Initialize();
  live.PrepareContext();
  const int inputs = Channels(component, AAX_eProperty_InputStemFormat);
  const int outputs = Channels(component, AAX_eProperty_OutputStemFormat);
  const uint32_t chunkID = live.ChunkID();
  std::vector<std::vector<uint8_t>> states;
  for (int i = 0; i < 4; ++i) {
    ModuleInstance source(module, component, 48000.0);
    source.Initialize();
    Randomize(source, context);
    states.push_back(source.GetChunk(chunkID));
  }
  std::atomic<bool> done{false};
  std::atomic<bool> nonFinite{false};
  std::thread audio([&] {
    if (!RenderNoiseWhile(live, inputs, outputs, 128, context.seed + 3,
                          [&](int) { return !done.load(std::memory_order_acquire); }))
      nonFinite = true;
  });
  std::string problem;
  std::thread worker([&] {
    try {
      for (int round = 0; round < 10 * context.strictness; ++round) {
        const ChunkRecord record =
            RecordOf(chunkID, states[static_cast<size_t>(round) % states.size()]);
        live.SetChunk(record);
        if (live.GetChunk(chunkID) != record.data)
          problem = "a state restored on a worker thread while rendering saves different bytes";
      }
    } catch (const std::exception& e) {
      problem = e.what();
    }
  });
  worker.join();
  done = true;
  audio.join();
  if (!problem.empty()) Fail(problem);
  if (nonFinite) Fail("non-finite output while the state changed on a worker thread");
}

// A host opening a session may give an instance its state before initializing it. From the
// first moment the host can read anything, it must read the restored values, and the audio must
// be that of the restored state.
void StateBeforeInit(TestContext& context) {
  ModuleHost module(context.module);
  const aaxhost::Component& component = StereoOrFirst(module.Effect());
  const int inputs = Channels(component, AAX_eProperty_InputStemFormat);
  const int outputs = Channels(component, AAX_eProperty_OutputStemFormat);
  for (int round = 0; round < std::max(2, context.strictness / 2); ++round) {
    ModuleInstance source(module, component, 48000.0);
    source.Initialize();
    Randomize(source, context);
    // Half the rounds with oversampling on: the restored mode must be in force from the start.
    if (const auto id = FindParameterNamed(source, "oversampl")) source.Apply(*id, round % 2);
    const uint32_t chunkID = source.ChunkID();
    if (chunkID == 0) Fail("offers no state chunk");
    const std::vector<uint8_t> bytes = source.GetChunk(chunkID);

    ModuleInstance early(module, component, 48000.0);
    early.SetChunk(RecordOf(chunkID, bytes));
    early.Initialize();
    CheckRestored(source, early, bytes, "after a restore before initialization");

    // Its audio: what an instance restored after initialization renders, once both settled.
    ModuleInstance late(module, component, 48000.0);
    late.Initialize();
    late.SetChunk(RecordOf(chunkID, bytes));
    early.PrepareContext();
    late.PrepareContext();
    const int kFrames = 512;
    IdleClock clock(module);
    std::vector<std::vector<float>> in(static_cast<size_t>(inputs), std::vector<float>(kFrames));
    std::vector<std::vector<float>> a(static_cast<size_t>(outputs), std::vector<float>(kFrames));
    auto b = a;
    std::vector<float*> ip, ap, bp;
    for (auto& c : in) ip.push_back(c.data());
    for (auto& c : a) ap.push_back(c.data());
    for (auto& c : b) bp.push_back(c.data());
    for (int block = 0; block < 64; ++block) {
      for (size_t c = 0; c < in.size(); ++c)
        for (int i = 0; i < kFrames; ++i)
          in[c][static_cast<size_t>(i)] =
              static_cast<float>(0.3 * std::sin(0.031 * static_cast<double>(block * kFrames + i) +
                                                static_cast<double>(c)));
      const int64_t position = static_cast<int64_t>(block) * kFrames;
      early.ProcessBlock(ip.data(), ap.data(), kFrames, position);
      late.ProcessBlock(ip.data(), bp.data(), kFrames, position);
      clock.Rendered(kFrames);
      if (block < 48) continue;
      for (size_t c = 0; c < a.size(); ++c)
        for (int i = 0; i < kFrames; ++i)
          if (std::fabs(a[c][static_cast<size_t>(i)] - b[c][static_cast<size_t>(i)]) > 1e-4f)
            Fail("restored before initialization, sample " + std::to_string(position + i) + " is " +
                 SampleText(a[c][static_cast<size_t>(i)]) + ", restored after it " +
                 SampleText(b[c][static_cast<size_t>(i)]));
    }
    if (early.Latency() != late.Latency())
      Fail("restored before initialization the latency is " + std::to_string(early.Latency()) +
           ", restored after it " + std::to_string(late.Latency()));
  }
}

// The sized chunk calls, which tell the plug-in how large the host's record is: the only way
// to hand it a size field that disagrees with the record without reading past the record.
void StateSized(TestContext& context) {
  ModuleHost module(context.module);
  const aaxhost::Component& component = module.Effect().components.front();
  ModuleInstance source(module, component, 48000.0);
  source.Initialize();
  Randomize(source, context);
  const uint32_t chunkID = source.ChunkID();
  if (chunkID == 0) Fail("offers no state chunk");
  const std::vector<uint8_t> bytes = source.GetChunk(chunkID);
  {
    ModuleInstance target(module, component, 48000.0);
    target.Initialize();
    target.SetChunkSized(RecordOf(chunkID, bytes));
    CheckRestored(source, target, bytes, "after a sized restore");
    RawChunk saved(chunkID, bytes);
    AAX_CBoolean equal = false;
    if (Sized(target).CompareActiveChunkSized(saved.Get(), saved.RecordSize(), &equal) !=
            AAX_SUCCESS ||
        !equal)
      Fail("the restored instance does not compare equal through the sized call");
  }
  struct Bad {
    std::string what;
    RawChunk chunk;
  };
  std::vector<Bad> bad;
  RawChunk lying(chunkID, bytes);
  lying.Get()->fSize = static_cast<int32_t>(bytes.size()) + 4096;
  bad.push_back({"a chunk whose size field overstates it", std::move(lying)});
  RawChunk negative(chunkID, bytes);
  negative.Get()->fSize = -1;
  bad.push_back({"a chunk with a negative size", std::move(negative)});
  RawChunk huge(chunkID, {});
  huge.Get()->fSize = INT32_MAX;
  bad.push_back({"an empty chunk whose size field claims 2 GiB", std::move(huge)});
  for (Bad& b : bad) {
    ModuleInstance victim(module, component, 48000.0);
    victim.Initialize();
    Randomize(victim, context);
    Sized(victim).SetChunkSized(b.chunk.Get()->fChunkID, b.chunk.Get(), b.chunk.RecordSize());
    victim.ApplyPostedRequests();
    AAX_CBoolean ignored = false;
    Sized(victim).CompareActiveChunkSized(b.chunk.Get(), b.chunk.RecordSize(), &ignored);
    CheckSane(victim, b.what);
  }
}

/**
 * Both ends of a stereo (or the first) component, prepared at 48 kHz. With oversampling the
 * host sets the value on the running instance, as a user would, and the rig lets the switch
 * (fade, flush, fade back up) and the latency report run out on silence before a test looks.
 */
struct Rig {
  ModuleHost* module = nullptr;
  std::unique_ptr<ModuleInstance> instance;
  int inputs = 0;
  int outputs = 0;
  int64_t position = 0;

  Rig(ModuleHost& host, bool oversampled) : module(&host) {
    const aaxhost::Component& component = StereoOrFirst(host.Effect());
    inputs = Channels(component, AAX_eProperty_InputStemFormat);
    outputs = Channels(component, AAX_eProperty_OutputStemFormat);
    instance = std::make_unique<ModuleInstance>(host, component, 48000.0);
    instance->Initialize();
    instance->PrepareContext();
    if (const auto id = FindParameterNamed(*instance, "oversampl")) {
      instance->Apply(*id, oversampled ? 1.0 : 0.0);
      if (oversampled) Settle();
    }
  }
  /** Planar in, planar out, frames per channel; outputs are resized. */
  void Run(std::vector<std::vector<float>>& in, std::vector<std::vector<float>>& out, int frames) {
    std::vector<float*> i, o;
    out.resize(static_cast<size_t>(outputs));
    for (auto& c : in) i.push_back(c.data());
    for (auto& c : out) {
      c.resize(static_cast<size_t>(std::max(frames, 1)));
      o.push_back(c.data());
    }
    instance->ProcessBlock(i.data(), o.data(), frames, position);
    position += frames;
  }
  /** Silence in 512-frame blocks with idle ticks, long enough for any switch to end. */
  void Settle() {
    std::vector<std::vector<float>> in(static_cast<size_t>(inputs), std::vector<float>(512));
    std::vector<std::vector<float>> out;
    IdleClock clock(*module);
    for (int block = 0; block < 32; ++block) {
      Run(in, out, 512);
      clock.Rendered(512);
    }
  }
};

void BadSamples(TestContext& context) {
  ModuleHost module(context.module);
  constexpr int kFrames = 512;
  const int recovery = 16;
  const std::vector<std::pair<std::string, float>> kinds{
      {"NaN", std::numeric_limits<float>::quiet_NaN()},
      {"+inf", std::numeric_limits<float>::infinity()},
      {"-inf", -std::numeric_limits<float>::infinity()},
      {"+1e6", 1e6f},
      {"-1e6", -1e6f},
      {"denormals", 1e-40f},
      {"DC", 1.0f}};
  for (const auto& [kind, value] : kinds) {
    Rig reference(module, false), tested(module, false);
    std::vector<std::vector<float>> refOut, testOut;
    for (int block = 0; block < 4 + 4 + recovery; ++block) {
      auto clean = NoiseBlock(context.random, reference.inputs, kFrames);
      auto input = clean;
      const bool bad = block >= 4 && block < 8;
      // Every other sample, so a plug-in cannot pass by looking at the first one alone.
      if (bad)
        for (auto& c : input)
          for (size_t i = 0; i < c.size(); i += (kind == "DC" || kind == "denormals") ? 1 : 2)
            c[i] = value;
      reference.Run(clean, refOut, kFrames);
      tested.Run(input, testOut, kFrames);
      for (const auto& c : testOut)
        for (const float s : c)
          if (!std::isfinite(s))
            Fail(kind + " in: non-finite output in block " + std::to_string(block));
      if (block == 4 + 4 + recovery - 1) {
        for (size_t c = 0; c < testOut.size(); ++c)
          for (size_t i = 0; i < testOut[c].size(); ++i)
            if (std::fabs(testOut[c][i] - refOut[c][i]) > 1e-4f)
              Fail(kind + " in: output still differs from the reference by " +
                   std::to_string(std::fabs(testOut[c][i] - refOut[c][i])) + " " +
                   std::to_string(recovery) + " clean blocks later");
      }
    }
  }
  // Many processors take a slow path for arithmetic on denormals unless the plug-in flushes
  // them; a plug-in that does not can overload the audio thread on a fading tail. A slow path
  // slows every block, so the fastest single block of each kind is compared: on a busy machine
  // some blocks of each kind still run uninterrupted, where whole runs of blocks rarely do. The
  // kinds alternate, so both see the same caches and clock.
  for (const bool oversampled : {false, true}) {
    Rig rig(module, oversampled);
    auto normal = NoiseBlock(context.random, rig.inputs, kFrames);
    auto denormal = normal;
    for (auto& c : denormal)
      for (float& s : c) s = std::copysign(1e-40f, s);
    std::vector<std::vector<float>> out;
    const int blocks = 50 + 10 * context.strictness;
    auto fastestBlock = [&](std::vector<std::vector<float>>& in) {
      double fastest = 1e9;
      for (int b = 0; b < blocks; ++b) {
        const auto start = std::chrono::steady_clock::now();
        rig.Run(in, out, kFrames);
        fastest = std::min(
            fastest,
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
      }
      return fastest;
    };
    double fastestNormal = 1e9, fastestDenormal = 1e9;
    for (int trial = 0; trial < 7; ++trial) {
      fastestNormal = std::min(fastestNormal, fastestBlock(normal));
      fastestDenormal = std::min(fastestDenormal, fastestBlock(denormal));
    }
    if (fastestDenormal > 2.0 * fastestNormal)
      Fail(std::string(oversampled ? "oversampled" : "plain") + ": denormal input takes " +
           std::to_string(fastestDenormal / fastestNormal) + " times as long as normal input");
  }
}

void CheckBuffers(TestContext& context) {
  ModuleHost module(context.module);
  constexpr int kFrames = 300;
  constexpr int kGuard = 16;
  constexpr float kSentinel = 12345.0f;
  for (const bool oversampled : {false, true}) {
    const std::string mode = oversampled ? "oversampled" : "plain";
    Rig separate(module, oversampled), inPlace(module, oversampled);
    for (int block = 0; block < 6; ++block) {
      auto in = NoiseBlock(context.random, separate.inputs, kFrames + kGuard);
      for (auto& c : in) std::fill(c.end() - kGuard, c.end(), kSentinel);
      const auto inCopy = in;
      std::vector<std::vector<float>> out(static_cast<size_t>(separate.outputs),
                                          std::vector<float>(kFrames + kGuard));
      for (auto& c : out) {
        std::fill(c.begin(), c.end() - kGuard, std::numeric_limits<float>::quiet_NaN());
        std::fill(c.end() - kGuard, c.end(), kSentinel);
      }
      std::vector<float*> i, o;
      for (auto& c : in) i.push_back(c.data());
      for (auto& c : out) o.push_back(c.data());
      separate.instance->ProcessBlock(i.data(), o.data(), kFrames, separate.position);
      separate.position += kFrames;
      if (in != inCopy) Fail(mode + ": the plug-in wrote into its input");
      for (const auto& c : out) {
        for (int s = 0; s < kFrames; ++s)
          if (!std::isfinite(c[static_cast<size_t>(s)]))
            Fail(mode + ": output sample " + std::to_string(s) + " was left as it was");
        for (int s = kFrames; s < kFrames + kGuard; ++s)
          if (c[static_cast<size_t>(s)] != kSentinel)
            Fail(mode + ": wrote past the block, at sample " + std::to_string(s));
      }
      if (inPlace.inputs != inPlace.outputs) continue;
      auto shared = inCopy;
      std::vector<float*> p;
      for (auto& c : shared) p.push_back(c.data());
      inPlace.instance->ProcessBlock(p.data(), p.data(), kFrames, inPlace.position);
      inPlace.position += kFrames;
      for (size_t c = 0; c < out.size(); ++c)
        for (int s = 0; s < kFrames; ++s)
          if (shared[c][static_cast<size_t>(s)] != out[c][static_cast<size_t>(s)])
            Fail(mode + ": in place differs from separate buffers at sample " + std::to_string(s) +
                 " of block " + std::to_string(block));
    }
  }
}

/** Noise through a rig in blocks whose sizes come from nextSize; the whole output, planar. */
template <typename NextSize>
std::vector<std::vector<float>> RenderInBlocks(Rig& rig,
                                               const std::vector<std::vector<float>>& signal,
                                               NextSize nextSize) {
  const int total = static_cast<int>(signal.front().size());
  std::vector<std::vector<float>> result(static_cast<size_t>(rig.outputs));
  std::vector<std::vector<float>> out;
  IdleClock clock(*rig.module);
  for (int done = 0; done < total;) {
    const int frames = std::min(nextSize(), total - done);
    std::vector<std::vector<float>> in;
    for (const auto& c : signal) in.emplace_back(c.begin() + done, c.begin() + done + frames);
    if (frames == 0)
      for (auto& c : in) c.resize(1);
    rig.Run(in, out, frames);
    clock.Rendered(frames);
    for (size_t c = 0; c < result.size(); ++c)
      result[c].insert(result[c].end(), out[c].begin(), out[c].begin() + frames);
    done += frames;
  }
  return result;
}

void BlockSizes(TestContext& context) {
  ModuleHost module(context.module);
  {
    Rig rig(module, false);
    std::vector<std::vector<float>> out;
    for (const int frames : {0, 1, 17, 64, 511, 512, 2048, 16384, 512}) {
      auto in = NoiseBlock(context.random, rig.inputs, frames);
      rig.Run(in, out, frames);
      for (const auto& c : out)
        for (int s = 0; s < frames; ++s)
          if (!std::isfinite(c[static_cast<size_t>(s)]))
            Fail("non-finite output in a block of " + std::to_string(frames));
    }
  }
  const int total = 4096 * (4 + context.strictness);
  for (const bool oversampled : {false, true}) {
    const std::string mode = oversampled ? "oversampled" : "plain";
    const auto signal = NoiseBlock(context.random, 1, total);
    std::vector<std::vector<float>> stereo(2, signal.front());
    // A host that announced its blocks and then grows them: one long block (longer than most
    // plug-ins' buffers) among short ones must sound exactly like short blocks, with no gap.
    {
      Rig fixed(module, oversampled), grown(module, oversampled);
      stereo.resize(static_cast<size_t>(fixed.inputs));
      const auto expected = RenderInBlocks(fixed, stereo, [] { return 512; });
      int block = 0;
      const auto actual = RenderInBlocks(grown, stereo, [&] { return block++ == 4 ? 12288 : 512; });
      for (size_t c = 0; c < expected.size(); ++c) {
        int silentRun = 0;
        for (int s = 2048; s < 2048 + 12288; ++s) {
          silentRun = actual[c][static_cast<size_t>(s)] == 0.0f ? silentRun + 1 : 0;
          if (silentRun >= 64)
            Fail(mode + ": the output falls silent at sample " + std::to_string(s - 63) +
                 " when the block grows from 512 to 12288");
        }
        for (size_t s = 0; s < expected[c].size(); ++s)
          if (expected[c][s] != actual[c][s])
            Fail(mode +
                 ": a block grown from 512 to 12288 differs from 512-sample blocks at "
                 "sample " +
                 std::to_string(s) + " of channel " + std::to_string(c));
      }
    }
    // Any sizes, short and long, give the samples of steady 512-sample blocks.
    Rig fixed(module, oversampled), varied(module, oversampled);
    const auto expected = RenderInBlocks(fixed, stereo, [] { return 512; });
    std::uniform_int_distribution<int> size(0, 8192);
    const auto actual = RenderInBlocks(varied, stereo, [&] { return size(context.random); });
    for (size_t c = 0; c < expected.size(); ++c)
      for (size_t s = 0; s < expected[c].size(); ++s)
        if (expected[c][s] != actual[c][s])
          Fail(mode + ": random block sizes differ from 512 at sample " + std::to_string(s) +
               " of channel " + std::to_string(c));
  }
}

// What a host hears from the first block after initialization, at its own block size: real
// audio at once on the plain path, and with oversampling (restored before initialization, as a
// session opens) only the documented flush of the new resamplers before it.
void Startup(TestContext& context) {
  ModuleHost module(context.module);
  const aaxhost::Component& component = StereoOrFirst(module.Effect());
  const int inputs = Channels(component, AAX_eProperty_InputStemFormat);
  const int outputs = Channels(component, AAX_eProperty_OutputStemFormat);
  std::vector<int> blocks{64, 512, 2048};
  if (context.strictness >= 5) blocks.push_back(4096);
  ChunkRecord oversampledState;
  {
    ModuleInstance source(module, component, 48000.0);
    source.Initialize();
    if (const auto id = FindParameterNamed(source, "oversampl")) source.Apply(*id, 1.0);
    oversampledState = RecordOf(source.ChunkID(), source.GetChunk(source.ChunkID()));
  }
  for (const int block : blocks) {
    for (const bool oversampled : {false, true}) {
      const std::string where = std::string(oversampled ? "oversampled" : "plain") + ", " +
                                std::to_string(block) + "-sample blocks";
      auto make = [&] {
        auto instance = std::make_unique<ModuleInstance>(module, component, 48000.0);
        if (oversampled) instance->SetChunk(oversampledState);
        instance->Initialize();
        instance->PrepareContext();
        return instance;
      };
      auto fresh = make();
      auto running = make();
      // The running instance has played a second of noise already.
      {
        IdleClock clock(module);
        std::mt19937_64 random(context.seed + static_cast<uint64_t>(block));
        auto noise = NoiseBlock(random, inputs, 512);
        std::vector<std::vector<float>> out(static_cast<size_t>(outputs), std::vector<float>(512));
        std::vector<float*> i, o;
        for (auto& c : noise) i.push_back(c.data());
        for (auto& c : out) o.push_back(c.data());
        for (int b = 0; b < 94; ++b) {
          running->ProcessBlock(i.data(), o.data(), 512, 512 * b);
          clock.Rendered(512);
        }
      }
      const int latency = fresh->Latency();
      if (oversampled && latency <= 0)
        Fail(where + ": oversampling restored before initialization reports no latency");
      const int total = std::max(8 * block, 16384);
      std::vector<std::vector<float>> in(static_cast<size_t>(inputs),
                                         std::vector<float>(static_cast<size_t>(total)));
      for (size_t c = 0; c < in.size(); ++c)
        for (int t = 0; t < total; ++t)
          in[c][static_cast<size_t>(t)] =
              static_cast<float>(0.4 * std::sin(2.0 * std::numbers::pi * 440.0 * t / 48000.0 + 0.5 +
                                                static_cast<double>(c)));
      std::vector<std::vector<float>> a(static_cast<size_t>(outputs),
                                        std::vector<float>(static_cast<size_t>(total)));
      auto b = a;
      for (int done = 0; done < total; done += block) {
        std::vector<float*> i, ap, bp;
        for (auto& c : in) i.push_back(c.data() + done);
        for (auto& c : a) ap.push_back(c.data() + done);
        for (auto& c : b) bp.push_back(c.data() + done);
        fresh->ProcessBlock(i.data(), ap.data(), block, done);
        running->ProcessBlock(i.data(), bp.data(), block, 94 * 512 + done);
      }
      // Silence is allowed only for the flush: max(block, 1024) + latency, to the block's end.
      const int allowed =
          oversampled ? (std::max(block, 1024) + latency + block - 1) / block * block : 0;
      int firstSound = total;
      for (int t = 0; t < total && firstSound == total; ++t)
        if (a[0][static_cast<size_t>(t)] != 0.0f) firstSound = t;
      if (firstSound > allowed)
        Fail(where + ": the first " + std::to_string(firstSound) +
             " samples after initialization are silent (" + std::to_string(allowed) + " allowed)");
      // From the first sound (plain) or once the filters hold only real audio (oversampled), the
      // fresh instance sounds like one that has been running all along.
      const int from = oversampled ? firstSound + latency + block : 0;
      const float tolerance = oversampled ? 2e-3f : 0.0f;
      for (size_t c = 0; c < a.size(); ++c)
        for (int t = from; t < total; ++t)
          if (std::fabs(a[c][static_cast<size_t>(t)] - b[c][static_cast<size_t>(t)]) > tolerance)
            Fail(where + ": sample " + std::to_string(t) + " after initialization is " +
                 SampleText(a[c][static_cast<size_t>(t)]) + ", a running instance gives " +
                 SampleText(b[c][static_cast<size_t>(t)]));
    }
  }
}

/** Every value a sweep visits: all steps of a stepped parameter, capped, always both ends. */
std::vector<double> SweepValues(int32_t steps) {
  const int32_t count = std::clamp(steps, 2, 2000);
  std::vector<double> values;
  for (int32_t k = 0; k < count; ++k) values.push_back(static_cast<double>(k) / (count - 1));
  return values;
}

void ParameterTraversal(TestContext& context) {
  ModuleHost module(context.module);
  for (const float level : {1.0f, 10.0f}) {
    Rig rig(module, false);
    ModuleInstance& instance = *rig.instance;
    const std::string where = "noise at +-" + std::to_string(static_cast<int>(level));
    constexpr int kFrames = 64;
    std::uniform_real_distribution<float> noise(-level, level);
    std::vector<std::vector<float>> in(static_cast<size_t>(rig.inputs),
                                       std::vector<float>(kFrames)),
        out;
    auto render = [&](const std::string& after) {
      for (auto& c : in)
        for (float& s : c) s = noise(context.random);
      rig.Run(in, out, kFrames);
      if (!AllFinite(out, kFrames)) Fail(where + ": non-finite output after " + after);
    };
    const auto bypass = instance.MasterBypassID();
    std::vector<std::string> ids;
    for (int32_t index = 0; index < instance.ParameterCount(); ++index)
      if (instance.ParameterID(index) != bypass) ids.push_back(instance.ParameterID(index));
    for (const std::string& id : ids) {
      const int32_t steps = instance.Steps(id);
      if (steps < 1) Fail("parameter '" + id + "' reports " + std::to_string(steps) + " steps");
      const bool discrete = instance.Type(id) == AAX_eParameterType_Discrete;
      std::set<std::string> texts;
      // Every block sees a new value: a sweep is how a user drags a control, and how a host
      // plays back automation.
      for (const double value : SweepValues(steps)) {
        instance.Apply(id, value);
        texts.insert(instance.CurrentText(id, 32));
        render("'" + id + "' = " + std::to_string(value));
      }
      if (discrete && steps <= 2000 && static_cast<int32_t>(texts.size()) != steps)
        Fail("parameter '" + id + "' has " + std::to_string(steps) + " steps but " +
             std::to_string(texts.size()) + " distinct values");
      instance.Apply(id, instance.DefaultNormalized(id));
    }
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    const int rounds = 100 * context.strictness;
    for (int round = 0; round < rounds; ++round) {
      for (const std::string& id : ids) {
        const int pick = static_cast<int>(context.random() % 4);
        instance.Apply(id, pick == 0 ? 0.0 : pick == 1 ? 1.0 : unit(context.random));
      }
      render("random set " + std::to_string(round + 1));
    }
  }
}

void Automation(TestContext& context) {
  ModuleHost module(context.module);
  Rig rig(module, false);
  ModuleInstance& instance = *rig.instance;
  AAX_IEffectParametersV1& parameters = instance.Parameters();
  aaxhost::AutomationDelegate& delegate = instance.Host().GetAutomationDelegate();
  const auto bypass = instance.MasterBypassID();
  std::vector<std::string> ids;
  for (int32_t index = 0; index < instance.ParameterCount(); ++index)
    if (instance.ParameterID(index) != bypass) ids.push_back(instance.ParameterID(index));
  using Kind = aaxhost::AutomationEvent::Kind;

  // A value the plug-in sets itself (its editor) is a request: touch, value, release, and the
  // value arrives when the host writes it back.
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  for (const std::string& id : ids) {
    const std::string label = "parameter '" + id + "'";
    if (!delegate.IsRegistered(id)) Fail(label + " is not registered for automation");
    const double before = instance.Normalized(id);
    const double wanted = before < 0.5 ? 1.0 : 0.0;
    delegate.ClearEvents();
    if (parameters.SetParameterNormalizedValue(id.c_str(), wanted) != AAX_SUCCESS)
      Fail(label + " refuses a set-value request");
    std::vector<Kind> kinds;
    for (const aaxhost::AutomationEvent& event : delegate.Events())
      if (event.parameterID == id && event.kind != Kind::kCurrentValue) kinds.push_back(event.kind);
    if (kinds != std::vector<Kind>{Kind::kTouch, Kind::kSetValueRequest, Kind::kRelease})
      Fail(label + ": a set-value request does not reach the host as touch, value, release");
    if (instance.Normalized(id) != before)
      Fail(label + " took its own request before the host wrote it back");
    instance.Apply(id, wanted);
    if (std::fabs(instance.Normalized(id) - wanted) > 1e-9)
      Fail(label + " is " + std::to_string(instance.Normalized(id)) + " after the host wrote " +
           std::to_string(wanted));
    delegate.ClearEvents();
    parameters.TouchParameter(id.c_str());
    parameters.ReleaseParameter(id.c_str());
    kinds.clear();
    for (const aaxhost::AutomationEvent& event : delegate.Events())
      if (event.parameterID == id) kinds.push_back(event.kind);
    if (kinds != std::vector<Kind>{Kind::kTouch, Kind::kRelease})
      Fail(label + ": touch and release do not reach the host in order");
  }
  if (parameters.SetParameterNormalizedValue("no such parameter", 0.5) !=
      AAX_ERROR_INVALID_PARAMETER_ID)
    Fail("a set-value request for an unknown ID is not refused as an invalid parameter ID");

  // A gesture as the host sees it: touches nest, so a set-value request (itself a touch, a
  // value and a release) inside an outer touch leaves the parameter touched until the outer
  // release; the host applies the value meanwhile, and counts it as a change.
  for (const std::string& id : ids) {
    const std::string label = "parameter '" + id + "'";
    auto touched = [&] {
      AAX_CBoolean state = 0;
      delegate.GetTouchState(id.c_str(), &state);
      return state != 0;
    };
    const double target = instance.Normalized(id) < 0.5 ? 0.75 : 0.25;
    const int32_t changes = instance.Changes();
    parameters.TouchParameter(id.c_str());
    if (!touched()) Fail(label + " is not touched for the host after TouchParameter");
    parameters.SetParameterNormalizedValue(id.c_str(), target);
    if (!touched())
      Fail(label + ": a set-value request inside a gesture ends the host's touch early");
    instance.ApplyPostedRequests();
    const std::string expected = instance.TextForNormalized(id, target);
    if (instance.CurrentText(id, 32) != expected)
      Fail(label + " shows '" + instance.CurrentText(id, 32) + "' during the gesture, not '" +
           expected + "'");
    if (instance.Changes() <= changes)
      Fail(label + ": a value the host applied is not counted as a change");
    parameters.ReleaseParameter(id.c_str());
    if (touched()) Fail(label + " stays touched for the host after the gesture");
    for (const AAX_CBoolean state : {1, 0})
      if (const AAX_Result result = parameters.UpdateParameterTouch(id.c_str(), state);
          result != AAX_SUCCESS)
        Fail(label + " refuses the host's touch update (" + std::to_string(result) + ")");
  }
  if (parameters.UpdateParameterTouch("no such parameter", 1) == AAX_SUCCESS)
    Fail("a touch update for an unknown ID is taken");

  // A control surface asks for the plug-in's page table; whatever it maps must exist.
  if (auto* v4 =
          AAX_QueryInterface<AAX_IEffectParametersV4>(&parameters, IID_AAX_EffectParametersV4)) {
    aaxhost::PageTable& table = instance.Host().GetPageTable();
    const AAX_Result result =
        v4->UpdatePageTable(AAX_FourCC("PgTL"), 8, nullptr, static_cast<AAX_IPageTableV1*>(&table));
    v4->Release();
    if (result != AAX_SUCCESS && result != AAX_ERROR_UNIMPLEMENTED)
      Fail("the page table request fails with " + std::to_string(result));
    for (const auto& [slot, mapped] : table.Mappings())
      if (std::find(ids.begin(), ids.end(), mapped) == ids.end() && mapped != bypass)
        Fail("the page table maps '" + mapped + "', which is no parameter");
  }

  // Host automation between blocks of long renders, every block and every few blocks.
  constexpr int kFrames = 256;
  std::vector<std::vector<float>> out;
  const int blocks = 200 * context.strictness;
  for (int block = 0; block < blocks; ++block) {
    if (block % (1 + block / 200) == 0) {
      const std::string& id = ids[context.random() % ids.size()];
      const double value = unit(context.random);
      instance.Apply(id, value);
      const std::string expected = instance.TextForNormalized(id, instance.Normalized(id));
      if (instance.CurrentText(id, 32) != expected)
        Fail("parameter '" + id + "' shows '" + instance.CurrentText(id, 32) +
             "' while its value reads as '" + expected + "'");
    }
    auto in = NoiseBlock(context.random, rig.inputs, kFrames);
    rig.Run(in, out, kFrames);
    if (!AllFinite(out, kFrames)) Fail("non-finite output in block " + std::to_string(block));
    if (block % 4 == 0) module.RunLoop().Advance(20);
  }
}

/** Observations of one oversampling switch, in host samples from the request on. */
struct SwitchTrace {
  std::vector<float> output;       ///< channel 0 of the switched instance
  std::vector<float> plain;        ///< the same input through an instance that never switches
  std::vector<float> oversampled;  ///< ... and through one that runs oversampled throughout
  int64_t latencyReportedAt = -1;  ///< first sample whose block ended with the new latency
  int32_t latencyBefore = 0;
  int32_t latencyAfter = 0;
};

SwitchTrace TraceSwitch(ModuleHost& module, bool toOversampled, int frames, double sampleRate) {
  Rig switched(module, !toOversampled), plain(module, false), oversampled(module, true);
  const auto id = FindParameterNamed(*switched.instance, "oversampl");
  if (!id) Fail("has no oversampling parameter");
  // A 187.5 Hz sine at 48 kHz repeats every 256 samples; starting at its peak, every fade
  // boundary a correct plug-in has falls on a peak, where a missing fade shows most.
  const double frequency = sampleRate / 256.0;
  int64_t position = 0;
  auto block = [&](Rig& rig, std::vector<std::vector<float>>& out) {
    std::vector<std::vector<float>> in(static_cast<size_t>(rig.inputs),
                                       std::vector<float>(static_cast<size_t>(frames)));
    for (auto& c : in)
      for (int i = 0; i < frames; ++i)
        c[static_cast<size_t>(i)] =
            static_cast<float>(0.5 * std::cos(2.0 * std::numbers::pi * frequency *
                                              static_cast<double>(position + i) / sampleRate));
    rig.Run(in, out, frames);
  };
  SwitchTrace trace;
  std::vector<std::vector<float>> out, plainOut, overOut;
  const int warm = (8192 + frames - 1) / frames;
  const int after = (16384 + frames - 1) / frames;
  double msDue = 0.0;
  for (int b = 0; b < warm + after; ++b) {
    if (b == warm) {
      trace.latencyBefore = switched.instance->Latency();
      switched.instance->Apply(*id, toOversampled ? 1.0 : 0.0);
    }
    block(switched, out);
    block(plain, plainOut);
    block(oversampled, overOut);
    position += frames;
    // The host's idle timer: every 20 ms of audio, on the main thread between blocks.
    msDue += 1000.0 * frames / sampleRate;
    const int64_t ms = static_cast<int64_t>(msDue);
    msDue -= static_cast<double>(ms);
    module.RunLoop().Advance(ms);
    if (b < warm) continue;
    trace.output.insert(trace.output.end(), out[0].begin(), out[0].begin() + frames);
    trace.plain.insert(trace.plain.end(), plainOut[0].begin(), plainOut[0].begin() + frames);
    trace.oversampled.insert(trace.oversampled.end(), overOut[0].begin(),
                             overOut[0].begin() + frames);
    if (trace.latencyReportedAt < 0 && switched.instance->Latency() != trace.latencyBefore)
      trace.latencyReportedAt = static_cast<int64_t>(b - warm + 1) * frames;
  }
  trace.latencyAfter = switched.instance->Latency();
  return trace;
}

void OversamplingSwitch(TestContext& context) {
  ModuleHost module(context.module);
  constexpr double kRate = 48000.0;
  constexpr int kFade = 256;
  const int tick = static_cast<int>(kRate * 0.020);
  std::vector<int> sizes{64, 256};
  if (context.strictness >= 5) sizes.push_back(100);
  for (const int frames : sizes) {
    for (const bool on : {true, false}) {
      const std::string where = std::string(on ? "switching on" : "switching off") + " in " +
                                std::to_string(frames) + "-sample blocks";
      const SwitchTrace t = TraceSwitch(module, on, frames, kRate);
      const std::vector<float>& before = on ? t.plain : t.oversampled;
      const std::vector<float>& target = on ? t.oversampled : t.plain;
      const int64_t n = static_cast<int64_t>(t.output.size());
      for (const float s : t.output)
        if (!std::isfinite(s)) Fail(where + ": non-finite output");
      // The request reaches the audio thread through the main thread's idle tick.
      int64_t fadeStart = 0;
      while (fadeStart < n && std::fabs(t.output[fadeStart] - before[fadeStart]) <= 1e-6f)
        ++fadeStart;
      // A fade's first sample has the full gain: it starts one sample before it shows.
      fadeStart = std::max<int64_t>(0, fadeStart - 1);
      if (fadeStart > tick + frames)
        Fail(where + ": the switch began " + std::to_string(fadeStart) +
             " samples after the request, later than one idle tick");
      // Every change falls on its own sample: the fade down is 256 samples whatever the blocks.
      const int64_t fadeEnd = fadeStart + kFade;
      // The fade down: the old path, never louder, down to a tenth at its end.
      for (int64_t i = fadeStart; i < fadeEnd; ++i)
        if (std::fabs(t.output[i]) > std::fabs(before[i]) * 1.001f + 1e-6f)
          Fail(where + ": sample " + std::to_string(i) + " of the fade down is louder than before");
      float peak = 0.0f;
      for (int64_t i = fadeStart; i < fadeEnd; ++i) peak = std::max(peak, std::fabs(before[i]));
      if (std::fabs(t.output[fadeEnd - 1]) > 0.15f * peak)
        Fail(where + ": the fade down has not reached a tenth after " + std::to_string(fadeEnd) +
             " samples");
      // The host learns the new latency within one idle tick of the switch.
      if (t.latencyReportedAt < 0 || (on ? t.latencyAfter <= 0 : t.latencyAfter != 0))
        Fail(where + ": the latency is still reported as " + std::to_string(t.latencyAfter));
      if (t.latencyReportedAt > fadeEnd + tick + frames)
        Fail(where + ": the latency was reported " + std::to_string(t.latencyReportedAt - fadeEnd) +
             " samples after the switch");
      // Then silence while the resamplers are flushed (switching on only).
      int64_t silent = 0;
      while (fadeEnd + silent < n && t.output[fadeEnd + silent] == 0.0f) ++silent;
      const int64_t latency = on ? t.latencyAfter : 0;
      if (on && (silent < latency || silent > latency + 1024))
        Fail(where + ": " + std::to_string(silent) + " silent samples for a latency of " +
             std::to_string(latency));
      if (!on && silent > 0) Fail(where + ": " + std::to_string(silent) + " silent samples");
      // The fade back up, from a tenth to the new path's full level.
      const int64_t upStart = fadeEnd + silent;
      const int64_t upEnd = upStart + kFade;
      if (upEnd + latency + 2 * frames >= n) Fail(where + ": the switch never ended");
      if (std::fabs(t.output[upStart]) > 0.15f * std::fabs(target[upStart]) + 1e-4f)
        Fail(where + ": the fade up starts louder than a tenth");
      // Resampler history from before the flush is gone, so allow the oversampled path its
      // latency to settle before it must match an instance that never switched.
      const int64_t settled = upEnd + (on ? latency : 0);
      for (int64_t i = settled; i < n; ++i)
        if (std::fabs(t.output[i] - target[i]) > 2e-3f)
          Fail(where + ": sample " + std::to_string(i) + " still differs from the new path by " +
               std::to_string(std::fabs(t.output[i] - target[i])));
      // No step larger than the steady signal's own plus the fade's floor.
      float steadyStep = 0.0f;
      for (int64_t i = 1; i < std::min<int64_t>(n, 1024); ++i)
        steadyStep = std::max({steadyStep, std::fabs(before[i] - before[i - 1]),
                               std::fabs(target[i] - target[i - 1])});
      const float limit = 1.5f * steadyStep + 0.1f * peak * 1.2f;
      for (int64_t i = 1; i < settled; ++i)
        if (std::fabs(t.output[i] - t.output[i - 1]) > limit)
          Fail(where + ": a click of " + std::to_string(std::fabs(t.output[i] - t.output[i - 1])) +
               " at sample " + std::to_string(i) + " (the fade allows " + std::to_string(limit) +
               ")");
    }
  }
}

void Realtime(TestContext& context) {
  ModuleHost module(context.module);
  constexpr int kMaxFrames = 8192;
  for (const bool oversampled : {false, true}) {
    Rig rig(module, oversampled);
    ModuleInstance& instance = *rig.instance;
    std::vector<std::vector<float>> out;
    // Watched from the first block on, whatever sizes come: nothing is exempt.
    instance.WatchProcessCalls(true);
    const auto bypass = instance.MasterBypassID();
    const auto switchID = FindParameterNamed(instance, "oversampl");
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::uniform_int_distribution<int> size(1, kMaxFrames);
    const int blocks = 100 * context.strictness;
    for (int block = 0; block < blocks; ++block) {
      const int32_t index = static_cast<int32_t>(context.random() % instance.ParameterCount());
      const std::string id = instance.ParameterID(index);
      // Bypass and oversampling flips exercise the crossfade and switch paths too.
      if (id == bypass || (switchID && id == *switchID))
        instance.Apply(id, context.random() % 2 ? 1.0 : 0.0);
      else
        instance.Apply(id, unit(context.random));
      // A bounce starting and ending: the plug-in rebuilds its processing for it off the audio
      // thread, and the render callback only takes what it is handed.
      if (block % 37 == 5)
        instance.Notify(block % 74 == 5 ? AAX_eNotificationEvent_EnteringOfflineMode
                                        : AAX_eNotificationEvent_ExitingOfflineMode,
                        nullptr, 0);
      const int frames = block % 16 == 0 ? kMaxFrames : size(context.random) % 2048 + 1;
      auto in = NoiseBlock(context.random, rig.inputs, frames);
      rig.Run(in, out, frames);
      if (block % 8 == 0) module.RunLoop().Advance(20);
    }
    instance.WatchProcessCalls(false);
    const realtime::Violations seen = instance.ProcessViolations();
    const std::string mode = oversampled ? "oversampled" : "plain";
    if (seen.allocations || seen.frees)
      Fail(mode + ": " + std::to_string(seen.allocations) + " allocations and " +
           std::to_string(seen.frees) + " frees inside the render callback");
    if (seen.locks)
      Fail(mode + ": " + std::to_string(seen.locks) + " locks inside the render callback");
    if (seen.sleeps)
      Fail(mode + ": " + std::to_string(seen.sleeps) + " sleeps inside the render callback");
  }
}

/**
 * The host learns of a latency change on its main thread only: a report from the audio thread
 * would race the idle tick's, and allocates there. The audio thread renders blocks that keep
 * growing and shrinking while the main thread switches oversampling, starts and ends bounces
 * and runs its idle timer; every report must then have come from the main thread.
 */
void LatencyStaysOnTheMainThread(TestContext& context, ModuleHost& module) {
  Rig rig(module, false);
  ModuleInstance& instance = *rig.instance;
  const auto oversampling = FindParameterNamed(instance, "oversampl");
  const int rounds = context.strictness >= 7 ? 300 : 30 * context.strictness;
  std::atomic<int> rendered{0};
  std::atomic<int> allowed{0};
  std::atomic<bool> failed{false};
  // The audio thread keeps within the main thread's round: running ahead, it could finish its
  // blocks before the switches it is meant to race were made.
  std::thread audio([&] {
    std::mt19937_64 random(context.seed + 5);
    std::uniform_int_distribution<int> size(1, 6000);
    auto in = NoiseBlock(random, rig.inputs, 6000);
    std::vector<std::vector<float>> out(static_cast<size_t>(rig.outputs), std::vector<float>(6000));
    std::vector<float*> i, o;
    for (auto& c : in) i.push_back(c.data());
    for (auto& c : out) o.push_back(c.data());
    int64_t position = 0;
    for (int block = 0; block < 4 * rounds; ++block) {
      const int frames = block % 5 == 0 ? 6000 : size(random) % 1024 + 1;
      while (allowed.load(std::memory_order_acquire) <= block) std::this_thread::yield();
      instance.RenderBlock(i.data(), o.data(), frames, position);
      position += frames;
      if (!AllFinite(out, frames)) failed = true;
      rendered.fetch_add(1, std::memory_order_release);
    }
  });
  for (int round = 0; round < rounds; ++round) {
    if (oversampling && round % 3 == 0) instance.Apply(*oversampling, (round / 3) % 2);
    if (round % 7 == 3)
      instance.Notify((round / 7) % 2 ? AAX_eNotificationEvent_ExitingOfflineMode
                                      : AAX_eNotificationEvent_EnteringOfflineMode,
                      nullptr, 0);
    instance.PrepareBlock(static_cast<int64_t>(round) * 512);
    allowed.store(4 * (round + 1), std::memory_order_release);
    module.RunLoop().Advance(20);
    while (rendered.load(std::memory_order_acquire) < 4 * round) std::this_thread::yield();
  }
  allowed.store(4 * rounds, std::memory_order_release);
  audio.join();
  module.RunLoop().Advance(100);
  if (failed) Fail("non-finite output while the latency changed");
  const auto threads = instance.Host().GetController().LatencyReportThreads();
  for (size_t k = 0; k < threads.size(); ++k)
    if (threads[k] != instance.MainThread())
      Fail("latency report " + std::to_string(k + 1) + " of " + std::to_string(threads.size()) +
           " came from another thread than the host's main thread");
  if (threads.size() < 2) Fail("the latency never changed while oversampling was switched");
}

/**
 * An audio thread renders while the main thread (host automation, coefficients, idle ticks) and
 * a third thread (a control surface, say) change parameters.
 */
void Threads(TestContext& context) {
  ModuleHost module(context.module);
  Rig rig(module, false);
  ModuleInstance& instance = *rig.instance;
  const int rounds = context.strictness >= 7 ? 500 : 50 * context.strictness;
  std::vector<std::string> ids;
  for (int32_t index = 0; index < instance.ParameterCount(); ++index)
    ids.push_back(instance.ParameterID(index));
  constexpr int kFrames = 64;
  std::atomic<bool> failed{false};
  std::thread audio([&] {
    if (!RenderNoiseWhile(instance, rig.inputs, rig.outputs, kFrames, context.seed + 1,
                          [&](int block) { return block < rounds; }))
      failed = true;
  });
  std::thread surface([&] {
    std::mt19937_64 random(context.seed + 2);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    for (int round = 0; round < rounds; ++round) {
      const std::string& id = ids[random() % ids.size()];
      instance.Parameters().UpdateParameterNormalizedValue(id.c_str(), unit(random),
                                                           AAX_eUpdateSource_Unknown);
      aaxhost::HostString text;
      instance.Parameters().GetParameterValueString(id.c_str(), &text, 32);
    }
  });
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  for (int round = 0; round < rounds; ++round) {
    const std::string& id = ids[context.random() % ids.size()];
    instance.Parameters().UpdateParameterNormalizedValue(id.c_str(), unit(context.random),
                                                         AAX_eUpdateSource_Parameter);
    instance.PrepareBlock(static_cast<int64_t>(round) * kFrames);
    if (round % 8 == 0) module.RunLoop().Advance(20);
  }
  surface.join();
  audio.join();
  if (failed) Fail("non-finite output while parameters changed on other threads");
  for (const std::string& id : ids) {
    const double value = instance.Normalized(id);
    if (!(value >= 0.0 && value <= 1.0))
      Fail("parameter '" + id + "' is " + std::to_string(value) + " after the threads ended");
  }
  LatencyStaysOnTheMainThread(context, module);
}

}  // namespace

const std::vector<TestCase>& Registry() {
  static const std::vector<TestCase> tests{
      {"load-unload", LoadUnload},
      {"describe", Describe},
      {"lifecycle", Lifecycle},
      {"parameters", Parameters},
      {"parameter-traversal", ParameterTraversal},
      {"bad-samples", BadSamples},
      {"silence", Silence},
      {"state", State},
      {"state-before-init", StateBeforeInit},
      {"state-sized", StateSized},
      {"buffers", CheckBuffers},
      {"block-sizes", BlockSizes},
      {"startup", Startup},
      {"automation", Automation},
      {"oversampling-switch", OversamplingSwitch},
      {"realtime", Realtime},
      {"threads", Threads},
      {"editor-open-close", EditorOpenClose, 3},
      {"editor-window", EditorWindowOpenClose, 3},
      {"editor-parameters", EditorParameters},
      {"editor-gestures", EditorGestures},
  };
  return tests;
}

}  // namespace corvane::host::validate

// The VST3 bundle as a VST3 host finds and drives it: its layout and exports, the factory's
// classes with IDs that never change, the same texts, sound and state as the AAX module (one
// product in every format), and the controller class apart from the component.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "HostTestSupport.h"
#include "framework/vst3/IPlugVST3.h"
#include "host/ModuleHost.h"
#include "host/PluginSession.h"
#include "host/vst3host/Vst3Host.h"
#include "plugin/CorvaneParams.h"
#include "plugin/CorvanePresets.h"

namespace {

namespace fs = std::filesystem;
using corvane::host::ModuleHost;
using corvane::host::ModuleInstance;
namespace vst3 = corvane::host::vst3;

const fs::path kBundle = CORVANE_VST3_BUNDLE;

std::string Hex(const vst3::ClassID& id) {
  std::string text;
  char two[3];
  for (const uint8_t b : id) {
    std::snprintf(two, sizeof two, "%02X", b);
    text += two;
  }
  return text;
}

std::string Shell(const std::string& command) {
  std::string out;
  if (FILE* pipe = ::popen(command.c_str(), "r")) {
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, pipe)) out += buffer;
    ::pclose(pipe);
  }
  return out;
}

TEST(Vst3Bundle, ExportsTheThreeEntryPointsFromItsBundleFolder) {
  const fs::path binary = kBundle / "Contents" / "x86_64-linux" / "Corvane.so";
  ASSERT_TRUE(fs::is_regular_file(binary)) << binary;
  const std::string exports =
      Shell("nm -D --defined-only '" + binary.string() + "' | awk '$2 == \"T\" {print $3}' | sort");
  EXPECT_EQ(exports, "GetPluginFactory\nModuleEntry\nModuleExit\n");
}

// The class IDs are what every saved session refers to: they are fixed here once and for all.
TEST(Vst3Bundle, TheFactoryOffersBothPluginsWithFixedClassIDs) {
  vst3::Module module(kBundle);
  EXPECT_EQ(module.Vendor(), "Pellumar");
  struct Expected {
    const char* name;
    const char* category;
    const char* id;
  };
  const Expected expected[] = {
      {"Corvane", "Audio Module Class", "75D3206D9B6249C094F563AADE953B15"},
      {"Corvane", "Component Controller Class", "C400F7C7DEF74473A20E5BD435BBDCD2"},
      {"Corvane Mono", "Audio Module Class", "B7178938DC2E40B6BAF1697A68708668"},
      {"Corvane Mono", "Component Controller Class", "31AA30FDFD7344EF8FCC7B8A5EA9B06E"},
  };
  ASSERT_EQ(module.Classes().size(), std::size(expected));
  for (size_t i = 0; i < std::size(expected); ++i) {
    const vst3::ClassInfo& c = module.Classes()[i];
    EXPECT_EQ(c.name, expected[i].name);
    EXPECT_EQ(c.category, expected[i].category);
    EXPECT_EQ(Hex(c.id), expected[i].id);
    EXPECT_EQ(c.vendor, "Pellumar");
    EXPECT_EQ(c.version, "4.1.0");
    EXPECT_FALSE(c.sdkVersion.empty());
    if (c.category == std::string("Audio Module Class")) {
      EXPECT_EQ(c.subcategories, "Fx|Distortion");
    }
  }
  for (const vst3::ClassInfo& c : module.Processors()) {
    vst3::Instance instance(module, c);
    EXPECT_EQ(instance.Channels(), c.name == "Corvane" ? 2 : 1) << c.name;
    EXPECT_TRUE(instance.SingleComponent());
  }
}

// One product in every format: the parameters a VST3 host lists are the AAX module's, in
// order, with the same texts for the same values and the same reading of typed text.
TEST(Vst3Bundle, ParametersReadAndParseAsInTheAaxModule) {
  vst3::Module module(kBundle);
  vst3::Instance v(module, module.Processors().front());
  ModuleHost aax(corvane::host::DefaultModulePath());
  {
    ModuleInstance a(aax, *corvane::host::FindComponentForChannels(aax.Effect(), 2), 48000.0);
    a.Initialize();
    const auto bypass = a.MasterBypassID();
    std::vector<std::string> ids;
    for (int32_t i = 0; i < a.ParameterCount(); ++i)
      if (a.ParameterID(i) != bypass) ids.push_back(a.ParameterID(i));
    // and the bypass and the program change
    ASSERT_EQ(v.ParameterCount(), static_cast<int32_t>(ids.size()) + 2);
    for (size_t i = 0; i < ids.size(); ++i) {
      const v3_param_info info = v.Info(static_cast<int32_t>(i));
      EXPECT_EQ(info.param_id, i);
      std::string title;
      for (int k = 0; info.title[k]; ++k) title += static_cast<char>(info.title[k]);
      EXPECT_EQ(title, a.ParameterName(ids[i]));
      EXPECT_EQ(info.step_count, a.Steps(ids[i]) <= 2 ? 1 : 0) << title;
      EXPECT_NEAR(info.default_normalised_value, a.DefaultNormalized(ids[i]), 1e-12) << title;
      for (double n = 0.0; n <= 1.0; n += 0.0625) {
        const std::string text = a.TextForNormalized(ids[i], n);
        EXPECT_EQ(v.Text(info.param_id, n), text) << title << " at " << n;
        const auto aaxValue = a.NormalizedFromText(ids[i], text);
        const auto vstValue = v.ValueOf(info.param_id, text);
        ASSERT_EQ(aaxValue.has_value(), vstValue.has_value()) << text;
        if (aaxValue) EXPECT_NEAR(*vstValue, *aaxValue, 1e-12) << text;
      }
      for (const char* typed : {"12.5", "  -3 dB", "garbage", "1e400", "off", "on"}) {
        const auto aaxValue = a.NormalizedFromText(ids[i], typed);
        const auto vstValue = v.ValueOf(info.param_id, typed);
        EXPECT_EQ(aaxValue.has_value(), vstValue.has_value()) << title << " '" << typed << "'";
      }
    }
    const v3_param_info bypassInfo = v.Info(static_cast<int32_t>(ids.size()));
    EXPECT_TRUE(bypassInfo.flags & V3_PARAM_IS_BYPASS);
    const v3_param_info programInfo = v.Info(static_cast<int32_t>(ids.size()) + 1);
    EXPECT_TRUE(programInfo.flags & V3_PARAM_PROGRAM_CHANGE);
    EXPECT_FALSE(programInfo.flags & V3_PARAM_CAN_AUTOMATE);
  }
  aax.Close();
}

/** corvane-host's raw render of a setting through a module, as 64-bit floats. */
hosttest::Audio Render(const std::string& module, const std::vector<std::string>& settings,
                       const fs::path& in, const fs::path& out, bool offline = false) {
  std::vector<std::string> args{"render",   in.string(), "-o",       out.string(), "--raw",
                                "--format", "float64",   "--module", module};
  if (offline) args.push_back("--offline");
  for (const std::string& s : settings) {
    args.push_back("--set");
    args.push_back(s);
  }
  const auto result = hosttest::RunHost(args);
  EXPECT_EQ(result.status, 0) << result.err;
  return hosttest::ReadAudio(out);
}

// The same object behind every format: a render through the VST3 module is the AAX module's,
// sample for sample, stereo and mono, plain, oversampled and offline.
TEST(Vst3Bundle, RendersExactlyAsTheAaxModule) {
  hosttest::TempDir dir;
  for (const int channels : {2, 1}) {
    hosttest::Audio input;
    input.channels = channels;
    input.sampleRate = 48000;
    input.format = 0x010000 | 0x0006;  // WAV, 32-bit float
    for (int i = 0; i < 48000; ++i)
      for (int c = 0; c < channels; ++c)
        input.samples.push_back(static_cast<float>(0.8 * std::sin(0.01 * i * (c + 1))));
    hosttest::WriteAudio(dir / "in.wav", input);
    for (const bool offline : {false, true}) {
      for (const auto& settings : std::vector<std::vector<std::string>>{
               {"Gain=12", "Threshold=-12", "Knee=3"},
               {"Gain=24", "Mod A=40", "Oversampling=on", "Mix=80"}}) {
        SCOPED_TRACE(std::to_string(channels) + " channels, " + settings.front() +
                     (offline ? ", offline" : ""));
        const auto a = Render(corvane::host::DefaultModulePath().string(), settings, dir / "in.wav",
                              dir / "aax.wav", offline);
        const auto v =
            Render(kBundle.string(), settings, dir / "in.wav", dir / "vst3.wav", offline);
        ASSERT_EQ(a.samples.size(), v.samples.size());
        EXPECT_EQ(a.samples, v.samples);
      }
    }
  }
}

// The state is the AAX chunk's image: a state file saved through one format restores in the
// other, and both then sound alike.
TEST(Vst3Bundle, StatesMoveBetweenTheAaxAndTheVst3Module) {
  hosttest::TempDir dir;
  hosttest::Audio input;
  input.channels = 2;
  input.sampleRate = 48000;
  input.format = 0x010000 | 0x0006;  // WAV, 32-bit float
  for (int i = 0; i < 24000; ++i)
    for (int c = 0; c < 2; ++c)
      input.samples.push_back(static_cast<float>(0.5 * std::sin(0.02 * i)));
  hosttest::WriteAudio(dir / "in.wav", input);
  const std::string in = (dir / "in.wav").string();
  const auto saved =
      hosttest::RunHost({"render", in, "-o", (dir / "a.wav").string(), "--raw", "--format",
                         "float64", "--set", "Gain=18", "--set", "Mix=35", "--set",
                         "Oversampling=on", "--state-out", (dir / "state").string()});
  ASSERT_EQ(saved.status, 0) << saved.err;
  const auto restored =
      hosttest::RunHost({"render", in, "-o", (dir / "v.wav").string(), "--raw", "--format",
                         "float64", "--module", kBundle.string(), "--state-in",
                         (dir / "state").string(), "--state-out", (dir / "state2").string()});
  ASSERT_EQ(restored.status, 0) << restored.err;
  EXPECT_EQ(hosttest::ReadAudio(dir / "a.wav").samples, hosttest::ReadAudio(dir / "v.wav").samples);
  // And back: the VST3 module's state in the AAX module, byte for byte.
  const auto back =
      hosttest::RunHost({"render", in, "-o", (dir / "b.wav").string(), "--state-in",
                         (dir / "state2").string(), "--state-out", (dir / "state3").string()});
  ASSERT_EQ(back.status, 0) << back.err;
  const auto shown2 = hosttest::RunHost({"state", "show", (dir / "state2").string()});
  const auto shown3 = hosttest::RunHost({"state", "show", (dir / "state3").string()});
  ASSERT_EQ(shown2.status, 0) << shown2.err;
  EXPECT_NE(shown2.out.find("Gain          18.00dB"), std::string::npos) << shown2.out;
  EXPECT_EQ(shown2.out.substr(shown2.out.find("Threshold")),
            shown3.out.substr(shown3.out.find("Threshold")));
}

// A host may make the controller class apart and connect it to the component: the two are one
// plug-in then, the controller's values and edits the component's.
TEST(Vst3Bundle, ASeparateControllerConnectedToItsComponentIsItsController) {
  vst3::Module module(kBundle);
  vst3::Instance instance(module, module.Processors().front(), true);
  ASSERT_FALSE(instance.SingleComponent());
  ASSERT_EQ(instance.SetArrangements(V3_SPEAKER_L | V3_SPEAKER_R, V3_SPEAKER_L | V3_SPEAKER_R),
            V3_OK);
  ASSERT_EQ(instance.Setup(48000.0, 256), V3_OK);
  ASSERT_EQ(instance.SetActive(true), V3_OK);
  // A value set on the controller is the component's: its state holds it.
  ASSERT_EQ(instance.SetNormalized(8, 0.5), V3_OK);
  const std::vector<uint8_t> state = instance.State();
  double gain = 0.0;
  std::memcpy(&gain, state.data() + 8 * 8, 8);
  EXPECT_DOUBLE_EQ(gain, 30.0);
  // And a state set on the component is what the controller reads.
  std::vector<uint8_t> other = state;
  const double gain12 = 12.0;
  std::memcpy(other.data() + 8 * 8, &gain12, 8);
  ASSERT_EQ(instance.SetState(other), V3_OK);
  EXPECT_NEAR(instance.Normalized(8), 0.2, 1e-12);
  EXPECT_EQ(instance.ControllerState(), other);
  // The latency switch reaches the host through the handler given to the controller.
  instance.TakeEdits();
  ASSERT_EQ(instance.SetNormalized(11, 1.0), V3_OK);
  bool restarted = false;
  for (const vst3::Edit& e : instance.TakeEdits())
    restarted = restarted || e.kind == vst3::Edit::Kind::kRestart;
  EXPECT_TRUE(restarted);
  EXPECT_GT(instance.Latency(), 0u);
}

}  // namespace

// The factory presets as a VST3 host offers them: the root unit's program list, named as the
// table is, chosen through the program-change parameter. Chosen in process(), a program sounds
// as corvane-host's --preset does; set on the controller, the values follow at once and the
// host is told to read them again. A preset that leaves the switch alone does so here too.
TEST(Vst3Bundle, FactoryPresetsAreTheProgramListAndSoundAsTheirPreset) {
  vst3::Module module(kBundle);
  vst3::Instance v(module, module.Processors().front());
  v3_unit_information** units = nullptr;
  ASSERT_EQ(v3_cpp_obj_query_interface(v.Controller(), v3_unit_information_iid, &units), V3_OK);
  ASSERT_NE(units, nullptr);
  ASSERT_EQ(v3_cpp_obj(units)->get_program_list_count(units), 1);
  v3_unit_info root{};
  ASSERT_EQ(v3_cpp_obj(units)->get_unit_info(units, 0, &root), V3_OK);
  v3_program_list_info list{};
  ASSERT_EQ(v3_cpp_obj(units)->get_program_list_info(units, 0, &list), V3_OK);
  EXPECT_EQ(root.program_list_id, list.id);
  const auto presets = corvane::FactoryPresets();
  ASSERT_EQ(list.programCount, static_cast<int32_t>(presets.size()));
  auto text = [](const int16_t* t) {
    std::string s;
    for (int k = 0; k < 128 && t[k]; ++k) s += static_cast<char>(t[k]);
    return s;
  };
  for (int32_t p = 0; p < list.programCount; ++p) {
    v3_str_128 name{};
    ASSERT_EQ(v3_cpp_obj(units)->get_program_name(units, list.id, p, name), V3_OK);
    EXPECT_EQ(text(name), presets[static_cast<size_t>(p)].name);
  }
  v3_str_128 none{};
  EXPECT_NE(v3_cpp_obj(units)->get_program_name(units, list.id, list.programCount, none), V3_OK);
  v3_cpp_obj_unref(units);

  const v3_param_id program = iplug::IPlugVST3::kProgramParamID;
  const auto normalizedOf = [&](size_t p) {
    return static_cast<double>(p) / static_cast<double>(presets.size() - 1);
  };
  // On the controller, with the switch on beforehand: a preset without it keeps it on.
  const v3_param_id os = corvane::kOversampling, gain = corvane::kGain;
  ASSERT_EQ(v.SetNormalized(os, 1.0), V3_OK);
  const size_t tube = 2;
  ASSERT_STREQ(presets[tube].name, "Tube Drive");
  v.TakeEdits();
  ASSERT_EQ(v.SetNormalized(program, normalizedOf(tube)), V3_OK);
  // The host is not restarted from inside its own program change (Ardour holds a lock there
  // that its restart waits for), but once the call is over: here at the next activation.
  for (const vst3::Edit& e : v.TakeEdits()) EXPECT_NE(e.kind, vst3::Edit::Kind::kRestart);
  ASSERT_EQ(v.Setup(48000.0, 512), V3_OK);
  ASSERT_EQ(v.SetActive(true), V3_OK);
  bool valuesChanged = false;
  for (const vst3::Edit& e : v.TakeEdits())
    valuesChanged =
        valuesChanged || (e.kind == vst3::Edit::Kind::kRestart &&
                          (static_cast<int>(e.value) & V3_RESTART_PARAM_VALUES_CHANGED));
  EXPECT_TRUE(valuesChanged);
  ASSERT_EQ(v.SetActive(false), V3_OK);
  EXPECT_NEAR(v.ToPlain(gain, v.Normalized(gain)), 12.0, 1e-9);
  EXPECT_EQ(v.Normalized(os), 1.0);
  EXPECT_EQ(v.Text(program, normalizedOf(tube)), "Tube Drive");
  EXPECT_NE(v.SetNormalized(program, 1.5), V3_OK);
  ASSERT_EQ(v.SetNormalized(os, 0.0), V3_OK);

  // In process(), at the first sample of the first block, for two presets: one with the switch,
  // one without.
  hosttest::TempDir dir;
  hosttest::Audio input;
  input.channels = 2;
  input.sampleRate = 48000;
  input.format = 0x010000 | 0x0006;
  for (int i = 0; i < 24000; ++i)
    for (int c = 0; c < 2; ++c)
      input.samples.push_back(static_cast<float>(0.7 * std::sin(0.013 * i * (c + 1))));
  hosttest::WriteAudio(dir / "in.wav", input);
  for (const size_t p : {size_t{3}, size_t{6}}) {
    SCOPED_TRACE(presets[p].name);
    ASSERT_EQ(v.SetActive(true), V3_OK);
    ASSERT_EQ(v.SetProcessing(true), V3_OK);
    std::vector<float> left(512), right(512);
    std::vector<double> rendered;
    const int frames = static_cast<int>(input.Frames());
    for (int at = 0; at < frames; at += 512) {
      const int n = std::min(512, frames - at);
      for (int i = 0; i < n; ++i) {
        left[i] = input.samples[2 * (at + i)];
        right[i] = input.samples[2 * (at + i) + 1];
      }
      float* channels[2] = {left.data(), right.data()};
      vst3::ParameterChanges changes;
      if (at == 0) changes.Add(program, 0, normalizedOf(p));
      ASSERT_EQ(v.Process(channels, channels, n, &changes), V3_OK);
      for (int i = 0; i < n; ++i) {
        rendered.push_back(left[i]);
        rendered.push_back(right[i]);
      }
    }
    ASSERT_EQ(v.SetProcessing(false), V3_OK);
    ASSERT_EQ(v.SetActive(false), V3_OK);
    EXPECT_EQ(v.Normalized(os), presets[p].oversampling.value_or(false) ? 1.0 : 0.0);

    const auto result =
        hosttest::RunHost({"render", (dir / "in.wav").string(), "-o", (dir / "ref.wav").string(),
                           "--raw", "--format", "float64", "--preset", presets[p].name});
    ASSERT_EQ(result.status, 0) << result.err;
    const auto reference = hosttest::ReadAudio(dir / "ref.wav");
    ASSERT_EQ(reference.samples.size(), rendered.size());
    double worst = 0.0;
    for (size_t i = 0; i < rendered.size(); ++i)
      worst = std::max(worst, std::fabs(rendered[i] - static_cast<double>(reference.samples[i])));
    EXPECT_LE(worst, 1e-6);
    ASSERT_EQ(v.SetNormalized(os, 0.0), V3_OK);
  }
}

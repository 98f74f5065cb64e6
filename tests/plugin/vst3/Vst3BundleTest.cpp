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
#include "host/ModuleHost.h"
#include "host/PluginSession.h"
#include "host/vst3host/Vst3Host.h"

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
    ASSERT_EQ(v.ParameterCount(), static_cast<int32_t>(ids.size()) + 1);  // and the bypass
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

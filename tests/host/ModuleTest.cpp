#include <sndfile.h>

#include <gtest/gtest.h>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <regex>
#include <sstream>

#include "HostTestSupport.h"
#include "aax/interfaces/AAX_Context.h"
#include "aax/interfaces/AAX_IDescription.h"
#include "host/CommandLine.h"
#include "host/DemoSignal.h"
#include "host/ModuleHost.h"
#include "host/PluginSession.h"
#include "host/RenderLoop.h"

namespace {

using namespace corvane::host;
using aaxhost::FieldKind;
using hosttest::Audio;
using hosttest::RunHost;
using hosttest::TempDir;

constexpr int kRate = 48000;

// ---------------------------------------------------------------------------------------------
// What the module tells a host.

struct ExpectedField {
  AAX_CFieldIndex index;
  FieldKind kind;
  uint32_t size;
};

/** Placeholders first, in the module's declaration order, then audio, meters and private data. */
std::vector<ExpectedField> ExpectedLayout() {
  std::vector<ExpectedField> layout = {{6, FieldKind::kPrivateData, 4},
                                       {4, FieldKind::kPrivateData, 4},
                                       {5, FieldKind::kPrivateData, 4},
                                       {7, FieldKind::kMidiNode, 0}};
  for (AAX_CFieldIndex i = 8; i <= 22; ++i) layout.push_back({i, FieldKind::kPrivateData, 4});
  const std::vector<ExpectedField> rest = {
      {0, FieldKind::kAudioIn, 0},           {1, FieldKind::kAudioOut, 0},
      {2, FieldKind::kAudioBufferLength, 0}, {3, FieldKind::kSampleRate, 0},
      {24, FieldKind::kMeters, 0},           {23, FieldKind::kPrivateData, 8},
      {25, FieldKind::kDataInPort, 8}};
  layout.insert(layout.end(), rest.begin(), rest.end());
  return layout;
}

TEST(ModuleDescription, IsOneHarmonicEffectWithAMonoAndAStereoComponent) {
  ModuleHost module(DefaultModulePath());
  const aaxhost::Description& description = module.Description();
  EXPECT_EQ(description.manufacturerName, "Pellumar");
  EXPECT_EQ(description.packageNames, std::vector<std::string>{"Corvane"});
  EXPECT_EQ(description.packageVersion, 0x00040100u);
  ASSERT_EQ(description.effects.size(), 1u);
  const aaxhost::Effect& effect = description.effects[0];
  EXPECT_EQ(effect.names, std::vector<std::string>{"Corvane"});
  EXPECT_EQ(effect.categories, std::vector<uint32_t>{0x40});

  struct Layout {
    const char* native;
    const char* audioSuite;
    int32_t format;
  };
  const Layout layouts[] = {{"TMN1", "TMA1", 0x00000001}, {"TMN2", "TMA2", 0x00010002}};
  ASSERT_EQ(effect.components.size(), 2u);
  for (size_t c = 0; c < 2; ++c) {
    SCOPED_TRACE(layouts[c].native);
    const aaxhost::Component& component = effect.components[c];
    const std::vector<ExpectedField> layout = ExpectedLayout();
    ASSERT_EQ(component.fields.size(), layout.size());
    for (size_t i = 0; i < layout.size(); ++i) {
      const aaxhost::Field& field = component.fields[i];
      EXPECT_EQ(field.index, layout[i].index) << i;
      EXPECT_EQ(field.kind, layout[i].kind) << field.index;
      if (layout[i].size) {
        EXPECT_EQ(field.dataSize, layout[i].size) << field.index;
      }
    }
    const aaxhost::Field& transport = *component.FindField(7);
    EXPECT_EQ(transport.nodeType, AAX_eMIDINodeType_Transport);
    EXPECT_EQ(transport.name, "Transport");
    EXPECT_EQ(transport.channelMask, 0xFFFFu);
    EXPECT_EQ(component.FindField(24)->meterIDs,
              (std::vector<AAX_CTypeID>{AAX_FourCC("mtrI"), AAX_FourCC("mtrO")}));
    EXPECT_EQ(component.FindField(25)->bufferingType, AAX_eDataInPortType_Buffered);

    ASSERT_EQ(component.processProcs.size(), 1u);
    std::vector<std::pair<int32_t, int32_t>> properties;
    for (const aaxhost::Property& p : component.processProcs[0].properties)
      properties.emplace_back(p.id, p.value);
    const auto code = [](const char* text) {
      uint32_t id = 0;
      for (int i = 0; i < 4; ++i) id = (id << 8) | static_cast<uint8_t>(text[i]);
      return static_cast<int32_t>(id);
    };
    const std::vector<std::pair<int32_t, int32_t>> expected = {{56, 0},
                                                               {51, layouts[c].format},
                                                               {52, layouts[c].format},
                                                               {60, 1},
                                                               {300, 1},
                                                               {306, 1},
                                                               {11, code("Plmr")},
                                                               {12, code("jr00")},
                                                               {13, code(layouts[c].native)},
                                                               {14, code(layouts[c].audioSuite)}};
    EXPECT_EQ(properties, expected);
  }

  ASSERT_EQ(effect.meters.size(), 2u);
  const char* names[] = {"Input", "Output"};
  for (int m = 0; m < 2; ++m) {
    EXPECT_EQ(effect.meters[m].id, m ? AAX_FourCC("mtrO") : AAX_FourCC("mtrI"));
    EXPECT_EQ(effect.meters[m].name, names[m]);
    EXPECT_EQ(aaxhost::FindProperty(effect.meters[m].properties, 200), m);
    EXPECT_EQ(aaxhost::FindProperty(effect.meters[m].properties, 201), 0);
  }
  ASSERT_EQ(effect.procPtrs.size(), 2u);
  EXPECT_EQ(effect.procPtrs[0].id, 0);
  EXPECT_EQ(effect.procPtrs[1].id, 1);
  module.Close();
}

TEST(DescribeCommand, TextAndJsonShowTheSameDescription) {
  const auto text = RunHost({"describe"});
  ASSERT_EQ(text.status, 0) << text.err;
  for (const char* line :
       {"manufacturer: \"Pellumar\"\n", "package version: 0x00040100 (4.1.0)\n",
        "  names: \"Corvane\"\n", "  categories: 0x00000040\n",
        "  component 1: native 'TMN1' 0x544D4E31 AudioSuite 'TMA1' 0x544D4131\n",
        "  component 2: native 'TMN2' 0x544D4E32 AudioSuite 'TMA2' 0x544D4132\n",
        "    input stem format: 0x00000001 mono\n", "    output stem format: 0x00010002 stereo\n",
        "        7  MIDI node       -         transport \"Transport\", channel mask 0x0000FFFF\n",
        "       24  meters          8 bytes   2 taps: 'mtrI', 'mtrO'\n",
        "       25  data-in port    8 bytes   buffered\n", "      13 native plug-in ID = ",
        "    'mtrO' 0x6D74724F \"Output\"\n", "      200 meter type = 1 (output)\n",
        "  creation procedures: 0 (effect parameters), 1 (effect GUI)\n"})
    EXPECT_NE(text.out.find(line), std::string::npos) << line << "\nin:\n" << text.out;

  const auto json = RunHost({"describe", "--json"});
  ASSERT_EQ(json.status, 0) << json.err;
  const hosttest::Json document = hosttest::ParseJson(json.out);
  EXPECT_EQ(document["manufacturer"].string, "Pellumar");
  EXPECT_EQ(document["packageVersion"]["hex"].string, "0x00040100");
  const hosttest::Json& effect = document["effects"][0];
  EXPECT_EQ(effect["categories"][0]["hex"].string, "0x00000040");
  const char* natives[] = {"TMN1", "TMN2"};
  const char* formats[] = {"0x00000001", "0x00010002"};
  for (size_t c = 0; c < 2; ++c) {
    const hosttest::Json& component = effect["components"][c];
    EXPECT_EQ(component["nativeID"]["code"].string, natives[c]);
    EXPECT_EQ(component["outputStemFormat"]["hex"].string, formats[c]);
    const hosttest::Json& fields = component["fields"];
    std::vector<int> indices;
    for (size_t i = 0; i < fields.size(); ++i)
      indices.push_back(static_cast<int>(fields[i]["index"].number));
    std::sort(indices.begin(), indices.end());
    for (int i = 0; i < 26; ++i) EXPECT_EQ(indices.at(static_cast<size_t>(i)), i);
    EXPECT_EQ(fields[3]["nodeType"].string, "transport");
    EXPECT_EQ(component["processProcedures"][0]["properties"].size(), 10u);
  }
  EXPECT_EQ(effect["meters"][1]["name"].string, "Output");
  EXPECT_EQ(effect["meters"][1]["properties"][0]["text"].string, "output");
  EXPECT_EQ(effect["creationProcedures"][1]["kind"].string, "effect GUI");
}

// ---------------------------------------------------------------------------------------------
// Loading and unloading.

TEST(ModuleHost, UnloadsOnlyOnceEveryObjectOfTheModuleIsGone) {
  ModuleHost module(DefaultModulePath());
  EXPECT_EQ(module.LiveObjects(), 0);
  {
    ModuleInstance instance(module, *FindComponentForChannels(module.Effect(), 1), kRate);
    instance.Initialize();
    instance.PrepareContext();
    EXPECT_GT(module.LiveObjects(), 0);
  }
  EXPECT_EQ(module.LiveObjects(), 0);
  EXPECT_NO_THROW(module.Close());
}

TEST(ModuleHost, AModuleThatKeepsItsObjectsIsAFailure) {
  const auto result = RunHost({"describe", "--module", FAKE_MODULE_BUSY_PATH});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(hosttest::LineCount(result.err), 1) << result.err;
  EXPECT_NE(result.err.find("ACFCanUnloadNow"), std::string::npos) << result.err;
  EXPECT_EQ(result.out, "");
}

TEST(ModuleHost, ModulesThatCannotBeUsedAreInputErrors) {
  TempDir dir;
  std::ofstream(dir / "notes.so") << "not a library\n";
  const std::pair<std::string, std::string> cases[] = {
      {(dir / "missing.so").string(), "does not exist"},
      {(dir / "notes.so").string(), "cannot load module"},
      {FAKE_MODULE_WITHOUT_SDK_VERSION_PATH, "lacks the entry point ACFGetSDKVersion"}};
  for (const auto& [path, message] : cases) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"describe", "--module", path},
          std::vector<std::string>{"render", "-o", (dir / "out.wav").string(), "--module", path}}) {
      const auto result = RunHost(args);
      EXPECT_EQ(result.status, 2) << path;
      EXPECT_EQ(hosttest::LineCount(result.err), 1) << result.err;
      EXPECT_NE(result.err.find(message), std::string::npos) << result.err;
      EXPECT_EQ(result.out, "");
    }
  }
  EXPECT_EQ(dir.Entries(), std::set<std::string>{"notes.so"});
}

// ---------------------------------------------------------------------------------------------
// The module against the plug-in object linked into the host.

TEST(ModuleSession, ShowsTheParametersAsTheInProcessPluginDoes) {
  const auto module = MakeModuleSession(DefaultModulePath());
  const auto inProcess = MakeCorvaneSession();
  ASSERT_EQ(module->ParameterCount(), inProcess->ParameterCount());
  for (int i = 0; i < module->ParameterCount(); ++i) {
    const ParameterInfo a = module->Parameter(i);
    const ParameterInfo b = inProcess->Parameter(i);
    EXPECT_EQ(a.name, b.name);
    EXPECT_EQ(a.unit, b.unit) << a.name;
    EXPECT_EQ(a.min, b.min) << a.name;
    EXPECT_EQ(a.max, b.max) << a.name;
    EXPECT_EQ(a.defaultValue, b.defaultValue) << a.name;
    EXPECT_EQ(a.isBoolean, b.isBoolean) << a.name;
  }
  EXPECT_TRUE(module->SupportsBypass());
  EXPECT_EQ(module->StateChunkID(), inProcess->StateChunkID());
  module->Close();
}

struct Comparison {
  int channels;
  bool oversampling;
  bool offline;
  int block;
};

void PrintTo(const Comparison& c, std::ostream* os) {
  *os << c.channels << " ch, oversampling " << c.oversampling << ", offline " << c.offline
      << ", block " << c.block;
}

std::vector<float> RenderThrough(PluginSession& session, const Comparison& c,
                                 const std::vector<float>& input, int& latency) {
  std::vector<std::string> texts = {
      "Threshold=-14", "T Assym=4", "Nonlinearity=1.07", "N Assym=0.02", "Knee=3.5", "K Assym=-2",
      "Mod A=35",      "Mod B=15",  "Gain=16",           "Mix=85",       "Output=-4"};
  texts.push_back(c.oversampling ? "Oversampling=on" : "Oversampling=off");
  for (const ParameterSetting& s : ResolveSettings(texts, session))
    session.SetParameter(s.index, s.value);
  MemorySource source(input, c.channels);
  MemorySink sink(c.channels);
  RenderSettings settings;
  settings.sampleRate = kRate;
  settings.blockSize = c.block;
  settings.offline = c.offline;
  latency = Render(session, source, sink, settings).latency;
  session.Close();
  return sink.Data();
}

class ModuleMatchesInProcess : public ::testing::TestWithParam<Comparison> {};

TEST_P(ModuleMatchesInProcess, SampleForSample) {
  const Comparison& c = GetParam();
  const std::vector<float> demo = MakeDemoSignal(kRate);
  std::vector<float> input;
  for (size_t frame = 0; frame < static_cast<size_t>(kRate); ++frame)
    for (int ch = 0; ch < c.channels; ++ch) input.push_back(demo[2 * frame + ch]);

  int inProcessLatency = -1;
  int moduleLatency = -2;
  const std::vector<float> expected =
      RenderThrough(*MakeCorvaneSession(), c, input, inProcessLatency);
  const std::vector<float> actual =
      RenderThrough(*MakeModuleSession(DefaultModulePath()), c, input, moduleLatency);
  EXPECT_EQ(moduleLatency, inProcessLatency);
  EXPECT_EQ((inProcessLatency > 0), c.oversampling || c.offline);
  ASSERT_EQ(actual.size(), expected.size());
  size_t differing = 0;
  double worst = 0.0;
  for (size_t i = 0; i < expected.size(); ++i) {
    const double difference = std::fabs(static_cast<double>(actual[i]) - expected[i]);
    differing += difference > 0.0;
    worst = std::max(worst, difference);
  }
  if (!c.oversampling && !c.offline) {
    EXPECT_EQ(differing, 0u) << "largest difference " << worst;
  } else {
    // The module's instance runs from initialization and switches to the oversampled path when
    // the host's value (or its offline notification) arrives; the in-process object is reset
    // straight into it. The resamplers then see the audio start at another point of their
    // stream, and their rounding differs by no more than their own noise floor.
    EXPECT_LT(worst, 1e-6) << differing << " samples differ";
  }
  double peak = 0.0;
  for (float s : actual) peak = std::max(peak, static_cast<double>(std::fabs(s)));
  EXPECT_GT(peak, 0.1);
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, ModuleMatchesInProcess,
    ::testing::Values(Comparison{1, false, false, 512}, Comparison{1, true, false, 333},
                      Comparison{2, false, false, 512}, Comparison{2, true, false, 512},
                      Comparison{2, true, false, 4096}, Comparison{2, false, true, 512}));

// ---------------------------------------------------------------------------------------------
// Render features that go through the host binding.

Audio Tone(size_t frames, size_t silentFrom = SIZE_MAX) {
  Audio audio;
  audio.channels = 2;
  audio.sampleRate = kRate;
  audio.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
  for (size_t i = 0; i < frames; ++i)
    for (int c = 0; c < 2; ++c)
      audio.samples.push_back(
          i >= silentFrom ? 0.0f : static_cast<float>(0.5 * std::sin(0.013 * (c + 1) * i + c)));
  return audio;
}

/** Largest difference over frames [from, to). */
double Difference(const Audio& a, const Audio& b, size_t from, size_t to) {
  double worst = 0.0;
  for (size_t i = from * 2; i < to * 2; ++i)
    worst = std::max(worst, static_cast<double>(std::fabs(a.samples[i] - b.samples[i])));
  return worst;
}

TEST(StateFiles, AStateSavedAfterSettingsReproducesThem) {
  TempDir dir;
  const Audio input = Tone(kRate / 2);
  hosttest::WriteAudio(dir / "in.wav", input);
  const std::string in = (dir / "in.wav").string();
  const std::string saved = (dir / "saved.chunk").string();
  const auto set = RunHost({"render", in, "-o", (dir / "set.wav").string(), "--set", "Gain=18",
                            "--set", "T Assym=4", "--set", "Mix=70", "--set", "Oversampling=on",
                            "--set", "Nonlinearity=1.0731", "--state-out", saved});
  ASSERT_EQ(set.status, 0) << set.err;
  EXPECT_NE(set.out.find("(state: " + saved + ")"), std::string::npos) << set.out;
  const auto restored =
      RunHost({"render", in, "-o", (dir / "restored.wav").string(), "--state-in", saved});
  ASSERT_EQ(restored.status, 0) << restored.err;
  const auto plain = RunHost({"render", in, "-o", (dir / "plain.wav").string()});
  ASSERT_EQ(plain.status, 0) << plain.err;

  const Audio a = hosttest::ReadAudio(dir / "set.wav");
  const Audio b = hosttest::ReadAudio(dir / "restored.wav");
  EXPECT_EQ(hosttest::SummaryLatency(restored.out), hosttest::SummaryLatency(set.out));
  EXPECT_EQ(Difference(a, b, 0, a.Frames()), 0.0);
  EXPECT_GT(Difference(a, hosttest::ReadAudio(dir / "plain.wav"), 0, a.Frames()), 0.05);

  const std::vector<uint8_t> bytes = hosttest::ReadBytes(saved);
  ASSERT_EQ(bytes.size(), 56u + 12u * 8u);
  EXPECT_EQ(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 4),
            (std::vector<uint8_t>{96, 0, 0, 0}));
  EXPECT_EQ(std::string(bytes.begin() + 8, bytes.begin() + 24), "rmlP00rj2NMT00rj");
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&bytes[24])), "Corvane");
  double gain = 0.0;
  std::memcpy(&gain, &bytes[56 + 8 * 8], sizeof gain);
  EXPECT_EQ(gain, 18.0);

  const auto shown = RunHost({"state", "show", saved});
  ASSERT_EQ(shown.status, 0) << shown.err;
  // The display rounds to two decimals; the stored value is shown exactly beside it.
  for (const char* line : {"\n  Gain +18\\.00dB +\\(18\\)\n", "\n  Oversampling +on +\\(1\\)\n",
                           "\n  Nonlinearity +1\\.07 +\\(1\\.0731\\)\n"})
    EXPECT_TRUE(std::regex_search(shown.out, std::regex(line))) << line << "\n" << shown.out;
  EXPECT_EQ(hosttest::LineCount(shown.out), 2 + 12) << shown.out;
}

TEST(StateFiles, TheSavedStateIsTheOneAfterTheAutomation) {
  TempDir dir;
  hosttest::WriteAudio(dir / "in.wav", Tone(kRate / 4));
  const auto result =
      RunHost({"render", (dir / "in.wav").string(), "-o", (dir / "out.wav").string(), "--automate",
               "Gain@0.1=6", "--automate", "mix@0.05=20", "--state-out", (dir / "s").string()});
  ASSERT_EQ(result.status, 0) << result.err;
  const std::vector<uint8_t> bytes = hosttest::ReadBytes(dir / "s");
  ASSERT_EQ(bytes.size(), 56u + 96u);
  double gain = 0.0, mix = 0.0;
  std::memcpy(&gain, &bytes[56 + 8 * 8], sizeof gain);
  std::memcpy(&mix, &bytes[56 + 9 * 8], sizeof mix);
  EXPECT_EQ(gain, 6.0);
  EXPECT_EQ(mix, 20.0);
}

TEST(AutomateCommand, ChangesAtTheFirstBlockBoundaryAtOrAfterItsTime) {
  TempDir dir;
  hosttest::WriteAudio(dir / "in.wav", Tone(kRate / 2));
  const std::string in = (dir / "in.wav").string();
  auto render = [&](const std::string& name, std::vector<std::string> extra) {
    std::vector<std::string> args = {"render", in, "-o", (dir / name).string(), "--block", "512"};
    args.insert(args.end(), extra.begin(), extra.end());
    const auto result = RunHost(args);
    EXPECT_EQ(result.status, 0) << result.err;
    return hosttest::ReadAudio(dir / name);
  };
  const Audio before = render("before.wav", {"--set", "Gain=0"});
  const Audio after = render("after.wav", {"--set", "Gain=20"});
  // 0.25 s is frame 12000, inside the block that starts at 11776; 12288 is the next boundary.
  const size_t boundary = 12288;
  for (const char* automation : {"Gain@0.25=20", "8@0.25=20"}) {
    const Audio automated = render("automated.wav", {"--set", "Gain=0", "--automate", automation});
    EXPECT_EQ(Difference(automated, before, 0, boundary), 0.0) << automation;
    EXPECT_EQ(Difference(automated, after, boundary, automated.Frames()), 0.0) << automation;
    EXPECT_GT(Difference(before, after, boundary - 300, boundary), 0.05);
  }
}

TEST(BypassCommand, PassesTheInputInsideTheBypassedStretch) {
  TempDir dir;
  const Audio input = Tone(3 * kRate / 2);
  hosttest::WriteAudio(dir / "in.wav", input);
  const auto result =
      RunHost({"render", (dir / "in.wav").string(), "-o", (dir / "out.wav").string(), "--set",
               "Gain=30", "--set", "Oversampling=on", "--block", "256", "--bypass", "0.5:1.0"});
  ASSERT_EQ(result.status, 0) << result.err;
  const int latency = hosttest::SummaryLatency(result.out);
  ASSERT_GT(latency, 0);
  const Audio output = hosttest::ReadAudio(dir / "out.wav");
  ASSERT_EQ(output.Frames(), input.Frames());

  // Bypass flips at the blocks starting at 24064 and 48128; the 10 ms (480-frame) fades run
  // from there in the plug-in's output, which is `latency` frames ahead of the aligned file.
  const size_t on = 24064 - latency + 480;
  const size_t off = 48128 - latency;
  EXPECT_EQ(Difference(output, input, on, off), 0.0);
  EXPECT_GT(Difference(output, input, on - 480, on), 0.0) << "no fade in";
  EXPECT_GT(Difference(output, input, 0, on - 480), 0.1) << "processed before";
  EXPECT_GT(Difference(output, input, off + 480, output.Frames()), 0.1) << "processed after";
}

TEST(MetersCommand, PrintsTheInputAndOutputPeaksEvery100ms) {
  TempDir dir;
  hosttest::WriteAudio(dir / "in.wav", Tone(kRate, kRate / 2));
  const auto result =
      RunHost({"render", (dir / "in.wav").string(), "-o", (dir / "out.wav").string(), "--set",
               "Mix=0", "--block", "480", "--meters"});
  ASSERT_EQ(result.status, 0) << result.err;
  std::istringstream lines(result.out);
  std::string line;
  std::getline(lines, line);
  EXPECT_EQ(line, "  time s  input dBFS  output dBFS");
  for (int i = 1; i <= 10; ++i) {
    ASSERT_TRUE(std::getline(lines, line));
    char expected[64];
    const char* level = i <= 5 ? "-6.0" : "-inf";
    std::snprintf(expected, sizeof expected, "%8.3f  %10s  %11s", i / 10.0, level, level);
    EXPECT_EQ(line, expected);
  }
  ASSERT_TRUE(std::getline(lines, line));
  EXPECT_EQ(line.rfind("rendered 1.00 s stereo", 0), 0u) << line;
}

TEST(StateFiles, ShowRefusesWhatIsNoStateOfThePlugin) {
  TempDir dir;
  hosttest::WriteBytes(dir / "short", std::vector<uint8_t>(30, 0));
  std::vector<uint8_t> alien(56 + 8, 0);
  alien[0] = 8;
  std::memcpy(&alien[20], "dcba", 4);
  hosttest::WriteBytes(dir / "alien", alien);
  for (const char* name : {"short", "alien", "missing"}) {
    const auto result = RunHost({"state", "show", (dir / name).string()});
    EXPECT_EQ(result.status, 2) << name;
    EXPECT_EQ(hosttest::LineCount(result.err), 1) << result.err;
    EXPECT_EQ(result.out, "");
  }
  EXPECT_NE(RunHost({"state", "show", (dir / "alien").string()}).err.find("'abcd'"),
            std::string::npos);
}

}  // namespace

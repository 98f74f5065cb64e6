#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "TestPlugin.h"
#include "framework/ManualRunLoop.h"

using apitest::MakeConfig;
using apitest::TestPlugin;
using iplug::IPlugAPIBase;
using Call = TestPlugin::Call;

TEST(HostId, EveryRowMapsItsTextToItsId) {
  const std::pair<const char*, int> rows[] = {
      {"reaper", 1},         {"protools", 2},
      {"cubase", 3},         {"nuendo", 4},
      {"cakewalk", 5},       {"vegas", 6},
      {"fruity", 7},         {"samplitude", 8},
      {"live", 9},           {"tracktion", 10},
      {"ntracks", 11},       {"melodyne", 12},
      {"vstmanlib", 13},     {"aulab", 14},
      {"forte", 15},         {"chainer", 16},
      {"audition", 17},      {"orion", 18},
      {"bias", 19},          {"sawstudio", 20},
      {"logic", 21},         {"garageband", 22},
      {"digital", 23},       {"audiomulch", 25},
      {"presonus", 26},      {"vst3plugintesthost", 27},
      {"ardour", 28},        {"renoise", 29},
      {"openmpt", 30},       {"wavelab elements", 32},
      {"wavelab", 31},       {"twistedwave", 33},
      {"bitwig studio", 34}, {"reason", 36},
      {"gwvst", 37},         {"waveform", 38},
      {"audacity", 39},      {"acoustica", 40},
      {"plugindoctor", 41},  {"izotope rx", 42},
      {"savihost", 43},      {"blue cat's vst host", 44},
      {"mixbus", 45},        {"standalone", 24},
      {"www", 35},
  };
  for (const auto& [text, id] : rows) EXPECT_EQ(IPlugAPIBase::HostIdFromName(text), id) << text;
}

TEST(HostId, FirstMatchingRowWinsOnTheLowerCasedName) {
  EXPECT_EQ(IPlugAPIBase::HostIdFromName("pro tools"), 0);
  EXPECT_EQ(IPlugAPIBase::HostIdFromName("ProTools"), 2);
  EXPECT_EQ(IPlugAPIBase::HostIdFromName("WaveLab Elements 11"), 32);
  EXPECT_EQ(IPlugAPIBase::HostIdFromName("WaveLab 11.2"), 31);
  EXPECT_EQ(IPlugAPIBase::HostIdFromName("Bitwig Studio 5"), 34);
  EXPECT_EQ(IPlugAPIBase::HostIdFromName("Ableton Live 11"), 9);
  EXPECT_EQ(IPlugAPIBase::HostIdFromName("Deliverance"), 9);  // "live" anywhere
  EXPECT_EQ(IPlugAPIBase::HostIdFromName("Cubase Live"), 3);  // an earlier row
  EXPECT_EQ(IPlugAPIBase::HostIdFromName("Digital Performer"), 23);
  EXPECT_EQ(IPlugAPIBase::HostIdFromName("Vegas Digital"), 6);
  EXPECT_EQ(IPlugAPIBase::HostIdFromName("Standalone Reaper"), 1);
  EXPECT_EQ(IPlugAPIBase::HostIdFromName("Treason"), 36);
  EXPECT_EQ(IPlugAPIBase::HostIdFromName(""), 0);
  EXPECT_EQ(IPlugAPIBase::HostIdFromName(nullptr), 0);

  // Only the first 255 characters take part.
  EXPECT_EQ(IPlugAPIBase::HostIdFromName((std::string(249, 'x') + "Reaper").c_str()), 1);
  EXPECT_EQ(IPlugAPIBase::HostIdFromName((std::string(250, 'x') + "Reaper").c_str()), 0);
}

TEST(HostId, SetHostStoresIdentityThenCallsTheHooksInOrder) {
  TestPlugin plugin;
  EXPECT_EQ(plugin.GetHost(), -1);
  plugin.SetHost("ProTools", 0);
  EXPECT_EQ(plugin.GetHost(), 2);
  EXPECT_STREQ(plugin.GetHostName(), "ProTools");
  EXPECT_EQ(plugin.calls, (std::vector<Call>{{"hostInit"}, {"hostIdentified"}}));

  plugin.SetHost("Some DAW", (10 << 16) | (2 << 8) | 3);
  EXPECT_EQ(plugin.GetHost(), 0);
  EXPECT_STREQ(plugin.GetHostName(), "Some DAW");
  EXPECT_EQ(IPlugAPIBase::VersionText(plugin.GetHostVersion()), "v10.2.3");
  EXPECT_EQ(IPlugAPIBase::VersionText(0), "v0.0.0");
  EXPECT_EQ(IPlugAPIBase::VersionText(0x00040100), "v4.1.0");
}

TEST(APIBase, ConstructionCopiesTheConfiguration) {
  iplug::PluginConfig config = MakeConfig();
  const std::string longName(200, 'n');
  config.productName = longName.c_str();
  config.bundleID = "com.pellumar.corvane";
  TestPlugin plugin(config);

  EXPECT_STREQ(plugin.GetPluginName(), "Corvane");
  EXPECT_EQ(std::strlen(plugin.GetProductName()), 128u);
  EXPECT_STREQ(plugin.GetMfrName(), "Pellumar");
  EXPECT_EQ(plugin.GetUniqueID(), 0x6A723030);
  EXPECT_EQ(plugin.GetMfrID(), 0x506C6D72);
  EXPECT_EQ(plugin.GetPluginVersion(), 0x00040100);
  EXPECT_EQ(plugin.GetAPI(), 4);
  EXPECT_STREQ(plugin.GetBundleID(), "com.pellumar.corvane");
  EXPECT_TRUE(plugin.HasUI());
  EXPECT_EQ(plugin.GetEditorWidth(), 650);
  EXPECT_EQ(plugin.GetEditorHeight(), 400);
  EXPECT_EQ(plugin.GetMinWidth(), 216);
  EXPECT_EQ(plugin.GetMaxWidth(), 1950);
  EXPECT_EQ(plugin.GetMinHeight(), 133);
  EXPECT_EQ(plugin.GetMaxHeight(), 1200);
  ASSERT_EQ(plugin.NPresets(), 1);
  EXPECT_STREQ(plugin.GetPreset(0)->name.data(), "empty");
  EXPECT_FALSE(plugin.GetPreset(0)->initialized);
  EXPECT_EQ(plugin.GetPreset(1), nullptr);
}

TEST(APIBase, LocalTimeStampCarriesTheOffsetAcrossTheTurnOfTheYear) {
  const char* oldTz = std::getenv("TZ");
  const std::string saved = oldTz ? oldTz : "";
  const std::time_t newYearsEveUtc23h = 1704063600;  // 2023-12-31 23:00 UTC

  setenv("TZ", "UTC0", 1);
  tzset();
  EXPECT_EQ(IPlugAPIBase::LocalTimeStamp(newYearsEveUtc23h), "20231231 23:00 +0000");
  setenv("TZ", "IST-5:30", 1);  // local date already in the next year
  tzset();
  EXPECT_EQ(IPlugAPIBase::LocalTimeStamp(newYearsEveUtc23h), "20240101 04:30 +0530");
  setenv("TZ", "EST5", 1);  // local date still in the previous year
  tzset();
  EXPECT_EQ(IPlugAPIBase::LocalTimeStamp(newYearsEveUtc23h + 3 * 3600), "20231231 21:00 -0500");
  setenv("TZ", "NST3:30", 1);
  tzset();
  EXPECT_EQ(IPlugAPIBase::LocalTimeStamp(newYearsEveUtc23h), "20231231 19:30 -0330");

  if (oldTz)
    setenv("TZ", saved.c_str(), 1);
  else
    unsetenv("TZ");
  tzset();
}

TEST(APIBaseQueues, ParamQueueKeepsTheFirst512AndDrainsOnTheIdleTick) {
  TestPlugin plugin;
  for (int i = 0; i < 513; ++i) plugin.SendParamValueToEditor(i % 12, i, false);
  plugin.SendParamValueToEditor(12, 1.0, false);  // no such parameter
  plugin.OnIdleTimer();

  const std::vector<Call> drained = plugin.CallsNamed("controls");
  ASSERT_EQ(drained.size(), 512u);
  for (int i = 0; i < 512; ++i) EXPECT_EQ(drained[i], (Call{"controls", i % 12, double(i)}));
  EXPECT_EQ(plugin.idleTicks, 1);

  // A normalized value travels as the plain value it stands for.
  plugin.calls.clear();
  plugin.SendParamValueToEditor(0, 0.25, true);
  plugin.SendParamValueToEditor(3, 0.5, true);
  plugin.OnIdleTimer();
  EXPECT_EQ(plugin.calls, (std::vector<Call>{{"controls", 0, 2.5}, {"controls", 3, 4.0}}));
}

TEST(APIBaseQueues, MidiAndSysExQueuesHoldOneRecordFewerThanTheirSlots) {
  TestPlugin plugin;
  for (int i = 0; i < 40; ++i) {
    plugin.PushMidiToEditor({i, 0x90, 60, 100});
    plugin.SendMidiFromEditor({i, 0x80, 60, 0});
  }
  const uint8_t bytes[] = {0xF0, 0x7E, 0xF7};
  for (int i = 0; i < 8; ++i) {
    plugin.PushSysExToEditor(iplug::SysExRecord(i, bytes, 3));
    plugin.SendSysExFromEditor(iplug::SysExRecord(i, bytes, 3));
  }
  plugin.OnIdleTimer();
  const std::vector<Call> midi = plugin.CallsNamed("midi");
  ASSERT_EQ(midi.size(), 32u);
  EXPECT_EQ(midi.back(), (Call{"midi", 31, 0x90}));
  const std::vector<Call> sysex = plugin.CallsNamed("sysex");
  ASSERT_EQ(sysex.size(), 4u);
  EXPECT_EQ(sysex.back(), (Call{"sysex", 3, 3}));

  int fromEditor = 0;
  iplug::MidiMessage message;
  while (plugin.PopMidiFromEditor(message)) EXPECT_EQ(message.offset, fromEditor++);
  EXPECT_EQ(fromEditor, 32);
  iplug::SysExRecord record;
  int sysexFromEditor = 0;
  while (plugin.PopSysExFromEditor(record)) {
    EXPECT_EQ(record.offset, sysexFromEditor++);
    EXPECT_EQ(std::memcmp(record.data, bytes, 3), 0);
  }
  EXPECT_EQ(sysexFromEditor, 4);
}

TEST(APIBaseQueues, WithoutAnEditorTheIdleTickDrainsNothing) {
  TestPlugin plugin(MakeConfig(12, false));
  plugin.SendParamValueToEditor(1, 2.0, false);
  plugin.PushMidiToEditor({0, 0x90, 60, 100});
  plugin.PushSysExToEditor(iplug::SysExRecord(0, nullptr, 0));
  plugin.OnIdleTimer();
  plugin.OnIdleTimer();
  EXPECT_TRUE(plugin.calls.empty());
  EXPECT_EQ(plugin.idleTicks, 2);
}

TEST(APIBase, IdleTimerTicksEvery20MsAndStopsWithThePlugin) {
  iplug::ManualRunLoop loop;
  iplug::IRunLoop* const previous = iplug::GetRunLoop();
  iplug::SetRunLoop(&loop);
  {
    TestPlugin plugin;
    plugin.CreateIdleTimer();
    loop.Advance(100);
    EXPECT_EQ(plugin.idleTicks, 5);

    plugin.CreateIdleTimer();  // replaces, does not add
    EXPECT_EQ(loop.TimerCount(), 1);
    loop.Advance(40);
    EXPECT_EQ(plugin.idleTicks, 7);
  }
  EXPECT_EQ(loop.TimerCount(), 0);
  // Late ticks for both timers' ids reach no destroyed plug-in.
  EXPECT_TRUE(loop.FireTimerId(1));
  EXPECT_TRUE(loop.FireTimerId(2));
  iplug::SetRunLoop(previous);
}

TEST(APIBase, StateMatchesWithinFloat32Tolerance) {
  TestPlugin plugin(MakeConfig(2));
  plugin.GetParam(0)->SetValue(0.1);
  plugin.GetParam(1)->SetValue(5.0);

  auto image = [](std::vector<double> values) {
    std::vector<uint8_t> bytes(values.size() * 8);
    std::memcpy(bytes.data(), values.data(), bytes.size());  // little-endian target
    return bytes;
  };
  EXPECT_TRUE(plugin.StateMatches(image({0.1 * (1.0 + 1e-7), 5.0}), 0));
  EXPECT_FALSE(plugin.StateMatches(image({0.1 + 0.0001, 5.0}), 0));
  EXPECT_FALSE(plugin.StateMatches(image({0.1, 5.0001}), 0));
  EXPECT_FALSE(plugin.StateMatches(image({0.1, std::nan("")}), 0));
  // The start counts values, not bytes.
  EXPECT_TRUE(plugin.StateMatches(image({-7.0, 0.1, 5.0}), 1));
  EXPECT_FALSE(plugin.StateMatches(image({-7.0, 0.1, 5.0}), 2));  // too short from there
  EXPECT_FALSE(plugin.StateMatches(image({0.1}), 0));
  EXPECT_FALSE(plugin.StateMatches(image({0.1, 5.0}), -1));
}

TEST(APIBase, EditorEditsReachParameterHostAndProcessorInOrder) {
  TestPlugin plugin;
  plugin.BeginEditFromEditor(3);
  plugin.SetParamFromEditor(3, 0.5);
  plugin.EndEditFromEditor(3);
  EXPECT_EQ(plugin.GetParam(3)->Value(), 4.0);
  EXPECT_EQ(plugin.calls, (std::vector<Call>{{"begin", 3},
                                             {"inform", 3, 0.5},
                                             {"change", 3, iplug::kUI},
                                             {"editorChange", 3, iplug::kUI},
                                             {"end", 3}}));

  plugin.calls.clear();
  plugin.SetParameterValueFromEditor(99, 0.5);  // no such parameter
  EXPECT_TRUE(plugin.calls.empty());

  TestPlugin small(MakeConfig(2));
  small.GetParam(1)->SetValue(2.5);
  small.RefreshAllParamsFromEditor();
  EXPECT_EQ(small.calls, (std::vector<Call>{{"inform", 0, 0.1}, {"inform", 1, 0.25}}));
}

TEST(APIBase, EditorRequestsAndHostQueriesHaveTheirBaseBehaviour) {
  TestPlugin plugin;
  EXPECT_TRUE(plugin.RequestEditorResize(800, 500, false));
  EXPECT_TRUE(plugin.calls.empty());
  EXPECT_FALSE(plugin.RequestEditorResize(800, 500, true));
  plugin.resizeResult = true;
  EXPECT_TRUE(plugin.RequestEditorResize(900, 600, true));
  EXPECT_EQ(plugin.calls, (std::vector<Call>{{"resize", 800, 500}, {"resize", 900, 600}}));

  plugin.calls.clear();
  const char payload[3] = {};
  plugin.SendMessageFromEditor(7, 2, 3, payload);
  EXPECT_EQ(plugin.calls, (std::vector<Call>{{"message", 2, 7003}}));

  iplug::IStateChunk chunk;
  plugin.AppendParamIndexList(12, chunk);
  EXPECT_EQ(chunk.Size(), 0);
  plugin.AppendParamIndexList(3, chunk);
  ASSERT_EQ(chunk.Size(), 12);
  int32_t indices[3];
  std::memcpy(indices, chunk.Data(), 12);
  EXPECT_EQ(indices[0], 0);
  EXPECT_EQ(indices[2], 2);

  EXPECT_TRUE(plugin.SupportsViewConfiguration(0, 0));
  EXPECT_FALSE(plugin.SupportsViewConfiguration(650, 400));
  std::string text = "C4";
  EXPECT_FALSE(plugin.GetMidiNoteText(60, text));
  EXPECT_TRUE(text.empty());
  std::string track = "unchanged";
  plugin.GetTrackName(track);
  EXPECT_EQ(track, "unchanged");
  EXPECT_FALSE(plugin.PluginHandlesBypass());
}

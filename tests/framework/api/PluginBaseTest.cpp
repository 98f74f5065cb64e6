#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "TestPlugin.h"

using apitest::MakeConfig;
using apitest::TestPlugin;
using iplug::IStateChunk;
using Call = TestPlugin::Call;

namespace {

constexpr double kPreset = iplug::kPresetRecall;

// Builds an image byte by byte, so the expected layout does not depend on the machine.
IStateChunk Image(const std::vector<double>& values, int extraBytes = 0) {
  IStateChunk chunk;
  for (double v : values) {
    uint64_t bits;
    std::memcpy(&bits, &v, 8);
    for (int b = 0; b < 8; ++b) chunk.Put(static_cast<uint8_t>(bits >> (8 * b)));
  }
  for (int i = 0; i < extraBytes; ++i) chunk.Put(uint8_t{0xAB});
  return chunk;
}

std::vector<double> Values(const TestPlugin& plugin) {
  std::vector<double> out;
  for (int i = 0; i < plugin.NParams(); ++i) out.push_back(plugin.GetParam(i)->Value());
  return out;
}

int ResetCount(const TestPlugin& plugin) {
  int n = 0;
  for (const Call& c : plugin.calls)
    if (c.what == "reset") {
      EXPECT_EQ(c.value, kPreset);
      ++n;
    }
  return n;
}

std::vector<double> Sequence(int n, double first) {
  std::vector<double> v;
  for (int i = 0; i < n; ++i) v.push_back(first + i * 0.5);
  return v;
}

}  // namespace

TEST(Serialization, WritesEachValueAsLittleEndianFloat64InParameterOrder) {
  TestPlugin plugin;
  plugin.GetParam(0)->SetValue(7.25);
  IStateChunk chunk;
  EXPECT_TRUE(plugin.SerializeParams(chunk));
  ASSERT_EQ(chunk.Size(), 96);
  std::vector<double> expected = Values(plugin);
  const IStateChunk reference = Image(expected);
  EXPECT_EQ(std::memcmp(chunk.Data(), reference.Data(), 96), 0);
  EXPECT_EQ(chunk.Data()[7], 0x40);  // 7.25 = 0x401D000000000000, most significant byte last

  IStateChunk viaState;
  EXPECT_TRUE(plugin.WriteState(viaState));
  EXPECT_EQ(viaState.Size(), 96);

  TestPlugin empty(MakeConfig(0));
  IStateChunk nothing;
  EXPECT_TRUE(empty.SerializeParams(nothing));
  EXPECT_EQ(nothing.Size(), 0);
  EXPECT_EQ(empty.UnserializeParams(nothing, 0), 0);
  EXPECT_EQ(ResetCount(empty), 1);
}

TEST(Serialization, RestoresFullShortAndLongImages) {
  {
    TestPlugin plugin;
    std::vector<double> values = Sequence(12, 2.0);
    values[3] = 5.0;
    EXPECT_EQ(plugin.ReadState(Image(values), 0), 96);
    EXPECT_EQ(Values(plugin), values);
    EXPECT_EQ(ResetCount(plugin), 1);
  }
  {
    TestPlugin plugin;
    const double old11 = plugin.GetParam(11)->Value();
    std::vector<double> values = Sequence(12, 2.0);
    values[3] = 5.0;
    IStateChunk shortImage = Image(values);
    shortImage.Resize(95);
    EXPECT_EQ(plugin.UnserializeParams(shortImage, 0), -1);
    for (int i = 0; i < 11; ++i) EXPECT_EQ(plugin.GetParam(i)->Value(), values[i]) << i;
    EXPECT_EQ(plugin.GetParam(11)->Value(), old11);
    EXPECT_EQ(ResetCount(plugin), 1);
  }
  {
    TestPlugin plugin;
    std::vector<double> values = Sequence(12, 1.5);
    values[3] = 6.0;
    EXPECT_EQ(plugin.UnserializeParams(Image(values, 8), 0), 96);
    EXPECT_EQ(Values(plugin), values);
    EXPECT_EQ(ResetCount(plugin), 1);
  }
  {
    // From a start position, as when the state follows a header.
    TestPlugin plugin;
    std::vector<double> values = Sequence(13, 0.5);
    values[4] = 3.0;  // parameter 3
    EXPECT_EQ(plugin.UnserializeParams(Image(values), 8), 104);
    EXPECT_EQ(plugin.GetParam(0)->Value(), values[1]);
    EXPECT_EQ(plugin.GetParam(11)->Value(), values[12]);
  }
}

TEST(Serialization, ConformsValuesAndSkipsNonFiniteOnes) {
  TestPlugin plugin;
  const std::vector<double> before = Values(plugin);
  std::vector<double> values = before;
  values[0] = 25.0;     // above the maximum of 10
  values[1] = -3.0;     // below the minimum of 0
  values[2] = 3.14159;  // step 0.25
  values[3] = 4.6;      // integer parameter
  values[5] = std::numeric_limits<double>::quiet_NaN();
  values[6] = std::numeric_limits<double>::infinity();
  values[7] = -std::numeric_limits<double>::infinity();
  values[8] = 9.5;
  EXPECT_EQ(plugin.UnserializeParams(Image(values), 0), 96);

  EXPECT_EQ(plugin.GetParam(0)->Value(), 10.0);
  EXPECT_EQ(plugin.GetParam(1)->Value(), 0.0);
  EXPECT_EQ(plugin.GetParam(2)->Value(), 3.25);
  EXPECT_EQ(plugin.GetParam(3)->Value(), 5.0);
  EXPECT_EQ(plugin.GetParam(5)->Value(), before[5]);
  EXPECT_EQ(plugin.GetParam(6)->Value(), before[6]);
  EXPECT_EQ(plugin.GetParam(7)->Value(), before[7]);
  EXPECT_EQ(plugin.GetParam(8)->Value(), 9.5);  // values after a bad one still apply
  EXPECT_EQ(ResetCount(plugin), 1);

  // Every parameter is reported as changed, to the processor and to the editor side.
  int changes = 0;
  int editorChanges = 0;
  for (const Call& c : plugin.calls) {
    changes += c.what == "change" && c.value == kPreset;
    editorChanges += c.what == "editorChange" && c.value == kPreset;
  }
  EXPECT_EQ(changes, 12);
  EXPECT_EQ(editorChanges, 12);
}

#include <gtest/gtest.h>

#include <cstring>

#include "framework/IPlugConfig.h"
#include "framework/IPlugStateChunk.h"

using iplug::IStateChunk;

TEST(StateChunk, ReadsOnlyWhatLiesWhollyInside) {
  IStateChunk chunk;
  for (int i = 0; i < 12; ++i) EXPECT_EQ(chunk.Put(static_cast<double>(i)), 8 * (i + 1));
  ASSERT_EQ(chunk.Size(), 96);

  double value = -1.0;
  EXPECT_EQ(chunk.Get(&value, 92), -1);
  EXPECT_DOUBLE_EQ(value, -1.0);  // untouched
  EXPECT_EQ(chunk.Get(&value, 88), 96);
  EXPECT_DOUBLE_EQ(value, 11.0);
  EXPECT_EQ(chunk.Get(&value, -8), -1);
  EXPECT_EQ(chunk.Get(&value, 0x7FFFFFF8), -1);  // no overflow past the end

  // Little-endian on every supported target.
  const double one = 1.0;
  uint8_t expected[8];
  std::memcpy(expected, &one, 8);
  EXPECT_EQ(std::memcmp(chunk.Data() + 8, expected, 8), 0);
  EXPECT_EQ(expected[7], 0x3F);
}

TEST(StateChunk, ResizeAndClear) {
  IStateChunk chunk;
  chunk.Resize(10);
  EXPECT_EQ(chunk.Size(), 10);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(chunk.Data()[i], 0);
  chunk.Resize(-3);
  EXPECT_EQ(chunk.Size(), 0);
  chunk.PutBytes("abc", 3);
  chunk.Clear();
  EXPECT_EQ(chunk.Size(), 0);
}

TEST(PluginConfig, BoundsAreSortedAndVersionUnpacks) {
  iplug::PluginConfig config;
  config.SetWidthBounds(1950, 216);
  config.SetHeightBounds(1200, 133);
  EXPECT_EQ(config.plugMinWidth, 216);
  EXPECT_EQ(config.plugMaxWidth, 1950);
  EXPECT_EQ(config.plugMinHeight, 133);
  EXPECT_EQ(config.plugMaxHeight, 1200);
  EXPECT_EQ(iplug::PluginConfig::VersionMajor(0x00040100), 4);
  EXPECT_EQ(iplug::PluginConfig::VersionMinor(0x00040100), 1);
  EXPECT_EQ(iplug::PluginConfig::VersionPatch(0x00040100), 0);
}

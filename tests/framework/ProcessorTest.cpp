#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/IPlugProcessor.h"
#include "tests/framework/ProcessorTestSupport.h"

using namespace iplug;

using namespace processor_test;

TEST(ChannelIO, ParsesLayoutsBusesAndWildcards) {
  std::vector<ChannelLayout> layouts;
  int maxIn, maxOut, maxInBuses, maxOutBuses;
  EXPECT_EQ(
      IPlugProcessor::ParseChannelIO("1-1 2-2", layouts, maxIn, maxOut, maxInBuses, maxOutBuses),
      2);
  EXPECT_EQ(maxIn, 2);
  EXPECT_EQ(maxOut, 2);
  EXPECT_EQ(maxInBuses, 1);
  EXPECT_EQ(maxOutBuses, 1);

  layouts.clear();
  IPlugProcessor::ParseChannelIO("2.2-2", layouts, maxIn, maxOut, maxInBuses, maxOutBuses);
  ASSERT_EQ(layouts.size(), 1u);
  EXPECT_EQ(layouts[0].inputBuses.size(), 2u);
  EXPECT_EQ(layouts[0].totalInputs, 4);
  EXPECT_EQ(layouts[0].outputBuses.size(), 1u);

  layouts.clear();
  IPlugProcessor::ParseChannelIO("*-*", layouts, maxIn, maxOut, maxInBuses, maxOutBuses);
  EXPECT_EQ(layouts[0].totalInputs, kWildcardChannels);
  TestProcessor wildcard(ConfigFor("*-*"));
  EXPECT_EQ(wildcard.WidestBusChannels(kInput, 0), -1);
  EXPECT_EQ(wildcard.WidestBusChannels(kOutput, 0), -1);

  layouts.clear();
  IPlugProcessor::ParseChannelIO("0-2 1", layouts, maxIn, maxOut, maxInBuses, maxOutBuses);
  ASSERT_EQ(layouts.size(), 1u);  // the malformed token is skipped
  EXPECT_TRUE(layouts[0].inputBuses.empty());

  TestProcessor stereo(ConfigFor("1-1 2-2"));
  int layout = -1;
  EXPECT_EQ(stereo.MostBuses(kInput, &layout), 1);
  EXPECT_EQ(layout, 1);  // a tie goes to the later layout
  EXPECT_EQ(stereo.WidestBusChannels(kInput, 0), 2);
  EXPECT_EQ(stereo.WidestBusChannels(kInput, 3), 0);
  EXPECT_EQ(stereo.NChannels(kInput), 2);
  EXPECT_EQ(stereo.NChannels(kOutput), 2);
}

TEST(ChannelIO, BusNames) {
  TestProcessor p(ConfigFor("1-1"));
  std::string name;
  p.BusName(kInput, 1, 2, name);
  EXPECT_EQ(name, "Aux");
  p.BusName(kInput, 0, 2, name);
  EXPECT_EQ(name, "Main");
  p.BusName(kOutput, 3, 4, name);
  EXPECT_EQ(name, "Output 3");
  p.BusName(kInput, 0, 1, name);
  EXPECT_EQ(name, "Input");
  p.BusName(kInput, 2, 3, name);
  EXPECT_EQ(name, "Input 2");
  p.BusName(kOutput, 0, 1, name);
  EXPECT_EQ(name, "Output");
}

TEST(Processor, ConvertsHostBuffersAndCountsConnections) {
  TestProcessor p(ConfigFor("1-1 2-2"));
  p.ResizeChannelBuffers(8);
  HostBuffers host(2, 8);
  for (int i = 0; i < 8; ++i) host.in[0][i] = 0.25f * i;

  // A mono track on the stereo-capable plug-in: one channel each side.
  p.SetChannelsConnected(kInput, 0, 1, true);
  p.SetChannelsConnected(kInput, 1, 1, false);
  p.SetChannelsConnected(kOutput, 0, 1, true);
  p.SetChannelsConnected(kOutput, 1, 1, false);
  EXPECT_EQ(p.ConnectedChannelCount(kOutput), 1);
  p.BindHostBuffers(kInput, 0, 2, host.inPtrs.data(), 8);
  p.BindHostBuffers(kOutput, 0, 2, host.outPtrs.data(), 8);
  p.ProcessChannelsToHost(8);
  for (int i = 0; i < 8; ++i) EXPECT_FLOAT_EQ(host.out[0][i], 0.25f * i);
  EXPECT_DOUBLE_EQ(p.InputData()[1][3], 0.0);  // the unconnected input reads silence
}

TEST(Processor, DisconnectedInputReadsSilenceNotItsLastBlock) {
  TestProcessor p(ConfigFor("2-2"));
  p.ResizeChannelBuffers(4);
  HostBuffers host(2, 4);
  host.in[1] = {1, 2, 3, 4};
  p.SetChannelsConnected(kInput, 0, 2, true);
  p.BindHostBuffers(kInput, 0, 2, host.inPtrs.data(), 4);
  EXPECT_DOUBLE_EQ(p.InputData()[1][2], 3.0);
  p.SetChannelsConnected(kInput, 1, 1, false);
  for (int i = 0; i < 4; ++i) EXPECT_DOUBLE_EQ(p.InputData()[1][i], 0.0);
}

TEST(Processor, PassThroughCopiesOrDelaysByTheLatency) {
  TestProcessor p(ConfigFor("2-2"));
  p.ResizeChannelBuffers(16);
  p.SetChannelsConnected(kInput, 0, 2, true);
  p.SetChannelsConnected(kOutput, 0, 2, true);
  p.CreateBypassDelay();
  HostBuffers host(2, 16);
  for (int i = 0; i < 16; ++i) host.in[0][i] = host.in[1][i] = static_cast<float>(i + 1);

  p.BindHostBuffers(kInput, 0, 2, host.inPtrs.data(), 16);
  p.BindHostBuffers(kOutput, 0, 2, host.outPtrs.data(), 16);
  p.PassThroughChannelsToHost(16);
  for (int i = 0; i < 16; ++i) EXPECT_FLOAT_EQ(host.out[1][i], i + 1.0f);

  p.ChangeLatency(4);
  EXPECT_EQ(p.GetLatency(), 4);
  p.PassThroughChannelsToHost(16);
  for (int i = 0; i < 4; ++i) EXPECT_FLOAT_EQ(host.out[0][i], 0.0f);
  for (int i = 4; i < 16; ++i) EXPECT_FLOAT_EQ(host.out[0][i], static_cast<float>(i - 3));
  p.PassThroughChannelsToHost(16);  // the delay carries across blocks
  EXPECT_FLOAT_EQ(host.out[0][0], 13.0f);
}

TEST(Processor, BlocksNeverRunPastTheBuffers) {
  TestProcessor p(ConfigFor("1-1"));
  p.ResizeChannelBuffers(8);
  p.SetChannelsConnected(kInput, 0, 1, true);
  p.SetChannelsConnected(kOutput, 0, 1, true);
  HostBuffers host(1, 32);
  p.BindHostBuffers(kInput, 0, 1, host.inPtrs.data(), 32);
  p.BindHostBuffers(kOutput, 0, 1, host.outPtrs.data(), 32);
  p.ProcessChannelsToHost(32);  // ASan would report an overflow here
  p.PassThroughChannelsToHost(32);
  EXPECT_FLOAT_EQ(host.out[0][31], 0.0f);
}

TEST(Processor, DefaultProcessAudioCopiesAndSilencesExtraOutputs) {
  TestProcessor p(ConfigFor("1-2"));
  p.ResizeChannelBuffers(4);
  double in0[4] = {1, 2, 3, 4};
  double out0[4], out1[4] = {9, 9, 9, 9};
  double* ins[1] = {in0};
  double* outs[2] = {out0, out1};
  p.ProcessAudio(ins, outs, 4);
  EXPECT_DOUBLE_EQ(out0[3], 4.0);
  EXPECT_DOUBLE_EQ(out1[0], 0.0);
}

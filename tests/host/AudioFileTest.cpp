#include <sndfile.h>

#include <gtest/gtest.h>
#include <fstream>

#include "HostTestSupport.h"
#include "host/AudioFile.h"
#include "host/HostError.h"

namespace {

using namespace corvane::host;

std::string Contents(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), {});
}

TEST(AudioFileWriter, ReplacesTheTargetOnlyOnCommit) {
  hosttest::TempDir dir;
  const auto target = dir / "out.wav";
  std::ofstream(target) << "old";
  const std::vector<float> frames = {0.5f, -0.5f, 0.25f, -0.25f};
  {
    AudioFileWriter abandoned(target, Container::kWav, SampleFormat::kFloat32, 2, 48000);
    abandoned.Write(frames.data(), 2);
    EXPECT_EQ(dir.Entries().size(), 2u) << "the temporary sits next to the target";
    EXPECT_EQ(abandoned.TemporaryPath().parent_path(), dir.Path());
  }
  EXPECT_EQ(dir.Entries(), std::set<std::string>{"out.wav"});
  EXPECT_EQ(Contents(target), "old");

  AudioFileWriter writer(target, Container::kWav, SampleFormat::kFloat32, 2, 48000);
  writer.Write(frames.data(), 2);
  EXPECT_EQ(Contents(target), "old");
  writer.Commit();
  EXPECT_EQ(dir.Entries(), std::set<std::string>{"out.wav"});
  const hosttest::Audio written = hosttest::ReadAudio(target);
  EXPECT_EQ(written.samples, frames);
  EXPECT_EQ(written.format, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
}

TEST(AudioFileWriter, RefusesFormatsTheContainerCannotHoldBeforeCreatingAnything) {
  hosttest::TempDir dir;
  EXPECT_FALSE(ContainerHolds(Container::kFlac, SampleFormat::kFloat32));
  EXPECT_TRUE(ContainerHolds(Container::kAiff, SampleFormat::kFloat64));
  try {
    AudioFileWriter writer(dir / "x.flac", Container::kFlac, SampleFormat::kFloat64, 1, 48000);
    FAIL() << "FLAC accepted float64";
  } catch (const HostError& e) {
    EXPECT_EQ(e.Status(), kExitUsage);
  }
  EXPECT_TRUE(dir.Entries().empty());
}

TEST(AudioFile, ContainerAndFormatNames) {
  EXPECT_EQ(ContainerForPath("a/b.WAV"), Container::kWav);
  EXPECT_EQ(ContainerForPath("b.aif"), Container::kAiff);
  EXPECT_EQ(ContainerForPath("b.Flac"), Container::kFlac);
  EXPECT_FALSE(ContainerForPath("b.mp3").has_value());
  EXPECT_FALSE(ContainerForPath("wav").has_value());
  for (SampleFormat f :
       {SampleFormat::kPcm16, SampleFormat::kPcm24, SampleFormat::kFloat32, SampleFormat::kFloat64})
    EXPECT_EQ(ParseSampleFormat(SampleFormatName(f)), f);
  EXPECT_EQ(ParseSampleFormat("Float32"), SampleFormat::kFloat32);
  EXPECT_FALSE(ParseSampleFormat("float").has_value());
}

}  // namespace

#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "host/RenderLoop.h"

struct sf_private_tag;

namespace corvane::host {

enum class SampleFormat { kPcm16, kPcm24, kFloat32, kFloat64 };
enum class Container { kWav, kAiff, kFlac };

std::optional<SampleFormat> ParseSampleFormat(std::string_view name);
const char* SampleFormatName(SampleFormat format);
/** The container an output path's extension asks for (case-insensitive). */
std::optional<Container> ContainerForPath(const std::filesystem::path& path);
const char* ContainerName(Container container);
bool ContainerHolds(Container container, SampleFormat format);

/** Creates a file no one else uses next to the target, readable as the umask allows, and
 * returns its descriptor; throws HostError (usage status) when the directory is unwritable. */
int CreateTemporaryNextTo(const std::filesystem::path& target, std::filesystem::path& temporary);

/** Reads an audio file libsndfile understands, as interleaved float frames. */
class AudioFileReader final : public FrameSource {
 public:
  /** Throws HostError (usage status) when the file cannot be opened as audio. */
  explicit AudioFileReader(const std::filesystem::path& path);
  ~AudioFileReader() override;
  AudioFileReader(const AudioFileReader&) = delete;
  AudioFileReader& operator=(const AudioFileReader&) = delete;

  int Channels() const override { return mChannels; }
  int Read(float* interleaved, int frames) override;

  int SampleRate() const { return mSampleRate; }
  int64_t Frames() const { return mFrames; }
  /** The output format closest to the file's own encoding. */
  SampleFormat NearestFormat() const { return mNearest; }

 private:
  std::filesystem::path mPath;
  sf_private_tag* mFile = nullptr;
  int mChannels = 0;
  int mSampleRate = 0;
  int64_t mFrames = 0;
  SampleFormat mNearest = SampleFormat::kPcm24;
};

/**
 * Writes an audio file through a temporary file in the target's directory, so that the target
 * either keeps its old state or receives a complete file: Commit() renames the finished
 * temporary over the target; destruction without Commit() removes the temporary.
 */
class AudioFileWriter final : public FrameSink {
 public:
  /** Throws HostError (usage status) for an impossible format or an unwritable directory. */
  AudioFileWriter(const std::filesystem::path& target, Container container, SampleFormat format,
                  int channels, int sampleRate);
  ~AudioFileWriter() override;
  AudioFileWriter(const AudioFileWriter&) = delete;
  AudioFileWriter& operator=(const AudioFileWriter&) = delete;

  /** Throws HostError (failure status) when the data cannot be written. */
  void Write(const float* interleaved, int frames) override;
  /** Completes the temporary file; throws HostError on failure. */
  void Finish();
  /** Finish() if still open, then renames the temporary over the target. */
  void Commit();

  const std::filesystem::path& Target() const { return mTarget; }
  const std::filesystem::path& TemporaryPath() const { return mTemporary; }

 private:
  void Discard() noexcept;

  std::filesystem::path mTarget;
  std::filesystem::path mTemporary;
  sf_private_tag* mFile = nullptr;
  int mFd = -1;
  bool mCommitted = false;
};

}  // namespace corvane::host

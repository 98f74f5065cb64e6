#include "host/AudioFile.h"

#include <fcntl.h>
#include <sndfile.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <system_error>

#include "host/HostError.h"

namespace corvane::host {

namespace fs = std::filesystem;

namespace {

struct FormatName {
  SampleFormat format;
  const char* name;
  int subtype;
};

constexpr std::array<FormatName, 4> kFormats = {{
    {SampleFormat::kPcm16, "pcm16", SF_FORMAT_PCM_16},
    {SampleFormat::kPcm24, "pcm24", SF_FORMAT_PCM_24},
    {SampleFormat::kFloat32, "float32", SF_FORMAT_FLOAT},
    {SampleFormat::kFloat64, "float64", SF_FORMAT_DOUBLE},
}};

int SubtypeOf(SampleFormat format) {
  for (const FormatName& entry : kFormats)
    if (entry.format == format) return entry.subtype;
  return SF_FORMAT_PCM_24;
}

int MajorOf(Container container) {
  switch (container) {
    case Container::kWav:
      return SF_FORMAT_WAV;
    case Container::kAiff:
      return SF_FORMAT_AIFF;
    case Container::kFlac:
      return SF_FORMAT_FLAC;
  }
  return SF_FORMAT_WAV;
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

SampleFormat NearestFormatFor(int subtype) {
  switch (subtype) {
    case SF_FORMAT_PCM_S8:
    case SF_FORMAT_PCM_U8:
    case SF_FORMAT_PCM_16:
    case SF_FORMAT_ULAW:
    case SF_FORMAT_ALAW:
      return SampleFormat::kPcm16;
    case SF_FORMAT_FLOAT:
      return SampleFormat::kFloat32;
    case SF_FORMAT_DOUBLE:
      return SampleFormat::kFloat64;
    // 32-bit integers and the compressed encodings keep their quality in 24 bits: the
    // processing itself runs through float32 host buffers.
    default:
      return SampleFormat::kPcm24;
  }
}

std::string Quoted(const fs::path& path) {
  // Appending, not "'" + string: GCC 12 warns falsely (-Wrestrict) about operator+ on a literal.
  std::string text(1, '\'');
  text.append(path.string()).push_back('\'');
  return text;
}

}  // namespace

int CreateTemporaryNextTo(const fs::path& target, fs::path& temporary) {
  static std::atomic<unsigned> counter{0};
  const fs::path directory = target.has_parent_path() ? target.parent_path() : fs::path(".");
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string name(1, '.');
    name.append(target.filename().string())
        .append(".tmp-")
        .append(std::to_string(::getpid()))
        .append("-")
        .append(std::to_string(counter++));
    temporary = directory / name;
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) return fd;
    if (errno != EEXIST)
      throw HostError("cannot write to " + Quoted(directory) + ": " + std::strerror(errno));
  }
  throw HostError("cannot create a temporary file in " + Quoted(directory));
}

std::optional<SampleFormat> ParseSampleFormat(std::string_view name) {
  const std::string lower = Lower(std::string(name));
  for (const FormatName& entry : kFormats)
    if (lower == entry.name) return entry.format;
  return std::nullopt;
}

const char* SampleFormatName(SampleFormat format) {
  for (const FormatName& entry : kFormats)
    if (entry.format == format) return entry.name;
  return "?";
}

std::optional<Container> ContainerForPath(const fs::path& path) {
  const std::string extension = Lower(path.extension().string());
  if (extension == ".wav" || extension == ".wave") return Container::kWav;
  if (extension == ".aif" || extension == ".aiff" || extension == ".aifc") return Container::kAiff;
  if (extension == ".flac") return Container::kFlac;
  return std::nullopt;
}

const char* ContainerName(Container container) {
  switch (container) {
    case Container::kWav:
      return "WAV";
    case Container::kAiff:
      return "AIFF";
    case Container::kFlac:
      return "FLAC";
  }
  return "?";
}

bool ContainerHolds(Container container, SampleFormat format) {
  SF_INFO info{};
  info.samplerate = 48000;
  info.channels = 2;
  info.format = MajorOf(container) | SubtypeOf(format);
  return sf_format_check(&info) != 0;
}

AudioFileReader::AudioFileReader(const fs::path& path) : mPath(path) {
  SF_INFO info{};
  // libsndfile happily opens directories and reports a confusing error; say what it is.
  std::error_code ec;
  if (fs::is_directory(path, ec)) throw HostError(Quoted(path) + " is a directory");
  mFile = sf_open(path.c_str(), SFM_READ, &info);
  if (!mFile) throw HostError("cannot read " + Quoted(path) + ": " + sf_strerror(nullptr));
  mChannels = info.channels;
  mSampleRate = info.samplerate;
  mFrames = info.frames;
  mNearest = NearestFormatFor(info.format & SF_FORMAT_SUBMASK);
}

AudioFileReader::~AudioFileReader() {
  if (mFile) sf_close(mFile);
}

int AudioFileReader::Read(float* interleaved, int frames) {
  const sf_count_t n = sf_readf_float(mFile, interleaved, frames);
  if (n < frames && sf_error(mFile) != SF_ERR_NO_ERROR)
    throw HostError(kExitFailure, "cannot read " + Quoted(mPath) + ": " + sf_strerror(mFile));
  return static_cast<int>(n);
}

AudioFileWriter::AudioFileWriter(const fs::path& target, Container container, SampleFormat format,
                                 int channels, int sampleRate)
    : mTarget(target) {
  SF_INFO info{};
  info.samplerate = sampleRate;
  info.channels = channels;
  info.format = MajorOf(container) | SubtypeOf(format);
  if (!sf_format_check(&info))
    throw HostError(std::string(ContainerName(container)) + " cannot hold " +
                    SampleFormatName(format) + " samples at " + std::to_string(sampleRate) + " Hz");

  mFd = CreateTemporaryNextTo(target, mTemporary);
  // The descriptor stays ours: libsndfile would close it on some failure paths but not on
  // others, and a double close could hit a descriptor opened meanwhile.
  mFile = sf_open_fd(mFd, SFM_WRITE, &info, SF_FALSE);
  if (!mFile) {
    const std::string reason = sf_strerror(nullptr);
    Discard();
    throw HostError("cannot write " + Quoted(target) + ": " + reason);
  }
  // Integer formats must saturate rather than wrap around when the plug-in exceeds full scale.
  sf_command(mFile, SFC_SET_CLIPPING, nullptr, SF_TRUE);
}

AudioFileWriter::~AudioFileWriter() {
  if (!mCommitted) Discard();
}

void AudioFileWriter::Write(const float* interleaved, int frames) {
  if (!mFile) throw HostError(kExitFailure, "cannot write " + Quoted(mTarget) + ": not open");
  if (sf_writef_float(mFile, interleaved, frames) != frames)
    throw HostError(kExitFailure, "cannot write " + Quoted(mTarget) + ": " + sf_strerror(mFile));
}

void AudioFileWriter::Finish() {
  if (!mFile) return;
  sf_write_sync(mFile);
  const int error = sf_error(mFile);
  const std::string reason = sf_strerror(mFile);
  int closed = sf_close(mFile);
  mFile = nullptr;
  if (::close(mFd) != 0) closed = -1;
  mFd = -1;
  if (error != SF_ERR_NO_ERROR || closed != 0)
    throw HostError(kExitFailure, "cannot write " + Quoted(mTarget) + ": " + reason);
}

void AudioFileWriter::Commit() {
  Finish();
  std::error_code ec;
  fs::rename(mTemporary, mTarget, ec);
  if (ec) throw HostError(kExitFailure, "cannot create " + Quoted(mTarget) + ": " + ec.message());
  mCommitted = true;
}

void AudioFileWriter::Discard() noexcept {
  if (mFile) {
    sf_close(mFile);
    mFile = nullptr;
  }
  if (mFd >= 0) {
    ::close(mFd);
    mFd = -1;
  }
  std::error_code ec;
  if (!mTemporary.empty()) fs::remove(mTemporary, ec);
}

}  // namespace corvane::host

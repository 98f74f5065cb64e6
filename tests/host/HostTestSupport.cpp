#include "HostTestSupport.h"

#include <sndfile.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <regex>
#include <sstream>
#include <stdexcept>

#include "host/Command.h"

namespace hosttest {

namespace fs = std::filesystem;

TempDir::TempDir() {
  static std::atomic<int> counter{0};
  mPath = fs::temp_directory_path() /
          ("corvane-host-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
  fs::remove_all(mPath);
  fs::create_directories(mPath);
}

TempDir::~TempDir() {
  std::error_code ec;
  fs::remove_all(mPath, ec);
}

std::set<std::string> TempDir::Entries() const {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(mPath)) names.insert(entry.path().filename());
  return names;
}

void WriteAudio(const fs::path& path, const Audio& audio) {
  SF_INFO info{};
  info.channels = audio.channels;
  info.samplerate = audio.sampleRate;
  info.format = audio.format;
  SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
  if (!file) throw std::runtime_error("cannot write test file " + path.string());
  sf_command(file, SFC_SET_CLIPPING, nullptr, SF_TRUE);
  const auto frames = static_cast<sf_count_t>(audio.Frames());
  const sf_count_t written = sf_writef_float(file, audio.samples.data(), frames);
  sf_close(file);
  if (written != frames) throw std::runtime_error("short write to " + path.string());
}

Audio ReadAudio(const fs::path& path) {
  SF_INFO info{};
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
  if (!file) throw std::runtime_error("cannot read " + path.string());
  Audio audio;
  audio.channels = info.channels;
  audio.sampleRate = info.samplerate;
  audio.format = info.format;
  audio.samples.resize(static_cast<size_t>(info.frames) * static_cast<size_t>(info.channels));
  const sf_count_t read = sf_readf_float(file, audio.samples.data(), info.frames);
  sf_close(file);
  if (read != info.frames) throw std::runtime_error("short read from " + path.string());
  return audio;
}

RunResult RunHost(const std::vector<std::string>& args) {
  std::ostringstream out, err;
  RunResult result;
  result.status = corvane::host::RunCommand(args, out, err);
  result.out = out.str();
  result.err = err.str();
  return result;
}

int LineCount(const std::string& text) {
  return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

int SummaryLatency(const std::string& summary) {
  std::smatch match;
  static const std::regex kLatency("latency (\\d+) samples");
  return std::regex_search(summary, match, kLatency) ? std::stoi(match[1]) : -1;
}

}  // namespace hosttest

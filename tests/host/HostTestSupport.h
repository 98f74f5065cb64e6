#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace hosttest {

/** A fresh directory under the system's temporary directory, removed with everything in it. */
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& Path() const { return mPath; }
  std::filesystem::path operator/(const std::string& name) const { return mPath / name; }
  /** Names of the entries, hidden ones included. */
  std::set<std::string> Entries() const;

 private:
  std::filesystem::path mPath;
};

struct Audio {
  int channels = 0;
  int sampleRate = 0;
  int format = 0;              // libsndfile's SF_FORMAT_* major | subtype
  std::vector<float> samples;  // interleaved
  size_t Frames() const { return channels ? samples.size() / static_cast<size_t>(channels) : 0; }
  float At(size_t frame, int channel) const {
    return samples[frame * static_cast<size_t>(channels) + static_cast<size_t>(channel)];
  }
};

/** Writes through libsndfile directly, independent of the code under test. */
void WriteAudio(const std::filesystem::path& path, const Audio& audio);
Audio ReadAudio(const std::filesystem::path& path);

struct RunResult {
  int status = -1;
  std::string out;
  std::string err;
};
/** Runs corvane-host in-process; args excludes the program name. */
RunResult RunHost(const std::vector<std::string>& args);

/** Number of lines in a text that ends with a newline. */
int LineCount(const std::string& text);

/** Parses "latency N samples" out of a summary line; -1 when absent. */
int SummaryLatency(const std::string& summary);

/** A parsed JSON value, enough to check what the tool writes. */
struct Json {
  enum class Type { kNull, kBool, kNumber, kString, kArray, kObject };
  Type type = Type::kNull;
  bool boolean = false;
  double number = 0.0;
  std::string string;
  std::vector<Json> items;
  std::vector<std::pair<std::string, Json>> members;

  /** The member of an object; throws when there is none. */
  const Json& operator[](const std::string& key) const;
  const Json& operator[](size_t index) const { return items.at(index); }
  size_t size() const { return type == Type::kObject ? members.size() : items.size(); }
};
/** Parses a whole document; throws std::runtime_error at anything that is not strict JSON. */
Json ParseJson(const std::string& text);

/** What a run of a host nobody here wrote came to, over all its attempts. */
struct ToolRun {
  int status = -1;  // the last attempt's exit status (124: it hung; 128 + n: signal n)
  int attempts = 0;
  std::string log;  // every attempt's output, each under a line saying which it was
  bool Ok() const { return status == 0; }
};

/**
 * Runs a command line of an external host (Ardour, jalv, ecasound, GStreamer...) through the
 * shell, each attempt under its own time limit. A run that hangs (killed at the limit) or
 * aborts (ends on a signal) is tried again, up to three attempts: those hosts now and then do
 * either for reasons of their own, and the suite must neither hang nor fail by chance. A
 * clean failure is final at once. `produced`, when given, decides an attempt that aborted
 * after it wrote what was asked (Ardour at teardown) as a success.
 */
ToolRun RunExternalHost(const std::string& command, int timeoutSeconds,
                        const std::function<bool()>& produced = nullptr);

/** Bytes of a file. */
std::vector<uint8_t> ReadBytes(const std::filesystem::path& path);
void WriteBytes(const std::filesystem::path& path, const std::vector<uint8_t>& bytes);

}  // namespace hosttest

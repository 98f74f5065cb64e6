#include "HostTestSupport.h"

#include <sndfile.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iterator>
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

ToolRun RunExternalHost(const std::string& command, int timeoutSeconds,
                        const std::function<bool()>& produced) {
  constexpr int kAttempts = 3;
  constexpr int kTimedOut = 124;  // what timeout(1) answers for a command it had to stop
  ToolRun run;
  const TempDir scratch;
  const fs::path log = scratch / "log";
  for (run.attempts = 1; run.attempts <= kAttempts; ++run.attempts) {
    // Its own process group, so that what the host started goes with it when it is stopped.
    const std::string line = "timeout -k 5 " + std::to_string(timeoutSeconds) + " sh -c '" +
                             std::regex_replace(command, std::regex("'"), "'\\''") + "' >'" +
                             log.string() + "' 2>&1 </dev/null";
    const int raw = std::system(line.c_str());
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + (WIFSIGNALED(raw) ? WTERMSIG(raw) : 0);
    std::ifstream in(log);
    run.log +=
        "--- attempt " + std::to_string(run.attempts) + " of " + std::to_string(kAttempts) +
        ": status " + std::to_string(run.status) +
        (run.status == kTimedOut ? " (hung, stopped after " + std::to_string(timeoutSeconds) + " s)"
         : run.status > 128      ? " (ended on signal " + std::to_string(run.status - 128) + ")"
                                 : "") +
        "\n" + std::string(std::istreambuf_iterator<char>(in), {});
    if (run.status == 0) break;
    const bool hungOrAborted = run.status == kTimedOut || run.status > 128;
    if (hungOrAborted && produced && produced()) {
      run.status = 0;
      break;
    }
    if (!hungOrAborted) break;
  }
  run.attempts = std::min(run.attempts, kAttempts);
  return run;
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

const Json& Json::operator[](const std::string& key) const {
  for (const auto& [name, value] : members)
    if (name == key) return value;
  throw std::runtime_error("no member \"" + key + "\"");
}

namespace {

class JsonParser {
 public:
  explicit JsonParser(const std::string& text) : mText(text) {}

  Json Document() {
    Json value = Value();
    Space();
    if (mPos != mText.size()) Fail("text after the document");
    return value;
  }

 private:
  [[noreturn]] void Fail(const std::string& what) const {
    throw std::runtime_error("JSON: " + what + " at offset " + std::to_string(mPos));
  }
  void Space() {
    while (mPos < mText.size() && std::string(" \t\r\n").find(mText[mPos]) != std::string::npos)
      ++mPos;
  }
  bool Take(char c) {
    Space();
    if (mPos < mText.size() && mText[mPos] == c) {
      ++mPos;
      return true;
    }
    return false;
  }
  void Expect(char c) {
    if (!Take(c)) Fail(std::string("expected '") + c + "'");
  }
  bool Word(const char* word) {
    const std::string w(word);
    if (mText.compare(mPos, w.size(), w) != 0) return false;
    mPos += w.size();
    return true;
  }

  std::string String() {
    Expect('"');
    std::string out;
    while (mPos < mText.size() && mText[mPos] != '"') {
      const char c = mText[mPos++];
      if (static_cast<unsigned char>(c) < 0x20) Fail("raw control character in a string");
      if (c != '\\') {
        out += c;
        continue;
      }
      if (mPos >= mText.size()) Fail("unfinished escape");
      const char e = mText[mPos++];
      switch (e) {
        case '"':
        case '\\':
        case '/':
          out += e;
          break;
        case 'n':
          out += '\n';
          break;
        case 't':
          out += '\t';
          break;
        case 'r':
          out += '\r';
          break;
        case 'b':
          out += '\b';
          break;
        case 'f':
          out += '\f';
          break;
        case 'u': {
          if (mPos + 4 > mText.size()) Fail("short \\u escape");
          const unsigned code = std::stoul(mText.substr(mPos, 4), nullptr, 16);
          mPos += 4;
          if (code >= 0x80) Fail("non-ASCII \\u escape");
          out += static_cast<char>(code);
          break;
        }
        default:
          Fail("unknown escape");
      }
    }
    if (mPos >= mText.size()) Fail("unfinished string");
    ++mPos;
    return out;
  }

  Json Value() {
    Space();
    if (mPos >= mText.size()) Fail("missing value");
    Json value;
    const char c = mText[mPos];
    if (c == '{') {
      ++mPos;
      value.type = Json::Type::kObject;
      if (Take('}')) return value;
      do {
        Space();
        std::string key = String();
        Expect(':');
        value.members.emplace_back(std::move(key), Value());
      } while (Take(','));
      Expect('}');
    } else if (c == '[') {
      ++mPos;
      value.type = Json::Type::kArray;
      if (Take(']')) return value;
      do value.items.push_back(Value());
      while (Take(','));
      Expect(']');
    } else if (c == '"') {
      value.type = Json::Type::kString;
      value.string = String();
    } else if (Word("true")) {
      value.type = Json::Type::kBool;
      value.boolean = true;
    } else if (Word("false")) {
      value.type = Json::Type::kBool;
    } else if (Word("null")) {
      value.type = Json::Type::kNull;
    } else {
      // -?(0|[1-9][0-9]*)(.[0-9]+)?([eE][+-]?[0-9]+)?
      const size_t start = mPos;
      auto digits = [&] {
        const size_t from = mPos;
        while (mPos < mText.size() && std::isdigit(static_cast<unsigned char>(mText[mPos]))) ++mPos;
        return mPos - from;
      };
      if (mText[mPos] == '-') ++mPos;
      if (mPos < mText.size() && mText[mPos] == '0') {
        ++mPos;
      } else if (digits() == 0) {
        Fail("not a value");
      }
      if (mPos < mText.size() && mText[mPos] == '.') {
        ++mPos;
        if (digits() == 0) Fail("no digits after the decimal point");
      }
      if (mPos < mText.size() && (mText[mPos] == 'e' || mText[mPos] == 'E')) {
        ++mPos;
        if (mPos < mText.size() && (mText[mPos] == '+' || mText[mPos] == '-')) ++mPos;
        if (digits() == 0) Fail("no digits in the exponent");
      }
      value.type = Json::Type::kNumber;
      value.number = std::strtod(mText.substr(start, mPos - start).c_str(), nullptr);
    }
    return value;
  }

  const std::string& mText;
  size_t mPos = 0;
};

}  // namespace

Json ParseJson(const std::string& text) {
  return JsonParser(text).Document();
}

std::vector<uint8_t> ReadBytes(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) throw std::runtime_error("cannot read " + path.string());
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(file)), {});
}

void WriteBytes(const fs::path& path, const std::vector<uint8_t>& bytes) {
  std::ofstream file(path, std::ios::binary);
  file.write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
  if (!file) throw std::runtime_error("cannot write " + path.string());
}

}  // namespace hosttest

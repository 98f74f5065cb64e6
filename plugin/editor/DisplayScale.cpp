#include "plugin/editor/DisplayScale.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace corvane {

namespace {

constexpr const char* kSubFolder = "Pellumar/Preferences/";
constexpr const char* kSuffix = "-display-scale.txt";

std::string WithoutTrailingSlashes(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

bool WriteAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    const ssize_t written = ::write(fd, data, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += written;
    size -= static_cast<size_t>(written);
  }
  return true;
}

}  // namespace

std::string DisplayScaleFolder() {
  std::string base;
  // The XDG rules ignore a relative XDG_CONFIG_HOME: it would depend on the host's working folder.
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && xdg[0] == '/') {
    base = xdg;
  } else if (const char* home = std::getenv("HOME"); home && home[0] != '\0') {
    base = WithoutTrailingSlashes(home) + "/.config";
  } else {
    return {};
  }
  base = WithoutTrailingSlashes(base);
  if (base != "/") base += '/';
  return base + kSubFolder;
}

std::string DisplayScalePath(std::string_view id) {
  if (id.empty()) return {};
  std::string name(id);
  for (char& c : name)
    if (std::string_view("/\\:*?\"<>|").find(c) != std::string_view::npos) c = '_';
  const std::string folder = DisplayScaleFolder();
  if (folder.empty()) return {};
  return folder + name + kSuffix;
}

bool ReadDisplayScale(std::string_view id, float& value) {
  const std::string path = DisplayScalePath(id);
  if (path.empty()) return false;
  std::ifstream file(path, std::ios::binary);
  if (!file) return false;
  std::string line;
  std::getline(file, line);
  if (line.empty()) return false;

  // from_chars rather than strtof: a host may have switched LC_NUMERIC to a decimal comma.
  const char* first = line.data();
  const char* const last = line.data() + line.size();
  while (first != last && std::isspace(static_cast<unsigned char>(*first))) ++first;
  if (first != last && *first == '+') ++first;
  float parsed = 0.0f;
  const auto [end, error] = std::from_chars(first, last, parsed);
  if (error != std::errc()) return false;
  if (!std::all_of(end, last, [](char c) { return std::isspace(static_cast<unsigned char>(c)); }))
    return false;
  if (!std::isfinite(parsed) || !(parsed > 0.0f)) return false;
  value = parsed;
  return true;
}

bool WriteDisplayScale(std::string_view id, float value) {
  if (!std::isfinite(value) || !(value > 0.0f)) return false;
  const std::string folder = DisplayScaleFolder();
  const std::string path = DisplayScalePath(id);
  if (folder.empty() || path.empty()) return false;

  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  if (ec) return false;

  char text[32];
  const auto [end, error] =
      std::to_chars(text, text + sizeof text - 1, value, std::chars_format::fixed, 4);
  if (error != std::errc()) return false;
  *end = '\n';
  const size_t size = static_cast<size_t>(end + 1 - text);

  // A temporary file in the same folder, renamed over the old one: rename replaces atomically
  // within one file system, so readers and crashes see either the old or the new content.
  std::string temp = path + ".XXXXXX";
  const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) return false;
  // mkostemp creates 0600; a preference is no secret, so keep the usual mode.
  ::fchmod(fd, 0644);
  // fsync before rename, or a power loss may persist the rename before the data.
  bool ok = WriteAll(fd, text, size) && ::fsync(fd) == 0;
  ok = ::close(fd) == 0 && ok;
  if (ok) ok = ::rename(temp.c_str(), path.c_str()) == 0;
  if (!ok) ::unlink(temp.c_str());
  return ok;
}

float StoredDisplayScale() {
  float value = 1.0f;
  if (!ReadDisplayScale("corvane", value)) return 1.0f;
  return std::max(std::min(value, 4.0f), 0.5f);
}

}  // namespace corvane

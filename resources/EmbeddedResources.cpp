#include "resources/EmbeddedResources.h"

#include <cstring>

namespace iplug::resources {

namespace {

// Resources are looked up by file names, which are ASCII: the C locale's rules, whatever the
// process's locale says.
std::string Upper(const char* text) {
  std::string out = text ? text : "";
  for (char& c : out)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return out;
}

bool SameType(const EmbeddedResource& entry, const std::string& upperType) {
  return entry.type && upperType == entry.type;
}

constexpr size_t kPlaceholderSize = 7;

}  // namespace

bool FindResource(const ResourceTable& table, const char* name, const char* type,
                  std::string& resolved) {
  resolved.clear();
  if (!name || !*name || !table.entries) return false;
  const std::string wanted = Upper(name);
  const std::string upperType = Upper(type);
  for (size_t i = 0; i < table.count; ++i) {
    const EmbeddedResource& entry = table.entries[i];
    if (!entry.name || !SameType(entry, upperType)) continue;
    // The table's names carry one quote character at either end.
    const size_t length = std::strlen(entry.name);
    if (length < 2 || length - 2 != wanted.size()) continue;
    if (std::memcmp(entry.name + 1, wanted.data(), wanted.size()) != 0) continue;
    resolved = entry.name;
    return true;
  }
  return false;
}

const uint8_t* ResourceBytes(const ResourceTable& table, const char* resolvedName, const char* type,
                             size_t& size) {
  size = 0;
  if (!resolvedName || !table.entries) return nullptr;
  const std::string upperType = Upper(type);
  for (size_t i = 0; i < table.count; ++i) {
    const EmbeddedResource& entry = table.entries[i];
    if (!entry.name || std::strcmp(entry.name, resolvedName) != 0 || !SameType(entry, upperType))
      continue;
    if (!entry.data || entry.size <= kPlaceholderSize) return nullptr;
    size = entry.size;
    return entry.data;
  }
  return nullptr;
}

}  // namespace iplug::resources

#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace iplug::resources {

/**
 * One file compiled into the program. The name is the file's upper-cased name between double
 * quotes ("\"KNOB@2X.PNG\""), the type its upper-cased extension ("PNG").
 */
struct EmbeddedResource {
  const char* name;
  const char* type;
  const uint8_t* data;
  size_t size;
};

struct ResourceTable {
  const EmbeddedResource* entries;
  size_t count;
};

/**
 * The resources of this program: defined by the one table that corvane_add_resources generated
 * and the program links. Linking none is a link error, linking two a duplicate symbol.
 */
const ResourceTable& ModuleResources();

/**
 * Looks a resource up by its plain file name ("knob@2x.png") and type ("png"), both in any
 * case. True when found; resolved then holds the table's own name, quotes included, which is
 * what ResourceBytes takes. An empty or null name is never found.
 */
bool FindResource(const ResourceTable& table, const char* name, const char* type,
                  std::string& resolved);

/**
 * The bytes of the resource with this resolved name and type (any case), or null with size 0.
 * Resources of 7 bytes or less count as missing: nothing this program embeds is that small,
 * so such an entry is a placeholder, not data.
 */
const uint8_t* ResourceBytes(const ResourceTable& table, const char* resolvedName, const char* type,
                             size_t& size);

}  // namespace iplug::resources

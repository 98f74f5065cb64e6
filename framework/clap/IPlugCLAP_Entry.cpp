// The module's one export, as a CLAP host looks it up: clap_entry. A host may call init once
// per instance it loads in the same process, and deinit as often: the calls are counted.

#include <atomic>
#include <cstring>

#include "framework/clap/IPlugCLAP.h"
#include "framework/clap/IPlugCLAP_Objects.h"

namespace {

std::atomic<int> gInits{0};

bool EntryInit(const char*) {
  // A module whose product describes no plug-in has nothing to offer.
  try {
    if (iplug::CLAPDescriptionOfPlug().variants.empty()) return false;
  } catch (...) {
    return false;
  }
  gInits.fetch_add(1, std::memory_order_acq_rel);
  return true;
}

void EntryDeinit() {
  int inits = gInits.load(std::memory_order_acquire);
  while (inits > 0 && !gInits.compare_exchange_weak(inits, inits - 1, std::memory_order_acq_rel)) {
  }
}

const void* EntryFactory(const char* id) {
  if (!id || std::strcmp(id, CLAP_PLUGIN_FACTORY_ID) != 0) return nullptr;
  if (gInits.load(std::memory_order_acquire) <= 0) return nullptr;
  return iplug::CLAPFactory();
}

}  // namespace

extern "C" {
CLAP_EXPORT extern const clap_plugin_entry_t clap_entry;
const clap_plugin_entry_t clap_entry = {CLAP_VERSION_INIT, &EntryInit, &EntryDeinit, &EntryFactory};
}

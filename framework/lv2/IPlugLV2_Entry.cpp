// The module's one export: the descriptors of the bundle's plug-ins, and the C callbacks that
// lead from each to the plug-in object behind the instance handle.

#include <lv2/core/lv2.h>

#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "framework/lv2/IPlugLV2.h"

namespace iplug {

namespace {

IPlugLV2* Plug(LV2_Handle instance) {
  return static_cast<IPlugLV2*>(instance);
}

const LV2Variant* VariantFor(const LV2_Descriptor* descriptor) {
  if (!descriptor || !descriptor->URI) return nullptr;
  for (const LV2Variant& variant : LV2DescriptionOfPlug().variants)
    if (variant.uri == descriptor->URI) return &variant;
  return nullptr;
}

LV2_Handle Instantiate(const LV2_Descriptor* descriptor, double rate, const char*,
                       const LV2_Feature* const* features) {
  const LV2Variant* variant = VariantFor(descriptor);
  if (!variant) return nullptr;
  try {
    std::unique_ptr<IPlugLV2> plug(MakePlugLV2());
    if (!plug || !plug->Instantiate(*variant, rate, features)) return nullptr;
    return plug.release();
  } catch (...) {
    return nullptr;
  }
}

void ConnectPort(LV2_Handle instance, uint32_t port, void* data) {
  Plug(instance)->ConnectPort(port, data);
}

void Activate(LV2_Handle instance) {
  Plug(instance)->Activate();
}

void Run(LV2_Handle instance, uint32_t frames) {
  Plug(instance)->Run(frames);
}

void Deactivate(LV2_Handle instance) {
  Plug(instance)->Deactivate();
}

void Cleanup(LV2_Handle instance) {
  delete Plug(instance);
}

const void* ExtensionData(const char* uri) {
  return IPlugLV2::ExtensionData(uri);
}

const std::vector<LV2_Descriptor>& Descriptors() {
  static const std::vector<LV2_Descriptor> descriptors = [] {
    std::vector<LV2_Descriptor> list;
    for (const LV2Variant& variant : LV2DescriptionOfPlug().variants)
      list.push_back(LV2_Descriptor{variant.uri.c_str(), Instantiate, ConnectPort, Activate, Run,
                                    Deactivate, Cleanup, ExtensionData});
    return list;
  }();
  return descriptors;
}

}  // namespace

}  // namespace iplug

extern "C" LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(uint32_t index) {
  try {
    const auto& descriptors = iplug::Descriptors();
    return index < descriptors.size() ? &descriptors[index] : nullptr;
  } catch (...) {
    return nullptr;
  }
}

// The UI module's one export: the descriptor of the plug-in's own UI, and the C callbacks that
// lead from it to the UI object behind the handle.

#include <lv2/ui/ui.h>

#include <cstring>
#include <memory>

#include "framework/lv2/IPlugLV2UI.h"

namespace iplug {

namespace {

IPlugLV2UI* UI(LV2UI_Handle handle) {
  return static_cast<IPlugLV2UI*>(handle);
}

LV2UI_Handle Instantiate(const LV2UI_Descriptor*, const char* pluginUri, const char*,
                         LV2UI_Write_Function write, LV2UI_Controller controller,
                         LV2UI_Widget* widget, const LV2_Feature* const* features) {
  std::unique_ptr<IPlugLV2UI> ui = IPlugLV2UI::Create(pluginUri, write, controller, features);
  if (!ui) return nullptr;
  if (widget) *widget = ui->Widget();
  return ui.release();
}

void Cleanup(LV2UI_Handle handle) {
  delete UI(handle);
}

void PortEvent(LV2UI_Handle handle, uint32_t port, uint32_t size, uint32_t format,
               const void* buffer) {
  UI(handle)->PortEvent(port, size, format, buffer);
}

int Idle(LV2UI_Handle handle) {
  return UI(handle)->Idle();
}

const void* ExtensionData(const char* uri) {
  static const LV2UI_Idle_Interface kIdle = {Idle};
  if (uri && std::strcmp(uri, LV2_UI__idleInterface) == 0) return &kIdle;
  return nullptr;
}

}  // namespace

}  // namespace iplug

extern "C" LV2_SYMBOL_EXPORT const LV2UI_Descriptor* lv2ui_descriptor(uint32_t index) {
  try {
    static const LV2UI_Descriptor descriptor = {iplug::LV2DescriptionOfPlug().uiUri.c_str(),
                                                iplug::Instantiate, iplug::Cleanup,
                                                iplug::PortEvent, iplug::ExtensionData};
    return index == 0 && descriptor.URI[0] ? &descriptor : nullptr;
  } catch (...) {
    return nullptr;
  }
}

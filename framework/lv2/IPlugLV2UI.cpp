#include "framework/lv2/IPlugLV2UI.h"

#include <cmath>
#include <cstring>

#include "aax/interfaces/AAX_Types.h"
#include "framework/ISender.h"
#include "framework/lv2/IPlugLV2UI_RunLoop.h"
#include "graphics/IGraphics.h"

namespace iplug {

namespace {

const void* FeatureData(const LV2_Feature* const* features, const char* uri) {
  for (const LV2_Feature* const* f = features; f && *f; ++f)
    if ((*f)->URI && std::strcmp((*f)->URI, uri) == 0) return (*f)->data;
  return nullptr;
}

const LV2Variant* VariantFor(const char* uri) {
  if (!uri) return nullptr;
  for (const LV2Variant& variant : LV2DescriptionOfPlug().variants)
    if (variant.uri == uri) return &variant;
  return nullptr;
}

}  // namespace

std::unique_ptr<IPlugLV2UI> IPlugLV2UI::Create(const char* pluginUri, LV2UI_Write_Function write,
                                               LV2UI_Controller controller,
                                               const LV2_Feature* const* features) noexcept {
  try {
    const LV2Variant* variant = VariantFor(pluginUri);
    // ui:parent carries the X11 window id itself, not a pointer to one.
    const auto parent = reinterpret_cast<uintptr_t>(FeatureData(features, LV2_UI__parent));
    if (!variant || !parent || !write) return nullptr;
    const LV2Description& description = LV2DescriptionOfPlug();
    const LV2PortLayout layout =
        LV2PortLayout::Of(*variant, description, static_cast<int>(description.paramSymbols.size()));
    std::unique_ptr<IPlugLV2UI> ui(new IPlugLV2UI(layout, write, controller, features));
    if (!ui->Open(parent)) return nullptr;
    return ui;
  } catch (...) {
    return nullptr;
  }
}

IPlugLV2UI::IPlugLV2UI(const LV2PortLayout& layout, LV2UI_Write_Function write,
                       LV2UI_Controller controller, const LV2_Feature* const* features)
    : mLayout(layout),
      mWrite(write),
      mController(controller),
      mResize(static_cast<const LV2UI_Resize*>(FeatureData(features, LV2_UI__resize))),
      mTouch(static_cast<const LV2UI_Touch*>(FeatureData(features, LV2_UI__touch))) {
  if (mResize && !mResize->ui_resize) mResize = nullptr;
  if (mTouch && !mTouch->touch) mTouch = nullptr;
}

bool IPlugLV2UI::Open(uintptr_t parent) {
  // The platform layer takes the framework's run loop when its window opens.
  mLoop = &LV2UIRunLoop::Acquire();
  mPlug.reset(MakePlugLV2UI());
  if (!mPlug || mPlug->NParams() != mLayout.params) return false;
  mGestures.assign(static_cast<size_t>(mLayout.params), false);
  mPlug->SetUIHostLink(this);
  void* const window = reinterpret_cast<void*>(parent);
  mPlug->SetEditorParent(AAX_eViewContainer_Type_X11Window, window);
  mWidget = mPlug->OpenWindow(window);
  const igraphics::IGraphics* g = mPlug->GetUI();
  if (!mWidget || !g) return false;
  // In window pixels, as the editor itself asks for them.
  const float windowScale = g->WindowScale();
  ResizeRequest(static_cast<int>(windowScale * static_cast<int>(g->Width() * g->GetDrawScale())),
                static_cast<int>(windowScale * static_cast<int>(g->Height() * g->GetDrawScale())));
  return true;
}

IPlugLV2UI::~IPlugLV2UI() {
  if (mPlug) {
    try {
      mPlug->CloseWindow();
    } catch (...) {
      // The window goes with the graphics context all the same.
    }
    mPlug->SetUIHostLink(nullptr);
    mPlug.reset();
  }
  if (mLoop) LV2UIRunLoop::Release();
}

void IPlugLV2UI::PortEvent(uint32_t port, uint32_t size, uint32_t format,
                           const void* buffer) noexcept {
  if (format != 0 || size != sizeof(float) || !buffer) return;
  float value = 0.f;
  std::memcpy(&value, buffer, sizeof value);
  try {
    if (const int param = mLayout.ParamAt(port); param >= 0)
      HostValue(param, value);
    else if (const int monitor = mLayout.MonitorAt(port); monitor >= 0)
      MonitorValue(monitor, value);
  } catch (...) {
    // A control that could not take the value keeps the one it shows.
  }
}

void IPlugLV2UI::HostValue(int paramIdx, float value) {
  if (!std::isfinite(value) || mGestures[static_cast<size_t>(paramIdx)]) return;
  IParam* param = mPlug->GetParam(paramIdx);
  // The port holds the parameter's value rounded to float: that is no change.
  if (static_cast<float>(param->Value()) == value) return;
  param->SetValue(LV2PortValueOnGrid(*param, static_cast<double>(value)));
  mPlug->SendParamValueToControls(paramIdx, param->Value(), false);
  mPlug->OnParamChange(paramIdx, kHost, -1);
}

void IPlugLV2UI::MonitorValue(int monitor, float value) {
  const LV2MonitorPort& port = LV2DescriptionOfPlug().monitors.at(static_cast<size_t>(monitor));
  SenderRecord record;
  record.ctrlTag = port.ctrlTag;
  record.nChans = 1;
  record.chanOffset = 0;
  record.vals[0] = std::isfinite(value) ? value : 0.f;
  mPlug->SendControlMessage(port.ctrlTag, 0, static_cast<int>(sizeof record), &record);
}

int IPlugLV2UI::Idle() noexcept {
  try {
    mLoop->Pump();
  } catch (...) {
    // A callback that threw is called again at its next turn.
  }
  const igraphics::IGraphics* g = mPlug->GetUI();
  return g && g->IsWindowOpen() ? 0 : 1;
}

void IPlugLV2UI::ParamGesture(int paramIdx, bool begins) {
  if (paramIdx < 0 || paramIdx >= mLayout.params) return;
  mGestures[static_cast<size_t>(paramIdx)] = begins;
  if (mTouch) mTouch->touch(mTouch->handle, mLayout.ParamPort(paramIdx), begins);
}

void IPlugLV2UI::ParamValue(int paramIdx, double value) {
  if (paramIdx < 0 || paramIdx >= mLayout.params) return;
  const float port = static_cast<float>(value);
  mWrite(mController, mLayout.ParamPort(paramIdx), sizeof port, 0, &port);
}

bool IPlugLV2UI::ResizeRequest(int width, int height) {
  return mResize && mResize->ui_resize(mResize->handle, width, height) == 0;
}

}  // namespace iplug

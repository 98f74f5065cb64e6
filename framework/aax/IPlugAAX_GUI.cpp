#include "framework/aax/IPlugAAX_GUI.h"

#include <cstdlib>

#include "aax/library/AAX_VViewContainer.h"
#include "framework/aax/IPlugAAX.h"

namespace iplug {

AAX_VViewContainer* ViewContainerOf(const IPlugAAXView_Interface& view) {
  return reinterpret_cast<AAX_VViewContainer*>(view.GetViewContainer());
}

namespace {

uint32_t ContainerModifiers(AAX_IViewContainer* container) {
  uint32_t modifiers = 0;
  if (reinterpret_cast<AAX_VViewContainer*>(container)->GetModifiers(&modifiers) != AAX_SUCCESS)
    return 0;
  return modifiers;
}

int32_t ContainerParameterMouseDown(AAX_IViewContainer* container, const char* paramID,
                                    uint32_t modifiers) {
  return reinterpret_cast<AAX_VViewContainer*>(container)->HandleParameterMouseDown(paramID,
                                                                                    modifiers);
}

}  // namespace

void SetViewContainerOf(IPlugAAXView_Interface& view, AAX_VViewContainer* container) {
  view.SetViewContainer(reinterpret_cast<AAX_IViewContainer*>(container));
  view.SetViewContainerCalls({&ContainerModifiers, &ContainerParameterMouseDown});
}

AAX_CEffectGUI_IPLUG::AAX_CEffectGUI_IPLUG() = default;

IACFUnknown* AAX_CEffectGUI_IPLUG::Create() {
  try {
    auto* gui = new AAX_CEffectGUI_IPLUG;
    return static_cast<IACFUnknown*>(static_cast<AAX_IEffectGUIV1*>(gui));
  } catch (...) {
    return nullptr;
  }
}

void AAX_CEffectGUI_IPLUG::CreateViewContents() noexcept {
  mPlug = dynamic_cast<IPlugAAX*>(GetEffectParameters());
}

AAX_Result AAX_CEffectGUI_IPLUG::Uninitialize() noexcept {
  const AAX_Result result = AAX_CEffectGUI::Uninitialize();
  mPlug = nullptr;  // the effect-parameters reference it came from is gone
  return result;
}

void AAX_CEffectGUI_IPLUG::CreateViewContainer() noexcept {
  AAX_VViewContainer* container = GetViewContainer();
  if (!mPlug || !container) return;
  // An editor still open from an earlier container must not keep the replaced wrapper.
  if (IPlugAAXView_Interface* view = mPlug->GetAAXViewInterface())
    SetViewContainerOf(*view, container);
  void* nativeWindow = container->GetPtr();
  if (!nativeWindow) return;
  const int width = mPlug->GetEditorWidth(), height = mPlug->GetEditorHeight();
  mPlug->SetEditorParent(container->GetType(), nativeWindow);
  if (mPlug->HasUI()) mPlug->OpenWindow(nativeWindow);
  if (IPlugAAXView_Interface* view = mPlug->GetAAXViewInterface()) {
    SetViewContainerOf(*view, container);
    // The editor may have opened larger than the host asked for (a stored zoom, a dense
    // screen) before it knew the container: the host learns the size it actually has.
    if (mPlug->GetEditorWidth() != width || mPlug->GetEditorHeight() != height)
      container->SetViewSize(AAX_Point{static_cast<float>(mPlug->GetEditorHeight()),
                                       static_cast<float>(mPlug->GetEditorWidth())});
  }
}

void AAX_CEffectGUI_IPLUG::DeleteViewContainer() noexcept {
  if (!mPlug) return;
  if (IPlugAAXView_Interface* view = mPlug->GetAAXViewInterface())
    SetViewContainerOf(*view, nullptr);
  mPlug->CloseWindow();
}

AAX_Result AAX_CEffectGUI_IPLUG::GetViewSize(AAX_Point* outSize) const noexcept {
  if (!outSize) return AAX_ERROR_NULL_ARGUMENT;
  if (mPlug && mPlug->HasUI()) {
    outSize->vert = static_cast<float>(mPlug->GetEditorHeight());
    outSize->horz = static_cast<float>(mPlug->GetEditorWidth());
  }
  return AAX_SUCCESS;
}

AAX_Result AAX_CEffectGUI_IPLUG::SetControlHighlightInfo(AAX_CParamID id, AAX_CBoolean highlighted,
                                                         int32_t color) noexcept {
  IPlugAAXView_Interface* view = mPlug ? mPlug->GetAAXViewInterface() : nullptr;
  if (!view) return AAX_ERROR_INVALID_PARAMETER_ID;
  const long index = id ? std::strtol(id, nullptr, 10) : 0;
  if (index > 0 && index <= mPlug->NParams())
    view->SetHostParameterHighlight(static_cast<int>(index - 1), highlighted != 0, color);
  return AAX_SUCCESS;
}

}  // namespace iplug

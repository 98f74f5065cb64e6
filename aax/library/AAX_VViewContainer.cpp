#include "aax/library/AAX_VViewContainer.h"

AAX_VViewContainer::AAX_VViewContainer(IACFUnknown* viewContainer) noexcept
    : mHost(viewContainer, &IID_AAX_ViewContainerV1, &IID_AAX_ViewContainerV2,
            &IID_AAX_ViewContainerV3) {}

int32_t AAX_VViewContainer::GetType() const noexcept {
  int32_t type = AAX_eViewContainer_Type_NULL;
  if (auto* container = mHost.Newest1()) {
    if (container->GetType(&type) != AAX_SUCCESS) type = AAX_eViewContainer_Type_NULL;
  }
  return type;
}

void* AAX_VViewContainer::GetPtr() const noexcept {
  void* view = nullptr;
  if (auto* container = mHost.Newest1()) {
    if (container->GetPtr(&view) != AAX_SUCCESS) view = nullptr;
  }
  return view;
}

AAX_Result AAX_VViewContainer::GetModifiers(uint32_t* outModifiers) const noexcept {
  AAX_CALL_NEWEST(mHost, 1, GetModifiers(outModifiers));
}

AAX_Result AAX_VViewContainer::SetViewSize(const AAX_Point& size) const noexcept {
  AAX_CALL_NEWEST(mHost, 1, SetViewSize(&size));
}

AAX_Result AAX_VViewContainer::HandleParameterMouseDown(AAX_CParamID id,
                                                        uint32_t modifiers) const noexcept {
  AAX_CALL_NEWEST(mHost, 2, HandleParameterMouseDown(id, modifiers));
}

AAX_Result AAX_VViewContainer::HandleParameterMouseDrag(AAX_CParamID id,
                                                        uint32_t modifiers) const noexcept {
  AAX_CALL_NEWEST(mHost, 2, HandleParameterMouseDrag(id, modifiers));
}

AAX_Result AAX_VViewContainer::HandleParameterMouseUp(AAX_CParamID id,
                                                      uint32_t modifiers) const noexcept {
  AAX_CALL_NEWEST(mHost, 2, HandleParameterMouseUp(id, modifiers));
}

AAX_Result AAX_VViewContainer::HandleMultipleParametersMouseDown(
    const AAX_CParamID* ids, uint32_t count, uint32_t modifiers) const noexcept {
  AAX_CALL_NEWEST(mHost, 3, HandleMultipleParametersMouseDown(ids, count, modifiers));
}

AAX_Result AAX_VViewContainer::HandleMultipleParametersMouseDrag(
    const AAX_CParamID* ids, uint32_t count, uint32_t modifiers) const noexcept {
  AAX_CALL_NEWEST(mHost, 3, HandleMultipleParametersMouseDrag(ids, count, modifiers));
}

AAX_Result AAX_VViewContainer::HandleMultipleParametersMouseUp(const AAX_CParamID* ids,
                                                               uint32_t count,
                                                               uint32_t modifiers) const noexcept {
  AAX_CALL_NEWEST(mHost, 3, HandleMultipleParametersMouseUp(ids, count, modifiers));
}

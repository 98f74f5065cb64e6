#include "host/aaxhost/ViewContainer.h"

namespace aaxhost {

ViewContainer::ViewContainer()
    : HostObject(IID_AAX_ViewContainerV1, &IID_AAX_ViewContainerV2, &IID_AAX_ViewContainerV3) {}

void ViewContainer::SetNativeView(int32_t type, void* view) {
  mType = type;
  mView = view;
}

void ViewContainer::SetModifiers(uint32_t modifiers) {
  mModifiers = modifiers;
}

void ViewContainer::SetMouseEventResult(AAX_Result result) {
  mMouseResult = result;
}

AAX_Result ViewContainer::GetType(int32_t* outType) noexcept {
  if (!outType) return AAX_ERROR_NULL_ARGUMENT;
  *outType = mType;
  return AAX_SUCCESS;
}

AAX_Result ViewContainer::GetPtr(void** outNativeView) noexcept {
  if (!outNativeView) return AAX_ERROR_NULL_ARGUMENT;
  *outNativeView = mView;
  return AAX_SUCCESS;
}

AAX_Result ViewContainer::GetModifiers(uint32_t* outModifiers) noexcept {
  if (!outModifiers) return AAX_ERROR_NULL_ARGUMENT;
  *outModifiers = mModifiers;
  return AAX_SUCCESS;
}

AAX_Result ViewContainer::SetViewSize(const AAX_Point* size) noexcept {
  if (!size) return AAX_ERROR_NULL_ARGUMENT;
  if (!(size->vert > 0.0f) || !(size->horz > 0.0f)) return AAX_ERROR_INVALID_VIEW_SIZE;
  try {
    mSizeRequests.push_back(*size);
    return AAX_SUCCESS;
  } catch (...) {
    return AAX_ERROR_UNKNOWN_EXCEPTION;
  }
}

AAX_Result ViewContainer::Mouse(MouseEvent::Kind kind, const AAX_CParamID* ids, uint32_t count,
                                uint32_t modifiers) noexcept {
  if (!ids && count > 0) return AAX_ERROR_NULL_ARGUMENT;
  try {
    MouseEvent event{kind, {}, modifiers};
    for (uint32_t i = 0; i < count; ++i) event.parameterIDs.push_back(TextOf(ids[i]));
    mMouseEvents.push_back(std::move(event));
    return mMouseResult;
  } catch (...) {
    return AAX_ERROR_UNKNOWN_EXCEPTION;
  }
}

AAX_Result ViewContainer::HandleParameterMouseDown(AAX_CParamID id, uint32_t modifiers) noexcept {
  return Mouse(MouseEvent::Kind::kDown, &id, 1, modifiers);
}

AAX_Result ViewContainer::HandleParameterMouseDrag(AAX_CParamID id, uint32_t modifiers) noexcept {
  return Mouse(MouseEvent::Kind::kDrag, &id, 1, modifiers);
}

AAX_Result ViewContainer::HandleParameterMouseUp(AAX_CParamID id, uint32_t modifiers) noexcept {
  return Mouse(MouseEvent::Kind::kUp, &id, 1, modifiers);
}

AAX_Result ViewContainer::HandleMultipleParametersMouseDown(const AAX_CParamID* ids, uint32_t count,
                                                            uint32_t modifiers) noexcept {
  return Mouse(MouseEvent::Kind::kDown, ids, count, modifiers);
}

AAX_Result ViewContainer::HandleMultipleParametersMouseDrag(const AAX_CParamID* ids, uint32_t count,
                                                            uint32_t modifiers) noexcept {
  return Mouse(MouseEvent::Kind::kDrag, ids, count, modifiers);
}

AAX_Result ViewContainer::HandleMultipleParametersMouseUp(const AAX_CParamID* ids, uint32_t count,
                                                          uint32_t modifiers) noexcept {
  return Mouse(MouseEvent::Kind::kUp, ids, count, modifiers);
}

PageTable::PageTable(int32_t pages)
    : HostObject(IID_AAX_PageTableV1, nullptr, nullptr), mPages(pages) {}

AAX_Result PageTable::Clear() noexcept {
  mMappings.clear();
  return AAX_SUCCESS;
}

AAX_Result PageTable::GetNumPages(int32_t* outPages) noexcept {
  if (!outPages) return AAX_ERROR_NULL_ARGUMENT;
  *outPages = mPages;
  return AAX_SUCCESS;
}

AAX_Result PageTable::MapParameterID(AAX_CParamID parameterID, int32_t page,
                                     int32_t slot) noexcept {
  if (page < 0 || page >= mPages || slot < 0) return AAX_ERROR_INVALID_ARGUMENT;
  try {
    if (parameterID) {
      mMappings[{page, slot}] = parameterID;
    } else {
      mMappings.erase({page, slot});
    }
    return AAX_SUCCESS;
  } catch (...) {
    return AAX_ERROR_UNKNOWN_EXCEPTION;
  }
}

WindowViewContainer::WindowViewContainer(int32_t type, void* window, Resized resized)
    : mResized(std::move(resized)) {
  SetNativeView(type, window);
}

AAX_Result WindowViewContainer::SetViewSize(const AAX_Point* size) noexcept {
  const AAX_Result result = ViewContainer::SetViewSize(size);
  if (result != AAX_SUCCESS || !mResized) return result;
  try {
    mResized(static_cast<int>(size->horz), static_cast<int>(size->vert));
  } catch (...) {
    return AAX_ERROR_UNIMPLEMENTED;
  }
  return AAX_SUCCESS;
}

}  // namespace aaxhost

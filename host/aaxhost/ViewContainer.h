#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "aax/interfaces/AAX_IPageTable.h"
#include "aax/interfaces/AAX_IViewContainer.h"
#include "host/aaxhost/HostObject.h"

namespace aaxhost {

struct MouseEvent {
  enum class Kind { kDown, kDrag, kUp };
  Kind kind;
  std::vector<std::string> parameterIDs;
  uint32_t modifiers = 0;
};

/**
 * A frame for the editor. A command-line host has no window: by default it offers none (type
 * NULL, null pointer), records the sizes the editor asks for and declines parameter mouse events
 * so that the editor handles them itself. OffscreenViewContainer offers memory instead.
 */
class ViewContainer
    : public HostObject<AAX_IViewContainerV1, AAX_IViewContainerV2, AAX_IViewContainerV3> {
 public:
  ViewContainer();

  void SetNativeView(int32_t type, void* view);
  void SetModifiers(uint32_t modifiers);
  /** What the mouse-event operations return (AAX_SUCCESS: the host takes the event). */
  void SetMouseEventResult(AAX_Result result);
  const std::vector<AAX_Point>& SizeRequests() const noexcept { return mSizeRequests; }
  const std::vector<MouseEvent>& MouseEvents() const noexcept { return mMouseEvents; }

  AAX_Result GetType(int32_t* outType) noexcept override;
  AAX_Result GetPtr(void** outNativeView) noexcept override;
  AAX_Result GetModifiers(uint32_t* outModifiers) noexcept override;
  AAX_Result SetViewSize(const AAX_Point* size) noexcept override;
  AAX_Result HandleParameterMouseDown(AAX_CParamID id, uint32_t modifiers) noexcept override;
  AAX_Result HandleParameterMouseDrag(AAX_CParamID id, uint32_t modifiers) noexcept override;
  AAX_Result HandleParameterMouseUp(AAX_CParamID id, uint32_t modifiers) noexcept override;
  AAX_Result HandleMultipleParametersMouseDown(const AAX_CParamID* ids, uint32_t count,
                                               uint32_t modifiers) noexcept override;
  AAX_Result HandleMultipleParametersMouseDrag(const AAX_CParamID* ids, uint32_t count,
                                               uint32_t modifiers) noexcept override;
  AAX_Result HandleMultipleParametersMouseUp(const AAX_CParamID* ids, uint32_t count,
                                             uint32_t modifiers) noexcept override;

 private:
  AAX_Result Mouse(MouseEvent::Kind kind, const AAX_CParamID* ids, uint32_t count,
                   uint32_t modifiers) noexcept;

  int32_t mType = AAX_eViewContainer_Type_NULL;
  void* mView = nullptr;
  uint32_t mModifiers = 0;
  AAX_Result mMouseResult = AAX_ERROR_UNIMPLEMENTED;
  std::vector<AAX_Point> mSizeRequests;
  std::vector<MouseEvent> mMouseEvents;
};

/**
 * A frame for the editor in a window of the host's own: the editor opens as a child of it and
 * the host follows the sizes it asks for.
 */
class WindowViewContainer : public ViewContainer {
 public:
  using Resized = std::function<void(int width, int height)>;
  WindowViewContainer(int32_t type, void* window, Resized resized);

  AAX_Result SetViewSize(const AAX_Point* size) noexcept override;

 private:
  Resized mResized;
};

/** A control-surface page table: (page, slot) → parameter ID. */
class PageTable final : public HostObject<AAX_IPageTableV1> {
 public:
  explicit PageTable(int32_t pages = 0);

  const std::map<std::pair<int32_t, int32_t>, std::string>& Mappings() const noexcept {
    return mMappings;
  }

  AAX_Result Clear() noexcept override;
  AAX_Result GetNumPages(int32_t* outPages) noexcept override;
  AAX_Result MapParameterID(AAX_CParamID parameterID, int32_t page, int32_t slot) noexcept override;

 private:
  int32_t mPages;
  std::map<std::pair<int32_t, int32_t>, std::string> mMappings;
};

}  // namespace aaxhost

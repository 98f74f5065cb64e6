#pragma once

#include <cstdint>

// The host's view container lives in the AAX layer; the editor only passes the pointer on.
class AAX_IViewContainer;

namespace iplug {

/**
 * What the editor asks of the host's view container, supplied by the AAX bridge that knows the
 * container's interface (the editor does not include the AAX layer).
 */
struct HostViewContainerCalls {
  /** The host's modifier bits for the keyboard as it is now. */
  uint32_t (*GetModifiers)(AAX_IViewContainer* container) = nullptr;
  /** Offers a press on a parameter to the host; 0 when the host took it. */
  int32_t (*HandleParameterMouseDown)(AAX_IViewContainer* container, const char* paramID,
                                      uint32_t modifiers) = nullptr;
};

/**
 * What the AAX editor bridge reaches in the editor: the host's view container (attached by the
 * bridge, not owned) and control highlighting on the host's request.
 */
class IPlugAAXView_Interface {
 public:
  IPlugAAXView_Interface() = default;
  virtual ~IPlugAAXView_Interface() = default;
  IPlugAAXView_Interface(const IPlugAAXView_Interface&) = delete;
  IPlugAAXView_Interface& operator=(const IPlugAAXView_Interface&) = delete;

  /** color: the host's highlight colour index, 0 red, 1 blue, 2 green, 3 yellow. */
  virtual void SetHostParameterHighlight(int paramIdx, bool isHighlighted, int color) {}

  void SetViewContainer(AAX_IViewContainer* container) { mAAXViewContainer = container; }
  AAX_IViewContainer* GetViewContainer() const { return mAAXViewContainer; }
  void SetViewContainerCalls(const HostViewContainerCalls& calls) { mViewContainerCalls = calls; }
  const HostViewContainerCalls& GetViewContainerCalls() const { return mViewContainerCalls; }

 protected:
  AAX_IViewContainer* mAAXViewContainer = nullptr;
  HostViewContainerCalls mViewContainerCalls;
};

}  // namespace iplug

#pragma once

// The host's view container lives in the AAX layer; the editor only passes the pointer on.
class AAX_IViewContainer;

namespace iplug {

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

 protected:
  AAX_IViewContainer* mAAXViewContainer = nullptr;
};

}  // namespace iplug

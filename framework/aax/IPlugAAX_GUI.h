#pragma once

#include <cstdint>

#include "aax/library/AAX_CEffectGUI.h"
#include "graphics/IPlugAAXViewInterface.h"

class AAX_VViewContainer;

namespace iplug {

class IPlugAAX;

/**
 * The host's effect-GUI object of one instance: opens the framework editor inside the frame the
 * host's view container offers and closes it when the host takes the frame away. All calls on
 * the host's main thread.
 */
class AAX_CEffectGUI_IPLUG : public AAX_CEffectGUI {
 public:
  AAX_CEffectGUI_IPLUG();

  /** The creation procedure: a new object with one reference for the host, or null. */
  static IACFUnknown* Create();

  AAX_Result Uninitialize() noexcept override;
  /** The editor's size; unchanged when the plug-in has no editor. */
  AAX_Result GetViewSize(AAX_Point* outSize) const noexcept override;
  /** id "n" highlights parameter n − 1; "0" and texts that are no number do nothing. */
  AAX_Result SetControlHighlightInfo(AAX_CParamID id, AAX_CBoolean highlighted,
                                     int32_t color) noexcept override;

  /** The instance's plug-in object; null before Initialize or for a foreign instance. */
  IPlugAAX* GetPlug() const noexcept { return mPlug; }

 protected:
  void CreateViewContents() noexcept override;
  void CreateViewContainer() noexcept override;
  void DeleteViewContainer() noexcept override;

 private:
  IPlugAAX* mPlug = nullptr;
};

/**
 * The editor keeps the host's view container as an opaque pointer; the binding stores its
 * wrapper there. These two are the only places that convert.
 */
AAX_VViewContainer* ViewContainerOf(const IPlugAAXView_Interface& view);
void SetViewContainerOf(IPlugAAXView_Interface& view, AAX_VViewContainer* container);

}  // namespace iplug

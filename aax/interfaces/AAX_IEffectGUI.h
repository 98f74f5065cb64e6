#pragma once

/**
 * The plug-in's effect-GUI object as the host calls it. The host creates it through the
 * creation procedure kAAX_ProcPtrID_Create_EffectGUI, queries IID_AAX_EffectGUIV1 and calls
 * Initialize with a per-instance host unknown that offers the controller and transport and, under
 * IID_AAX_EffectParametersV1 ... V4, the instance's effect-parameters object. All calls are made
 * on the host's main thread.
 */

#include <cstdint>

#include "aax/interfaces/AAX_ACF.h"
#include "aax/interfaces/AAX_IString.h"
#include "aax/interfaces/AAX_Types.h"

class AAX_IEffectGUIV1 : public IACFUnknown {
 public:
  virtual AAX_Result Initialize(IACFUnknown* hostUnknown) noexcept = 0;
  virtual AAX_Result Uninitialize() noexcept = 0;
  virtual AAX_Result NotificationReceived(AAX_CTypeID type, const void* data,
                                          uint32_t size) noexcept = 0;
  /**
   * Gives the editor a frame (an object offering IID_AAX_ViewContainerV1 ...) or takes it away
   * (null): the editor opens inside it or closes.
   */
  virtual AAX_Result SetViewContainer(IACFUnknown* viewContainer) noexcept = 0;
  /** The editor's size; left unchanged when there is no editor. */
  virtual AAX_Result GetViewSize(AAX_Point* outSize) const noexcept = 0;
  /** The host asks the view to draw a region (hosts that draw for the plug-in). */
  virtual AAX_Result Draw(const AAX_Rect* region) noexcept = 0;
  /** Called periodically on the main thread while the GUI object exists. */
  virtual AAX_Result TimerWakeup() noexcept = 0;
  /** A parameter's value changed; the editor may show it. */
  virtual AAX_Result ParameterUpdated(AAX_CParamID id) noexcept = 0;
  /** A text the host may show for the plug-in (selector chosen by the host). */
  virtual AAX_Result GetCustomLabel(int32_t selector, AAX_IString* outLabel) const noexcept = 0;
  /** The host highlights a parameter's control (automation state); color is host-defined. */
  virtual AAX_Result SetControlHighlightInfo(AAX_CParamID id, AAX_CBoolean highlighted,
                                             int32_t color) noexcept = 0;

 protected:
  ~AAX_IEffectGUIV1() = default;
};

inline constexpr acfIID IID_AAX_EffectGUIV1 = AAX_MakeIID(AAX_eObjectKind_EffectGUI, 1);

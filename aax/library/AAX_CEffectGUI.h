#pragma once

#include <cstdint>
#include <memory>

#include "aax/interfaces/AAX_IEffectGUI.h"
#include "aax/interfaces/AAX_IEffectParameters.h"
#include "aax/library/AAX_VController.h"
#include "aax/library/AAX_VTransport.h"
#include "aax/library/AAX_VViewContainer.h"
#include "aax/library/ACFUnknown.h"

/**
 * Base of a plug-in's effect-GUI object. Holds, in this order, the controller wrapper, the
 * instance's effect-parameters interface, the view container wrapper (while a view is shown)
 * and the transport wrapper. Derived classes make the editor in the three view hooks. Created
 * with new (CACFUnknown).
 */
class AAX_CEffectGUI : public AAX_IEffectGUIV1, public CACFUnknown {
 public:
  AAX_CEffectGUI();
  ~AAX_CEffectGUI() override;

  AAX_ACF_UNKNOWN_FORWARDING

  /**
   * Wraps the controller (none: AAX_ERROR_NOT_INITIALIZED), obtains the effect-parameters
   * interface and the transport, then CreateViewContents.
   */
  AAX_Result Initialize(IACFUnknown* hostUnknown) noexcept override;
  /** Takes the view container away (as SetViewContainer(null)) and releases everything. */
  AAX_Result Uninitialize() noexcept override;
  AAX_Result NotificationReceived(AAX_CTypeID type, const void* data,
                                  uint32_t size) noexcept override;
  /**
   * Null: DeleteViewContainer, then the wrapper is released. Otherwise the container replaces
   * any previous one, CreateViewContainer runs, then UpdateAllParameters.
   */
  AAX_Result SetViewContainer(IACFUnknown* viewContainer) noexcept override;
  /** Base: leaves the size unchanged. */
  AAX_Result GetViewSize(AAX_Point* outSize) const noexcept override;
  AAX_Result Draw(const AAX_Rect* region) noexcept override;
  AAX_Result TimerWakeup() noexcept override;
  AAX_Result ParameterUpdated(AAX_CParamID id) noexcept override;
  /** Base: AAX_ERROR_NULL_OBJECT (no label). */
  AAX_Result GetCustomLabel(int32_t selector, AAX_IString* outLabel) const noexcept override;
  /** Base: AAX_ERROR_UNIMPLEMENTED. */
  AAX_Result SetControlHighlightInfo(AAX_CParamID id, AAX_CBoolean highlighted,
                                     int32_t color) noexcept override;

  AAX_VController* GetController() const noexcept { return mController.get(); }
  /** The instance's effect-parameters object (no reference added); null before Initialize. */
  AAX_IEffectParametersV1* GetEffectParameters() const noexcept { return mEffectParameters; }
  AAX_VViewContainer* GetViewContainer() const noexcept { return mViewContainer.get(); }
  AAX_VTransport* Transport() const noexcept { return mTransport.get(); }

 protected:
  /** Called once from Initialize; base does nothing. */
  virtual void CreateViewContents() noexcept;
  /** A container was set: open the editor inside it; base does nothing. */
  virtual void CreateViewContainer() noexcept;
  /** The container goes away: close the editor; base does nothing. */
  virtual void DeleteViewContainer() noexcept;
  /** Calls ParameterUpdated for the ID of every parameter of the effect-parameters object. */
  virtual void UpdateAllParameters() noexcept;

  ACFRESULT QueryInterfaceForID(const acfIID& iid, void** out) noexcept override;

 private:
  void ReleaseHostObjects() noexcept;

  std::unique_ptr<AAX_VController> mController;
  AAX_IEffectParametersV1* mEffectParameters = nullptr;
  std::unique_ptr<AAX_VViewContainer> mViewContainer;
  std::unique_ptr<AAX_VTransport> mTransport;
};

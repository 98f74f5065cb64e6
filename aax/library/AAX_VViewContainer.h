#pragma once

#include <cstdint>

#include "aax/interfaces/AAX_IViewContainer.h"
#include "aax/library/AAX_InterfaceVersions.h"

/** The host's frame around the editor. */
class AAX_VViewContainer {
 public:
  explicit AAX_VViewContainer(IACFUnknown* viewContainer) noexcept;
  AAX_VViewContainer(const AAX_VViewContainer&) = delete;
  AAX_VViewContainer& operator=(const AAX_VViewContainer&) = delete;

  bool IsValid() const noexcept { return mHost.Any(); }

  /** AAX_EViewContainer_Type; AAX_eViewContainer_Type_NULL when the host does not answer. */
  int32_t GetType() const noexcept;
  /** The native parent window, or null. */
  void* GetPtr() const noexcept;
  AAX_Result GetModifiers(uint32_t* outModifiers) const noexcept;
  AAX_Result SetViewSize(const AAX_Point& size) const noexcept;
  AAX_Result HandleParameterMouseDown(AAX_CParamID id, uint32_t modifiers) const noexcept;
  AAX_Result HandleParameterMouseDrag(AAX_CParamID id, uint32_t modifiers) const noexcept;
  AAX_Result HandleParameterMouseUp(AAX_CParamID id, uint32_t modifiers) const noexcept;
  AAX_Result HandleMultipleParametersMouseDown(const AAX_CParamID* ids, uint32_t count,
                                               uint32_t modifiers) const noexcept;
  AAX_Result HandleMultipleParametersMouseDrag(const AAX_CParamID* ids, uint32_t count,
                                               uint32_t modifiers) const noexcept;
  AAX_Result HandleMultipleParametersMouseUp(const AAX_CParamID* ids, uint32_t count,
                                             uint32_t modifiers) const noexcept;

 private:
  AAX_CInterfaceVersions<AAX_IViewContainerV1, AAX_IViewContainerV2, AAX_IViewContainerV3> mHost;
};

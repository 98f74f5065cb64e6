#pragma once

#include <cstdint>

#include "aax/interfaces/AAX_ACF.h"
#include "aax/interfaces/AAX_Types.h"

/**
 * The host's frame around the plug-in's editor, handed to the effect-GUI object through
 * SetViewContainer.
 */
class AAX_IViewContainerV1 : public IACFUnknown {
 public:
  /** What GetPtr returns (AAX_EViewContainer_Type). */
  virtual AAX_Result GetType(int32_t* outType) noexcept = 0;
  /** The native parent window; null when the host has none. */
  virtual AAX_Result GetPtr(void** outNativeView) noexcept = 0;
  /** AAX_EModifiers bits held right now. */
  virtual AAX_Result GetModifiers(uint32_t* outModifiers) noexcept = 0;
  /** Asks the host to resize its frame to the view's new size. */
  virtual AAX_Result SetViewSize(const AAX_Point* size) noexcept = 0;

 protected:
  ~AAX_IViewContainerV1() = default;
};

/**
 * Mouse events on a parameter's control that the host may want to handle itself (for example
 * automation shortcuts). Result AAX_SUCCESS: the host took the event and the plug-in drops it.
 */
class AAX_IViewContainerV2 : public AAX_IViewContainerV1 {
 public:
  virtual AAX_Result HandleParameterMouseDown(AAX_CParamID parameterID,
                                              uint32_t modifiers) noexcept = 0;
  virtual AAX_Result HandleParameterMouseDrag(AAX_CParamID parameterID,
                                              uint32_t modifiers) noexcept = 0;
  virtual AAX_Result HandleParameterMouseUp(AAX_CParamID parameterID,
                                            uint32_t modifiers) noexcept = 0;

 protected:
  ~AAX_IViewContainerV2() = default;
};

class AAX_IViewContainerV3 : public AAX_IViewContainerV2 {
 public:
  virtual AAX_Result HandleMultipleParametersMouseDown(const AAX_CParamID* parameterIDs,
                                                       uint32_t count,
                                                       uint32_t modifiers) noexcept = 0;
  virtual AAX_Result HandleMultipleParametersMouseDrag(const AAX_CParamID* parameterIDs,
                                                       uint32_t count,
                                                       uint32_t modifiers) noexcept = 0;
  virtual AAX_Result HandleMultipleParametersMouseUp(const AAX_CParamID* parameterIDs,
                                                     uint32_t count,
                                                     uint32_t modifiers) noexcept = 0;

 protected:
  ~AAX_IViewContainerV3() = default;
};

inline constexpr acfIID IID_AAX_ViewContainerV1 = AAX_MakeIID(AAX_eObjectKind_ViewContainer, 1);
inline constexpr acfIID IID_AAX_ViewContainerV2 = AAX_MakeIID(AAX_eObjectKind_ViewContainer, 2);
inline constexpr acfIID IID_AAX_ViewContainerV3 = AAX_MakeIID(AAX_eObjectKind_ViewContainer, 3);

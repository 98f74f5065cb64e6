#include "aax/library/AAX_CEffectGUI.h"

#include "aax/library/AAX_Assert.h"
#include "aax/library/AAX_CString.h"
#include "aax/library/AAX_Exception.h"

AAX_CEffectGUI::AAX_CEffectGUI() = default;

AAX_CEffectGUI::~AAX_CEffectGUI() {
  ReleaseHostObjects();
}

ACFRESULT AAX_CEffectGUI::QueryInterfaceForID(const acfIID& iid, void** out) noexcept {
  if (iid == IID_AAX_EffectGUIV1) {
    *out = static_cast<AAX_IEffectGUIV1*>(this);
    return ACF_OK;
  }
  return CACFUnknown::QueryInterfaceForID(iid, out);
}

AAX_Result AAX_CEffectGUI::Initialize(IACFUnknown* hostUnknown) noexcept {
  return AAX_CallGuarded("AAX_CEffectGUI::Initialize", [&]() -> AAX_Result {
    auto controller = std::make_unique<AAX_VController>(hostUnknown);
    if (!controller->IsValid()) return AAX_ERROR_NOT_INITIALIZED;
    ReleaseHostObjects();
    mController = std::move(controller);
    mEffectParameters =
        AAX_QueryInterface<AAX_IEffectParametersV1>(hostUnknown, IID_AAX_EffectParametersV1);
    mTransport = std::make_unique<AAX_VTransport>(hostUnknown);
    CreateViewContents();
    return AAX_SUCCESS;
  });
}

AAX_Result AAX_CEffectGUI::Uninitialize() noexcept {
  if (mViewContainer) SetViewContainer(nullptr);
  ReleaseHostObjects();
  return AAX_SUCCESS;
}

void AAX_CEffectGUI::ReleaseHostObjects() noexcept {
  mViewContainer.reset();
  if (mEffectParameters) {
    mEffectParameters->Release();
    mEffectParameters = nullptr;
  }
  mController.reset();
  mTransport.reset();
}

AAX_Result AAX_CEffectGUI::NotificationReceived(AAX_CTypeID, const void*, uint32_t) noexcept {
  return AAX_SUCCESS;
}

AAX_Result AAX_CEffectGUI::SetViewContainer(IACFUnknown* viewContainer) noexcept {
  return AAX_CallGuarded("AAX_CEffectGUI::SetViewContainer", [&]() -> AAX_Result {
    if (!viewContainer) {
      DeleteViewContainer();
      mViewContainer.reset();
      return AAX_SUCCESS;
    }
    mViewContainer = std::make_unique<AAX_VViewContainer>(viewContainer);
    CreateViewContainer();
    UpdateAllParameters();
    return AAX_SUCCESS;
  });
}

AAX_Result AAX_CEffectGUI::GetViewSize(AAX_Point*) const noexcept {
  return AAX_SUCCESS;
}

AAX_Result AAX_CEffectGUI::Draw(const AAX_Rect*) noexcept {
  return AAX_SUCCESS;
}

AAX_Result AAX_CEffectGUI::TimerWakeup() noexcept {
  return AAX_SUCCESS;
}

AAX_Result AAX_CEffectGUI::ParameterUpdated(AAX_CParamID) noexcept {
  return AAX_SUCCESS;
}

AAX_Result AAX_CEffectGUI::GetCustomLabel(int32_t, AAX_IString*) const noexcept {
  return AAX_ERROR_NULL_OBJECT;
}

AAX_Result AAX_CEffectGUI::SetControlHighlightInfo(AAX_CParamID, AAX_CBoolean, int32_t) noexcept {
  return AAX_ERROR_UNIMPLEMENTED;
}

void AAX_CEffectGUI::CreateViewContents() noexcept {}

void AAX_CEffectGUI::CreateViewContainer() noexcept {}

void AAX_CEffectGUI::DeleteViewContainer() noexcept {}

void AAX_CEffectGUI::UpdateAllParameters() noexcept {
  if (!mEffectParameters) return;
  int32_t count = 0;
  if (mEffectParameters->GetNumberOfParameters(&count) != AAX_SUCCESS) {
    AAX_TRACE(AAX_eTracePriority_Critical,
              "AAX_CEffectGUI::UpdateAllParameters - error getting the number of parameters");
    return;
  }
  AAX_CString id;
  for (int32_t i = 0; i < count; ++i) {
    if (mEffectParameters->GetParameterIDFromIndex(i, &id) == AAX_SUCCESS)
      ParameterUpdated(id.Get());
  }
}

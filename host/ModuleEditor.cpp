#include "host/ModuleEditor.h"

#include <cstdio>

#include "host/HostError.h"

namespace corvane::host {

namespace {

/** How often the host wakes the GUI object, as it wakes the effect-parameters object. */
constexpr uint32_t kWakeUpIntervalMs = 20;

std::string ModuleName(const ModuleHost& module) {
  return "module '" + module.Path().string() + "'";
}

}  // namespace

bool ModuleHasEditor(const ModuleHost& module) {
  const auto& effects = module.Description().effects;
  return !effects.empty() && effects.front().FindProcPtr(kAAX_ProcPtrID_Create_EffectGUI);
}

ModuleEditor::ModuleEditor(ModuleInstance& instance) : mInstance(instance) {
  ModuleHost& module = instance.Module();
  const AAX_CCreateObjectProc create = module.Effect().FindProcPtr(kAAX_ProcPtrID_Create_EffectGUI);
  if (!create) throw HostError(ModuleName(module) + " has no editor");
  mObject = create();
  if (!mObject) throw HostError(kExitFailure, ModuleName(module) + " could not create its editor");
  mGui = AAX_QueryInterface<AAX_IEffectGUIV1>(mObject, IID_AAX_EffectGUIV1);
  if (!mGui) {
    Destroy();
    throw HostError(kExitFailure, ModuleName(module) + " made an editor object without a GUI");
  }
  if (const AAX_Result result = mGui->Initialize(&instance.Host()); result != AAX_SUCCESS) {
    Destroy();
    throw HostError(kExitFailure, "the editor of " + ModuleName(module) +
                                      " refused to initialize (" + std::to_string(result) + ")");
  }
  mInitialized = true;
  module.RunLoop().AddTimer(kWakeUpIntervalMs, &ModuleEditor::WakeUp, this, &mWakeUpTimer);
}

ModuleEditor::~ModuleEditor() {
  Destroy();
}

void ModuleEditor::Destroy() noexcept {
  if (mWakeUpTimer != 0) mInstance.Module().RunLoop().RemoveTimer(mWakeUpTimer);
  mWakeUpTimer = 0;
  if (mGui) {
    // A host takes the view away before it uninitializes, though Uninitialize would too.
    if (mContainer || mWindowContainer) Close();
    if (mInitialized) mGui->Uninitialize();
    mInitialized = false;
    mGui->Release();
    mGui = nullptr;
  }
  if (mObject) mObject->Release();
  mObject = nullptr;
  try {
    mInstance.ApplyPostedRequests();
  } catch (...) {
  }
}

void ModuleEditor::WakeUp(void* context, uint64_t) noexcept {
  auto* self = static_cast<ModuleEditor*>(context);
  if (self->mGui) self->mGui->TimerWakeup();
}

AAX_Point ModuleEditor::ViewSize() const {
  AAX_Point size{0.0f, 0.0f};
  mGui->GetViewSize(&size);
  return size;
}

bool ModuleEditor::Open(float drawScale, float screenScale) {
  auto container = std::make_unique<aaxhost::OffscreenViewContainer>(screenScale, drawScale);
  mGui->SetViewContainer(static_cast<AAX_IViewContainerV1*>(container.get()));
  // The previous container, if any, was replaced: the plug-in let go of it or still may not.
  if (mWindowContainer) Close();
  if (mContainer) {
    if (mContainer->References() == 0)
      mContainer.reset();
    else
      mRetired.push_back(std::move(mContainer));
  }
  mContainer = std::move(container);
  mInstance.ApplyPostedRequests();
  return mContainer->EditorAttached();
}

void ModuleEditor::OpenInWindow(uint32_t window, aaxhost::WindowViewContainer::Resized resized) {
  Close();
  auto container = std::make_unique<aaxhost::WindowViewContainer>(
      AAX_eViewContainer_Type_X11Window, reinterpret_cast<void*>(static_cast<uintptr_t>(window)),
      std::move(resized));
  mGui->SetViewContainer(static_cast<AAX_IViewContainerV1*>(container.get()));
  mWindowContainer = std::move(container);
  mInstance.ApplyPostedRequests();
}

void ModuleEditor::Close() {
  if (!mContainer && !mWindowContainer) return;
  mGui->SetViewContainer(nullptr);
  mInstance.ApplyPostedRequests();
  for (auto* container : {static_cast<aaxhost::ViewContainer*>(mContainer.get()),
                          static_cast<aaxhost::ViewContainer*>(mWindowContainer.get())}) {
    if (!container || container->References() == 0) continue;
    if (container == mContainer.get())
      mRetired.push_back(std::move(mContainer));
    else
      mRetired.push_back(std::move(mWindowContainer));
  }
  mContainer.reset();
  mWindowContainer.reset();
}

int32_t ModuleEditor::Send(const AAX_OffscreenEvent& event) {
  if (!mContainer) return -1;
  const int32_t taken = mContainer->Send(event);
  mInstance.ApplyPostedRequests();
  return taken;
}

bool ModuleEditor::Tick() {
  if (!mContainer) return false;
  const bool ticked = mContainer->Tick();
  mInstance.ApplyPostedRequests();
  return ticked;
}

std::vector<aaxhost::Gesture> ModuleEditor::TakeGestures() {
  return mInstance.Host().GetAutomationDelegate().TakeGestures();
}

int32_t ModuleEditor::RetiredContainerReferences() const {
  int32_t references = 0;
  for (const auto& container : mRetired) references += container->References();
  return references;
}

std::string GestureLine(const aaxhost::Gesture& gesture, const ModuleInstance& instance) {
  const std::string who = gesture.parameterID + " " + instance.ParameterName(gesture.parameterID);
  switch (gesture.kind) {
    case aaxhost::Gesture::Kind::kTouch:
      return "touch " + who;
    case aaxhost::Gesture::Kind::kRelease:
      return "release " + who;
    case aaxhost::Gesture::Kind::kSet:
      break;
  }
  char value[32];
  std::snprintf(value, sizeof value, "%.6f", gesture.value);
  return "set " + who + " " + value + " " +
         instance.TextForNormalized(gesture.parameterID, gesture.value);
}

}  // namespace corvane::host

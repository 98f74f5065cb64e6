#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "aax/interfaces/AAX_IEffectGUI.h"
#include "aax/interfaces/AAX_OffscreenView.h"
#include "host/ModuleHost.h"
#include "host/aaxhost/AutomationDelegate.h"
#include "host/aaxhost/OffscreenViewContainer.h"
#include "host/aaxhost/ViewContainer.h"

namespace corvane::host {

/** The module describes an effect-GUI creation procedure. */
bool ModuleHasEditor(const ModuleHost& module);

/**
 * The effect-GUI object of one instance, made and driven the way a host shows a plug-in's
 * editor: created with the module's GUI creation procedure, initialized with the instance's host
 * unknown (controller, transport, the effect-parameters object), woken by the host's timer, and
 * given a view container to open the editor in. Here the container is an offscreen one: the
 * editor draws into memory and takes pointer events from the host.
 *
 * Taking it down runs the other way: the container goes (the editor closes), the object is
 * uninitialized and released. The instance must outlive this object.
 */
class ModuleEditor {
 public:
  /** Throws HostError: usage status when the module describes no editor, failure status when
   * the object cannot be made or refuses to initialize. */
  explicit ModuleEditor(ModuleInstance& instance);
  ~ModuleEditor();
  ModuleEditor(const ModuleEditor&) = delete;
  ModuleEditor& operator=(const ModuleEditor&) = delete;

  /** GetViewSize: the size of the editor's window in pixels, zoom and screen scale included;
   * before it opens, its size at zoom 1 (vert, horz). */
  AAX_Point ViewSize() const;

  /**
   * Gives the object a new offscreen container with these scales (replacing any before it) and
   * returns whether the editor opened in it. A draw scale of 0 would let the editor use the
   * user's stored zoom; pictures want a fixed one.
   */
  bool Open(float drawScale, float screenScale);
  /**
   * Gives the object a container holding a window of the host's (an X11 window id), replacing
   * any before it; resized follows the sizes the editor asks for. Whether the editor opened is
   * the window's to tell (it has a child).
   */
  void OpenInWindow(uint32_t window, aaxhost::WindowViewContainer::Resized resized);
  /** SetViewContainer(null): the editor closes. Nothing when no container is set. */
  void Close();
  bool HasContainer() const { return mContainer != nullptr; }
  /** The editor filled its part of the current container's view. */
  bool EditorAttached() const { return mContainer && mContainer->EditorAttached(); }
  /** The current container; only while HasContainer(). */
  aaxhost::OffscreenViewContainer& Container() { return *mContainer; }
  const aaxhost::OffscreenViewContainer& Container() const { return *mContainer; }

  /**
   * Delivers a pointer event and then does what a host does with the value requests the
   * editor made meanwhile: writes them back to the plug-in. Returns as the container's Send.
   */
  int32_t Send(const AAX_OffscreenEvent& event);
  /** Asks the editor for a frame now; false without an editor. */
  bool Tick();

  /** The gestures the host's automation saw since the last call, in order. */
  std::vector<aaxhost::Gesture> TakeGestures();

  /** References the plug-in still holds on containers it was given and had taken away again. */
  int32_t RetiredContainerReferences() const;

 private:
  static void WakeUp(void* context, uint64_t timerID) noexcept;
  void Destroy() noexcept;

  ModuleInstance& mInstance;
  IACFUnknown* mObject = nullptr;
  AAX_IEffectGUIV1* mGui = nullptr;
  bool mInitialized = false;
  uint64_t mWakeUpTimer = 0;
  std::unique_ptr<aaxhost::OffscreenViewContainer> mContainer;
  std::unique_ptr<aaxhost::WindowViewContainer> mWindowContainer;
  // A container the plug-in still holds after it was taken away must stay valid for it.
  std::vector<std::unique_ptr<aaxhost::ViewContainer>> mRetired;
};

/**
 * One line for a gesture, as `snapshot` prints it: "touch ID NAME", "set ID NAME NORMALIZED
 * TEXT" (six decimals; the text as the plug-in shows that value) or "release ID NAME".
 */
std::string GestureLine(const aaxhost::Gesture& gesture, const ModuleInstance& instance);

}  // namespace corvane::host

#pragma once

#include <lv2/core/lv2.h>
#include <lv2/ui/ui.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "framework/lv2/IPlugLV2.h"

namespace iplug {

class LV2UIRunLoop;

/**
 * One instance of the plug-in's own LV2 UI: the editor as a child of the host's X11 window.
 *
 * The editor's delegate is a plug-in object of the product, made for the UI alone (no audio
 * runs on it): it owns the parameters as the plug-in defines them, so the editor and whatever
 * the product derives from the values (a curve picture) behave as in every other format. The
 * host reports the plug-in's port values with port events: a parameter's port moves its
 * control and is taken as a host change; a monitor port becomes a sender record for its
 * control. The user's edits go to the parameter's port through the host's write function,
 * framed by ui:touch when the host offers it; the editor's size goes to the host with
 * ui:resize. The host's idle calls pump the UIs' run loop (LV2UIRunLoop), on which the
 * editor's platform layer runs its display and watches its connection.
 *
 * [main]: every call is on the host's UI thread.
 */
class IPlugLV2UI final : public LV2UIHostLink {
 public:
  /**
   * Null when the plug-in is not one of the bundle's, the host gives no parent window, or no
   * editor opens in it.
   */
  static std::unique_ptr<IPlugLV2UI> Create(const char* pluginUri, LV2UI_Write_Function write,
                                            LV2UI_Controller controller,
                                            const LV2_Feature* const* features) noexcept;
  /** Closes the editor; the last UI of the process gives the run loop back. */
  ~IPlugLV2UI() override;
  IPlugLV2UI(const IPlugLV2UI&) = delete;
  IPlugLV2UI& operator=(const IPlugLV2UI&) = delete;

  /** The editor's window, as the X11 window id. */
  LV2UI_Widget Widget() const { return mWidget; }
  const LV2PortLayout& Layout() const { return mLayout; }
  IPlugLV2& Plug() { return *mPlug; }

  /** Only float values of control ports (format 0) mean anything; the rest is ignored. */
  void PortEvent(uint32_t port, uint32_t size, uint32_t format, const void* buffer) noexcept;
  /** Pumps the run loop; 0 while the editor shows, 1 once its window is gone. */
  int Idle() noexcept;

  // LV2UIHostLink
  void ParamGesture(int paramIdx, bool begins) override;
  void ParamValue(int paramIdx, double value) override;
  bool ResizeRequest(int width, int height) override;

 private:
  IPlugLV2UI(const LV2PortLayout& layout, LV2UI_Write_Function write, LV2UI_Controller controller,
             const LV2_Feature* const* features);
  bool Open(uintptr_t parent);
  void HostValue(int paramIdx, float value);
  void MonitorValue(int monitor, float value);

  LV2PortLayout mLayout;
  LV2UI_Write_Function mWrite = nullptr;
  LV2UI_Controller mController = nullptr;
  const LV2UI_Resize* mResize = nullptr;
  const LV2UI_Touch* mTouch = nullptr;
  LV2UIRunLoop* mLoop = nullptr;
  std::unique_ptr<IPlugLV2> mPlug;
  // Parameters the user is changing: the host's reports of them lag behind and are not taken.
  std::vector<bool> mGestures;
  LV2UI_Widget mWidget = nullptr;
};

/**
 * Provided by the product's UI module. [main] A plug-in object for an editor, or null: its
 * graphics factory makes the platform layer for EditorParentKind() and EditorParent() (an X11
 * window here), and its layout builds the editor.
 */
IPlugLV2* MakePlugLV2UI();

}  // namespace iplug

#pragma once

#include <xcb/xcb.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "framework/IRunLoop.h"
#include "graphics/cairo/IGraphicsCairo.h"
#include "graphics/x11/X11Display.h"
#include "graphics/x11/X11Menu.h"
#include "resources/EmbeddedResources.h"

namespace iplug::igraphics {

namespace x11 {
class X11TextEntry;
class X11Tooltip;
class X11Clipboard;
}  // namespace x11

namespace x11 {
class HelperDialog;
class X11DragSource;
class X11DropTarget;
}  // namespace x11

/**
 * The X11 platform layer: the Cairo backend shown in a child window of the host's, on xcb.
 * Every editor of the process shares one connection, watched on the host's run loop
 * (iplug::GetRunLoop()), and ticks the display at the server's vertical blanks (the Present
 * extension) where it counts them, else on a timer of that loop; nothing here ever
 * waits for the host's thread to be free. Frames go to the server through MIT-SHM where it
 * has it, else in PutImage requests; keys come through xkbcommon, and the keys the editor
 * leaves alone go on to the host's top-level window. Resources come from the program's
 * embedded table, like the headless layer's.
 *
 * The text field is a child window drawn here too; tooltips are override-redirect windows;
 * the clipboard is shared by every editor of the process (X11Clipboard).
 *
 * Popup menus are override-redirect windows holding the grabs while open and answer later,
 * through ApplyMenuResult (X11Menu). The window takes file drops and drags files out over
 * XDND (X11DragDrop). Dialogs are helper programs (zenity, kdialog) whose answers arrive on a
 * watched descriptor, and only to a completion function (X11Dialogs); URLs and folders go to
 * xdg-open, unwaited for. Installed fonts are found through fontconfig (X11Fonts).
 *
 * If the display cannot be opened, or the parent does not exist, OpenWindow returns null and
 * LastError says why in one line. If the server goes away, every editor stops drawing and
 * becomes a closed editor; the loss is told once.
 *
 * Main thread only.
 */
class IGraphicsX11 : public IGraphicsCairo, private x11::X11Display::Client {
 public:
  IGraphicsX11(IGEditorDelegate& delegate, int width, int height, int fps = 60,
               float drawScale = 1.f,
               const resources::ResourceTable& resources = resources::ModuleResources());
  ~IGraphicsX11() override;

  /** Why the last OpenWindow failed, or that the connection was lost; "" otherwise. */
  static const char* LastError();

  /**
   * One display tick, as the timer runs it: follows a change of the desktop's screen scale
   * (not during a drag), draws the dirty controls and presents what changed.
   */
  void Tick();

  // ---- For tests and troubleshooting ----

  /**
   * Whether frames may go through shared memory, and the most bytes one PutImage request may
   * carry otherwise (0: what the server allows). Takes effect at the next surface resize.
   */
  void SetPresentOptions(bool allowSharedMemory, size_t maxRequestBytes = 0);
  bool UsesSharedMemory() const { return mShmSegment != 0; }
  /** Display ticks the server's vertical blanks (the Present extension) have driven. */
  int VerticalBlankTicks() const { return mVBlankTicks; }
  /** Frames drawn and handed to the server so far. */
  int FramesPresented() const { return mFramesPresented; }
  /** True while a frame is on its way to the server or waits to go. */
  bool PresentPending() const { return mFencePending || !mDamage.Empty(); }
  /** The X window the editor was opened in; XCB_NONE while closed. */
  xcb_window_t ParentWindow() const { return mParent; }
  /** The text field open now, or null. */
  const x11::X11TextEntry* TextEntryField() const { return mTextEntry.get(); }
  /** The tooltip window while one is showing, or null. */
  const x11::X11Tooltip* ShowingTooltip() const;
  /** The popup menu open now, or null. */
  const x11::X11Menu* OpenPopupMenu() const { return mMenu.get(); }
  /** Dialog helpers still running. */
  int RunningDialogs() const;
  /** A file drag out of the editor is under way (or waits for its target to finish). */
  bool DragOutActive() const;

  // ---- Platform operations ----

  void QueryPointerPosition(float& x, float& y) const override;
  void HidePointer(bool hide, bool lock) override;
  void WarpPointer(float x, float y) override;
  ECursor SetPointerShape(ECursor shape) override;
  void AbortTextEntry() override;
  /**
   * parent: the X window id, as reinterpret_cast<void*>(uintptr_t(xid)). Returns our window's
   * id the same way, or null (see LastError).
   */
  void* OpenWindow(void* parent) override;
  void CloseWindow() override;
  void* NativeWindow() const override;
  bool ReadClipboardText(std::string& text) override;
  bool WriteClipboardText(const char* text) override;
  bool WriteClipboardFilePath(const char* path) override;
  EMsgBoxResult ShowMessageBox(const char* text, const char* caption, EMsgBoxType type,
                               MsgBoxCompletionFunction completion = nullptr) override;
  void ChooseFile(std::string& fileName, std::string& path, EFileAction action,
                  const char* extensions,
                  FileDialogCompletionFunction completion = nullptr) override;
  void ChooseDirectory(std::string& path,
                       FileDialogCompletionFunction completion = nullptr) override;
  bool PickColor(IArgb& color, const char* title,
                 ColorPickerCompletionFunction completion = nullptr) override;
  bool OpenURL(const char* url, const char* windowTitle = nullptr,
               const char* confirmText = nullptr, const char* errorText = nullptr) override;
  const char* PlatformName() const override { return "x11"; }
  bool ShowInFileBrowser(const char* path, bool select) override;
  /** Starts the drag and returns at once; the drag ends with the button's release. */
  bool StartFileDragOut(const char* path, const IBox& iconBounds) override;
  void SetModuleInstance(void* instance) override { mModuleInstance = instance; }
  void* ModuleInstance() const override { return mModuleInstance; }
  /** An installed font found through fontconfig; null when that family is not installed. */
  std::unique_ptr<PlatformFont> LoadNativeFont(const char* fontID, const char* family,
                                               EFontStyle style) override;
  std::unique_ptr<PlatformFont> LoadNativeFont(const char* fontID, const void* data,
                                               int size) override;
  /** An embedded "ttf" resource by name. */
  std::unique_ptr<PlatformFont> LoadNativeFont(const char* fontID,
                                               const char* fileOrResourceName) override;
  void CacheNativeFont(const char* fontID, std::unique_ptr<PlatformFont> font) override;
  EResourceLocation ResolveResource(const char* name, const char* type,
                                    std::string& found) const override;
  const uint8_t* ModuleResourceBytes(const char* found, const char* type, int& size) const override;
  void ShowNativeTextField(int paramIdx, const ITextStyle& style, const IBox& bounds, int maxLength,
                           const char* text) override;
  IMenuModel* ShowNativeMenu(IMenuModel& menu, const IBox& bounds, bool& isAsync) override;
  bool SupportsMultiTouch() const override { return false; }
  float WindowScale() const override { return GetScreenScale(); }
  void ResizeNativeWindow(bool parentHasResized) override;
  /** Also makes the shared-memory segment the new surface needs. */
  void OnSurfaceResize() override;

 protected:
  void PresentFrame() override;

 private:
  /** The buttons whose state a pointer event carries, held. */
  static constexpr uint16_t kButtonsHeld =
      XCB_BUTTON_MASK_1 | XCB_BUTTON_MASK_2 | XCB_BUTTON_MASK_3;
  /** A pixel rectangle of the window, [x0, x1) × [y0, y1). */
  struct PixelRect {
    int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    bool Empty() const { return x1 <= x0 || y1 <= y0; }
    void Add(int ax0, int ay0, int ax1, int ay1);
  };

  // X11Display::Client
  bool ConcernsWindow(xcb_window_t window) const override;
  void OnXEvent(const xcb_generic_event_t& event) override;
  void OnEventsDrained() override;
  void OnConnectionLost() override;

  /** The connection, while our window exists and the server is there; else null. */
  xcb_connection_t* Live() const;
  bool Fail(const std::string& reason);
  void StartTick();
  void StopTick();
  /** Asks the server for a notification at its next vertical blank. */
  void RequestVerticalBlank();
  void OnVerticalBlank();
  /** Vertical blanks arrive, so the timer stands by. */
  bool VerticalBlanksArrive() const;
  /** Forgets the window the server no longer has. */
  void WindowGone();
  /** Frees what presenting holds; talks to the server only while it is there. */
  void ReleasePresentation();
  void MakeSharedMemory();
  void FreeSharedMemory();
  /** Sends the damaged rectangle of the surface, unless a frame is still on its way. */
  void Present();
  void PutImageBands(xcb_connection_t* c, const PixelRect& r);
  void ApplyCursor();

  // Popup menu, drops and dialogs.
  /** Offers an event to the open menu; true when the editor must not see it. */
  bool MenuTakesEvent(const xcb_generic_event_t& event);
  /** Closes the open menu without a choice, telling the graphics context when tell is set. */
  void DismissMenu(bool tell);
  void OnDrop(const std::vector<std::string>& paths, int windowX, int windowY);
  /** Runs a dialog helper; false when it cannot be started. */
  bool RunDialog(const std::vector<std::string>& argv,
                 std::function<void(int exitCode, const std::string& output)> done);
  void EndDialogs();

  // Text field, tooltips and clipboard.
  /**
   * Takes the field's events and the editor's that an open field stops, and follows the pointer
   * for tooltips; true when the editor must not handle the event itself.
   */
  bool TextEntryTakesEvent(const xcb_generic_event_t& event);
  /** Acts on a cancel or commit the field asked for; true while the tick must do nothing else. */
  bool TickTextEntry();
  void CloseTextEntry();
  void HideTooltip();
  void UpdateTooltip(int16_t rootX, int16_t rootY);
  void ShowPendingTooltip();
  x11::X11Clipboard* Clipboard();

  void OnButtonPress(const xcb_button_press_event_t& event);
  void OnButtonRelease(const xcb_button_release_event_t& event);
  void OnMotion(const xcb_motion_notify_event_t& event);
  void OnKey(const xcb_key_press_event_t& event, bool isUp);
  /** Hands a key the editor left alone to the host's top-level window. */
  void ForwardKey(const xcb_key_press_event_t& event);
  IPointerEvent PointerAt(int16_t px, int16_t py, uint16_t state);

  const resources::ResourceTable& mResources;
  void* mModuleInstance = nullptr;

  x11::X11Display* mDisplay = nullptr;
  xcb_window_t mWindow = XCB_NONE;
  xcb_window_t mParent = XCB_NONE;
  uint8_t mDepth = 0;
  xcb_gcontext_t mGC = XCB_NONE;
  int mWindowW = 0;
  int mWindowH = 0;

  IRunLoop* mLoop = nullptr;
  IRunLoop::Id mTimer = IRunLoop::kInvalidId;
  uint32_t mPresentEvent = XCB_NONE;  // our Present event context while ticking on blanks
  uint32_t mBlankSerial = 0;
  int64_t mLastBlankMs = -1;
  int mVBlankTicks = 0;
  /** Ticks the loop delivers late hold this weakly, so they never reach a deleted editor. */
  std::shared_ptr<IGraphicsX11*> mAlive;
  float mResourceScale = 1.f;

  bool mAllowShm = true;
  size_t mMaxPutBytes = 0;
  uint32_t mShmSegment = 0;
  uint8_t* mShmData = nullptr;
  int mShmWidth = 0;
  int mShmHeight = 0;
  std::vector<uint8_t> mBand;
  PixelRect mDamage;
  bool mFencePending = false;
  unsigned int mFence = 0;
  int mFramesPresented = 0;

  float mPointerX = 0.f;
  float mPointerY = 0.f;
  ECursor mCursor = ECursor::Arrow;
  uint8_t mLastPressButton = 0;
  xcb_timestamp_t mLastPressTime = 0;
  int mLastPressX = 0;
  int mLastPressY = 0;

  std::unique_ptr<x11::X11TextEntry> mTextEntry;
  std::unique_ptr<x11::X11Tooltip> mTooltip;
  int mTooltipIdx = -1;
  int mTooltipX = 0, mTooltipY = 0;
  IRunLoop::Id mTooltipTimer = IRunLoop::kInvalidId;
  x11::X11Clipboard* mClipboard = nullptr;

  std::unique_ptr<x11::X11Menu> mMenu;
  std::unique_ptr<x11::X11DropTarget> mDropTarget;
  std::unique_ptr<x11::X11DragSource> mDragOut;
  std::vector<std::unique_ptr<x11::HelperDialog>> mDialogs;
};

}  // namespace iplug::igraphics

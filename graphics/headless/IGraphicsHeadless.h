#pragma once

#include <optional>
#include <string>
#include <vector>

#include "graphics/cairo/IGraphicsCairo.h"
#include "resources/EmbeddedResources.h"

namespace iplug::igraphics {

/**
 * A platform layer without a window system: a graphics context on the Cairo backend that can
 * be opened, laid out, driven with events and drawn into memory. The caller plays the window
 * system's part: it ticks the display, moves the pointer and answers the text fields, menus
 * and dialogs the editor opens. Resources come from the program's embedded table only.
 *
 * Editor thread only, like every graphics context; the native-font cache is process-wide and
 * locked.
 */
class IGraphicsHeadless : public IGraphicsCairo {
 public:
  /** What the editor asked a text field to show; answered with CommitTextField. */
  struct TextFieldRequest {
    int paramIdx = -1;
    ITextStyle style;
    IBox bounds;
    int maxLength = 0;
    std::string text;
  };

  /** How ShowNativeMenu answers. */
  enum class EMenuAnswer {
    Nothing,  // at once, nothing chosen
    Item,     // at once, the item set with AnswerMenusWith
    Later,    // asynchronously: the caller answers with CompleteMenu
  };

  IGraphicsHeadless(IGEditorDelegate& delegate, int width, int height, int fps = 60,
                    float drawScale = 1.f,
                    const resources::ResourceTable& resources = resources::ModuleResources());
  ~IGraphicsHeadless() override;

  // ---- The caller's side of the window system ----

  /** The screen scale the next OpenWindow applies (the display's pixel density); default 1. */
  void SetScreenScaleOnOpen(float scale) { mScreenScaleOnOpen = scale; }
  /**
   * One display tick: collects the dirty regions, marks every control clean and draws them.
   * True when anything was drawn; nothing happens while the window is closed.
   */
  bool Tick();
  /** Frames finished and presented so far. */
  int FramesPresented() const { return mFramesPresented; }
  /** The parentHasResized argument of every ResizeNativeWindow, in order. */
  const std::vector<bool>& NativeResizes() const { return mNativeResizes; }
  void* Parent() const { return mParent; }

  /** Pointer events at (x, y), with the movement since the last one. */
  void PointerDown(float x, float y, IPointerMods mods = LeftButton());
  void PointerDrag(float x, float y, IPointerMods mods = LeftButton());
  void PointerUp(float x, float y, IPointerMods mods = LeftButton());
  static IPointerMods LeftButton();

  bool PointerHidden() const { return mCursorHidden; }
  bool PointerLocked() const { return mCursorLocked; }
  ECursor PointerShape() const { return mCursor; }
  int PointerWarps() const { return mWarps; }

  /** The open text field, if any. */
  const std::optional<TextFieldRequest>& PendingTextField() const { return mTextField; }
  /** Closes the open field with the text typed into it; false when none is open. */
  bool CommitTextField(const char* text);
  /** Closes the open field discarding it; false when none is open. */
  bool CancelTextField();

  /** Menus are answered at once with item idx (or nothing, for an index outside the menu). */
  void AnswerMenusWith(int idx);
  void AnswerMenusWithNothing();
  /** Menus stay open until CompleteMenu. */
  void AnswerMenusLater();
  /** The menu last shown, and where; null before any. */
  IMenuModel* LastMenu() const { return mLastMenu; }
  const IBox& LastMenuBounds() const { return mLastMenuBounds; }
  /** Answers the menu left open: item idx, or nothing for -1. False when none is open. */
  bool CompleteMenu(int idx);

  /** Every dialog, URL and file-browser request, as "kind: detail", in order. */
  const std::vector<std::string>& Requests() const { return mRequests; }
  const std::string& Clipboard() const { return mClipboard; }

  /** Whether the process-wide native-font cache holds a font under the id. */
  static bool HasCachedNativeFont(const char* fontID);

  // ---- Platform operations ----

  void QueryPointerPosition(float& x, float& y) const override;
  void HidePointer(bool hide, bool lock) override;
  void WarpPointer(float x, float y) override;
  ECursor SetPointerShape(ECursor shape) override;
  void AbortTextEntry() override { CancelTextField(); }
  /** A pretend window: never null. Then the surface, the screen scale, the layout. */
  void* OpenWindow(void* parent) override;
  /** Removes every control and forgets the window. */
  void CloseWindow() override;
  void* NativeWindow() const override { return mWindow; }
  bool ReadClipboardText(std::string& text) override;
  bool WriteClipboardText(const char* text) override;
  /** Recorded; answered Cancel. */
  EMsgBoxResult ShowMessageBox(const char* text, const char* caption, EMsgBoxType type,
                               MsgBoxCompletionFunction completion = nullptr) override;
  /** Recorded; answered as cancelled: an empty file name. */
  void ChooseFile(std::string& fileName, std::string& path, EFileAction action,
                  const char* extensions,
                  FileDialogCompletionFunction completion = nullptr) override;
  void ChooseDirectory(std::string& path,
                       FileDialogCompletionFunction completion = nullptr) override;
  bool PickColor(IArgb& color, const char* title,
                 ColorPickerCompletionFunction completion = nullptr) override;
  bool OpenURL(const char* url, const char* windowTitle = nullptr,
               const char* confirmText = nullptr, const char* errorText = nullptr) override;
  const char* PlatformName() const override { return "headless"; }
  bool ShowInFileBrowser(const char* path, bool select) override;
  void SetModuleInstance(void* instance) override { mModuleInstance = instance; }
  void* ModuleInstance() const override { return mModuleInstance; }
  /** No system fonts here: always null. */
  std::unique_ptr<PlatformFont> LoadNativeFont(const char* fontID, const char* family,
                                               EFontStyle style) override;
  /** Null when the bytes are not a usable font. */
  std::unique_ptr<PlatformFont> LoadNativeFont(const char* fontID, const void* data,
                                               int size) override;
  /** An embedded "ttf" resource by name. */
  std::unique_ptr<PlatformFont> LoadNativeFont(const char* fontID,
                                               const char* fileOrResourceName) override;
  void CacheNativeFont(const char* fontID, std::unique_ptr<PlatformFont> font) override;
  /** Module (embedded) or not found: files are never resources here. */
  EResourceLocation ResolveResource(const char* name, const char* type,
                                    std::string& found) const override;
  const uint8_t* ModuleResourceBytes(const char* found, const char* type, int& size) const override;
  void ShowNativeTextField(int paramIdx, const ITextStyle& style, const IBox& bounds, int maxLength,
                           const char* text) override;
  IMenuModel* ShowNativeMenu(IMenuModel& menu, const IBox& bounds, bool& isAsync) override;
  bool SupportsMultiTouch() const override { return false; }
  float WindowScale() const override { return GetScreenScale(); }
  /** Nothing to resize; counted. */
  void ResizeNativeWindow(bool parentHasResized) override;

 protected:
  void PresentFrame() override { ++mFramesPresented; }

 private:
  void Record(const std::string& kind, const char* detail);
  IPointerEvent PointerEvent(float x, float y, const IPointerMods& mods);

  const resources::ResourceTable& mResources;
  char mWindowToken = 0;
  void* mWindow = nullptr;
  void* mParent = nullptr;
  void* mModuleInstance = nullptr;
  float mScreenScaleOnOpen = 1.f;
  int mFramesPresented = 0;
  std::vector<bool> mNativeResizes;

  float mPointerX = 0.f;
  float mPointerY = 0.f;
  ECursor mCursor = ECursor::Arrow;
  int mWarps = 0;

  std::optional<TextFieldRequest> mTextField;
  EMenuAnswer mMenuAnswer = EMenuAnswer::Nothing;
  int mMenuItem = -1;
  IMenuModel* mLastMenu = nullptr;
  IBox mLastMenuBounds;
  IMenuModel* mPendingMenu = nullptr;

  std::vector<std::string> mRequests;
  std::string mClipboard;
};

}  // namespace iplug::igraphics

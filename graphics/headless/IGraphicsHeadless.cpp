#include "graphics/headless/IGraphicsHeadless.h"

#include <climits>
#include <map>
#include <mutex>

#include "graphics/IGEditorDelegate.h"

namespace iplug::igraphics {

namespace {

// Fonts handed over by LoadFont stay loaded for the rest of the process, shared by every
// editor; the first font stored under an id is the one kept.
struct NativeFontCache {
  std::mutex mutex;
  std::map<std::string, std::unique_ptr<PlatformFont>> fonts;
};

NativeFontCache& NativeFonts() {
  static NativeFontCache cache;
  return cache;
}

}  // namespace

IGraphicsHeadless::IGraphicsHeadless(IGEditorDelegate& delegate, int width, int height, int fps,
                                     float drawScale, const resources::ResourceTable& resources)
    : IGraphicsCairo(delegate, width, height, fps, drawScale), mResources(resources) {}

IGraphicsHeadless::~IGraphicsHeadless() {
  // A context deleted with its window open closes it first, while this layer still exists.
  CloseWindow();
}

// ---- Window and display ----

void* IGraphicsHeadless::OpenWindow(void* parent) {
  if (mWindow) CloseWindow();
  mParent = parent;
  mWindow = &mWindowToken;
  OnSurfaceResize();
  SetScreenScale(mScreenScaleOnOpen);
  GetDelegate().RunLayout(this);
  SetAllControlsDirty();
  GetDelegate().OnEditorOpen();
  return mWindow;
}

void IGraphicsHeadless::CloseWindow() {
  if (!mWindow) return;
  mTextField.reset();
  mPendingMenu = nullptr;
  mLastMenu = nullptr;
  ClearControls();
  mWindow = nullptr;
  mParent = nullptr;
}

bool IGraphicsHeadless::Tick() {
  if (!mWindow) return false;
  IDirtyList rects;
  if (!IsDirty(rects)) return false;
  SetAllControlsClean();
  Draw(rects);
  return true;
}

void IGraphicsHeadless::ResizeNativeWindow(bool parentHasResized) {
  mNativeResizes.push_back(parentHasResized);
}

// ---- Pointer ----

IPointerMods IGraphicsHeadless::LeftButton() {
  IPointerMods mods;
  mods.L = true;
  return mods;
}

IPointerEvent IGraphicsHeadless::PointerEvent(float x, float y, const IPointerMods& mods) {
  IPointerEvent event;
  event.x = x;
  event.y = y;
  event.dX = x - mPointerX;
  event.dY = y - mPointerY;
  event.ms = mods;
  mPointerX = x;
  mPointerY = y;
  return event;
}

void IGraphicsHeadless::PointerDown(float x, float y, IPointerMods mods) {
  const IPointerEvent event = PointerEvent(x, y, mods);
  OnMouseDown({event});
}

void IGraphicsHeadless::PointerDrag(float x, float y, IPointerMods mods) {
  const IPointerEvent event = PointerEvent(x, y, mods);
  OnMouseDrag({event});
  // A locked pointer stays where it was hidden, however far the drag goes.
  if (mCursorLocked) {
    mPointerX = mHiddenCursorX;
    mPointerY = mHiddenCursorY;
  }
}

void IGraphicsHeadless::PointerUp(float x, float y, IPointerMods mods) {
  const IPointerEvent event = PointerEvent(x, y, mods);
  OnMouseUp({event});
}

void IGraphicsHeadless::QueryPointerPosition(float& x, float& y) const {
  x = mPointerX;
  y = mPointerY;
}

void IGraphicsHeadless::HidePointer(bool hide, bool lock) {
  if (hide == mCursorHidden) return;
  if (hide) {
    mHiddenCursorX = mPointerX;
    mHiddenCursorY = mPointerY;
    mCursorHidden = true;
    mCursorLocked = lock;
  } else {
    if (mCursorLocked) WarpPointer(mHiddenCursorX, mHiddenCursorY);
    mCursorHidden = false;
    mCursorLocked = false;
  }
}

void IGraphicsHeadless::WarpPointer(float x, float y) {
  ++mWarps;
  mPointerX = x;
  mPointerY = y;
  mHiddenCursorX = x;
  mHiddenCursorY = y;
}

ECursor IGraphicsHeadless::SetPointerShape(ECursor shape) {
  const ECursor previous = mCursor;
  mCursor = shape;
  return previous;
}

// ---- Text field and menus ----

void IGraphicsHeadless::ShowNativeTextField(int paramIdx, const ITextStyle& style,
                                            const IBox& bounds, int maxLength, const char* text) {
  if (!mWindow || mTextField) return;
  mTextField = TextFieldRequest{paramIdx, style, bounds, maxLength, text ? text : ""};
}

bool IGraphicsHeadless::CommitTextField(const char* text) {
  if (!mTextField) return false;
  mTextField.reset();
  ApplyTextEntryResult(text ? text : "");
  return true;
}

bool IGraphicsHeadless::CancelTextField() {
  if (!mTextField) return false;
  mTextField.reset();
  mInTextEntry = nullptr;
  mTextEntryValIdx = -1;
  return true;
}

void IGraphicsHeadless::AnswerMenusWith(int idx) {
  mMenuAnswer = EMenuAnswer::Item;
  mMenuItem = idx;
}

void IGraphicsHeadless::AnswerMenusWithNothing() {
  mMenuAnswer = EMenuAnswer::Nothing;
  mMenuItem = -1;
}

void IGraphicsHeadless::AnswerMenusLater() {
  mMenuAnswer = EMenuAnswer::Later;
}

IMenuModel* IGraphicsHeadless::ShowNativeMenu(IMenuModel& menu, const IBox& bounds, bool& isAsync) {
  isAsync = false;
  if (!mWindow) return nullptr;
  mLastMenu = &menu;
  mLastMenuBounds = bounds;
  switch (mMenuAnswer) {
    case EMenuAnswer::Later:
      isAsync = true;
      mPendingMenu = &menu;
      return nullptr;
    case EMenuAnswer::Item:
      if (mMenuItem < 0 || mMenuItem >= menu.NItems()) return nullptr;
      menu.SetChosenItemIdx(mMenuItem);
      menu.Complete();
      return &menu;
    case EMenuAnswer::Nothing:
      break;
  }
  return nullptr;
}

bool IGraphicsHeadless::CompleteMenu(int idx) {
  IMenuModel* menu = mPendingMenu;
  if (!menu) return false;
  mPendingMenu = nullptr;
  if (idx < 0 || idx >= menu->NItems()) {
    ApplyMenuResult(nullptr);
    return true;
  }
  menu->SetChosenItemIdx(idx);
  menu->Complete();
  ApplyMenuResult(menu);
  return true;
}

// ---- Dialogs and services ----

void IGraphicsHeadless::Record(const std::string& kind, const char* detail) {
  mRequests.push_back(kind + ": " + (detail ? detail : ""));
}

bool IGraphicsHeadless::ReadClipboardText(std::string& text) {
  text = mClipboard;
  return !mClipboard.empty();
}

bool IGraphicsHeadless::WriteClipboardText(const char* text) {
  if (!text) return false;
  mClipboard = text;
  return true;
}

EMsgBoxResult IGraphicsHeadless::ShowMessageBox(const char* text, const char* caption, EMsgBoxType,
                                                MsgBoxCompletionFunction completion) {
  Record("message box", (std::string(caption ? caption : "") + ": " + (text ? text : "")).c_str());
  if (completion) completion(EMsgBoxResult::Cancel);
  return EMsgBoxResult::Cancel;
}

void IGraphicsHeadless::ChooseFile(std::string& fileName, std::string& path, EFileAction action,
                                   const char* extensions,
                                   FileDialogCompletionFunction completion) {
  Record(action == EFileAction::Save ? "save file" : "open file", extensions);
  fileName.clear();
  if (completion) completion(fileName, path);
}

void IGraphicsHeadless::ChooseDirectory(std::string& path,
                                        FileDialogCompletionFunction completion) {
  Record("choose directory", path.c_str());
  path.clear();
  if (completion) completion(std::string(), path);
}

bool IGraphicsHeadless::PickColor(IArgb&, const char* title, ColorPickerCompletionFunction) {
  Record("pick color", title);
  return false;
}

bool IGraphicsHeadless::OpenURL(const char* url, const char*, const char*, const char*) {
  Record("open url", url);
  return false;
}

bool IGraphicsHeadless::ShowInFileBrowser(const char* path, bool) {
  Record("show in file browser", path);
  return false;
}

// ---- Fonts and resources ----

std::unique_ptr<PlatformFont> IGraphicsHeadless::LoadNativeFont(const char*, const char*,
                                                                EFontStyle) {
  return nullptr;
}

std::unique_ptr<PlatformFont> IGraphicsHeadless::LoadNativeFont(const char*, const void* data,
                                                                int size) {
  auto font = std::make_unique<MemoryFont>(data, size);
  if (!font->IsUsable()) return nullptr;
  return font;
}

std::unique_ptr<PlatformFont> IGraphicsHeadless::LoadNativeFont(const char* fontID,
                                                                const char* fileOrResourceName) {
  std::string found;
  if (ResolveResource(fileOrResourceName, "ttf", found) != EResourceLocation::Module)
    return nullptr;
  int size = 0;
  const uint8_t* bytes = ModuleResourceBytes(found.c_str(), "ttf", size);
  if (!bytes) return nullptr;
  return LoadNativeFont(fontID, bytes, size);
}

void IGraphicsHeadless::CacheNativeFont(const char* fontID, std::unique_ptr<PlatformFont> font) {
  if (!fontID || !font) return;
  NativeFontCache& cache = NativeFonts();
  std::lock_guard lock(cache.mutex);
  cache.fonts.emplace(fontID, std::move(font));
}

bool IGraphicsHeadless::HasCachedNativeFont(const char* fontID) {
  if (!fontID) return false;
  NativeFontCache& cache = NativeFonts();
  std::lock_guard lock(cache.mutex);
  return cache.fonts.count(fontID) > 0;
}

EResourceLocation IGraphicsHeadless::ResolveResource(const char* name, const char* type,
                                                     std::string& found) const {
  return resources::FindResource(mResources, name, type, found) ? EResourceLocation::Module
                                                                : EResourceLocation::NotFound;
}

const uint8_t* IGraphicsHeadless::ModuleResourceBytes(const char* found, const char* type,
                                                      int& size) const {
  size_t bytes = 0;
  const uint8_t* data = resources::ResourceBytes(mResources, found, type, bytes);
  if (!data || bytes > static_cast<size_t>(INT_MAX)) {
    size = 0;
    return nullptr;
  }
  size = static_cast<int>(bytes);
  return data;
}

}  // namespace iplug::igraphics

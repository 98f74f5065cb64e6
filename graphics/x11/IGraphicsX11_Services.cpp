// The platform's services to the editor: menus, file drags and drops, dialogs, opening URLs
// and folders, the process-wide font cache and the module's own resources.
#include <cmath>
#include <cstdlib>
#include <map>
#include <mutex>
#include <string>
#include <utility>

#include "graphics/x11/IGraphicsX11.h"
#include "graphics/x11/X11Dialogs.h"
#include "graphics/x11/X11DragDrop.h"
#include "graphics/x11/X11Fonts.h"
#include "graphics/x11/X11Support.h"

namespace iplug::igraphics {

using x11::X11Display;

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

// ---- Prompts and services ----

IMenuModel* IGraphicsX11::ShowNativeMenu(IMenuModel& menu, const IBox& bounds, bool& isAsync) {
  isAsync = false;
  // A menu still open gives way; its control was already replaced by this one's.
  DismissMenu(false);
  xcb_connection_t* c = Live();
  if (!c || menu.NItems() == 0) return nullptr;
  const float s = BackingScale();
  xcb_translate_coordinates_reply_t* origin = nullptr;
  xcb_get_geometry_reply_t* geometry =
      xcb_get_geometry_reply(c, xcb_get_geometry(c, mWindow), nullptr);
  if (geometry)
    origin = xcb_translate_coordinates_reply(
        c, xcb_translate_coordinates(c, mWindow, geometry->root, 0, 0), nullptr);
  if (!geometry || !origin) {
    std::free(geometry);
    std::free(origin);
    return nullptr;
  }
  const xcb_window_t root = geometry->root;
  const int x = origin->dst_x + static_cast<int>(std::lround(s * bounds.L));
  const int y = origin->dst_y + static_cast<int>(std::lround(s * bounds.B));
  const int top = origin->dst_y + static_cast<int>(std::lround(s * bounds.T));
  std::free(geometry);
  std::free(origin);
  auto popup = std::make_unique<x11::X11Menu>(*mDisplay, menu, s, DEFAULT_TEXT.fontID);
  if (!popup->Show(root, x, y, top)) return nullptr;
  mMenu = std::move(popup);
  isAsync = true;
  return nullptr;
}

bool IGraphicsX11::MenuTakesEvent(const xcb_generic_event_t& event) {
  bool consumed = false;
  IMenuModel* chosen = nullptr;
  const x11::X11Menu::Outcome outcome = mMenu->HandleEvent(event, consumed, chosen);
  if (outcome == x11::X11Menu::Outcome::Open) return consumed;
  mMenu.reset();
  SetAllControlsDirty();
  // The menu's own completion may close the editor; the graphics context is told only if not.
  const std::weak_ptr<IGraphicsX11*> alive = mAlive;
  if (chosen) chosen->Complete();
  if (alive.expired()) return true;
  ApplyMenuResult(chosen);
  return true;
}

void IGraphicsX11::DismissMenu(bool tell) {
  if (!mMenu) return;
  mMenu.reset();
  if (tell) ApplyMenuResult(nullptr);
}

bool IGraphicsX11::DragOutActive() const {
  return mDragOut && !mDragOut->Finished();
}

bool IGraphicsX11::StartFileDragOut(const char* path, const IBox&) {
  if (mDragOut && mDragOut->Finished()) mDragOut.reset();
  xcb_connection_t* c = Live();
  if (!c || !path || !*path || mDragOut) return false;
  // The control pressed gets no release: the drag takes it.
  ReleaseMouseCapture();
  auto drag = std::make_unique<x11::X11DragSource>(*mDisplay, mWindow, path);
  if (!drag->Start()) return false;
  mDragOut = std::move(drag);
  return true;
}

void IGraphicsX11::OnDrop(const std::vector<std::string>& paths, int windowX, int windowY) {
  const float s = BackingScale();
  const float x = static_cast<float>(windowX) / s, y = static_cast<float>(windowY) / s;
  if (paths.size() == 1)
    OnFileDrop(paths[0].c_str(), x, y);
  else
    OnFilesDrop(paths, x, y);
}

// Dialogs run as helper programs, answered through their completion functions later; without
// one there is nobody to answer later, and waiting here would stall the host.

int IGraphicsX11::RunningDialogs() const {
  return static_cast<int>(std::count_if(mDialogs.begin(), mDialogs.end(),
                                        [](const auto& d) { return !d->Finished(); }));
}

bool IGraphicsX11::RunDialog(const std::vector<std::string>& argv,
                             std::function<void(int, const std::string&)> done) {
  mDialogs.erase(
      std::remove_if(mDialogs.begin(), mDialogs.end(), [](const auto& d) { return d->Finished(); }),
      mDialogs.end());
  auto dialog = x11::HelperDialog::Start(argv, std::move(done));
  if (!dialog) return false;
  mDialogs.push_back(std::move(dialog));
  return true;
}

void IGraphicsX11::EndDialogs() {
  // Moved out first: a dialog's end may not reach back into the list being cleared.
  std::vector<std::unique_ptr<x11::HelperDialog>> dialogs = std::move(mDialogs);
  mDialogs.clear();
  dialogs.clear();
}

EMsgBoxResult IGraphicsX11::ShowMessageBox(const char* text, const char* caption, EMsgBoxType type,
                                           MsgBoxCompletionFunction completion) {
  ReleaseMouseCapture();
  const x11::DialogHelper helper = x11::FindDialogHelper();
  const auto argv = x11::MessageBoxCommand(helper, text, caption, type);
  if (helper.tool != x11::DialogTool::None && mDisplay) {
    if (!completion) {
      // A box with one button needs no answer: it is shown, and OK is what it would say.
      if (type == EMsgBoxType::OK && x11::SpawnDetached(argv)) return EMsgBoxResult::OK;
    } else if (RunDialog(argv, [helper, type, completion](int code, const std::string& out) {
                 completion(x11::MessageBoxAnswer(helper, type, code, out));
               })) {
      return EMsgBoxResult::NoResult;
    }
  }
  if (completion) completion(EMsgBoxResult::Cancel);
  return EMsgBoxResult::Cancel;
}

void IGraphicsX11::ChooseFile(std::string& fileName, std::string& path, EFileAction action,
                              const char* extensions, FileDialogCompletionFunction completion) {
  ReleaseMouseCapture();
  const x11::DialogHelper helper = x11::FindDialogHelper();
  if (completion && helper.tool != x11::DialogTool::None && mDisplay &&
      RunDialog(x11::FileDialogCommand(helper, action, fileName, path, extensions),
                [completion, folder = path](int code, const std::string& out) {
                  std::string chosen = out.substr(0, out.find('\n'));
                  if (code != 0 || chosen.empty()) {
                    completion(std::string(), folder);
                    return;
                  }
                  completion(chosen, x11::FolderOf(chosen));
                }))
    return;
  fileName.clear();
  if (completion) completion(fileName, path);
}

void IGraphicsX11::ChooseDirectory(std::string& path, FileDialogCompletionFunction completion) {
  ReleaseMouseCapture();
  const x11::DialogHelper helper = x11::FindDialogHelper();
  if (completion && helper.tool != x11::DialogTool::None && mDisplay &&
      RunDialog(x11::DirectoryDialogCommand(helper, path),
                [completion](int code, const std::string& out) {
                  std::string chosen = out.substr(0, out.find('\n'));
                  if (code != 0 || chosen.empty()) {
                    completion(std::string(), std::string());
                    return;
                  }
                  if (chosen.back() != '/') chosen += '/';
                  completion(std::string(), chosen);
                }))
    return;
  path.clear();
  if (completion) completion(std::string(), path);
}

bool IGraphicsX11::PickColor(IArgb& color, const char* title,
                             ColorPickerCompletionFunction completion) {
  ReleaseMouseCapture();
  const x11::DialogHelper helper = x11::FindDialogHelper();
  // The answer always comes later, so this call itself never reports a colour taken.
  if (completion && helper.tool != x11::DialogTool::None && mDisplay)
    RunDialog(x11::ColorDialogCommand(helper, color, title),
              [completion, initial = color](int code, const std::string& out) {
                IArgb picked = initial;
                if (code == 0 && x11::ParseColorAnswer(out, picked)) completion(picked);
              });
  return false;
}

bool IGraphicsX11::OpenURL(const char* url, const char* windowTitle, const char* confirmText,
                           const char* errorText) {
  if (!url || !*url) return false;
  const std::string opener = x11::FindProgram("xdg-open");
  const std::string target = url, title = windowTitle ? windowTitle : "";
  const std::string error = errorText ? errorText : "";
  const auto open = [this, opener, target, title, error]() {
    if (!opener.empty() && x11::SpawnDetached({opener, target})) return true;
    if (!error.empty()) ShowMessageBox(error.c_str(), title.c_str(), EMsgBoxType::OK);
    return false;
  };
  if (!confirmText || !*confirmText) return open();
  // Asked first, and opened only on Yes; the answer comes later, so nothing is open yet now.
  const std::weak_ptr<IGraphicsX11*> alive = mAlive;
  ShowMessageBox(confirmText, title.c_str(), EMsgBoxType::YesNo,
                 [alive, open](EMsgBoxResult answer) {
                   if (answer == EMsgBoxResult::Yes && !alive.expired()) open();
                 });
  return false;
}

bool IGraphicsX11::ShowInFileBrowser(const char* path, bool select) {
  if (!path || !*path) return false;
  const std::string opener = x11::FindProgram("xdg-open");
  if (opener.empty()) return false;
  // xdg-open cannot point at a file inside its folder: selecting opens the folder holding it.
  std::string target = path;
  if (select) {
    const std::string folder = x11::FolderOf(target);
    if (!folder.empty()) target = folder;
  }
  return x11::SpawnDetached({opener, target});
}

// ---- Fonts and resources ----

std::unique_ptr<PlatformFont> IGraphicsX11::LoadNativeFont(const char*, const char* family,
                                                           EFontStyle style) {
  x11::FontFileMatch match;
  if (!x11::FindSystemFont(family, style, match)) return nullptr;
  return x11::SystemFont::Load(match);
}

std::unique_ptr<PlatformFont> IGraphicsX11::LoadNativeFont(const char*, const void* data,
                                                           int size) {
  auto font = std::make_unique<MemoryFont>(data, size);
  if (!font->IsUsable()) return nullptr;
  return font;
}

std::unique_ptr<PlatformFont> IGraphicsX11::LoadNativeFont(const char* fontID,
                                                           const char* fileOrResourceName) {
  std::string found;
  if (ResolveResource(fileOrResourceName, "ttf", found) != EResourceLocation::Module)
    return nullptr;
  int size = 0;
  const uint8_t* bytes = ModuleResourceBytes(found.c_str(), "ttf", size);
  if (!bytes) return nullptr;
  return LoadNativeFont(fontID, bytes, size);
}

void IGraphicsX11::CacheNativeFont(const char* fontID, std::unique_ptr<PlatformFont> font) {
  if (!fontID || !font) return;
  NativeFontCache& cache = NativeFonts();
  std::lock_guard lock(cache.mutex);
  cache.fonts.emplace(fontID, std::move(font));
}

EResourceLocation IGraphicsX11::ResolveResource(const char* name, const char* type,
                                                std::string& found) const {
  return resources::FindResource(mResources, name, type, found) ? EResourceLocation::Module
                                                                : EResourceLocation::NotFound;
}

const uint8_t* IGraphicsX11::ModuleResourceBytes(const char* found, const char* type,
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

#pragma once

// Corvane's own editor in a host's memory view: its real factory and layout, drawn headless and
// driven with a host's pointer events, for the product's editor tests.

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "aax/interfaces/AAX_OffscreenView.h"
#include "graphics/IGraphics.h"
#include "plugin/Corvane.h"

namespace corvane_test {

/** Points the preference file at a private folder for the test's lifetime. */
class ScopedConfigHome {
 public:
  ScopedConfigHome() {
    mDir = std::filesystem::temp_directory_path() /
           ("corvane-editor-test-" + std::to_string(::getpid()));
    std::filesystem::create_directories(mDir);
    if (const char* old = std::getenv("XDG_CONFIG_HOME")) mOld = old;
    ::setenv("XDG_CONFIG_HOME", mDir.c_str(), 1);
  }
  ~ScopedConfigHome() {
    if (mOld.empty())
      ::unsetenv("XDG_CONFIG_HOME");
    else
      ::setenv("XDG_CONFIG_HOME", mOld.c_str(), 1);
    std::filesystem::remove_all(mDir);
  }

 private:
  std::filesystem::path mDir;
  std::string mOld;
};

/** A host's memory view that keeps the frames presented to it. */
struct MemoryView {
  MemoryView() {
    view.structSize = sizeof(AAX_OffscreenView);
    view.hostContext = this;
    view.screenScale = 1.f;
    view.PresentFrame = [](void* context, const uint8_t* pixels, int32_t w, int32_t h,
                           int32_t stride) {
      auto& self = *static_cast<MemoryView*>(context);
      self.width = w;
      self.height = h;
      self.pixels.clear();
      for (int32_t y = 0; y < h; ++y)
        self.pixels.insert(self.pixels.end(), pixels + y * stride, pixels + y * stride + 4 * w);
    };
  }
  /** A frame now; false while no editor is open in the view. */
  bool Tick() {
    if (!view.editorContext) return false;
    view.Tick(view.editorContext);
    return true;
  }
  /** A host's pointer event, in editor points, with the left button unless told otherwise. */
  void Send(int32_t kind, float x, float y, uint32_t modifiers = AAX_eOffscreenModifier_Left) {
    const AAX_OffscreenEvent event{kind, x, y, 0.f, modifiers};
    if (view.editorContext) view.SendEvent(view.editorContext, &event);
  }
  AAX_OffscreenView view{};
  std::vector<uint8_t> pixels;
  int32_t width = 0, height = 0;
};

/** Corvane as a host opens it, with its own factory and layout, in a memory view. */
inline bool OpenInMemory(corvane::Corvane& plug, MemoryView& memory) {
  plug.SetEditorParent(AAX_eViewContainer_Type_Offscreen, &memory.view);
  return plug.OpenWindow(&memory.view) != nullptr;
}

/** The open editor's first control of type T (and tag, when given), or null. */
template <typename T>
T* FindControl(corvane::Corvane& plug, int tag = -1) {
  iplug::igraphics::IGraphics* ui = plug.GetUI();
  for (int i = 0; ui && i < ui->NControls(); ++i) {
    auto* control = dynamic_cast<T*>(ui->GetControl(i));
    if (control && (tag < 0 || control->GetTag() == tag)) return control;
  }
  return nullptr;
}

}  // namespace corvane_test

#pragma once

#include <functional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "graphics/IControl.h"
#include "graphics/IGEditorDelegate.h"
#include "graphics/IGraphics.h"

namespace graphics_test {

using namespace iplug::igraphics;

/** "(l,t,r,b)" with the shortest exact decimal form of each value. */
std::string Str(const IBox& r);

/**
 * A graphics context without pixels or windows: it records the regions it is asked to draw
 * into and the drawing calls it receives, and behaves like the platform layer where the
 * framework depends on it (opening runs the layout, closing removes the controls, the window
 * scale is the screen scale).
 */
class RecordingGraphics : public IGraphics {
 public:
  explicit RecordingGraphics(IGEditorDelegate& delegate, int width = 650, int height = 400,
                             float drawScale = 1.f);
  ~RecordingGraphics() override;

  void Log(std::string entry) { log.push_back(std::move(entry)); }

  std::vector<std::string> log;
  std::vector<bool> nativeResizes;  // the parentHasResized argument of each call
  int surfaceResizes = 0;
  float pointerX = 0.f;
  float pointerY = 0.f;
  float screenScaleOnOpen = 1.f;
  bool* destroyed = nullptr;  // set when the context is deleted

  void BeginFrame() override { Log("frame"); }
  void OnSurfaceCreated(void*) override {}
  void OnSurfaceDestroyed() override {}
  void EndFrame() override { Log("end frame"); }
  void DrawBitmap(const IBitmapHandle&, const IBox& dest, int, int, const IBlendSpec*) override {
    Log("bitmap " + Str(dest));
  }
  IArgb GetPoint(int, int) override { return COLOR_TRANSPARENT; }
  void* GetNativeCanvas() const override { return nullptr; }
  const char* DrawingBackendName() const override { return "recording"; }
  bool SupportsImageType(const char*) const override { return false; }
  void ReadLayerPixels(IOffscreenLayer&, std::vector<uint8_t>&) override {}
  void CompositeShadowMask(IOffscreenLayer&, const std::vector<uint8_t>&,
                           const IDropShadowSpec&) override {}
  void RefreshLayerSurface() override {}
  void ClearPath() override {}
  void ClosePath() override { Log("close"); }
  void AddArc(float cx, float cy, float r, float a1, float a2) override;
  void MoveTo(float x, float y) override;
  void LineTo(float x, float y) override;
  void CubicTo(float, float, float, float, float, float) override {}
  void QuadTo(float, float, float, float) override {}
  void StrokePath(const IPaint&, float, const IStrokeStyle&, const IBlendSpec*) override {
    Log("stroke");
  }
  void FillPath(const IPaint& pattern, const IFillStyle&, const IBlendSpec*) override;
  void SetPathTransform(const ITransform2D& transform) override { lastTransform = transform; }
  void FinishRegion(const IBox& region) override { Log("finish " + Str(region)); }
  void BeginRegion(const IBox& region) override { Log("begin " + Str(region)); }

  void QueryPointerPosition(float& x, float& y) const override {
    x = pointerX;
    y = pointerY;
  }
  void HidePointer(bool hide, bool) override {
    mCursorHidden = hide;
    ++(hide ? pointerHides : pointerShows);
  }
  bool PointerHidden() const { return mCursorHidden; }
  void WarpPointer(float, float) override {}
  ECursor SetPointerShape(ECursor shape) override { return std::exchange(mCursor, shape); }
  void AbortTextEntry() override {}
  void* OpenWindow(void* parent) override;
  void CloseWindow() override;
  void* NativeWindow() const override { return mWindow; }
  bool ReadClipboardText(std::string& text) override { return false; }
  bool WriteClipboardText(const char*) override { return false; }
  EMsgBoxResult ShowMessageBox(const char*, const char*, EMsgBoxType,
                               MsgBoxCompletionFunction) override {
    return EMsgBoxResult::NoResult;
  }
  void ChooseFile(std::string&, std::string&, EFileAction, const char*,
                  FileDialogCompletionFunction) override {}
  void ChooseDirectory(std::string&, FileDialogCompletionFunction) override {}
  bool PickColor(IArgb&, const char*, ColorPickerCompletionFunction) override { return false; }
  bool OpenURL(const char*, const char*, const char*, const char*) override { return false; }
  bool ShowInFileBrowser(const char*, bool) override { return false; }
  void SetModuleInstance(void*) override {}
  void* ModuleInstance() const override { return nullptr; }
  std::unique_ptr<PlatformFont> LoadNativeFont(const char*, const char*, EFontStyle) override {
    return nullptr;
  }
  std::unique_ptr<PlatformFont> LoadNativeFont(const char*, const void*, int) override {
    return nullptr;
  }
  std::unique_ptr<PlatformFont> LoadNativeFont(const char*, const char*) override {
    return nullptr;
  }
  void CacheNativeFont(const char*, std::unique_ptr<PlatformFont>) override {}
  EResourceLocation ResolveResource(const char*, const char*, std::string&) const override {
    return EResourceLocation::NotFound;
  }
  const uint8_t* ModuleResourceBytes(const char*, const char*, int& size) const override {
    size = 0;
    return nullptr;
  }
  std::unique_ptr<SvgImage> ParseSvgDocument(const char*, int, const char*, float) override {
    return nullptr;
  }
  void DrawSvgImage(const SvgImage&, const IBlendSpec*, const IArgb*, const IArgb*) override {
    Log("svg");
  }
  void ShowNativeTextField(int paramIdx, const ITextStyle&, const IBox& bounds, int maxLength,
                           const char* text) override {
    textFields.push_back({paramIdx, bounds, maxLength, text});
  }
  /** Answers with menuAnswer (nothing chosen when negative), or later when menuIsAsync. */
  IMenuModel* ShowNativeMenu(IMenuModel& menu, const IBox& bounds, bool& isAsync) override;
  bool SupportsMultiTouch() const override { return false; }
  float WindowScale() const override { return GetScreenScale(); }
  void ResizeNativeWindow(bool parentHasResized) override {
    nativeResizes.push_back(parentHasResized);
  }
  void OnSurfaceResize() override { ++surfaceResizes; }
  std::unique_ptr<APIBitmap> DecodeBitmap(const char*, const void*, int, int) override {
    return nullptr;
  }
  std::unique_ptr<APIBitmap> DecodeBitmap(const char*, int, int, const char*) override {
    return nullptr;
  }
  std::unique_ptr<APIBitmap> NewBackendBitmap(int, int, float, float, bool) override {
    return nullptr;
  }
  bool LoadBackendFont(const char*, PlatformFont&) override { return false; }
  float MeasureTextImpl(const ITextStyle&, const char*, IBox&) const override { return 0.f; }
  void DrawTextImpl(const ITextStyle&, const char* str, const IBox&, const IBlendSpec*) override {
    Log(std::string("text ") + str);
  }

  ITransform2D lastTransform{2, 0, 0, 2, 0, 0};  // anything but identity until first applied

  struct TextField {
    int paramIdx;
    IBox bounds;
    int maxLength;
    std::string text;
  };
  struct Menu {
    std::string title;
    IBox bounds;
    std::vector<std::string> items;  // checked items end in " *"
  };
  std::vector<TextField> textFields;
  std::vector<Menu> menus;
  int menuAnswer = -1;
  bool menuIsAsync = false;
  int pointerHides = 0;
  int pointerShows = 0;

 private:
  void* mWindow = nullptr;
  ECursor mCursor = ECursor::Arrow;
};

/** A stock control base made concrete with a drawing that draws nothing. */
template <typename Base>
class Blank : public Base {
 public:
  using Base::Base;
  void Draw(IGraphics&) override {}
};

/** A control that logs what happens to it. */
class TestControl : public IControl {
 public:
  explicit TestControl(const IBox& bounds, std::string name = "c", int paramIdx = kNoParameter)
      : IControl(bounds, paramIdx), name(std::move(name)) {}
  /** With several value slots. */
  TestControl(const IBox& bounds, std::string name, std::vector<int> paramIdxs);
  ~TestControl() override {
    if (destructionLog) destructionLog->push_back(name);
  }

  void Draw(IGraphics& g) override;
  void OnInit() override { calls.push_back("init"); }
  void OnResize() override { calls.push_back("resize"); }
  void OnScaleChanged() override { calls.push_back("scale"); }
  void OnAddedToGraphics() override { calls.push_back("added"); }
  void OnDelegateMessage(int msgTag, int, const void*) override { messages.push_back(msgTag); }
  void OnMidiEvent(const iplug::MidiMessage& msg) override { midi.push_back(msg.status); }
  bool OnKeyDown(float x, float y, const IKeyEvent& key) override;
  int Count(const std::string& call) const;

  std::string name;
  std::vector<std::string> calls;
  std::vector<int> messages;
  std::vector<int> midi;
  std::vector<std::string> keys;
  bool handlesKeys = true;
  std::function<void(IGraphics&)> onDraw;  // runs after the draw is logged
  std::vector<std::string>* destructionLog = nullptr;
};

/** An editor delegate with four parameters that records what reaches it. */
class TestDelegate : public IGEditorDelegate {
 public:
  struct ResizeRequest {
    int w;
    int h;
    bool needsPlatformResize;
  };

  /** Parameters from firstUndefined on are left for the test to define. */
  explicit TestDelegate(int nParams = 4, int firstUndefined = -1);

  /** Graphics contexts made by the factory are RecordingGraphics. */
  RecordingGraphics* UI() const { return static_cast<RecordingGraphics*>(GetUI()); }

  void BeginEditFromEditor(int paramIdx) override {
    edits.push_back("begin " + std::to_string(paramIdx));
  }
  void EndEditFromEditor(int paramIdx) override {
    edits.push_back("end " + std::to_string(paramIdx));
  }
  void SetParamFromEditor(int paramIdx, double normalized) override;
  bool RequestEditorResize(int w, int h, bool needsPlatformResize) override;
  void OnEditorOpen() override;
  void OnEditorClose() override;
  void OnEditorParamChange(int paramIdx, iplug::EParamSource source) override {
    editorParamChanges.emplace_back(paramIdx, source);
  }
  void OnEditorMidi(const iplug::MidiMessage&) override { ++editorMidi; }

  int made = 0;
  int opens = 0;
  int closes = 0;
  int editorMidi = 0;
  bool hostResizes = false;
  bool closeReenters = false;
  float openScreenScale = 1.f;  // what new contexts find when they open their window
  std::vector<std::pair<int, double>> reported;
  std::vector<std::string> edits;  // "begin 2", "set 2", "end 2" in the order they came
  std::vector<ResizeRequest> resizeRequests;
  std::vector<std::pair<int, iplug::EParamSource>> editorParamChanges;
};

}  // namespace graphics_test

namespace iplug::igraphics {

inline void PrintTo(const IBox& r, std::ostream* os) {
  *os << graphics_test::Str(r);
}

}  // namespace iplug::igraphics

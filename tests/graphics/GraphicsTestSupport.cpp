#include "GraphicsTestSupport.h"

#include <algorithm>
#include <sstream>

#include "framework/IPlugParameter.h"

namespace graphics_test {

std::string Str(const IBox& r) {
  std::ostringstream s;
  s << '(' << r.L << ',' << r.T << ',' << r.R << ',' << r.B << ')';
  return s.str();
}

namespace {

std::string Num(float v) {
  std::ostringstream s;
  s << v;
  return s.str();
}

}  // namespace

RecordingGraphics::RecordingGraphics(IGEditorDelegate& delegate, int width, int height,
                                     float drawScale)
    : IGraphics(delegate, width, height, 60, drawScale) {}

RecordingGraphics::~RecordingGraphics() {
  // Like the platform layer: a context deleted with its window open closes it first.
  CloseWindow();
  if (destroyed) *destroyed = true;
}

void RecordingGraphics::AddArc(float cx, float cy, float r, float a1, float a2) {
  Log("arc " + Num(cx) + " " + Num(cy) + " " + Num(r) + " " + Num(a1) + " " + Num(a2));
}

void RecordingGraphics::MoveTo(float x, float y) {
  Log("move " + Num(x) + " " + Num(y));
}

void RecordingGraphics::LineTo(float x, float y) {
  Log("line " + Num(x) + " " + Num(y));
}

void RecordingGraphics::FillPath(const IPaint& pattern, const IFillStyle&, const IBlendSpec*) {
  const IArgb& c = pattern.stops[0].color;
  Log("fill " + std::to_string(c.A) + "," + std::to_string(c.R) + "," + std::to_string(c.G) + "," +
      std::to_string(c.B));
}

IMenuModel* RecordingGraphics::ShowNativeMenu(IMenuModel& menu, const IBox& bounds, bool& isAsync) {
  Menu shown{menu.RootTitle(), bounds, {}};
  for (int i = 0; i < menu.NItems(); ++i)
    shown.items.push_back(menu.GetItem(i)->Text() + (menu.GetItem(i)->IsChecked() ? " *" : ""));
  menus.push_back(shown);
  isAsync = menuIsAsync;
  if (menuIsAsync || menuAnswer < 0) return nullptr;
  menu.SetChosenItemIdx(menuAnswer);
  return &menu;
}

void* RecordingGraphics::OpenWindow(void* parent) {
  mWindow = parent ? parent : this;
  OnSurfaceResize();
  SetScreenScale(screenScaleOnOpen);
  GetDelegate().RunLayout(this);
  SetAllControlsDirty();
  GetDelegate().OnEditorOpen();
  return mWindow;
}

void RecordingGraphics::CloseWindow() {
  if (!mWindow) return;
  ClearControls();
  mWindow = nullptr;
}

TestControl::TestControl(const IBox& bounds, std::string name_, std::vector<int> paramIdxs)
    : IControl(bounds, paramIdxs.empty() ? kNoParameter : paramIdxs[0]), name(std::move(name_)) {
  for (size_t i = 1; i < paramIdxs.size(); ++i) mVals.push_back(ControlValue{paramIdxs[i], 0.0});
}

void TestControl::Draw(IGraphics& g) {
  static_cast<RecordingGraphics&>(g).Log("draw " + name);
  if (onDraw) onDraw(g);
}

bool TestControl::OnKeyDown(float x, float y, const IKeyEvent& key) {
  keys.push_back(std::string(key.utf8) + "@" + Num(x) + "," + Num(y));
  return handlesKeys;
}

int TestControl::Count(const std::string& call) const {
  return static_cast<int>(std::count(calls.begin(), calls.end(), call));
}

TestDelegate::TestDelegate(int nParams, int firstUndefined) : IGEditorDelegate(nParams) {
  const int defined = firstUndefined < 0 ? nParams : firstUndefined;
  for (int i = 0; i < defined; ++i) GetParam(i)->DefineDouble("p", 0.0, 0.0, 10.0, 0.01);
  SetEditorSize(650, 400);
  SetGraphicsFactory([this] {
    ++made;
    auto* graphics = new RecordingGraphics(*this);
    graphics->screenScaleOnOpen = openScreenScale;
    return graphics;
  });
}

void TestDelegate::SetParamFromEditor(int paramIdx, double normalized) {
  reported.emplace_back(paramIdx, normalized);
  edits.push_back("set " + std::to_string(paramIdx));
  IGEditorDelegate::SetParamFromEditor(paramIdx, normalized);
}

bool TestDelegate::RequestEditorResize(int w, int h, bool needsPlatformResize) {
  resizeRequests.push_back({w, h, needsPlatformResize});
  return hostResizes;
}

void TestDelegate::OnEditorOpen() {
  ++opens;
  IGEditorDelegate::OnEditorOpen();
}

void TestDelegate::OnEditorClose() {
  ++closes;
  if (closeReenters) CloseWindow();
}

}  // namespace graphics_test

#include "HeadlessTestSupport.h"

#include <cstdio>
#include <cstring>

namespace headless_test {

TestEditorDelegate::TestEditorDelegate(int nParams) : IGEditorDelegate(nParams) {}

void TestEditorDelegate::BeginEditFromEditor(int paramIdx) {
  log.push_back("begin " + std::to_string(paramIdx));
}

void TestEditorDelegate::EndEditFromEditor(int paramIdx) {
  log.push_back("end " + std::to_string(paramIdx));
}

void TestEditorDelegate::SetParamFromEditor(int paramIdx, double normalized) {
  char text[64];
  std::snprintf(text, sizeof text, "set %d %.4f", paramIdx, normalized);
  log.push_back(text);
  IGEditorDelegate::SetParamFromEditor(paramIdx, normalized);
}

void TestEditorDelegate::OnEditorOpen() {
  ++opens;
  IGEditorDelegate::OnEditorOpen();
}

Scene::Scene(int w, int h, float drawScale, float screenScale,
             std::function<void(IGraphics&)> draw) {
  delegate.SetEditorSize(w, h);
  delegate.SetGraphicsFactory([this, w, h, drawScale, screenScale] {
    auto* ui = new IGraphicsHeadless(delegate, w, h, 60, drawScale);
    ui->SetScreenScaleOnOpen(screenScale);
    return ui;
  });
  delegate.SetLayoutFunction([w, h, draw](IGraphics* g) {
    g->LoadFont("Roboto-Regular", "Roboto-Regular.ttf");
    g->AddControl(
        new DrawingControl(IBox(0.f, 0.f, static_cast<float>(w), static_cast<float>(h)), draw));
  });
  delegate.OpenWindow(&mParent);
  mUI = static_cast<IGraphicsHeadless*>(delegate.GetUI());
  mUI->Tick();
}

Scene::~Scene() {
  delegate.CloseWindow();
}

void Scene::Redraw() {
  mUI->SetAllControlsDirty();
  mUI->Tick();
}

golden::ImageView Scene::Image() const {
  return golden::ImageView{mUI->SurfacePixels(), mUI->SurfaceWidth(), mUI->SurfaceHeight(),
                           mUI->SurfaceStride()};
}

uint32_t Scene::Pixel(int x, int y) const {
  const IArgb c = mUI->GetPoint(x, y);
  return (static_cast<uint32_t>(c.A) << 24) | (static_cast<uint32_t>(c.R) << 16) |
         (static_cast<uint32_t>(c.G) << 8) | static_cast<uint32_t>(c.B);
}

std::string ScaledName(const std::string& name, float drawScale, float screenScale) {
  char suffix[32];
  if (screenScale != 1.f)
    std::snprintf(suffix, sizeof suffix, "_ss%g", static_cast<double>(screenScale));
  else
    std::snprintf(suffix, sizeof suffix, "_ds%g", static_cast<double>(drawScale));
  return name + suffix;
}

}  // namespace headless_test

#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "GoldenImage.h"
#include "graphics/IControl.h"
#include "graphics/IGEditorDelegate.h"
#include "graphics/headless/IGraphicsHeadless.h"

namespace headless_test {

using namespace iplug::igraphics;

/** An editor delegate that records the edits the editor reports. */
class TestEditorDelegate : public IGEditorDelegate {
 public:
  explicit TestEditorDelegate(int nParams = 0);

  void BeginEditFromEditor(int paramIdx) override;
  void EndEditFromEditor(int paramIdx) override;
  void SetParamFromEditor(int paramIdx, double normalized) override;
  void OnEditorOpen() override;

  std::vector<std::string> log;
  int opens = 0;
};

/** A control that draws with a function. */
class DrawingControl : public IControl {
 public:
  DrawingControl(const IBox& bounds, std::function<void(IGraphics&)> draw, int paramIdx = -1)
      : IControl(bounds, paramIdx), mDraw(std::move(draw)) {}
  void Draw(IGraphics& g) override {
    if (mDraw) mDraw(g);
  }

 private:
  std::function<void(IGraphics&)> mDraw;
};

/**
 * A headless editor of w × h units at a draw scale and screen scale, opened through its
 * delegate, whose one control covers it all and draws with a function. The font
 * "Roboto-Regular" is loaded from the program's resources.
 */
class Scene {
 public:
  Scene(int w, int h, float drawScale, float screenScale, std::function<void(IGraphics&)> draw);
  ~Scene();

  IGraphicsHeadless& UI() const { return *mUI; }
  /** Draws everything again. */
  void Redraw();
  golden::ImageView Image() const;
  /** The premultiplied pixel as 0xAARRGGBB. */
  uint32_t Pixel(int x, int y) const;

  TestEditorDelegate delegate;

 private:
  char mParent = 0;
  IGraphicsHeadless* mUI = nullptr;
};

/** The name of a scene's picture at a scale: "name_ds1.5", "name_ss2". */
std::string ScaledName(const std::string& name, float drawScale, float screenScale);

inline int Alpha(uint32_t p) {
  return static_cast<int>(p >> 24);
}
inline int Red(uint32_t p) {
  return static_cast<int>((p >> 16) & 0xFF);
}
inline int Green(uint32_t p) {
  return static_cast<int>((p >> 8) & 0xFF);
}
inline int Blue(uint32_t p) {
  return static_cast<int>(p & 0xFF);
}

}  // namespace headless_test

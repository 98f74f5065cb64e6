#include <gtest/gtest.h>

#include "HeadlessTestSupport.h"

namespace {

using namespace headless_test;

IBitmapHandle Handle(const IOffscreenLayer& layer) {
  return IBitmapHandle(layer.bitmap.get(), 1, false, "");
}

TEST(CairoLayer, DrawingGoesIntoTheLayerUntilItIsPoppedAndDrawn) {
  bool drawLayer = false;
  Scene scene(40, 40, 2.f, 1.f, [&](IGraphics& g) {
    g.PushLayer(nullptr, IBox(10, 10, 30, 30));
    g.FillRect(COLOR_RED, IBox(0, 0, 40, 40));  // clipped to the layer
    std::unique_ptr<IOffscreenLayer> layer = g.PopLayer();
    ASSERT_TRUE(layer);
    EXPECT_EQ(layer->bitmap->Width(), 40);
    EXPECT_EQ(layer->bitmap->Scale() * layer->bitmap->DrawScale(), 2.f);
    if (drawLayer) g.DrawBitmap(Handle(*layer), layer->bounds, 0, 0);
  });
  EXPECT_EQ(scene.Pixel(40, 40), 0u);
  drawLayer = true;
  scene.Redraw();
  EXPECT_EQ(scene.Pixel(40, 40), 0xFFFF0000u);
  EXPECT_EQ(scene.Pixel(19, 40), 0u);
  EXPECT_EQ(scene.Pixel(60, 40), 0u);
}

TEST(CairoLayer, PixelsAreReadInRowsRoundedUpToEightPixels) {
  std::vector<uint8_t> pixels;
  Scene scene(20, 10, 1.f, 1.f, [&](IGraphics& g) {
    g.PushLayer(nullptr, IBox(0, 0, 13, 5));
    g.FillRect(COLOR_BLUE, IBox(0, 0, 13, 5));
    std::unique_ptr<IOffscreenLayer> layer = g.PopLayer();
    g.ReadLayerPixels(*layer, pixels);
  });
  ASSERT_EQ(pixels.size(), 16u * 4u * 5u);
  for (int y = 0; y < 5; ++y) {
    for (int x = 0; x < 16; ++x) {
      const uint8_t* p = &pixels[(y * 16 + x) * 4];
      if (x < 13)
        EXPECT_TRUE(p[0] == 255 && p[1] == 0 && p[2] == 0 && p[3] == 255) << x << "," << y;
      else
        EXPECT_TRUE(p[0] == 0 && p[1] == 0 && p[2] == 0 && p[3] == 0) << x << "," << y;
    }
  }
}

// A white square in a layer, its shadow cast 5 units down and right.
struct ShadowScene {
  explicit ShadowScene(bool foreground, float opacity = 1.f, float scale = 1.f)
      : scene(80, 80, scale, 1.f, [=](IGraphics& g) {
          g.PushLayer(nullptr, IBox(10, 10, 70, 70));
          g.FillRect(COLOR_WHITE, IBox(25, 25, 45, 45));
          std::unique_ptr<IOffscreenLayer> layer = g.PopLayer();
          g.ApplyShadowToLayer(
              *layer, IDropShadowSpec(IPaint(COLOR_BLUE), 3.f, 5.f, 5.f, opacity, foreground));
          g.DrawBitmap(Handle(*layer), layer->bounds, 0, 0);
        }) {}
  Scene scene;
};

TEST(CairoLayer, ADropShadowIsTheBlurredShapeInThePatternOffsetBehindTheContent) {
  const ShadowScene shadow(true);
  EXPECT_EQ(shadow.scene.Pixel(35, 35), 0xFFFFFFFFu);  // the content, on top
  const uint32_t cast = shadow.scene.Pixel(47, 47);    // beyond the square, inside its shadow
  EXPECT_GT(Alpha(cast), 100);
  EXPECT_EQ(Red(cast), 0);
  EXPECT_EQ(Blue(cast), Alpha(cast));
  EXPECT_EQ(shadow.scene.Pixel(22, 22), 0u);  // up and left of the square: no shadow
  // Blurred: the shadow fades out over its edge.
  const int a1 = Alpha(shadow.scene.Pixel(35, 49)), a2 = Alpha(shadow.scene.Pixel(35, 52));
  EXPECT_GT(a1, a2);
  EXPECT_GT(a2, 0);
}

TEST(CairoLayer, WithoutTheForegroundOnlyTheShadowRemainsAtItsOpacity) {
  const ShadowScene full(false, 1.f), half(false, 0.5f);
  const uint32_t inside = full.scene.Pixel(38, 38);
  EXPECT_EQ(inside, 0xFF0000FFu);
  EXPECT_NEAR(Alpha(half.scene.Pixel(38, 38)), 127, 1);
}

TEST(CairoLayer, AShadowsOffsetIsInGraphicsUnitsAtAnyScale) {
  const ShadowScene one(false, 1.f, 1.f), two(false, 1.f, 2.f);
  // Well inside and well outside the moved square; its blurred edge is the core's kernel, which
  // is measured in pixels.
  for (const int d : {22, 38, 58})
    EXPECT_NEAR(Alpha(two.scene.Pixel(2 * d, 2 * d)), Alpha(one.scene.Pixel(d, d)), 8) << d;
}

TEST(CairoQuickShadow, IsAHalfBlackRoundedRectMovedByTheOffsetAndBlurredWithTheTransform) {
  std::vector<int> profiles[2];
  for (const float scale : {1.f, 2.f}) {
    Scene scene(100, 100, scale, 1.f, [](IGraphics& g) {
      g.DrawQuickShadow(IBox(20, 20, 60, 60), IBox(10, 10, 70, 70), 5.f, 4.f, 6.f);
    });
    auto at = [&](float x, float y) {
      return scene.Pixel(static_cast<int>(x * scale), static_cast<int>(y * scale));
    };
    EXPECT_EQ(at(45, 45), 0x80000000u) << scale;
    EXPECT_EQ(at(10, 10), 0u);
    EXPECT_EQ(at(90, 90), 0u);
    // Across the moved edge at x = 65 the shadow fades out, half way at the edge.
    EXPECT_NEAR(Alpha(at(65, 45)), 64, 12) << scale;
    for (float x = 56.f; x <= 74.f; x += 3.f)
      profiles[scale == 1.f ? 0 : 1].push_back(Alpha(at(x, 45)));
  }
  // The blur follows the transform: the same fade in graphics units at both scales.
  for (size_t i = 0; i < profiles[0].size(); ++i)
    EXPECT_NEAR(profiles[0][i], profiles[1][i], 12) << i;
  EXPECT_GT(profiles[0].front(), profiles[0].back());
}

}  // namespace

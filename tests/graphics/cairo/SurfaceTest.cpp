#include <gtest/gtest.h>

#include <cairo.h>

#include <tuple>

#include "HeadlessTestSupport.h"

namespace {

using namespace headless_test;

TEST(CairoSurface, IsTheEditorSizeTimesDrawScaleTruncatedThenTimesScreenScale) {
  struct Case {
    float drawScale, screenScale;
    int w, h;
  };
  // 650 × 1.25 = 812.5 is cut to 812 before the screen scale applies.
  for (const Case& c :
       {Case{1.f, 1.f, 650, 400}, Case{1.5f, 1.f, 975, 600}, Case{1.25f, 1.f, 812, 500},
        Case{1.f, 2.f, 1300, 800}, Case{1.25f, 2.f, 1624, 1000}}) {
    Scene scene(650, 400, c.drawScale, c.screenScale, nullptr);
    EXPECT_EQ(scene.UI().SurfaceWidth(), c.w) << c.drawScale << " " << c.screenScale;
    EXPECT_EQ(scene.UI().SurfaceHeight(), c.h) << c.drawScale << " " << c.screenScale;
    EXPECT_GE(scene.UI().SurfaceStride(), c.w * 4);
  }
}

TEST(CairoSurface, FollowsResizeAndScreenScale) {
  Scene scene(650, 400, 1.f, 1.f, nullptr);
  scene.UI().Resize(650, 400, 2.f);
  EXPECT_EQ(scene.UI().SurfaceWidth(), 1300);
  scene.UI().SetScreenScale(2.f);
  EXPECT_EQ(scene.UI().SurfaceWidth(), 2600);
  EXPECT_EQ(scene.UI().SurfaceHeight(), 1600);
}

TEST(CairoSurface, NamesItselfAndAcceptsPngAndJpegNamesOnly) {
  Scene scene(10, 10, 1.f, 1.f, nullptr);
  const IGraphicsCairo& ui = scene.UI();
  EXPECT_STREQ(ui.DrawingBackendName(), "CAIRO | CPU");
  EXPECT_NE(scene.UI().GetNativeCanvas(), nullptr);
  for (const char* yes : {"png", "knob@2x.PNG", "photo.jpeg", "x.JPG", "jpg"})
    EXPECT_TRUE(ui.SupportsImageType(yes)) << yes;
  for (const char* no : {"gif", "x.svg", "", "bmp"}) EXPECT_FALSE(ui.SupportsImageType(no)) << no;
  EXPECT_FALSE(ui.SupportsImageType(nullptr));
  EXPECT_EQ(ui.AlphaChannelIndex(), 3);
  EXPECT_FALSE(ui.IsBitmapFlipped());
}

TEST(CairoSurface, GetPointReadsPremultipliedDevicePixelsAndNothingOutside) {
  Scene scene(40, 40, 2.f, 1.f, [](IGraphics& g) {
    g.FillRect(COLOR_RED, IBox(10, 10, 20, 20));
    g.FillRect(IArgb(128, 255, 255, 255), IBox(20, 10, 30, 20));
  });
  EXPECT_EQ(scene.Pixel(25, 25), 0xFFFF0000u);
  EXPECT_EQ(scene.Pixel(19, 19), 0u);
  EXPECT_EQ(scene.Pixel(45, 25), 0x80808080u);
  EXPECT_EQ(scene.UI().GetPoint(-1, 0), COLOR_TRANSPARENT);
  EXPECT_EQ(scene.UI().GetPoint(80, 0), COLOR_TRANSPARENT);
}

TEST(CairoSurface, TheSurfaceAndALayerCanBeWrittenAsPng) {
  std::unique_ptr<IOffscreenLayer> layer;
  Scene scene(30, 20, 1.f, 1.f, [&](IGraphics& g) {
    g.FillRect(COLOR_RED, IBox(0, 0, 30, 20));
    g.PushLayer(nullptr, IBox(0, 0, 10, 10));
    g.FillRect(COLOR_BLUE, IBox(0, 0, 10, 10));
    layer = g.PopLayer();
  });
  const std::string dir = ::testing::TempDir();
  ASSERT_TRUE(scene.UI().WriteSurfacePng(dir + "surface.png"));
  ASSERT_TRUE(layer);
  ASSERT_TRUE(IGraphicsCairo::WriteBitmapPng(*layer->bitmap, dir + "layer.png"));
  for (const auto& [name, w, colour] :
       {std::tuple{"surface.png", 30, 0xFFFF0000u}, {"layer.png", 10, 0xFF0000FFu}}) {
    cairo_surface_t* read = cairo_image_surface_create_from_png((dir + name).c_str());
    ASSERT_EQ(cairo_surface_status(read), CAIRO_STATUS_SUCCESS);
    EXPECT_EQ(cairo_image_surface_get_width(read), w);
    EXPECT_EQ(*reinterpret_cast<const uint32_t*>(cairo_image_surface_get_data(read)), colour);
    cairo_surface_destroy(read);
  }
  EXPECT_FALSE(scene.UI().WriteSurfacePng("/nonexistent/folder/surface.png"));
}

TEST(CairoSurface, APresentedFrameIsCountedOncePerDraw) {
  Scene scene(10, 10, 1.f, 1.f, [](IGraphics& g) { g.FillRect(COLOR_RED, IBox(0, 0, 10, 10)); });
  const int frames = scene.UI().FramesPresented();
  EXPECT_FALSE(scene.UI().Tick());  // nothing dirty
  scene.Redraw();
  EXPECT_EQ(scene.UI().FramesPresented(), frames + 1);
}

TEST(CairoSurface, AContextPutIntoAnErrorStateIsReplacedAndDrawsAgain) {
  bool poison = true;
  Scene scene(20, 20, 1.f, 1.f, [&](IGraphics& g) {
    auto* cr = static_cast<cairo_t*>(g.GetNativeCanvas());
    if (poison) {
      cairo_scale(cr, 0.0, 0.0);  // a singular matrix disables a cairo_t for good
      EXPECT_NE(cairo_status(cr), CAIRO_STATUS_SUCCESS);
    }
    g.FillRect(COLOR_GREEN, IBox(0, 0, 10, 10));
  });
  EXPECT_EQ(scene.Pixel(5, 5), 0xFF00FF00u);
  auto* cr = static_cast<cairo_t*>(scene.UI().GetNativeCanvas());
  EXPECT_EQ(cairo_status(cr), CAIRO_STATUS_SUCCESS);
  poison = false;
}

}  // namespace

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "GraphicsTestSupport.h"
#include "graphics/IGraphicsStructs.h"

using namespace iplug::igraphics;
using graphics_test::Str;

namespace {

std::vector<std::string> Optimized(std::initializer_list<IBox> boxes) {
  IDirtyList list;
  for (const IBox& b : boxes) list.Add(b);
  list.Optimize();
  std::vector<std::string> out;
  for (int i = 0; i < list.Size(); ++i) out.push_back(Str(list.Get(i)));
  return out;
}

}  // namespace

TEST(IBox, EmptyRectangleContainsAndIntersectsNothing) {
  const IBox empty;
  const IBox r(0, 0, 10, 10);
  EXPECT_FALSE(empty.Contains(0.f, 0.f));
  EXPECT_FALSE(empty.Intersects(r));
  EXPECT_FALSE(r.Intersects(empty));
  EXPECT_FALSE(r.Contains(empty));
  EXPECT_FALSE(empty.Contains(r));
  EXPECT_EQ(empty.Union(r), r);
  EXPECT_EQ(r.Union(empty), r);
  EXPECT_TRUE(r.Intersect(IBox(20, 20, 30, 30)).Empty());
  // A degenerate rectangle away from the origin is not empty.
  EXPECT_FALSE(IBox(5, 5, 5, 5).Empty());
}

TEST(IBox, LeftTopEdgesInsideRightBottomOutsideTouchingIntersects) {
  const IBox r(10, 10, 20, 20);
  EXPECT_TRUE(r.Contains(10.f, 10.f));
  EXPECT_FALSE(r.Contains(20.f, 20.f));
  EXPECT_FALSE(r.Contains(19.f, 20.f));
  EXPECT_TRUE(r.Intersects(IBox(20, 20, 30, 30)));
  // Only this rectangle's right/bottom edge may touch: the rule is not symmetric.
  EXPECT_FALSE(IBox(20, 20, 30, 30).Intersects(r));
  EXPECT_FALSE(r.Intersects(IBox(21, 10, 30, 20)));
  EXPECT_EQ(r.Intersect(IBox(15, 0, 40, 12)), IBox(15, 10, 20, 12));
  EXPECT_EQ(r.Union(IBox(0, 15, 12, 40)), IBox(0, 10, 20, 40));
  EXPECT_TRUE(r.Contains(IBox(10, 10, 20, 20)));
  EXPECT_FALSE(r.Contains(IBox(10, 10, 20.5f, 20)));
}

TEST(IBox, PaddingPixelAlignmentAndCentring) {
  EXPECT_EQ(IBox(0.3f, 0.3f, 10.2f, 10.2f).GetPixelAligned(2.f), IBox(0, 0, 10.5f, 10.5f));
  EXPECT_EQ(IBox(0.3f, 0.3f, 10.2f, 10.2f).GetPixelAligned(1.f), IBox(0, 0, 11, 11));
  EXPECT_EQ(IBox(-0.75f, 9.25f, 20.75f, 20.f).GetPixelAligned(1.f), IBox(-1, 9, 21, 20));
  EXPECT_EQ(IBox(10, 10, 20, 20).GetPadded(0.75f), IBox(9.25f, 9.25f, 20.75f, 20.75f));
  EXPECT_EQ(IBox(0, 0, 100, 50).GetCentredInside(20, 10), IBox(40, 20, 60, 30));
  const IBox r(0, 0, 100, 50);
  EXPECT_FLOAT_EQ(r.MW(), 50.f);
  EXPECT_FLOAT_EQ(r.MH(), 25.f);
  EXPECT_FLOAT_EQ(r.Area(), 5000.f);
}

TEST(IBox, ClampIntoShiftsAndKeepsRightBottomOneUnitInside) {
  const IBox bounds(0, 0, 100, 100);
  IBox x(-10, -5, 20, 30);  // sticks out left and top: shifted in, size kept
  x.ClampInto(bounds);
  EXPECT_EQ(x, IBox(0, 0, 30, 35));

  x = IBox(90, 95, 110, 120);  // sticks out right and bottom: shifted back, one unit inside
  x.ClampInto(bounds);
  EXPECT_EQ(x, IBox(79, 74, 99, 99));

  x = IBox(-20, 10, 150, 20);  // wider than the bounds: shrunk to them
  x.ClampInto(bounds);
  EXPECT_EQ(x, IBox(0, 10, 99, 20));

  x = IBox(10, 10, 20, 20);  // inside: unchanged
  x.ClampInto(bounds);
  EXPECT_EQ(x, IBox(10, 10, 20, 20));
}

// Whatever the list, every dirty pixel stays dirty: a merge may cover more than the inputs, never
// less. Random lists of overlapping rectangles on a small grid, where every way two rectangles
// can overlap (a corner, a side, across, inside) comes up often; a few carry half units, as
// pixel-aligned boxes at zoom 1.5 do.
TEST(IDirtyList, OptimiseAlwaysCoversEveryDirtyPixel) {
  std::mt19937 rng(20261210);
  std::uniform_int_distribution<int> coordinate(0, 24), count(1, 8), half(0, 9);
  int lost = 0, overlapping = 0;
  std::string first;
  for (int round = 0; round < 20000; ++round) {
    std::vector<IBox> inputs;
    const int n = count(rng);
    for (int i = 0; i < n; ++i) {
      auto edge = [&] { return coordinate(rng) + (half(rng) == 0 ? 0.5f : 0.f); };
      float l = edge(), r = edge(), t = edge(), b = edge();
      if (l > r) std::swap(l, r);
      if (t > b) std::swap(t, b);
      inputs.emplace_back(l, t, r, b);
    }
    IDirtyList list;
    for (const IBox& box : inputs) list.Add(box);
    list.Optimize();
    // The centre of every half-unit cell an input covers must lie in some output.
    bool covered = true;
    for (const IBox& box : inputs) {
      for (float y = box.T + 0.25f; y < box.B && covered; y += 0.5f)
        for (float x = box.L + 0.25f; x < box.R && covered; x += 0.5f) {
          bool inside = false;
          for (int k = 0; k < list.Size() && !inside; ++k) inside = list.Get(k).Contains(x, y);
          covered = inside;
        }
    }
    if (!covered) {
      if (lost++ == 0)
        for (const IBox& box : inputs) first += Str(box) + " ";
    }
    // And no pixel is drawn twice.
    for (int a = 0; a < list.Size(); ++a)
      for (int b = a + 1; b < list.Size(); ++b) {
        const IBox x = list.Get(a).Intersect(list.Get(b));
        if (list.Get(a).Intersects(list.Get(b)) && x.W() > 0.f && x.H() > 0.f) ++overlapping;
      }
  }
  EXPECT_EQ(lost, 0) << "lists that lost area, the first: " << first;
  EXPECT_EQ(overlapping, 0);
}

TEST(IDirtyList, OptimiseRemovesContainedAndEqualAndMergesNeighbours) {
  EXPECT_EQ(Optimized({{0, 0, 10, 10}, {2, 2, 5, 5}}), std::vector<std::string>{"(0,0,10,10)"});
  EXPECT_EQ(Optimized({{2, 2, 5, 5}, {0, 0, 10, 10}}), std::vector<std::string>{"(0,0,10,10)"});
  EXPECT_EQ(Optimized({{0, 0, 10, 10}, {0, 10, 10, 20}}), std::vector<std::string>{"(0,0,10,20)"});
  EXPECT_EQ(Optimized({{0, 0, 10, 10}, {0, 0, 10, 10}}), std::vector<std::string>{"(0,0,10,10)"});
  EXPECT_EQ(Optimized({{0, 0, 10, 10}, {5, 0, 15, 10}}), std::vector<std::string>{"(0,0,15,10)"});
  EXPECT_EQ(Optimized({{0, 0, 10, 10}, {40, 40, 50, 50}}),
            (std::vector<std::string>{"(0,0,10,10)", "(40,40,50,50)"}));
  // The entry whose full side the overlap spans is the one trimmed.
  EXPECT_EQ(Optimized({{0, 0, 10, 10}, {5, 0, 15, 20}}),
            (std::vector<std::string>{"(0,0,5,10)", "(5,0,15,20)"}));
  // Three in a row collapse into one through repeated merging.
  EXPECT_EQ(Optimized({{0, 0, 10, 10}, {20, 0, 30, 10}, {10, 0, 20, 10}}),
            std::vector<std::string>{"(0,0,30,10)"});
}

TEST(IDirtyList, OptimiseSplitsDiagonalOverlapWithoutLosingArea) {
  // Equal areas: the second entry is split around the overlap; the split-off piece is then
  // trimmed against the first entry, leaving three disjoint rectangles covering the union.
  EXPECT_EQ(Optimized({{0, 0, 10, 10}, {5, 5, 15, 15}}),
            (std::vector<std::string>{"(0,0,10,10)", "(5,10,15,15)", "(10,5,15,10)"}));
  // Once a contained entry is dropped, its successor is compared with every later entry.
  EXPECT_EQ(Optimized({{2, 2, 5, 5}, {20, 5, 40, 15}, {0, 0, 30, 10}}),
            (std::vector<std::string>{"(20,10,40,15)", "(0,0,30,10)", "(30,5,40,10)"}));
  // A larger second entry makes the first one split instead.
  EXPECT_EQ(Optimized({{0, 0, 10, 10}, {5, 5, 25, 25}}),
            (std::vector<std::string>{"(0,5,5,10)", "(5,5,25,25)", "(0,0,10,5)"}));
}

TEST(IDirtyList, BoundsAndPixelAlign) {
  IDirtyList list;
  EXPECT_TRUE(list.Bounds().Empty());
  list.Add({9.25f, 9.25f, 20.75f, 20.75f});
  list.Add({49.25f, 49.25f, 60.75f, 60.75f});
  EXPECT_EQ(list.Bounds(), IBox(9.25f, 9.25f, 60.75f, 60.75f));
  list.PixelAlign(2.f);
  EXPECT_EQ(list.Get(0), IBox(9, 9, 21, 21));
  EXPECT_EQ(list.Get(1), IBox(49, 49, 61, 61));
}

TEST(ITransform2D, ComposedMatrixAppliesToPointsFirst) {
  ITransform2D t;
  t.Translate(10, 0).Scale(2, 2);  // scale, then translate
  double x = 1, y = 1;
  t.TransformPoint(x, y);
  EXPECT_DOUBLE_EQ(x, 12);
  EXPECT_DOUBLE_EQ(y, 2);

  ITransform2D u;
  u.Scale(2, 2).Translate(10, 0);  // translate, then scale
  x = 1, y = 1;
  u.TransformPoint(x, y);
  EXPECT_DOUBLE_EQ(x, 22);
  EXPECT_DOUBLE_EQ(y, 2);

  ITransform2D r;
  r.Rotate(90);  // y down: +x turns to +y
  x = 1, y = 0;
  r.TransformPoint(x, y);
  EXPECT_NEAR(x, 0, 1e-6);
  EXPECT_NEAR(y, 1, 1e-6);
  EXPECT_EQ(ITransform2D(), ITransform2D(1, 0, 0, 1, 0, 0));
}

TEST(DrawingDefaults, TextStylePaintStrokeAndBlend) {
  EXPECT_STREQ(DEFAULT_TEXT.fontID, "Roboto-Regular");
  EXPECT_FLOAT_EQ(DEFAULT_TEXT.size, 14.f);
  EXPECT_EQ(DEFAULT_TEXT.fgColor, COLOR_BLACK);
  EXPECT_EQ(DEFAULT_TEXT.textEntryBGColor, COLOR_WHITE);
  EXPECT_EQ(DEFAULT_TEXT.align, EHAlign::Center);
  EXPECT_EQ(DEFAULT_TEXT.valign, EVAlign::Middle);
  ITextStyle longName;
  longName.SetFontID(std::string(100, 'x').c_str());
  EXPECT_EQ(std::strlen(longName.fontID), 63u);

  const IPaint solid(COLOR_RED);
  EXPECT_EQ(solid.kind, EPaintKind::Solid);
  EXPECT_EQ(solid.extend, EPaintExtend::Pad);
  EXPECT_EQ(solid.nStops, 1);
  EXPECT_EQ(solid.stops[0].color, COLOR_RED);
  EXPECT_EQ(solid.stops[15].color, COLOR_BLACK);
  IPaint gradient(EPaintKind::Linear);
  for (int i = 0; i < IPaint::kMaxStops; ++i) EXPECT_TRUE(gradient.AddStop(COLOR_RED, 0.f));
  EXPECT_FALSE(gradient.AddStop(COLOR_RED, 1.f));

  IStrokeStyle stroke;
  EXPECT_FLOAT_EQ(stroke.miterLimit, 10.f);
  EXPECT_EQ(stroke.dash.count, 0);
  const float dashes[10] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
  stroke.dash.Set(dashes, 10, 0.5f);
  EXPECT_EQ(stroke.dash.count, 8);
  EXPECT_FLOAT_EQ(stroke.dash.array[7], 8.f);

  EXPECT_FLOAT_EQ(BlendWeight(nullptr), 1.f);
  EXPECT_EQ(BlendOp(nullptr), ECompositeOp::SrcOver);
  EXPECT_EQ(static_cast<int>(ECompositeOp::Xor), 9);
  EXPECT_EQ(HostHighlightColor(1), COLOR_BLUE);
  EXPECT_EQ(HostHighlightColor(2), COLOR_GREEN);
}

TEST(IBitmapHandle, FrameArithmetic) {
  APIBitmap vertical(nullptr, 58, 116, 2.f, 1.f);  // 29 x 58 graphics units at scale 2
  const IBitmapHandle v(&vertical, 2, false, "knob.png");
  EXPECT_EQ(v.W(), 29);
  EXPECT_EQ(v.H(), 58);
  EXPECT_EQ(v.FW(), 29);
  EXPECT_EQ(v.FH(), 29);
  EXPECT_EQ(v.FrameX(2), 0);
  EXPECT_EQ(v.FrameY(2), 29);

  APIBitmap odd(nullptr, 59, 10, 2.f, 1.f);  // 29.5 units wide: truncated
  const IBitmapHandle h(&odd, 3, true, "strip.png");
  EXPECT_EQ(h.W(), 29);
  EXPECT_EQ(h.FW(), 9);
  EXPECT_EQ(h.FH(), 5);
  EXPECT_EQ(h.FrameX(3), 19);  // (3 - 1) * 29 / 3
  EXPECT_EQ(h.FrameY(3), 0);

  const IBitmapHandle none;
  EXPECT_FALSE(none.IsValid());
  EXPECT_EQ(IBitmapHandle(&odd, 0, true, "x").N(), 1);
}

TEST(IMenuModel, ClearDeletesItemsAndForgetsChoice) {
  IMenuModel menu("root");
  menu.AddItem("a", IMenuEntry::kChecked);
  auto* sub = new IMenuModel();
  sub->AddItem("deep");
  menu.AddItem(new IMenuEntry("sub", sub));
  menu.AddSeparator();
  ASSERT_EQ(menu.NItems(), 3);
  EXPECT_TRUE(menu.GetItem(0)->IsChecked());
  EXPECT_EQ(menu.GetItem(1)->Submenu(), sub);
  EXPECT_TRUE(menu.GetItem(2)->IsSeparator());
  EXPECT_EQ(menu.GetItem(3), nullptr);

  menu.SetChosenItemIdx(1);
  EXPECT_EQ(menu.ChosenItem()->Text(), "sub");
  int completed = 0;
  menu.SetCompletionFunction([&](IMenuModel* m) { completed += m == &menu; });
  menu.Complete();
  EXPECT_EQ(completed, 1);

  menu.Clear();
  EXPECT_EQ(menu.NItems(), 0);
  EXPECT_EQ(menu.ChosenItemIdx(), -1);
  EXPECT_EQ(menu.RootTitle(), "root");
}

TEST(IKeyEvent, FromKeyPressKeepsTextAndModifiers) {
  iplug::IKeyPress press;
  press.virtualKey = 0x41;
  std::memcpy(press.utf8, "abcde", 5);  // not terminated
  press.shift = true;
  const IKeyEvent key(press);
  EXPECT_EQ(key.VK, 0x41);
  EXPECT_STREQ(key.utf8, "abcd");
  EXPECT_TRUE(key.S);
  EXPECT_FALSE(key.C);
}

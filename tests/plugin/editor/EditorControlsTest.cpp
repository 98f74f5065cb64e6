#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <thread>

#include "plugin/editor/IBGridKnobControl.h"
#include "plugin/editor/IBSwitchControl.h"
#include "plugin/editor/ICorvaneLEDMeterControl.h"
#include "plugin/editor/IRasterScaleCornerDragControl.h"
#include "plugin/editor/ITransferCurveControl.h"
#include "tests/graphics/GraphicsTestSupport.h"

using namespace corvane;
using graphics_test::RecordingGraphics;
using graphics_test::TestDelegate;
using Log = std::vector<std::string>;

namespace {

class FakeBitmap : public APIBitmap {
 public:
  FakeBitmap(int w, int h) : APIBitmap(this, w, h, 1.f, 1.f) {}
};

/** Records bitmaps with their source offsets and lines with their ends. */
class EditorGraphics : public RecordingGraphics {
 public:
  using RecordingGraphics::RecordingGraphics;
  void DrawBitmap(const IBitmapHandle& bitmap, const IBox& dest, int srcX, int srcY,
                  const IBlendSpec*) override {
    Log(bitmap.ResourceName() + " " + graphics_test::Str(dest) + " from " + std::to_string(srcX) +
        "," + std::to_string(srcY));
  }
  void DrawLine(const IArgb&, float x1, float y1, float x2, float y2, const IBlendSpec*,
                float) override {
    lines.push_back({x1, y1, x2, y2});
  }
  std::unique_ptr<APIBitmap> NewBackendBitmap(int w, int h, float, float, bool) override {
    if (!layers) return nullptr;
    return std::make_unique<FakeBitmap>(w, h);
  }
  std::vector<std::array<float, 4>> lines;
  bool layers = true;  // false: the backend cannot make layers
};

/** A bitmap kept in the shared cache, as the layout's loads leave it. */
IBitmapHandle Cached(IGraphics& g, const char* name, int w, int h, int frames = 1) {
  const IBitmapHandle bitmap(new FakeBitmap(w, h), frames, false, name);
  g.AddBitmapToCache(bitmap, name);
  return bitmap;
}

class EditorControlsTest : public ::testing::Test {
 protected:
  template <typename T>
  T* Add(T* control, int tag = kNoTag) {
    g.AddControl(control, tag);
    return control;
  }
  Log Drawn(IControl& c) {
    g.log.clear();
    c.Draw(g);
    return g.log;
  }

  TestDelegate d;
  EditorGraphics g{d};
};

TEST_F(EditorControlsTest, GridKnobDrawsTheFrameOfItsValueFromTheGrid) {
  const IBitmapHandle strip = Cached(g, "large.png", 1024, 1088);
  auto* knob = Add(new IBGridKnobControl(24, 152, strip, 0, 271, 16));
  EXPECT_EQ(knob->GetRECT(), IBox(24, 152, 88, 216));
  EXPECT_EQ(knob->FrameWidth(), 64);
  EXPECT_EQ(knob->FrameHeight(), 64);
  // Frame 0 in the top-left cell, 135 in row 9 column 8, 270 in row 17 column 15 (from 1).
  for (const auto& [value, frame, from] :
       {std::tuple{0.0, 0, "0,0"}, {0.5, 135, "448,512"}, {1.0, 270, "896,1024"}}) {
    knob->SetValue(value);
    EXPECT_EQ(knob->FrameIndex(), frame);
    EXPECT_EQ(Drawn(*knob), (Log{std::string("large.png (24,152,88,216) from ") + from}));
  }
  knob->SetValue(NAN);
  EXPECT_EQ(knob->FrameIndex(), 0);

  // In a larger rectangle the frame is centred, not stretched.
  knob->SetTargetAndDrawRECTs(IBox(0, 0, 100, 80));
  knob->SetValue(0.0);
  EXPECT_EQ(Drawn(*knob), (Log{"large.png (18,8,82,72) from 0,0"}));

  // The small strip: 47 x 47 frames, the same grid.
  auto* small = Add(new IBGridKnobControl(112, 145, Cached(g, "small.png", 752, 799), 1, 271, 16));
  EXPECT_EQ(small->GetRECT(), IBox(112, 145, 159, 192));
}

TEST_F(EditorControlsTest, GridKnobWithoutFramesOrColumnsDrawsNothing) {
  const IBitmapHandle strip = Cached(g, "large.png", 1024, 1088);
  for (const auto& [frames, columns] : {std::pair{0, 16}, {271, 0}, {-3, -1}}) {
    auto* knob = Add(new IBGridKnobControl(0, 0, strip, kNoParameter, frames, columns));
    knob->SetValue(0.7);
    EXPECT_TRUE(Drawn(*knob).empty()) << frames << " " << columns;
    if (frames <= 0) {
      EXPECT_EQ(knob->FrameIndex(), 0);
    }
  }
}

TEST_F(EditorControlsTest, GridKnobDragsWithGearingFourAndFinerWithShift) {
  auto* knob = Add(new IBGridKnobControl(0, 0, Cached(g, "large.png", 1024, 1088), 0, 271, 16));
  IPointerMods mod;
  mod.L = true;
  knob->SetValue(0.5);
  knob->OnMouseDown(32, 32, mod);
  knob->OnMouseDrag(32, 16, 0, -16, mod);  // a quarter of the knob's height: 1/16 of the range
  EXPECT_NEAR(knob->GetValue(), 0.5625, 1e-12);
  mod.S = true;
  knob->OnMouseDrag(32, 0, 0, -16, mod);
  EXPECT_NEAR(knob->GetValue(), 0.56875, 1e-12);
  knob->OnMouseUp(32, 0, mod);
  EXPECT_FALSE(g.PointerHidden());
}

/** A 16-byte level record as the meter senders transmit it. */
std::array<uint8_t, 16> Record(float value, int32_t channels = 1, int32_t offset = 0) {
  std::array<uint8_t, 16> bytes{};
  const int32_t tag = 1;
  std::memcpy(bytes.data(), &tag, 4);
  std::memcpy(bytes.data() + 4, &channels, 4);
  std::memcpy(bytes.data() + 8, &offset, 4);
  std::memcpy(bytes.data() + 12, &value, 4);
  return bytes;
}

class MeterTest : public EditorControlsTest {
 protected:
  MeterTest() {
    ICorvaneLEDMeterControl::Positions positions{};
    for (int i = 0; i < 16; ++i) positions[static_cast<size_t>(i)] = {10 * i, 100};
    meter = Add(new ICorvaneLEDMeterControl(IBox(0, 90, 170, 120), Cached(g, "glow.png", 16, 16),
                                            Cached(g, "red.png", 16, 16), positions),
                1);
  }
  void Send(float value, int32_t channels = 1, int32_t offset = 0, int msgTag = 0) {
    const auto bytes = Record(value, channels, offset);
    meter->OnDelegateMessage(msgTag, 16, bytes.data());
  }
  /** One display tick's drawing of the meter, as one frame. */
  Log Frame() {
    IDirtyList all;
    all.Add(meter->GetRECT());
    g.log.clear();
    g.Draw(all);
    Log bitmaps;
    for (const auto& entry : g.log)
      if (entry.rfind("glow", 0) == 0 || entry.rfind("red", 0) == 0) bitmaps.push_back(entry);
    return bitmaps;
  }
  ICorvaneLEDMeterControl* meter = nullptr;
};

TEST_F(MeterTest, LevelsLightTheirLEDsAndFullScaleTheRedOne) {
  Send(0.5f);
  Log lit = Frame();
  ASSERT_EQ(lit.size(), 8u);
  EXPECT_EQ(lit.front(), "glow.png (0,100,16,116) from 0,0");
  EXPECT_EQ(lit.back(), "glow.png (70,100,86,116) from 0,0");

  // At full scale the last LED glows red alone: the white one added under it would turn it pink.
  Send(1.0f);
  lit = Frame();
  ASSERT_EQ(lit.size(), 16u);
  EXPECT_EQ(lit[14], "glow.png (140,100,156,116) from 0,0");
  EXPECT_EQ(lit.back(), "red.png (150,100,166,116) from 0,0");
  Send(0.999f);
  Frame();
  Frame();
  Frame();
  EXPECT_EQ(Frame().size(), 15u);  // after the hold: 15 LEDs, no red
}

TEST_F(MeterTest, APeakIsHeldForThreeRedrawsCountedOncePerFrame) {
  Send(0.5f);
  Frame();
  Send(0.25f);
  EXPECT_EQ(Frame().size(), 8u);
  // A frame whose dirty regions cut the meter in two pieces is still one redraw: both pieces
  // light the same LEDs, and the hold ticks once.
  IDirtyList pieces;
  pieces.Add(IBox(0, 90, 60, 120));
  pieces.Add(IBox(100, 90, 170, 120));
  g.log.clear();
  g.Draw(pieces);
  size_t glows = 0;
  for (const auto& entry : g.log) glows += entry.rfind("glow", 0) == 0;
  EXPECT_EQ(glows, 16u);  // 8 LEDs in each piece
  EXPECT_EQ(meter->HeldCount(), 8);
  EXPECT_EQ(Frame().size(), 4u);  // the third redraw after the drop
}

// A display tick at rest draws nothing: a level that lights what is lit already (silence, a
// steady tone) asks for no redraw, while a held peak keeps asking until it has gone out.
TEST_F(MeterTest, AStillMeterAsksForNoRedrawAndAHeldPeakUntilItIsOut) {
  const auto tick = [this](float level) {
    Send(level);
    IDirtyList rects;
    const bool dirty = g.IsDirty(rects);
    g.SetAllControlsClean();
    if (dirty) Frame();
    return dirty;
  };
  EXPECT_TRUE(tick(0.0f));  // never drawn yet
  for (int i = 0; i < 10; ++i) EXPECT_FALSE(tick(0.0f)) << "silence, tick " << i;
  EXPECT_TRUE(tick(0.5f));
  // The peak is held for three redraws, each asked for, and then the meter is still again.
  int redraws = 0;
  while (tick(0.25f) && redraws < 10) ++redraws;
  EXPECT_EQ(redraws, 3);
  EXPECT_EQ(meter->LitCount(), 4);
  for (int i = 0; i < 10; ++i) EXPECT_FALSE(tick(0.26f)) << "a steady level, tick " << i;
  // Within one LED nothing changes; across one, or into the red, it does.
  EXPECT_TRUE(tick(0.32f));
  EXPECT_TRUE(tick(1.0f));
}

TEST_F(MeterTest, RecordsThatAreNotLevelsChangeNothing) {
  Send(0.5f);
  for (const auto& bad :
       {std::tuple{0.9f, 0, 0, 0}, {0.9f, 1, 1, 0}, {0.9f, 1, -1, 0}, {0.9f, 1, 0, 3}}) {
    const auto& [value, channels, offset, msgTag] = bad;
    Send(value, channels, offset, msgTag);
    EXPECT_EQ(meter->GetValue(), 0.5);
  }
  Send(NAN);
  EXPECT_EQ(meter->GetValue(), 0.0);
  Send(-2.f);
  EXPECT_EQ(meter->GetValue(), 0.0);
  Send(7.f);
  EXPECT_EQ(meter->GetValue(), 1.0);
  // A record too short to hold one is the default record: silence.
  const uint8_t shortRecord[8] = {1, 0, 0, 0, 1, 0, 0, 0};
  meter->OnDelegateMessage(0, 8, shortRecord);
  EXPECT_EQ(meter->GetValue(), 0.0);
  meter->SetDisabled(true);
  Send(0.7f);
  EXPECT_EQ(meter->GetValue(), 0.0);
}

TEST_F(EditorControlsTest, CurveDrawsItsPointsFromTheLeftEdgeUpFromTheBottom) {
  auto* curve = Add(new ITransferCurveControl(IBox(239, 58, 411, 230), IArgb(255, 149, 219, 94),
                                              IBlendSpec(ECompositeOp::Add, 1.f)));
  EXPECT_TRUE(curve->GetIgnoreMouse());
  curve->Draw(g);
  EXPECT_TRUE(g.lines.empty());  // no points yet
  {
    std::lock_guard lock(curve->PointsMutex());
    curve->Points().resize(172);
    for (int i = 0; i < 172; ++i) curve->Points()[static_cast<size_t>(i)] = i / 171.0;
    curve->MarkForRedraw();
  }
  curve->Draw(g);
  ASSERT_EQ(g.lines.size(), 171u);
  // Step (172 - 1) / 172 across, heights up from one point above the bottom edge.
  EXPECT_FLOAT_EQ(g.lines.front()[0], 239.f);
  EXPECT_FLOAT_EQ(g.lines.front()[1], 229.f);
  EXPECT_NEAR(g.lines.back()[2], 239.f + 171.f * 171.f / 172.f, 1e-3);
  EXPECT_NEAR(g.lines.back()[3], 229.f - 171.f, 1e-3);
}

// The meters beside the curve redraw every frame; the polyline is drawn again only for new
// points or a new scale, and every frame adds what was drawn last.
TEST_F(EditorControlsTest, TheCurveIsDrawnOnceUntilItsPointsOrTheScaleChange) {
  auto* curve = Add(new ITransferCurveControl(IBox(239, 58, 411, 230), COLOR_GREEN,
                                              IBlendSpec(ECompositeOp::Add, 1.f)));
  const auto write = [curve](double slope) {
    std::lock_guard lock(curve->PointsMutex());
    curve->Points().assign(172, 0.0);
    for (int i = 0; i < 172; ++i) curve->Points()[static_cast<size_t>(i)] = slope * i / 171.0;
    curve->MarkForRedraw();
  };
  const auto bitmapsDrawn = [this, curve] {
    const Log log = Drawn(*curve);
    return std::count_if(log.begin(), log.end(),
                         [](const std::string& e) { return e.find(" from ") != e.npos; });
  };
  write(1.0);
  for (int frame = 0; frame < 3; ++frame) EXPECT_EQ(bitmapsDrawn(), 1) << frame;
  EXPECT_EQ(g.lines.size(), 171u);

  write(0.5);
  Drawn(*curve);
  EXPECT_EQ(g.lines.size(), 2u * 171u);
  EXPECT_NEAR(g.lines.back()[3], 229.f - 0.5f * 171.f, 1e-3);
  Drawn(*curve);
  EXPECT_EQ(g.lines.size(), 2u * 171u);

  g.Resize(650, 400, 2.f);
  Drawn(*curve);
  EXPECT_EQ(g.lines.size(), 3u * 171u);

  // Without a layer the polyline still shows, drawn straight onto the screen every frame.
  g.layers = false;
  write(1.0);
  for (int frame = 0; frame < 2; ++frame) EXPECT_EQ(bitmapsDrawn(), 0) << frame;
  EXPECT_EQ(g.lines.size(), 6u * 171u);  // into the layer that failed, then twice straight
}

TEST_F(EditorControlsTest, ACurveWrittenAnyTimeIsRedrawnOnce) {
  auto* curve = Add(new ITransferCurveControl(IBox(0, 0, 10, 10), COLOR_GREEN, IBlendSpec()));
  g.SetAllControlsClean();
  EXPECT_FALSE(curve->IsDirty());
  curve->MarkForRedraw();
  // Cleaning the control after its dirty state was collected loses nothing that came later.
  EXPECT_TRUE(curve->IsDirty());
  curve->SetClean();
  EXPECT_FALSE(curve->IsDirty());
  curve->MarkForRedraw();
  curve->SetClean();
  EXPECT_TRUE(curve->IsDirty());
}

class CornerTest : public EditorControlsTest {
 protected:
  CornerTest() {
    corner = Add(new IRasterScaleCornerDragControl(
        IBox(0, 0, 650, 400), 20.f, {2.f, 1.f, 1.5f, 1.25f, 1.75f}, IArgb(10, 0, 0, 0), COLOR_BLACK,
        COLOR_BLACK, ITextStyle(12.f, COLOR_WHITE)));
  }
  /** Presses the handle, drags the pointer until the editor is at a zoom, and lets go: the
   * context zooms by the pointer's distance from the editor's origin against the press's, from
   * the zoom the drag began at. */
  void DragTo(float scale, bool shift = false) {
    IPointerEvent down;
    down.x = 640;
    down.y = 390;
    down.ms.L = true;
    g.OnMouseDown({down});
    IPointerEvent drag = down;
    drag.ms.S = shift;
    const float factor = scale / g.GetDrawScale();
    drag.x = down.x * factor;
    drag.y = down.y * factor;
    drag.dX = drag.x - down.x;
    drag.dY = drag.y - down.y;
    g.OnMouseDrag({drag});
    IPointerEvent up = drag;
    g.OnMouseUp({up});
  }
  IRasterScaleCornerDragControl* corner = nullptr;
};

TEST_F(CornerTest, ReleasingSnapsToTheNearestScaleTiesToTheSmaller) {
  EXPECT_TRUE(g.MouseOverEnabled());
  EXPECT_EQ(corner->NearestScale(1.125f), 1.f);
  EXPECT_EQ(corner->NearestScale(1.13f), 1.25f);
  EXPECT_EQ(corner->NearestScale(9.f), 2.f);
  DragTo(1.125f);
  EXPECT_FLOAT_EQ(g.GetDrawScale(), 1.f);
  DragTo(1.13f);
  EXPECT_FLOAT_EQ(g.GetDrawScale(), 1.25f);
  DragTo(1.62f, true);
  EXPECT_FLOAT_EQ(g.GetDrawScale(), 1.62f);  // Shift keeps the free scale
  EXPECT_FALSE(g.GetResizingInProcess());

  IPointerMods left;
  left.L = true;
  g.OnMouseDoubleClick(640, 390, left);
  EXPECT_FLOAT_EQ(g.GetDrawScale(), 1.f);
}

// Only the left button zooms: a right click on the handle leaves a free zoom as it is, and a
// right double click does not return to 100 %.
TEST_F(CornerTest, TheRightButtonNeitherResizesNorSnaps) {
  DragTo(1.13f, true);
  ASSERT_FLOAT_EQ(g.GetDrawScale(), 1.13f);
  IPointerEvent right;
  right.x = 640;
  right.y = 390;
  right.ms.R = true;
  g.OnMouseDown({right});
  IPointerEvent drag = right;
  drag.x = 700;
  drag.y = 450;
  drag.dX = 60;
  drag.dY = 60;
  g.OnMouseDrag({drag});
  g.OnMouseUp({drag});
  EXPECT_FLOAT_EQ(g.GetDrawScale(), 1.13f);
  EXPECT_FALSE(g.GetResizingInProcess());
  g.OnMouseDoubleClick(640, 390, right.ms);
  EXPECT_FLOAT_EQ(g.GetDrawScale(), 1.13f);
}

TEST_F(CornerTest, TheTriangleKeepsItsSizeOnScreenAndTheGrabAreaScalesWithTheEditor) {
  // The triangle spans corner size / zoom - 2 points (18 on screen at zoom 1 and at zoom 2), the
  // label's room 72 more divided by the zoom; the grab area is twice the corner size in points.
  EXPECT_EQ(corner->TriangleRect(), IBox(631, 381, 649, 399));
  EXPECT_EQ(corner->HitRect(), IBox(611, 361, 649, 399));
  EXPECT_FALSE(corner->HitTest(600, 390));
  EXPECT_TRUE(corner->HitTest(612, 362));
  g.Resize(650, 400, 2.f);
  EXPECT_EQ(corner->TriangleRect(), IBox(641, 391, 649, 399));
  EXPECT_EQ(corner->HitRect(), IBox(611, 361, 649, 399));
  EXPECT_EQ(corner->GetRECT(), IBox(631 - 36, 381 - 36, 649, 399));
  // At half size the triangle is larger in points than the grab area: it grabs too.
  g.Resize(650, 400, 0.5f);
  EXPECT_EQ(corner->TriangleRect(), IBox(611, 361, 649, 399));
  EXPECT_EQ(corner->HitRect(), IBox(611, 361, 649, 399));
}

// A control beside the corner keeps its area: the grab area shrinks until it clears it, at
// every zoom, and the triangle reaches no further than its own half of its square.
TEST_F(CornerTest, TheGrabAreaNeverCoversAControlNearTheCorner) {
  Add(new graphics_test::TestControl(IBox(571, 318, 618, 365)));
  Add(new graphics_test::TestControl(IBox(0, 0, 650, 400)));  // a backdrop is not in the way
  corner->OnAddedToGraphics();
  for (const float zoom : {0.5f, 0.75f, 1.f, 1.25f, 2.f}) {
    SCOPED_TRACE(zoom);
    g.Resize(650, 400, zoom);
    EXPECT_EQ(corner->HitRect(), IBox(615, 365, 649, 399));
    for (float y = 318; y < 365; y += 0.5f)
      for (float x = 571; x < 618; x += 0.5f) ASSERT_FALSE(corner->HitTest(x, y)) << x << "," << y;
  }
}

TEST_F(CornerTest, TheLabelShowsWhereAReleaseWouldSnap) {
  IBox box;
  char text[16];
  EXPECT_FALSE(corner->Label(box, text));  // not dragging
  IPointerEvent down;
  down.x = 640;
  down.y = 390;
  down.ms.L = true;
  g.OnMouseDown({down});
  EXPECT_FALSE(corner->Label(box, text));  // not moved yet
  IPointerEvent drag = down;
  drag.x = down.x * 1.3f;
  drag.y = down.y * 1.3f;
  drag.dX = drag.x - down.x;
  drag.dY = drag.y - down.y;
  g.OnMouseDrag({drag});
  ASSERT_FLOAT_EQ(g.GetDrawScale(), 1.3f);
  ASSERT_TRUE(corner->Label(box, text));
  EXPECT_STREQ(text, "125%");
  // 58 x 20 points on screen, 8 up and left of the triangle.
  EXPECT_NEAR(box.W() * 1.3f, 58.f, 1e-3);
  EXPECT_NEAR(box.H() * 1.3f, 20.f, 1e-3);
  EXPECT_NEAR((corner->TriangleRect().L - box.R) * 1.3f, 8.f, 1e-3);
  g.SetShiftDuringResize(true);
  EXPECT_FALSE(corner->Label(box, text));
}

/** A press and release of a button at (x, y), through the context's dispatch. */
void Click(IGraphics& g, float x, float y, bool right = false) {
  IPointerEvent press;
  press.x = x;
  press.y = y;
  (right ? press.ms.R : press.ms.L) = true;
  g.OnMouseDown({press});
  g.OnMouseUp({press});
}

TEST_F(EditorControlsTest, SwitchAdvancesItsParameterAndShowsTheFrameOfItsState) {
  auto* sw = Add(new IBSwitchControl(480, 330, Cached(g, "os.png", 29, 58, 2), 0));
  EXPECT_EQ(sw->GetRECT(), IBox(480, 330, 509, 359));
  Click(g, 490, 340);
  EXPECT_EQ(sw->GetValue(), 1.0);
  EXPECT_EQ(d.reported.back(), (std::pair<int, double>{0, 1.0}));
  EXPECT_EQ(Drawn(*sw), (Log{"os.png (480,330,509,359) from 0,29"}));
  Click(g, 490, 340);
  EXPECT_EQ(sw->GetValue(), 0.0);
  EXPECT_EQ(Drawn(*sw), (Log{"os.png (480,330,509,359) from 0,0"}));
  // The right button on a parameter's control is the host's (its parameter menu), not a press.
  Click(g, 490, 340, true);
  EXPECT_EQ(sw->GetValue(), 0.0);
  // A value from the host shows its frame without any press.
  sw->ApplyDelegateValue(1.0);
  EXPECT_EQ(Drawn(*sw), (Log{"os.png (480,330,509,359) from 0,29"}));

  // Without a parameter the switch itself takes any button.
  auto* three = Add(new IBSwitchControl(0, 0, Cached(g, "three.png", 10, 30, 3)));
  std::vector<double> values;
  for (int i = 0; i < 3; ++i) {
    Click(g, 5, 5, i == 1);
    values.push_back(three->GetValue());
  }
  EXPECT_EQ(values, (std::vector<double>{0.5, 1.0, 0.0}));
}

}  // namespace

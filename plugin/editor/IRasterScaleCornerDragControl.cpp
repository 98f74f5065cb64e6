#include "plugin/editor/IRasterScaleCornerDragControl.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>

#include "graphics/IGraphics.h"

using namespace iplug::igraphics;

namespace {

// Two zooms this close are the same zoom.
constexpr float kSameScale = 0.0001f;

float Reciprocal(float drawScale) {
  return 1.f / std::max(kSameScale, drawScale);
}

}  // namespace

IRasterScaleCornerDragControl::IRasterScaleCornerDragControl(
    const IBox& editorBounds, float cornerSize, const std::vector<float>& scales,
    const IArgb& normalColor, const IArgb& mouseOverColor, const IArgb& draggingColor,
    const ITextStyle& labelStyle)
    : IControl(IBox(editorBounds.R - 2.f * cornerSize + 1.f,
                    editorBounds.B - 2.f * cornerSize + 1.f, editorBounds.R - 1.f,
                    editorBounds.B - 1.f)),
      mCornerSize(cornerSize),
      mHitRect(mRECT),
      mTriangleRect(editorBounds.R - cornerSize + 1.f, editorBounds.B - cornerSize + 1.f,
                    editorBounds.R - 1.f, editorBounds.B - 1.f),
      mLabelStyle(labelStyle),
      mNormalColor(normalColor),
      mMouseOverColor(mouseOverColor),
      mDraggingColor(draggingColor),
      mScales(scales) {
  std::sort(mScales.begin(), mScales.end());
}

void IRasterScaleCornerDragControl::OnAddedToGraphics() {
  if (mGraphics) mGraphics->EnableMouseOver(true);
  Layout();
}

void IRasterScaleCornerDragControl::Layout() {
  if (!mGraphics) return;
  const float w = static_cast<float>(mGraphics->Width());
  const float h = static_cast<float>(mGraphics->Height());
  const float a = Reciprocal(mGraphics->GetDrawScale());
  const float g = 2.f * mCornerSize * a;
  SetTargetAndDrawRECTs(IBox(w - g + 1.f - 72.f * a, h - g + 1.f - 72.f * a, w - 1.f, h - 1.f));
  // Divided by the zoom, a grab area of constant size on screen grows in editor points as the
  // zoom falls, over the knobs beside the corner; in points it stays clear of them.
  const float side = FreeCornerSide();
  mHitRect = IBox(w - 1.f - side, h - 1.f - side, w - 1.f, h - 1.f);
  mTriangleRect = IBox(w - mCornerSize * a + 1.f, h - mCornerSize * a + 1.f, w - 1.f, h - 1.f);
}

float IRasterScaleCornerDragControl::FreeCornerSide() const {
  const float w = static_cast<float>(mGraphics->Width());
  const float h = static_cast<float>(mGraphics->Height());
  const IBox editor(0.f, 0.f, w, h);
  float side = 2.f * mCornerSize - 2.f;
  for (int i = 0; i < mGraphics->NControls(); ++i) {
    const IControl* control = mGraphics->GetControl(i);
    if (control == this || control->GetIgnoreMouse()) continue;
    const IBox& r = control->GetTargetRECT();
    // A backdrop under everything is not in the way.
    if (r.L <= editor.L && r.T <= editor.T && r.R >= editor.R && r.B >= editor.B) continue;
    const float left = w - 1.f - side, top = h - 1.f - side;
    if (r.R <= left || r.B <= top || r.L >= w - 1.f || r.T >= h - 1.f) continue;
    // Shrink the square until its left or its top edge clears the control, whichever keeps
    // more of it.
    side = std::max(0.f, std::min(side, std::max(w - 1.f - r.R, h - 1.f - r.B)));
  }
  return side;
}

bool IRasterScaleCornerDragControl::InTriangle(float x, float y) const {
  const IBox& t = mTriangleRect;
  if (t.Empty() || !(x >= t.L && x < t.R && y >= t.T && y < t.B)) return false;
  // The lower-right half of its square, where the handle is drawn.
  return (x - t.L) * (t.B - t.T) + (y - t.T) * (t.R - t.L) >= (t.R - t.L) * (t.B - t.T);
}

bool IRasterScaleCornerDragControl::HitTest(float x, float y) const {
  if (mHitRect.Empty()) return false;
  const bool inGrabArea = x >= mHitRect.L && x < mHitRect.R && y >= mHitRect.T && y < mHitRect.B;
  return inGrabArea || InTriangle(x, y);
}

float IRasterScaleCornerDragControl::NearestScale(float scale) const {
  float best = FLT_MAX;
  float candidate = scale;
  for (const float e : mScales) {
    const float distance = std::fabs(scale - e);
    if (distance < best || (std::fabs(distance - best) <= kSameScale && e < candidate)) {
      best = distance;
      candidate = e;
    }
  }
  return candidate;
}

void IRasterScaleCornerDragControl::OnMouseDown(float x, float y, const IPointerMods& mod) {
  if (!mod.L || mod.R || !mGraphics) return;
  mDragging = true;
  mScaleAtDragStart = mGraphics->GetDrawScale();
  mGraphics->SetResizingInProcess(true);
  mGraphics->SetShiftDuringResize(false);
}

void IRasterScaleCornerDragControl::OnMouseUp(float x, float y, const IPointerMods& mod) {
  // Only the release of a drag this handle began snaps: a right click here changes nothing.
  if (!mDragging) return;
  mDragging = false;
  if (mod.S || !mGraphics) return;
  const float d = mGraphics->GetDrawScale();
  if (std::fabs(d - mScaleAtDragStart) <= kSameScale) return;
  const float e = NearestScale(d);
  if (std::fabs(e - d) > kSameScale) mGraphics->SetPendingScale(e);
}

void IRasterScaleCornerDragControl::OnMouseDoubleClick(float x, float y, const IPointerMods& mod) {
  if (!mod.L || mod.R || !mGraphics) return;
  mGraphics->SetResizingInProcess(true);
  mGraphics->SetShiftDuringResize(false);
  mGraphics->Resize(mGraphics->Width(), mGraphics->Height(), 1.f, true);
  mGraphics->FinishCornerResize();
}

void IRasterScaleCornerDragControl::OnMouseOver(float x, float y, const IPointerMods& mod) {
  if (!mCursorChanged && mGraphics) {
    mPreviousCursor = mGraphics->SetPointerShape(ECursor::SizeNWSE);
    mCursorChanged = true;
  }
  IControl::OnMouseOver(x, y, mod);
}

void IRasterScaleCornerDragControl::OnMouseOut() {
  if (mCursorChanged && mGraphics) {
    mGraphics->SetPointerShape(mPreviousCursor);
    mCursorChanged = false;
  }
  IControl::OnMouseOut();
}

bool IRasterScaleCornerDragControl::Label(IBox& box, char (&text)[16]) const {
  if (!mGraphics || !mGraphics->GetResizingInProcess() || mGraphics->GetShiftDuringResize())
    return false;
  const float d = mGraphics->GetDrawScale();
  if (std::fabs(d - mScaleAtDragStart) <= kSameScale) return false;
  const float e = NearestScale(d);
  const float m = Reciprocal(d);
  const IBox& t = mTriangleRect;
  box = IBox(t.L - 58.f * m - 8.f * m, t.T - 20.f * m - 8.f * m, t.L - 8.f * m, t.T - 8.f * m);
  std::snprintf(text, sizeof text, "%d%%", static_cast<int>(std::lround(e * 100.f)));
  return true;
}

void IRasterScaleCornerDragControl::Draw(IGraphics& g) {
  const IArgb& color = g.GetResizingInProcess() ? mDraggingColor
                       : mMouseIsOver           ? mMouseOverColor
                                                : mNormalColor;
  const IBox& t = mTriangleRect;
  g.FillTriangle(color, t.L, t.B, t.R, t.T, t.R, t.B);

  IBox box;
  char text[16];
  if (!Label(box, text)) return;
  const float m = Reciprocal(g.GetDrawScale());
  g.FillRoundedRect(IArgb(220, 24, 24, 24), box, 4.f * m);
  g.DrawRoundedRect(IArgb(220, 255, 255, 255), box, 4.f * m, nullptr, 1.f);
  ITextStyle style = mLabelStyle;
  style.size = 12.f * m;
  g.DrawText(style, text, box);
}

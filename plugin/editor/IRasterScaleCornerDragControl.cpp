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
  mHitRect = IBox(w - g + 1.f, h - g + 1.f, w - 1.f, h - 1.f);
  mTriangleRect = IBox(w - mCornerSize * a + 1.f, h - mCornerSize * a + 1.f, w - 1.f, h - 1.f);
}

bool IRasterScaleCornerDragControl::HitTest(float x, float y) const {
  if (mHitRect.Empty()) return false;
  return x >= mHitRect.L && x < mHitRect.R && y >= mHitRect.T && y < mHitRect.B;
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
  if (mod.R || !mGraphics) return;
  mScaleAtDragStart = mGraphics->GetDrawScale();
  mGraphics->SetResizingInProcess(true);
  mGraphics->SetShiftDuringResize(false);
}

void IRasterScaleCornerDragControl::OnMouseUp(float x, float y, const IPointerMods& mod) {
  if (mod.S || !mGraphics) return;
  const float d = mGraphics->GetDrawScale();
  if (std::fabs(d - mScaleAtDragStart) <= kSameScale) return;
  const float e = NearestScale(d);
  if (std::fabs(e - d) > kSameScale) mGraphics->SetPendingScale(e);
}

void IRasterScaleCornerDragControl::OnMouseDoubleClick(float x, float y, const IPointerMods& mod) {
  if (!mGraphics) return;
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

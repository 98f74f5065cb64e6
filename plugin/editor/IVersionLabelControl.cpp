#include "plugin/editor/IVersionLabelControl.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "graphics/IGraphics.h"

using namespace iplug::igraphics;

IVersionLabelControl::IVersionLabelControl(const IBox& bounds, const char* text,
                                           const ITextStyle& style)
    : ITextControl(bounds, text, style, COLOR_TRANSPARENT, false), mBounds(bounds) {
  SetMouseTransparent(true);
}

float IVersionLabelControl::TextSize() const {
  if (!mGraphics) return mText.size;
  const float pixelsPerPoint = mGraphics->GetDrawScale() * mGraphics->GetScreenScale();
  return pixelsPerPoint > 0.f ? std::max(mText.size, kMinPixels / pixelsPerPoint) : mText.size;
}

void IVersionLabelControl::Layout() {
  // Text taller than the box is let out of it at the bottom, where the panel is empty.
  IBox box = mBounds;
  box.B = std::max(box.B, box.T + TextSize() * (box.H() / mText.size));
  SetTargetAndDrawRECTs(box);
}

void IVersionLabelControl::Draw(IGraphics& g) {
  if (mStr.empty()) return;
  const float pixels = g.GetDrawScale() * g.GetScreenScale();
  if (!(pixels > 0.f)) return;
  ITextStyle style = mText;
  style.size = TextSize();
  style.align = EHAlign::Left;

  // Each character's advance in whole device pixels; the label is ASCII.
  std::vector<float> advances;
  float width = 0.f;
  for (const char c : mStr) {
    const char one[2] = {c, '\0'};
    IBox measured = mRECT;
    const float advance = std::ceil(g.MeasureText(style, one, measured) * pixels) / pixels;
    advances.push_back(advance);
    width += advance;
  }
  float x = std::floor((mRECT.R - kRightMargin - width) * pixels) / pixels;
  for (size_t i = 0; i < mStr.size(); ++i) {
    const char one[2] = {mStr[i], '\0'};
    g.DrawText(style, one, IBox(x, mRECT.T, x + advances[i], mRECT.B), &mBlend);
    x += advances[i];
  }
}

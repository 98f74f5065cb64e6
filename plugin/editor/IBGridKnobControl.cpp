#include "plugin/editor/IBGridKnobControl.h"

#include <algorithm>
#include <cmath>

#include "graphics/IGraphics.h"

namespace corvane {

namespace {

// A strip described with no frames or no columns has no grid: it draws nothing and is one
// point wide rather than a division by zero.
int Columns(int nColumns) {
  return std::max(1, nColumns);
}

int Rows(int nFrames, int nColumns) {
  return std::max(1, (Columns(nColumns) + std::max(0, nFrames) - 1) / Columns(nColumns));
}

IBox GridRect(float x, float y, const IBitmapHandle& bitmap, int nFrames, int nColumns) {
  const int w = bitmap.W() / Columns(nColumns);
  const int h = bitmap.H() / Rows(nFrames, nColumns);
  return IBox(x, y, x + static_cast<float>(w), y + static_cast<float>(h));
}

}  // namespace

IBGridKnobControl::IBGridKnobControl(float x, float y, const IBitmapHandle& bitmap, int paramIdx,
                                     int nFrames, int nColumns, EDirection direction,
                                     double gearing)
    : IKnobControlBase(GridRect(x, y, bitmap, nFrames, nColumns), paramIdx, direction, gearing,
                       true),
      IBitmapBase(bitmap, *this),
      mNumFrames(nFrames),
      mNumColumns(nColumns) {}

int IBGridKnobControl::FrameWidth() const {
  return mBitmap.W() / Columns(mNumColumns);
}

int IBGridKnobControl::FrameHeight() const {
  return mBitmap.H() / Rows(mNumFrames, mNumColumns);
}

int IBGridKnobControl::FrameIndex() const {
  if (mNumFrames <= 0) return 0;
  const double v = GetValue(0);
  const double n = std::isfinite(v) ? std::trunc((mNumFrames - 1) * v + 0.5) + 1.0 : 1.0;
  return static_cast<int>(std::clamp(n, 1.0, static_cast<double>(mNumFrames))) - 1;
}

void IBGridKnobControl::Draw(IGraphics& g) {
  if (mNumFrames <= 0 || mNumColumns <= 0 || !mBitmap.IsValid()) return;
  const int fw = FrameWidth(), fh = FrameHeight();
  const int k = FrameIndex();
  const float left = mRECT.MW() - static_cast<float>(fw) / 2.f;
  const float top = mRECT.MH() - static_cast<float>(fh) / 2.f;
  g.DrawBitmap(mBitmap,
               IBox(left, top, left + static_cast<float>(fw), top + static_cast<float>(fh)),
               fw * (k % mNumColumns), fh * (k / mNumColumns), &mBlend);
}

void IBGridKnobControl::OnScaleChanged() {
  if (!mGraphics) return;
  if (const IBitmapHandle reloaded = mGraphics->BitmapAtScale(mBitmap); reloaded.IsValid())
    mBitmap = reloaded;
}

}  // namespace corvane

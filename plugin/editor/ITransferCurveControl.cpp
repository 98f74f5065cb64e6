#include "plugin/editor/ITransferCurveControl.h"

#include "graphics/IGraphics.h"

namespace iplug::igraphics {

ITransferCurveControl::ITransferCurveControl(const IBox& bounds, const IArgb& color,
                                             const IBlendSpec& blend)
    : IControl(bounds), mColor(color) {
  mBlend = blend;
  SetMouseTransparent(true);
}

void ITransferCurveControl::MarkForRedraw() {
  mWrites.fetch_add(1, std::memory_order_release);
}

bool ITransferCurveControl::IsDirty() {
  // Seen here, while the dirty regions are collected: a write after this point is seen by the
  // next tick, and clearing the control's flag after the collection cannot lose it.
  const uint64_t writes = mWrites.load(std::memory_order_acquire);
  const bool written = writes != mWritesSeen;
  mWritesSeen = writes;
  return IControl::IsDirty() || written;
}

void ITransferCurveControl::Draw(IGraphics& g) {
  std::lock_guard lock(mMutex);
  if (mPoints.size() < 2) return;
  // Under the mutex the count and the points belong together: a writer bumps it while it holds
  // the lock.
  const uint64_t writes = mWrites.load(std::memory_order_acquire);
  const float scale = g.GetDrawScale() * g.GetScreenScale();
  if (!mLayer || writes != mLayerWrites || scale != mLayerScale) {
    g.PushLayer(this, mRECT, true);
    DrawPolyline(g);
    mLayer = g.PopLayer();
    mLayerWrites = writes;
    mLayerScale = scale;
  }
  if (mLayer && mLayer->bitmap) {
    // Adding the layer adds every segment, as drawing them one by one onto the screen does.
    g.DrawBitmap(IBitmapHandle(mLayer->bitmap.get(), 1, false, ""), mLayer->bounds, 0, 0, &mBlend);
  } else {
    // No layer to be had at this size: straight onto the screen, every frame.
    DrawPolyline(g);
  }
}

void ITransferCurveControl::DrawPolyline(IGraphics& g) {
  const size_t n = mPoints.size();
  const double step = (static_cast<double>(mRECT.R) - mRECT.L - 1.0) / static_cast<double>(n);
  const double height = static_cast<double>(mRECT.B) - mRECT.T - 1.0;
  const float bottom = mRECT.B - 1.f;
  float x0 = 0.f, y0 = static_cast<float>(height * mPoints[0]);
  for (size_t i = 1; i < n; ++i) {
    const float x = static_cast<float>(static_cast<double>(i) * step);
    const float y = static_cast<float>(height * mPoints[i]);
    g.DrawLine(mColor, mRECT.L + x0, bottom - y0, mRECT.L + x, bottom - y, &mBlend, 1.f);
    x0 = x;
    y0 = y;
  }
}

}  // namespace iplug::igraphics

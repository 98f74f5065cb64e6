#include "plugin/editor/IBSwitchControl.h"

#include "graphics/IGraphics.h"

namespace iplug::igraphics {

IBSwitchControl::IBSwitchControl(float x, float y, const IBitmapHandle& bitmap, int paramIdx)
    : ISwitchControlBase(
          IBox(x, y, x + static_cast<float>(bitmap.FW()), y + static_cast<float>(bitmap.FH())),
          paramIdx, nullptr, 2),
      IBitmapBase(bitmap, *this) {}

void IBSwitchControl::OnMouseDown(float x, float y, const IPointerMods& mod) {
  const int n = mBitmap.N();
  double value = GetValue(0) + (n > 1 ? 1.0 / static_cast<double>(n - 1) : 1.0);
  SetValue(value, 0);
  if (value > 1.001) SetValue(0.0, 0);
  SetDirty(true, kNoValIdx);
}

void IBSwitchControl::OnScaleChanged() {
  if (!mGraphics) return;
  if (const IBitmapHandle reloaded = mGraphics->BitmapAtScale(mBitmap); reloaded.IsValid())
    mBitmap = reloaded;
}

}  // namespace iplug::igraphics

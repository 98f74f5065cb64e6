#include "plugin/editor/ICorvaneLEDMeterControl.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "graphics/IGraphics.h"

namespace corvane {

namespace {

/** The record a meter sender transmits, as laid out on the wire. */
struct LevelRecord {
  int32_t tag = -1;
  int32_t nChannels = 1;
  int32_t channelOffset = 0;
  float value = 0.f;
};
static_assert(sizeof(LevelRecord) == 16);

}  // namespace

ICorvaneLEDMeterControl::ICorvaneLEDMeterControl(const IBox& bounds, const IBitmapHandle& glow,
                                                 const IBitmapHandle& clipGlow,
                                                 const Positions& positions)
    : IControl(bounds), mGlow(glow), mClipGlow(clipGlow), mPositions(positions) {
  mIgnoreMouse = true;
  mBlend = IBlendSpec(ECompositeOp::Add, 0.8f);
}

void ICorvaneLEDMeterControl::OnDelegateMessage(int msgTag, int dataSize, const void* data) {
  if (mDisabled || msgTag != 0) return;
  LevelRecord record;
  if (data && dataSize >= static_cast<int>(sizeof record))
    std::memcpy(&record, data, sizeof record);
  if (record.nChannels <= 0) return;
  // A record carries one value: any other offset would read past it.
  if (record.channelOffset != 0) return;
  // NaN has no LED; it reads as silence rather than as whatever int(NaN) happens to be.
  const float v = std::isnan(record.value) ? 0.f : record.value;
  const double value = std::clamp(static_cast<double>(v), 0.0, 1.0);
  SetValue(value, 0);
  // A held peak counts its redraws down, so it keeps asking until it has gone out.
  if (LevelLEDs(value) != mDrawnLevel || (value >= 1.0) != mDrawnClip || mHeldCount > 0)
    SetDirty(false, kNoValIdx);
}

int ICorvaneLEDMeterControl::LevelLEDs(double value) {
  const double v = std::isfinite(value) ? std::clamp(value, 0.0, 1.0) : 0.0;
  return static_cast<int>(v * kNumLEDs);
}

void ICorvaneLEDMeterControl::Hold(int n, uint64_t frame) {
  if (mHasHeld && frame == mHeldFrame) return;
  mHasHeld = true;
  mHeldFrame = frame;
  if (n > mHeldCount) {
    mHeldCount = n;
    mHoldCounter = kHoldRedraws;
  } else if (--mHoldCounter <= 0) {
    mHeldCount = 0;
  }
}

void ICorvaneLEDMeterControl::Draw(IGraphics& g) {
  const double value = std::isfinite(GetValue(0)) ? std::clamp(GetValue(0), 0.0, 1.0) : 0.0;
  const int n = LevelLEDs(value);
  Hold(n, g.FrameCount());
  mDrawnLevel = n;
  mDrawnClip = value >= 1.0;

  mLitCount = std::min(kNumLEDs, std::max(n, mHeldCount));
  // At full scale the last LED is the clip light: red alone, since white and red added together
  // read as pink, not as a warning.
  const bool clipping = value >= 1.0;
  for (int i = 0; i < mLitCount; ++i) {
    if (clipping && i == kNumLEDs - 1) continue;
    const auto& [x, y] = mPositions[static_cast<size_t>(i)];
    const float fx = static_cast<float>(x), fy = static_cast<float>(y);
    g.DrawBitmapFrame(
        mGlow, IBox(fx, fy, fx + static_cast<float>(mGlow.W()), fy + static_cast<float>(mGlow.H())),
        1, &mBlend);
  }
  if (clipping) {
    const auto& [x, y] = mPositions[kNumLEDs - 1];
    const float fx = static_cast<float>(x), fy = static_cast<float>(y);
    g.DrawBitmapFrame(mClipGlow,
                      IBox(fx, fy, fx + static_cast<float>(mClipGlow.W()),
                           fy + static_cast<float>(mClipGlow.H())),
                      1, &mBlend);
  }
}

}  // namespace corvane

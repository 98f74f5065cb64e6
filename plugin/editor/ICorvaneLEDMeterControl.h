#pragma once

#include <array>
#include <cstdint>

#include "graphics/IControl.h"
#include "plugin/editor/ArtworkLayout.h"

namespace corvane {

using namespace iplug::igraphics;

/**
 * An arc of sixteen LEDs printed unlit on the background: the control lights those the level
 * reaches by drawing a glow over each, holds the highest for three redraws, and puts a red glow
 * over the last one at full scale. Levels arrive as meter records on the editor thread; a level
 * that lights what is lit already asks for no redraw, so a still meter (silence, a steady tone)
 * costs the display nothing. The rectangle is only what is redrawn; the glows go to their
 * absolute positions.
 */
class ICorvaneLEDMeterControl : public IControl {
 public:
  static constexpr int kNumLEDs = kLEDsPerArc;
  /** Redraws a peak stays lit after the level has fallen. */
  static constexpr int kHoldRedraws = 3;
  using Positions = LEDArc;

  ICorvaneLEDMeterControl(const IBox& bounds, const IBitmapHandle& glow,
                          const IBitmapHandle& clipGlow, const Positions& positions);

  /** A level record (tag, channel count, channel offset, value; 16 bytes) for message tag 0. */
  void OnDelegateMessage(int msgTag, int dataSize, const void* data) override;
  void Draw(IGraphics& g) override;

  int HeldCount() const { return mHeldCount; }
  /** LEDs lit by the last redraw. */
  int LitCount() const { return mLitCount; }

 private:
  /** Once per frame, however many clipped pieces the frame draws the control in. */
  void Hold(int n, uint64_t frame);
  /** LEDs a level reaches. */
  static int LevelLEDs(double value);

  IBitmapHandle mGlow;
  IBitmapHandle mClipGlow;
  Positions mPositions;
  int mHeldCount = 0;
  int mHoldCounter = 0;
  int mLitCount = 0;
  int mDrawnLevel = -1;  // LevelLEDs() at the last redraw (-1: none yet)
  bool mDrawnClip = false;
  uint64_t mHeldFrame = 0;
  bool mHasHeld = false;
};

}  // namespace corvane

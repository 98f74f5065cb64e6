#pragma once

#include <string>

#include "graphics/IControl.h"

namespace corvane {

using namespace iplug::igraphics;

/**
 * The small dark plate under the curve screen that names the knob under the pointer or in the
 * hand and shows its value with its unit ("Gain 12.0 dB"). It shows while a knob is hovered or
 * dragged, stays for a moment after the gesture and then fades out; it never takes the mouse.
 * The fade counts display ticks, so it runs at the editor's frame rate and the same in a
 * picture taken of it. Editor thread only.
 */
class IValueReadoutControl : public IControl {
 public:
  /** Ticks the readout stays at full strength once let go of, then the ticks of its fade. */
  static constexpr int kHoldTicks = 45;
  static constexpr int kFadeTicks = 20;

  IValueReadoutControl(const IBox& bounds, const ITextStyle& style);

  /** Shows the control's parameter (from now until Release). */
  void Show(const IControl& source);
  /** The gesture or hover on this control has ended: hold, then fade. */
  void Release(const IControl& source);

  bool IsDirty() override;
  void Draw(IGraphics& g) override;

  const std::string& Text() const { return mText; }
  /** 0 (gone) … 1 (full strength). */
  float Opacity() const;

  /** The text for a control's parameter: its name, value and unit. */
  static std::string TextFor(const IControl& source);

 private:
  const IControl* mSource = nullptr;
  std::string mText;
  bool mHeld = false;   // hovered or in the hand
  int mTicksSince = 0;  // since it was let go of
  float mDrawnOpacity = 0.f;
};

}  // namespace corvane

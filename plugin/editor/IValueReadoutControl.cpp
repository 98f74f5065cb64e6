#include "plugin/editor/IValueReadoutControl.h"

#include <algorithm>

#include "framework/IPlugParameter.h"
#include "graphics/IGraphics.h"

namespace corvane {

IValueReadoutControl::IValueReadoutControl(const IBox& bounds, const ITextStyle& style)
    : IControl(bounds) {
  mText = "";
  SetText(style);
  SetMouseTransparent(true);
  mDirty = false;
}

std::string IValueReadoutControl::TextFor(const IControl& source) {
  const iplug::IParam* param = source.GetParam(0);
  if (!param) return "";
  std::string text = param->Name();
  text += " ";
  text += param->DisplayText();
  if (param->Label()[0] && param->ValueTextCount() == 0) {
    text += " ";
    text += param->Label();
  }
  return text;
}

void IValueReadoutControl::Show(const IControl& source) {
  mSource = &source;
  mHeld = true;
  mTicksSince = 0;
  const std::string text = TextFor(source);
  if (text != mText || mDrawnOpacity < 1.f) {
    mText = text;
    SetDirty(false);
  }
}

void IValueReadoutControl::Release(const IControl& source) {
  if (mSource != &source) return;
  mHeld = false;
  mTicksSince = 0;
}

float IValueReadoutControl::Opacity() const {
  if (!mSource) return 0.f;
  if (mHeld || mTicksSince <= kHoldTicks) return 1.f;
  const int fading = mTicksSince - kHoldTicks;
  return std::max(0.f, 1.f - static_cast<float>(fading) / kFadeTicks);
}

bool IValueReadoutControl::IsDirty() {
  if (mSource) {
    if (!mHeld) ++mTicksSince;
    // A host's change of the value shows while the readout does.
    if (const std::string text = TextFor(*mSource); text != mText) {
      mText = text;
      mDirty = true;
    }
    if (Opacity() != mDrawnOpacity) mDirty = true;
    if (Opacity() <= 0.f && mDrawnOpacity <= 0.f) mSource = nullptr;
  }
  return IControl::IsDirty();
}

void IValueReadoutControl::Draw(IGraphics& g) {
  const float opacity = Opacity();
  mDrawnOpacity = opacity;
  if (opacity <= 0.f || mText.empty()) return;
  auto faded = [opacity](int a, int r, int gr, int b) {
    return IArgb(static_cast<int>(a * opacity + 0.5f), r, gr, b);
  };
  // A plate of the meters' dark glass, set into the panel, with the curve's green for the text.
  g.FillRoundedRect(faded(235, 10, 11, 13), mRECT, 4.f);
  g.DrawRoundedRect(faded(200, 62, 65, 70), mRECT, 4.f, nullptr, 1.f);
  ITextStyle style = GetText();
  style.fgColor.A = static_cast<int>(style.fgColor.A * opacity + 0.5f);
  g.DrawText(style, mText.c_str(), mRECT);
}

}  // namespace corvane

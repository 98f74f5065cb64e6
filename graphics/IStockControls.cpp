#include "graphics/IStockControls.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <limits>

#include "framework/IPlugParameter.h"
#include "graphics/IGraphics.h"

namespace iplug::igraphics {

// ---- Knob ----

IKnobControlBase::IKnobControlBase(const IBox& bounds, int paramIdx, EDirection direction,
                                   double gearing, bool hideCursorOnDrag)
    : IControl(bounds, paramIdx),
      mHideCursorOnDrag(hideCursorOnDrag),
      mDirection(direction),
      mGearing(gearing) {}

void IKnobControlBase::OnMouseDown(float x, float y, const IPointerMods& mod) {
  mMouseDown = true;
  mDragValue = GetValue(0);
  if (mHideCursorOnDrag && mGraphics) mGraphics->HidePointer(true, true);
  if (mod.R) PromptForValue(ValueSlotAt(x, y));
}

void IKnobControlBase::OnMouseUp(float x, float y, const IPointerMods& mod) {
  if (mHideCursorOnDrag && mGraphics) mGraphics->HidePointer(false, true);
  mMouseDown = false;
  SetDirty(false);
}

void IKnobControlBase::OnMouseDrag(float x, float y, float dX, float dY, const IPointerMods& mod) {
  const double gearing = (mod.C || mod.S) ? mGearing * 10.0 : mGearing;
  const IBox area = KnobDragArea();
  const bool vertical = mDirection == EDirection::Vertical;
  // Upward movement (negative dY) turns the knob up, so the vertical range is negative.
  const double range = vertical ? area.T - area.B : area.R - area.L;
  const double delta = vertical ? dY : dX;
  const double step = delta / range / gearing;
  if (!std::isfinite(step)) return;  // no area to drag over, or no gearing
  mDragValue = std::clamp(mDragValue + step, 0.0, 1.0);

  double value = mDragValue;
  if (const IParam* param = GetParam(0); param && param->IsStepped() && param->Step() > 0.0)
    value = std::clamp(param->Normalize(param->Denormalize(value)), 0.0, 1.0);
  SetValue(value, 0);
  SetDirty(true);
}

void IKnobControlBase::OnMouseWheel(float x, float y, const IPointerMods& mod, float d) {
  double value = GetValue(0);
  const IParam* param = GetParam(0);
  if (param && param->IsStepped() && param->Step() > 0.0) {
    // One step per wheel event, however far the wheel turned.
    if (d > 0.f) value = param->Normalize(param->Denormalize(value) + param->Step());
    if (d < 0.f) value = param->Normalize(param->Denormalize(value) - param->Step());
  } else {
    value += static_cast<double>(d) * ((mod.C || mod.S) ? 0.001 : 0.01);
  }
  SetValue(value, 0);
  SetDirty(true);
}

// ---- Switch ----

ISwitchControlBase::ISwitchControlBase(const IBox& bounds, int paramIdx, IActionFunction actionFunc,
                                       int nStates)
    : IControl(bounds, paramIdx, std::move(actionFunc)), mNumStates(std::max(1, nStates)) {
  mStateDisabled.assign(static_cast<size_t>(mNumStates), false);
  for (int i = 0; i < mNumStates; ++i) SetStateDisabled(i, false);
  mDblAsSingleClick = true;
}

void ISwitchControlBase::OnInit() {
  if (const IParam* param = GetParam(0)) {
    mNumStates = std::max(1, static_cast<int>(param->Max() - param->Min()) + 1);
    mStateDisabled.resize(static_cast<size_t>(mNumStates), false);
  }
}

void ISwitchControlBase::OnMouseDown(float x, float y, const IPointerMods& mod) {
  double value = GetValue(0);
  if (mNumStates == 2) {
    value = value == 0.0 ? 1.0 : 0.0;
  } else if (mNumStates > 2) {
    value += 1.0 / static_cast<double>(mNumStates - 1);
    if (value > 1.0 + std::numeric_limits<double>::epsilon()) value = 0.0;
  }
  SetValue(value, 0);
  mMouseDown = true;
  SetDirty(true);
}

void ISwitchControlBase::OnMouseUp(float x, float y, const IPointerMods& mod) {
  mMouseDown = false;
  SetDirty(false);
}

void ISwitchControlBase::SetStateDisabled(int stateIdx, bool disabled) {
  if (stateIdx < 0 || stateIdx >= static_cast<int>(mStateDisabled.size())) return;
  mStateDisabled[static_cast<size_t>(stateIdx)] = disabled;
  SetDirty(false);
}

bool ISwitchControlBase::GetStateDisabled(int stateIdx) const {
  if (stateIdx < 0 || stateIdx >= static_cast<int>(mStateDisabled.size())) return false;
  return mStateDisabled[static_cast<size_t>(stateIdx)];
}

// ---- Bitmaps ----

int IBitmapBase::FrameForValue() const {
  const int n = mBitmap.N();
  if (n < 2) return 1;
  const double v = mControl->GetValue(0);
  // A value that is no number shows the first frame rather than an undefined conversion.
  if (!std::isfinite(v)) return 1;
  const double frame = std::floor(v * (n - 1) + 0.5) + 1.0;
  return static_cast<int>(std::clamp(frame, 1.0, static_cast<double>(n)));
}

void IBitmapBase::DrawBitmap(IGraphics& g) const {
  const IBox dest = mControl->GetRECT().GetCentredInside(static_cast<float>(mBitmap.FW()),
                                                         static_cast<float>(mBitmap.FH()));
  g.DrawBitmapFrame(mBitmap, dest, FrameForValue(), &mControl->GetBlend());
}

IBitmapControl::IBitmapControl(float x, float y, const IBitmapHandle& bitmap, int paramIdx,
                               ECompositeOp blend)
    : IControl(IBox(x, y, x + static_cast<float>(bitmap.FW()), y + static_cast<float>(bitmap.FH())),
               paramIdx),
      IBitmapBase(bitmap, *this) {
  mBlend = IBlendSpec(blend, 1.f);
}

void IBitmapControl::OnScaleChanged() {
  if (!mGraphics) return;
  // A bitmap that cannot be had at the new scale is still better drawn scaled than not at all.
  if (const IBitmapHandle reloaded = mGraphics->BitmapAtScale(mBitmap); reloaded.IsValid())
    mBitmap = reloaded;
}

// ---- Text ----

ITextControl::ITextControl(const IBox& bounds, const char* str, const ITextStyle& text,
                           const IArgb& bgColor, bool setBoundsBasedOnStr)
    : IControl(bounds),
      mStr(str ? str : ""),
      mBGColor(bgColor),
      mSetBoundsBasedOnStr(setBoundsBasedOnStr) {
  mIgnoreMouse = true;
  mText = text;
}

void ITextControl::OnInit() {
  if (mSetBoundsBasedOnStr) SetBoundsBasedOnStr();
}

void ITextControl::Draw(IGraphics& g) {
  g.FillRect(mBGColor, mRECT, &mBlend);
  if (!mStr.empty() && g.GetControlInTextEntry() != this)
    g.DrawText(mText, mStr.c_str(), mRECT, &mBlend);
}

void ITextControl::SetLabel(const char* str) {
  const std::string text = str ? str : "";
  if (text == mStr) return;
  mStr = text;
  if (mSetBoundsBasedOnStr) SetBoundsBasedOnStr();
  SetDirty(false);
}

void ITextControl::FormatLabel(int maxLength, const char* format, ...) {
  if (!format || maxLength < 0) return;
  std::vector<char> buffer(static_cast<size_t>(maxLength) + 1, '\0');
  va_list args;
  va_start(args, format);
  std::vsnprintf(buffer.data(), buffer.size(), format, args);
  va_end(args);
  mStr = buffer.data();
  SetDirty(false);
}

void ITextControl::SetBoundsBasedOnStr() {
  if (!mGraphics) return;
  IBox measured;
  mGraphics->MeasureText(mText, mStr.c_str(), measured);
  SetTargetAndDrawRECTs(mRECT.GetCentredInside(measured.W(), measured.H()));
  mMouseIsOver = false;
  OnResize();
}

}  // namespace iplug::igraphics

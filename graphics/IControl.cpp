#include "graphics/IControl.h"

#include <algorithm>
#include <chrono>
#include <cmath>

#include "framework/IPlugParameter.h"
#include "graphics/IGEditorDelegate.h"
#include "graphics/IGraphics.h"

namespace iplug::igraphics {

IControl::IControl(const IBox& bounds, int paramIdx, IActionFunction actionFunc)
    : mRECT(bounds), mTargetRECT(bounds), mActionFunc(std::move(actionFunc)) {
  mVals.push_back(ControlValue{paramIdx, 0.0});
}

void IControl::OnMouseDown(float x, float y, const IPointerMods& mod) {
  if (mod.R) PromptForValue(ValueSlotAt(x, y));
}

void IControl::OnMouseDoubleClick(float x, float y, const IPointerMods& mod) {
  PromptForValue(ValueSlotAt(x, y));
}

void IControl::PromptForValue(int valIdx) {
  if (valIdx < 0 || valIdx >= NVals() || mPromptDisabled || !mGraphics) return;
  const IParam* param = GetParam(valIdx);
  if (!param) return;
  const IBox bounds = param->ValueTextCount() > 0 ? mRECT
                                                  : IBox(mRECT.MW() - 20.f, mRECT.MH() - 8.f,
                                                         mRECT.MW() + 20.f, mRECT.MH() + 8.f);
  mGraphics->PromptForValue(this, bounds, valIdx);
  SetDirty(false);
}

void IControl::OnMouseOver(float x, float y, const IPointerMods& mod) {
  if (mMouseIsOver) return;
  mMouseIsOver = true;
  SetDirty(false);
}

void IControl::OnMouseOut() {
  if (!mMouseIsOver) return;
  mMouseIsOver = false;
  SetDirty(false);
}

void IControl::OnFilesDrop(const std::vector<std::string>& paths) {
  if (!paths.empty()) OnFileDrop(paths.front().c_str());
}

void IControl::OnMenuResult(IMenuModel* menu, int valIdx) {
  if (!menu || valIdx < 0 || mPromptDisabled) return;
  const IParam* param = GetParam(valIdx);
  if (!param) return;
  ApplyUserValue(param->Normalize(static_cast<double>(menu->ChosenItemIdx())), valIdx);
}

void IControl::DrawHostHighlight(IGraphics& g) {
  if (mHostHighlighted)
    g.FillCircle(mHostHighlightColor, mTargetRECT.R - 5.f, mTargetRECT.T + 5.f, 2.f);
}

void IControl::LinkParameter(int paramIdx, int valIdx) {
  mVals.at(static_cast<size_t>(valIdx)).paramIdx = paramIdx;
  SetDirty(false);
}

int IControl::ValueSlotAt(float x, float y) const {
  return NVals() == 1 ? 0 : kNoValIdx;
}

void IControl::ApplyDelegateValue(double value, int valIdx) {
  // The user's drag wins over values coming back from the plug-in.
  if (mGraphics && mGraphics->IsControlCaptured(this)) return;
  if (value != GetValue(valIdx)) {
    SetValue(value, valIdx);
    SetDirty(false);
  }
}

void IControl::ApplyUserValue(double value, int valIdx) {
  if (value != GetValue(valIdx)) {
    SetValue(value, valIdx);
    SetDirty(true, valIdx);
  }
}

void IControl::ResetToDefault(int valIdx) {
  if (NVals() == 1) valIdx = 0;
  auto reset = [this](int v) {
    if (const IParam* param = GetParam(v)) SetValue(param->Normalize(param->Default()), v);
  };
  if (valIdx == kNoValIdx) {
    for (int v = 0; v < NVals(); ++v) reset(v);
  } else {
    reset(valIdx);
  }
  SetDirty(true, valIdx);
}

void IControl::SetValue(double value, int valIdx) {
  mVals.at(static_cast<size_t>(valIdx)).value = value;
}

void IControl::SetPosition(float x, float y) {
  x = std::max(0.f, x);
  y = std::max(0.f, y);
  const float dx = x - mRECT.L;
  const float dy = y - mRECT.T;
  mRECT = IBox(x, y, x + mRECT.W(), y + mRECT.H());
  mMouseIsOver = false;
  OnResize();
  mTargetRECT =
      IBox(mTargetRECT.L + dx, mTargetRECT.T + dy, mTargetRECT.R + dx, mTargetRECT.B + dy);
  mMouseIsOver = false;
}

void IControl::SetSize(float w, float h) {
  SetTargetAndDrawRECTs(
      IBox(mRECT.L, mRECT.T, mRECT.L + std::max(0.f, w), mRECT.T + std::max(0.f, h)));
  mMouseIsOver = false;
  OnResize();
}

void IControl::Hide(bool hide) {
  mHide = hide;
  SetDirty(false);
}

void IControl::SetDisabled(bool disable) {
  mDisabled = disable;
  mBlend.weight = disable ? 0.25f : 1.f;
  SetDirty(false);
}

void IControl::SetDirty(bool triggerAction, int valIdx) {
  if (NVals() == 1) valIdx = 0;

  auto clamp = [this](int v) { SetValue(std::clamp(GetValue(v), 0.0, 1.0), v); };
  if (valIdx == kNoValIdx) {
    for (int v = 0; v < NVals(); ++v) clamp(v);
  } else {
    clamp(valIdx);
  }
  mDirty = true;

  if (!triggerAction) return;

  auto report = [this](int v) {
    const int paramIdx = GetParamIdx(v);
    if (paramIdx <= kNoParameter) return;
    if (mDelegate) mDelegate->SetParamFromEditor(paramIdx, GetValue(v));
    if (mGraphics) mGraphics->SyncSiblingControls(this, v);
  };
  if (valIdx == kNoValIdx) {
    for (int v = 0; v < NVals(); ++v) report(v);
  } else {
    report(valIdx);
  }

  if (mActionFunc) mActionFunc(this);
}

bool IControl::IsDirty() {
  if (mAnimationFunc) return true;
  return mDirty;
}

void IControl::ValueFromPointer(float x, float y, EDirection direction, const IBox& bounds,
                                int valIdx, double lo, double hi) {
  // Bounds without extent (or a position that is no number) give no value at all.
  const bool sized = direction == EDirection::Horizontal ? bounds.W() > 0.f : bounds.H() > 0.f;
  if (!sized || !std::isfinite(x) || !std::isfinite(y)) return;
  x = std::clamp(x, bounds.L, bounds.R);
  y = std::clamp(y, bounds.T, bounds.B);

  double v = direction == EDirection::Horizontal
                 ? static_cast<double>((x - bounds.L) / bounds.W())
                 : 1.0 - static_cast<double>((y - bounds.T) / bounds.H());
  v = std::round(v / 0.001) * 0.001;
  v = std::min(hi, std::max(lo, v));

  if (valIdx == kNoValIdx) {
    for (int i = 0; i < NVals(); ++i) SetValue(v, i);
  } else {
    SetValue(v, valIdx);
  }
  SetDirty(true, valIdx);
}

void IControl::OnAnimationEnd() {
  mAnimationFunc = nullptr;
  SetDirty(false);
  if (mAnimationEndFunc) mAnimationEndFunc(this);
}

const IParam* IControl::GetParam(int valIdx) const {
  const int paramIdx = GetParamIdx(valIdx);
  if (paramIdx <= kNoParameter || !mDelegate) return nullptr;
  return static_cast<const IEditorDelegate*>(mDelegate)->GetParam(paramIdx);
}

int IControl::LinkedToParam(int paramIdx) const {
  if (paramIdx <= kNoParameter) return kNoValIdx;
  for (int v = 0; v < NVals(); ++v)
    if (mVals[static_cast<size_t>(v)].paramIdx == paramIdx) return v;
  return kNoValIdx;
}

void IControl::SetHostHighlight(bool isHighlighted, const IArgb& color) {
  mHostHighlighted = isHighlighted;
  mHostHighlightColor = color;
  SetDirty(false);
}

void IControl::SetAnimation(IAnimationFunction func) {
  mAnimationFunc = std::move(func);
  mAnimationStartTime =
      std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

}  // namespace iplug::igraphics

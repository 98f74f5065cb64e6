#include "graphics/IGraphics.h"

#include <algorithm>
#include <cmath>
#include <mutex>

#include "framework/IPlugUtilities.h"
#include "graphics/IControl.h"
#include "graphics/IGEditorDelegate.h"
#include "graphics/IGraphicsCache.h"

namespace iplug::igraphics {

namespace {

// Lets a one-unit outline on a control's edge, or slightly overhanging text, be repainted with
// the control.
constexpr float kDirtyPadding = 0.75f;

}  // namespace

IGraphics::IGraphics(IGEditorDelegate& delegate, int width, int height, int fps, float drawScale)
    : mWidth(width), mHeight(height), mFPS(fps), mDrawScale(drawScale), mDelegate(delegate) {
  // Always bitmap cache first, then SVG cache, as every other user of both does.
  std::lock_guard bitmapLock(SharedBitmapCache().Mutex());
  std::lock_guard svgLock(SharedSvgCache().Mutex());
  SharedBitmapCache().Attach();
  SharedSvgCache().Attach();
}

IGraphics::~IGraphics() {
  // The backend and platform parts are destroyed already, so nothing here may call a virtual
  // operation: the controls go without the pointer release that ClearControls does. A gesture
  // still open must end for the host all the same.
  for (const auto& [touchID, control] : mGestures)
    for (int v = 0; v < control->NVals(); ++v)
      if (control->GetParamIdx(v) > kNoParameter)
        mDelegate.EndEditFromEditor(control->GetParamIdx(v));
  mGestures.clear();
  mCapturedMap.clear();
  mMouseOver = nullptr;
  mInTextEntry = nullptr;
  mInPopupMenu = nullptr;
  mCtrlTags.clear();
  while (!mControls.empty()) mControls.pop_back();
  while (!mLayers.empty()) mLayers.pop();
  mTransformStates.clear();

  // The last context empties both caches.
  std::lock_guard bitmapLock(SharedBitmapCache().Mutex());
  std::lock_guard svgLock(SharedSvgCache().Mutex());
  SharedBitmapCache().Detach();
  SharedSvgCache().Detach();
}

int IGraphics::LiveContextCount() {
  return SharedBitmapCache().LiveContexts();
}

void IGraphics::SetHostParameterHighlight(int paramIdx, bool isHighlighted, int color) {
  const IArgb& highlight = HostHighlightColor(color);
  EachControlOfParam(
      paramIdx, [&](IControl& control) { control.SetHostHighlight(isHighlighted, highlight); });
}

void IGraphics::AddGestureKind(int kind) {
  if (std::find(mGestureKinds.begin(), mGestureKinds.end(), kind) == mGestureKinds.end())
    mGestureKinds.push_back(kind);
}

IControl* IGraphics::AddControl(IControl* control, int tag, const char* group) {
  if (!control) return nullptr;
  if (tag > kNoTag && !mCtrlTags.emplace(tag, control).second) return nullptr;

  control->SetTag(tag);
  control->SetDelegate(&mDelegate);
  control->SetGraphics(this);
  control->OnInit();
  control->OnResize();
  control->OnScaleChanged();
  control->SetGroup(group);
  mControls.emplace_back(control);
  control->OnAddedToGraphics();
  return control;
}

IControl* IGraphics::GetControl(int idx) const {
  return (idx >= 0 && idx < NControls()) ? mControls[static_cast<size_t>(idx)].get() : nullptr;
}

IControl* IGraphics::GetControlWithTag(int tag) const {
  const auto it = mCtrlTags.find(tag);
  return it == mCtrlTags.end() ? nullptr : it->second;
}

void IGraphics::ClearControls() {
  ReleaseMouseCapture();
  mMouseOver = nullptr;
  mMouseOverIdx = -1;
  // Prompts in progress must not outlive their control.
  mInTextEntry = nullptr;
  mInPopupMenu = nullptr;
  mCtrlTags.clear();
  while (!mControls.empty()) mControls.pop_back();
}

void IGraphics::EachControl(const std::function<void(IControl& control)>& func) {
  for (size_t i = 0; i < mControls.size(); ++i) func(*mControls[i]);
}

void IGraphics::EachControlOfParam(int paramIdx,
                                   const std::function<void(IControl& control)>& func) {
  for (size_t i = 0; i < mControls.size(); ++i)
    if (mControls[i]->LinkedToParam(paramIdx) > kNoValIdx) func(*mControls[i]);
}

void IGraphics::SetAllControlsDirty() {
  EachControl([](IControl& control) { control.SetDirty(false, kNoValIdx); });
}

void IGraphics::SetAllControlsClean() {
  EachControl([](IControl& control) { control.SetClean(); });
}

void IGraphics::SyncSiblingControls(IControl* control, int valIdx) {
  if (!control) return;
  const int paramIdx = control->GetParamIdx(valIdx);
  if (paramIdx <= kNoParameter) return;
  const double value = control->GetValue(valIdx);
  for (size_t i = 0; i < mControls.size(); ++i) {
    IControl* peer = mControls[i].get();
    if (peer == control) continue;
    for (int v = 0; v < peer->NVals(); ++v)
      if (peer->GetParamIdx(v) == paramIdx) peer->ApplyDelegateValue(value, v);
  }
}

bool IGraphics::IsDirty(IDirtyList& rects) {
  if (mDisplayTickFunc) mDisplayTickFunc();
  EachControl([](IControl& control) { control.Animate(); });

  bool dirty = false;
  for (size_t i = 0; i < mControls.size(); ++i) {
    IControl* control = mControls[i].get();
    if (!control->IsDirty()) continue;
    IBox r = control->GetRECT().GetPadded(kDirtyPadding);
    if (IControl* parent = control->GetParent())
      r.ClampInto(parent->GetRECT().GetPadded(kDirtyPadding));
    rects.Add(r);
    dirty = true;
  }
  return dirty;
}

void IGraphics::Draw(IDirtyList& rects) {
  if (rects.Size() == 0) return;

  const float scale = BackingScale();
  ++mFrameCount;
  BeginFrame();
  if (mStrictDrawing) {
    DrawControls(rects.Bounds().GetPixelAligned(scale), scale);
  } else {
    rects.PixelAlign(scale);
    rects.Optimize();
    for (int i = 0; i < rects.Size(); ++i) DrawControls(rects.Get(i), scale);
  }
  EndFrame();
}

void IGraphics::DrawControls(const IBox& region, float scale) {
  for (size_t i = 0; i < mControls.size(); ++i) DrawControl(mControls[i].get(), region, scale);
}

void IGraphics::DrawControl(IControl* control, const IBox& region, float scale) {
  // A hidden background is still drawn: there is nothing behind it.
  if (!control || (control->IsHidden() && control != GetControl(0))) return;

  const IBox controlBounds = control->GetRECT().GetPadded(kDirtyPadding).GetPixelAligned(scale);
  IBox clip = region.Intersect(controlBounds);
  if (clip.W() <= 0.f || clip.H() <= 0.f) return;

  for (IControl* ancestor = control->GetParent(); ancestor; ancestor = ancestor->GetParent()) {
    const IBox ancestorBounds = ancestor->GetRECT().GetPadded(kDirtyPadding).GetPixelAligned(scale);
    if (!clip.Intersects(ancestorBounds)) return;
    clip.ClampInto(ancestorBounds);
  }

  PathTransformReset(true);
  ClearPath();
  BeginRegion(clip);
  mClipRECT = clip;
  control->Draw(*this);
  control->DrawHostHighlight(*this);
  FinishRegion(clip);
}

void IGraphics::RequestWindowResize(bool needsPlatformResize) {
  const float windowScale = WindowScale();
  const int w = static_cast<int>(windowScale * static_cast<int>(mWidth * mDrawScale));
  const int h = static_cast<int>(windowScale * static_cast<int>(mHeight * mDrawScale));
  const bool parentHasResized = mDelegate.RequestEditorResize(w, h, needsPlatformResize);
  ResizeNativeWindow(parentHasResized);
}

void IGraphics::Resize(int width, int height, float scale, bool needsPlatformResize) {
  mDelegate.ClampEditorSize(width, height);
  if (!std::isfinite(scale)) scale = mDrawScale;
  scale = std::clamp(scale, mMinScale, mMaxScale);
  if (width == mWidth && height == mHeight && scale == mDrawScale) return;

  // During a corner drag the pointer stays with the corner control.
  if (!mResizingInProcess) ReleaseMouseCapture();

  mWidth = width;
  mHeight = height;
  mDrawScale = scale;
  RequestWindowResize(needsPlatformResize);

  EachControl([](IControl& control) { control.OnResize(); });
  SetAllControlsDirty();
  OnSurfaceResize();

  if (mLayoutOnResize) mDelegate.RunLayout(this);
}

void IGraphics::SetScreenScale(float scale) {
  mScreenScale = scale;
  RequestWindowResize(true);
  EachControl([](IControl& control) { control.OnScaleChanged(); });
  ReleaseUnheldBitmaps();
  SetAllControlsDirty();
  OnSurfaceResize();
}

void IGraphics::FinishCornerResize() {
  mResizingInProcess = false;
  // While dragging, bitmaps are drawn scaled; reloading them for the new total scale waits
  // until the drag is over.
  if (mResizerMode == EResizerMode::Scale) {
    EachControl([](IControl& control) { control.OnScaleChanged(); });
    ReleaseUnheldBitmaps();
    SetAllControlsDirty();
  }
}

void IGraphics::ReleaseUnheldBitmaps() {
  // Every control has taken its bitmaps for the new scale: what the old scale decoded and no
  // editor shows any more goes, rather than staying until the last editor closes.
  SharedBitmapCache().RemoveIf(
      [](const ResourceCache<APIBitmap>::Entry& entry) { return entry.item->Holders() == 0; });
}

void IGraphics::SetScaleConstraints(float lo, float hi) {
  mMinScale = std::min(lo, hi);
  mMaxScale = std::max(lo, hi);
}

void IGraphics::EnableTooltips(bool enable) {
  mEnableTooltips = enable;
  if (enable) mEnableMouseOver = true;
}

}  // namespace iplug::igraphics

// Input dispatch: pointer, wheel, key and drop events to the right control, the pointer capture,
// user gestures reaching the delegate (and so the host) as begin/change/end, and value prompts.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>

#include "framework/IPlugParameter.h"
#include "framework/IPlugUtilities.h"
#include "graphics/IControl.h"
#include "graphics/IGEditorDelegate.h"
#include "graphics/IGraphics.h"

namespace iplug::igraphics {

namespace {

// The host's modifier bits for a press offered to it.
constexpr uint32_t kHostShift = 1;
constexpr uint32_t kHostAlt = 4;
constexpr uint32_t kHostControl = 8;
constexpr uint32_t kHostRightButton = 16;

template <typename F>
void EachLinkedParam(const IControl& control, F&& f) {
  for (int v = 0; v < control.NVals(); ++v)
    if (control.GetParamIdx(v) > kNoParameter) f(control.GetParamIdx(v));
}

/** Whether a typed text holds a number at all (after optional spaces and a sign). */
bool HasNumber(const char* text) {
  const char* p = text;
  while (*p && std::isspace(static_cast<unsigned char>(*p))) ++p;
  if (*p == '+' || *p == '-') ++p;
  if (*p == '.') ++p;
  return std::isdigit(static_cast<unsigned char>(*p));
}

}  // namespace

// ---- Finding controls and the capture ----

IControl* IGraphics::ControlAtPoint(float x, float y, bool capture, bool mouseOver,
                                    int64_t touchID) {
  if (!mCapturedMap.empty()) {
    const auto it = mCapturedMap.find(touchID);
    if (it != mCapturedMap.end()) return it->second;
  }

  IControl* found = nullptr;
  int foundIdx = -1;
  if (!mouseOver || mEnableMouseOver) {
    // The background never becomes the mouse-over control.
    const int last = mouseOver ? 1 : 0;
    for (int i = NControls() - 1; i >= last; --i) {
      IControl* control = GetControl(i);
      if (control->IsHidden() || control->GetIgnoreMouse()) continue;
      const bool allowed =
          !control->IsDisabled() ||
          (mouseOver ? control->GetMouseOverWhenDisabled() : control->GetMouseEventsWhenDisabled());
      if (allowed && control->HitTest(x, y)) {
        found = control;
        foundIdx = i;
        break;
      }
    }
  }

  if (capture && found) {
    if (mEnableMultiTouch && !found->GetWantsMultiTouch() && IsControlCaptured(found))
      return nullptr;
    mCapturedMap[touchID] = found;
  }
  if (mouseOver) mMouseOverIdx = foundIdx;
  return found;
}

void IGraphics::ReleaseMouseCapture() {
  // Taken out first: a control's release may release the capture again.
  auto gestures = std::move(mGestures);
  mGestures.clear();
  for (const auto& [touchID, control] : gestures) {
    IPointerEvent last;
    if (const auto it = mLastPointer.find(touchID); it != mLastPointer.end()) last = it->second;
    last.ms.L = last.ms.R = false;
    control->OnMouseUp(last.x, last.y, last.ms);
    EachLinkedParam(*control, [&](int paramIdx) { mDelegate.EndEditFromEditor(paramIdx); });
  }
  mCapturedMap.clear();
  mLastPointer.clear();
  if (mCursorHidden) HidePointer(false, true);
}

bool IGraphics::IsControlCaptured(const IControl* control) const {
  for (const auto& [touchID, captured] : mCapturedMap)
    if (captured == control) return true;
  return false;
}

// ---- Pointer ----

void IGraphics::OnMouseDown(const std::vector<IPointerEvent>& points) {
  if (points.size() == 1) {
    mMouseDownX = points[0].x;
    mMouseDownY = points[0].y;
  }
  for (const IPointerEvent& point : points) {
    // A second press while this pointer holds a control (the right button during a left drag)
    // is not a new gesture: it must neither steal the capture nor leave the first one open.
    if (mCapturedMap.count(point.ms.touchID)) continue;
    if (!PressControl(point)) return;
  }
}

bool IGraphics::PressControl(const IPointerEvent& point) {
  const float x = point.x, y = point.y;
  const IPointerMods& mod = point.ms;
  IControl* control = ControlAtPoint(x, y, true, false, mod.touchID);
  if (!control) return true;
  mLastPointer[mod.touchID] = point;

  const int valIdx = std::max(0, control->ValueSlotAt(x, y));
  const int paramIdx = control->GetParamIdx(valIdx);

  if (mAAXViewContainer && paramIdx > kNoParameter &&
      mViewContainerCalls.HandleParameterMouseDown) {
    uint32_t modifiers = (mod.S ? kHostShift : 0) | (mod.A ? kHostAlt : 0) |
                         (mod.C ? kHostControl : 0) | (mod.R ? kHostRightButton : 0);
    if (mViewContainerCalls.GetModifiers)
      modifiers |= mViewContainerCalls.GetModifiers(mAAXViewContainer);
    char paramID[32];
    std::snprintf(paramID, sizeof paramID, "%i", paramIdx + 1);
    if (mViewContainerCalls.HandleParameterMouseDown(mAAXViewContainer, paramID, modifiers) == 0) {
      ReleaseMouseCapture();
      return false;
    }
  }

  if (mod.R && paramIdx > kNoParameter) {
    ReleaseMouseCapture();
    OfferHostParameterMenu(control, paramIdx, x, y);
    return false;
  }

  EachLinkedParam(*control, [&](int idx) { mDelegate.BeginEditFromEditor(idx); });
  mGestures[mod.touchID] = control;
  control->OnMouseDown(x, y, mod);
  return true;
}

void IGraphics::OnMouseUp(const std::vector<IPointerEvent>& points) {
  for (const IPointerEvent& point : points) {
    const auto it = mCapturedMap.find(point.ms.touchID);
    if (it == mCapturedMap.end()) continue;
    IControl* control = it->second;
    control->OnMouseUp(point.x, point.y, point.ms);
    // The capture may have gone inside the control's release (a prompt releases it, ending the
    // gesture there).
    if (const auto gesture = mGestures.find(point.ms.touchID); gesture != mGestures.end()) {
      mGestures.erase(gesture);
      EachLinkedParam(*control, [&](int idx) { mDelegate.EndEditFromEditor(idx); });
    }
    mCapturedMap.erase(point.ms.touchID);
    mLastPointer.erase(point.ms.touchID);
  }

  if (mPendingScale > 0.f) {
    // The drag ends at the scale it snaps to: the bitmaps are loaded once, for that scale, not
    // first for the one the pointer let go at.
    const float scale = mPendingScale;
    mPendingScale = 0.f;
    mResizingInProcess = true;
    mShiftDuringResize = false;
    Resize(mWidth, mHeight, scale, true);
    FinishCornerResize();
  } else if (mResizingInProcess) {
    FinishCornerResize();
    mShiftDuringResize = false;
  }
  if (points.size() == 1 && points[0].ms.touchID == 0)
    OnMouseOver(points[0].x, points[0].y, points[0].ms);
}

void IGraphics::OnMouseDrag(const std::vector<IPointerEvent>& points) {
  if (mResizingInProcess && points.size() == 1) {
    const IPointerEvent& point = points[0];
    mShiftDuringResize = point.ms.S;
    if (mResizerMode == EResizerMode::Size) {
      Resize(static_cast<int>(point.x), static_cast<int>(point.y), mDrawScale, true);
    } else {
      // The zoom follows the pointer relative to where the drag began; an axis on which the
      // drag began at 0 says nothing about the zoom.
      float scale = INFINITY;
      if (mMouseDownY > 0.f) scale = std::min(scale, mDrawScale * point.y / mMouseDownY);
      if (mMouseDownX > 0.f) scale = std::min(scale, mDrawScale * point.x / mMouseDownX);
      if (std::isfinite(scale)) Resize(mWidth, mHeight, scale, true);
    }
    return;
  }

  if (mCapturedMap.empty() || mInTextEntry) return;
  for (const IPointerEvent& point : points) {
    const auto it = mCapturedMap.find(point.ms.touchID);
    if (it == mCapturedMap.end()) continue;
    mLastPointer[point.ms.touchID] = point;
    if (point.dX == 0.f && point.dY == 0.f) continue;
    it->second->OnMouseDrag(point.x, point.y, point.dX, point.dY, point.ms);
  }
}

bool IGraphics::OnMouseDoubleClick(float x, float y, const IPointerMods& mod) {
  if (mCapturedMap.count(mod.touchID)) return false;
  IControl* control = ControlAtPoint(x, y, true, false, mod.touchID);
  if (!control) return false;
  if (control->GetDblAsSingleClick()) {
    IPointerEvent point;
    point.x = x;
    point.y = y;
    point.ms = mod;
    PressControl(point);
    return true;
  }
  control->OnMouseDoubleClick(x, y, mod);
  ReleaseMouseCapture();
  return true;
}

bool IGraphics::OnMouseOver(float x, float y, const IPointerMods& mod) {
  IControl* control = ControlAtPoint(x, y, false, true);
  if (control != mMouseOver) {
    if (mMouseOver) mMouseOver->OnMouseOut();
    mMouseOver = control;
  }
  if (control) control->OnMouseOver(x, y, mod);
  return control != nullptr;
}

void IGraphics::OnMouseOut() {
  mSavedCursor = SetPointerShape(ECursor::Arrow);
  EachControl([](IControl& control) { control.OnMouseOut(); });
  mMouseOver = nullptr;
  mMouseOverIdx = -1;
}

bool IGraphics::OnMouseWheel(float x, float y, const IPointerMods& mod, float delta) {
  if (!std::isfinite(delta)) return false;
  IControl* control = ControlAtPoint(x, y);
  if (control) control->OnMouseWheel(x, y, mod, delta);
  return control != nullptr;
}

// ---- Keys and drops ----

bool IGraphics::OnKeyDown(float x, float y, const IKeyEvent& key) {
  TraceHook("IGraphics::OnKeyDown", __LINE__, "x:%0.2f, y:%0.2f, key:%s", x, y, key.utf8);
  IControl* control = ControlAtPoint(x, y);
  if (control && control != GetControl(0) && control->OnKeyDown(x, y, key)) return true;
  return mKeyHandlerFunc ? mKeyHandlerFunc(key, false) : false;
}

bool IGraphics::OnKeyUp(float x, float y, const IKeyEvent& key) {
  TraceHook("IGraphics::OnKeyUp", __LINE__, "x:%0.2f, y:%0.2f, key:%s", x, y, key.utf8);
  IControl* control = ControlAtPoint(x, y);
  if (control && control != GetControl(0) && control->OnKeyUp(x, y, key)) return true;
  return mKeyHandlerFunc ? mKeyHandlerFunc(key, true) : false;
}

IControl* IGraphics::DropTargetAt(float x, float y) {
  for (int i = NControls() - 1; i >= 0; --i) {
    IControl* control = GetControl(i);
    if (!control->IsHidden() && control->AcceptsDrop() && control->HitTest(x, y)) return control;
  }
  return ControlAtPoint(x, y);
}

void IGraphics::OnFileDrop(const char* path, float x, float y) {
  if (IControl* control = DropTargetAt(x, y)) control->OnFileDrop(path ? path : "");
}

void IGraphics::OnFilesDrop(const std::vector<std::string>& paths, float x, float y) {
  if (IControl* control = DropTargetAt(x, y)) control->OnFilesDrop(paths);
}

// ---- Prompts ----

void IGraphics::PromptForValue(IControl* control, const IBox& bounds, int valIdx) {
  if (!control || valIdx < 0 || valIdx >= control->NVals()) return;
  const IParam* param = control->GetParam(valIdx);
  if (!param) return;

  if (param->Kind() == kKindEnum || (param->Kind() == kKindBool && param->ValueTextCount() > 0)) {
    const std::string current = param->DisplayText();
    mPromptMenu.Clear();
    for (int i = 0; i < param->ValueTextCount(); ++i) {
      const char* text = param->ValueTextAt(i);
      mPromptMenu.AddItem(text, current == text ? IMenuEntry::kChecked : IMenuEntry::kNoFlags);
    }
    mPromptMenu.SetRootTitle(param->Name());
    OpenMenu(control, mPromptMenu, bounds, valIdx, false);
  } else {
    std::string text = param->DisplayText(false);
    if (control->GetPromptShowsLabel()) {
      text += " ";
      text += param->Label();
    }
    OpenTextEntry(control, control->GetText(), bounds, text.c_str(), valIdx);
  }
}

void IGraphics::OpenTextEntry(IControl* control, const ITextStyle& style, const IBox& bounds,
                              const char* text, int valIdx) {
  if (!control) return;
  mInTextEntry = control;
  mTextEntryValIdx = valIdx;
  const int paramIdx = valIdx < 0 ? kNoParameter : control->GetParamIdx(valIdx);
  ShowNativeTextField(paramIdx, style, bounds, control->GetTextEntryLength(), text ? text : "");
  control->SetDirty(false);
}

void IGraphics::ApplyTextEntryResult(const char* text) {
  IControl* control = mInTextEntry;
  if (!control) return;
  const int valIdx = mTextEntryValIdx;
  mInTextEntry = nullptr;
  mTextEntryValIdx = -1;
  if (!text) text = "";

  const IParam* param =
      valIdx >= 0 && valIdx < control->NVals() ? control->GetParam(valIdx) : nullptr;
  if (param) {
    // A committed field without a number (empty, or letters a platform let through) changes
    // nothing rather than setting the parameter to zero.
    const bool parses = param->ValueTextCount() > 0 || HasNumber(text);
    if (parses && control->AcceptsTypedValue(param->ParseTextUnconformed(text), valIdx)) {
      const double normalized = param->Normalize(param->ParseText(text));
      // The host sees the typed value as one gesture.
      const int paramIdx = control->GetParamIdx(valIdx);
      mDelegate.BeginEditFromEditor(paramIdx);
      control->ApplyUserValue(normalized, valIdx);
      mDelegate.EndEditFromEditor(paramIdx);
    }
    control->SetDirty(false);
  } else {
    control->OnTextEntryDone(text, valIdx);
  }
}

void IGraphics::OpenMenu(IControl* control, IMenuModel& menu, const IBox& bounds, int valIdx,
                         bool isContext) {
  ReleaseMouseCapture();
  mInPopupMenu = control;
  mPopupMenuValIdx = valIdx;
  mIsContextMenu = isContext;
  bool isAsync = false;
  IMenuModel* chosen = ShowNativeMenu(menu, bounds, isAsync);
  if (!isAsync) ApplyMenuResult(chosen);
}

void IGraphics::ApplyMenuResult(IMenuModel* menu) {
  IControl* control = mInPopupMenu;
  if (!control) return;
  const int valIdx = mPopupMenuValIdx;
  const bool isContext = mIsContextMenu;
  mInPopupMenu = nullptr;
  mPopupMenuValIdx = -1;
  mIsContextMenu = false;

  // A choice is one gesture for the host: begun here, so that the end below is never unpaired.
  EachLinkedParam(*control, [&](int idx) { mDelegate.BeginEditFromEditor(idx); });
  if (isContext) {
    control->OnContextMenuResult(menu ? menu->ChosenItemIdx() : -1);
  } else {
    IMenuModel* result = menu && menu->ChosenItemIdx() >= 0 ? menu : nullptr;
    control->OnMenuResult(result, valIdx);
  }
  EachLinkedParam(*control, [&](int idx) { mDelegate.EndEditFromEditor(idx); });
}

void IGraphics::OfferHostParameterMenu(IControl* control, int paramIdx, float x, float y) {
  if (!control) return;
  mPromptMenu.Clear();
  control->BuildContextMenu(mPromptMenu);
  if (mPromptMenu.NItems() > 0) OpenMenu(control, mPromptMenu, IBox(x, y, x, y), kNoValIdx, true);
}

}  // namespace iplug::igraphics

#include "plugin/editor/OffscreenEditor.h"

#include <algorithm>
#include <cmath>

#include "graphics/IControl.h"

namespace corvane {

namespace {

IPointerMods ModsOf(uint32_t bits) {
  IPointerMods mod;
  mod.L = bits & AAX_eOffscreenModifier_Left;
  mod.R = bits & AAX_eOffscreenModifier_Right;
  mod.S = bits & AAX_eOffscreenModifier_Shift;
  mod.C = bits & AAX_eOffscreenModifier_Control;
  mod.A = bits & AAX_eOffscreenModifier_Alt;
  return mod;
}

}  // namespace

OffscreenEditor::OffscreenEditor(IGEditorDelegate& delegate, int width, int height, int fps,
                                 float drawScale)
    : IGraphicsHeadless(delegate, width, height, fps, drawScale) {}

OffscreenEditor::~OffscreenEditor() {
  CloseWindow();
}

void* OffscreenEditor::OpenWindow(void* parent) {
  auto* view = static_cast<AAX_OffscreenView*>(parent);
  if (!view || view->structSize < sizeof(AAX_OffscreenView)) return nullptr;
  if (mView) CloseWindow();
  // Screens are whole multiples of the plain density; anything else is the host's mistake.
  const float screen = std::isfinite(view->screenScale) ? std::round(view->screenScale) : 1.f;
  SetScreenScaleOnOpen(std::clamp(screen, 1.f, 4.f));
  void* window = IGraphicsHeadless::OpenWindow(parent);

  mView = view;
  view->editorContext = this;
  view->SendEvent = &SendEventProc;
  view->Tick = &TickProc;
  mAlive = std::make_shared<OffscreenEditor*>(this);
  if (iplug::IRunLoop* loop = iplug::GetRunLoop()) {
    std::weak_ptr<OffscreenEditor*> alive = mAlive;
    mTimer = loop->AddTimer(std::max(1, 1000 / std::max(1, FPS())), [alive](iplug::IRunLoop::Id) {
      if (const auto editor = alive.lock()) (*editor)->Tick();
    });
  }
  return window;
}

void OffscreenEditor::CloseWindow() {
  if (mTimer != iplug::IRunLoop::kInvalidId) {
    if (iplug::IRunLoop* loop = iplug::GetRunLoop()) loop->RemoveTimer(mTimer);
    mTimer = iplug::IRunLoop::kInvalidId;
  }
  mAlive.reset();
  if (mView) {
    mView->editorContext = nullptr;
    mView->SendEvent = nullptr;
    mView->Tick = nullptr;
    mView = nullptr;
  }
  IGraphicsHeadless::CloseWindow();
}

void OffscreenEditor::PresentFrame() {
  IGraphicsHeadless::PresentFrame();
  if (mView && mView->PresentFrame && SurfacePixels())
    mView->PresentFrame(mView->hostContext, SurfacePixels(), SurfaceWidth(), SurfaceHeight(),
                        SurfaceStride());
}

bool OffscreenEditor::Dispatch(const AAX_OffscreenEvent& event) {
  if (!NativeWindow() || !std::isfinite(event.x) || !std::isfinite(event.y)) return false;
  const float x = event.x, y = event.y;
  const IPointerMods mod = ModsOf(event.modifiers);
  const IControl* under = ControlAtPoint(x, y);
  const bool taken = under && under != GetControl(0);
  // The host reports where its pointer is; the movement is from the event before, whether or
  // not the editor hid the pointer (the host has no pointer to hold in place).
  IPointerEvent point;
  point.x = x;
  point.y = y;
  point.dX = x - mLastX;
  point.dY = y - mLastY;
  point.ms = mod;
  mLastX = x;
  mLastY = y;
  switch (event.kind) {
    case AAX_eOffscreenEvent_Down:
      OnMouseDown({point});
      break;
    case AAX_eOffscreenEvent_Up:
      OnMouseUp({point});
      break;
    case AAX_eOffscreenEvent_Drag:
      OnMouseDrag({point});
      break;
    case AAX_eOffscreenEvent_Move:
      OnMouseOver(x, y, mod);
      break;
    case AAX_eOffscreenEvent_DoubleClick:
      OnMouseDoubleClick(x, y, mod);
      break;
    case AAX_eOffscreenEvent_Wheel:
      if (!std::isfinite(event.delta)) return false;
      OnMouseWheel(x, y, mod, event.delta);
      break;
    case AAX_eOffscreenEvent_Leave:
      OnMouseOut();
      return false;
    default:
      return false;
  }
  return taken;
}

int32_t OffscreenEditor::SendEventProc(void* editor, const AAX_OffscreenEvent* event) {
  if (!editor || !event) return 0;
  return static_cast<OffscreenEditor*>(editor)->Dispatch(*event) ? 1 : 0;
}

void OffscreenEditor::TickProc(void* editor) {
  if (editor) static_cast<OffscreenEditor*>(editor)->Tick();
}

}  // namespace corvane

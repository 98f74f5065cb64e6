#include "graphics/IGEditorDelegate.h"

#include <utility>

#include "graphics/IControl.h"
#include "graphics/IGraphics.h"

namespace iplug::igraphics {

IGEditorDelegate::IGEditorDelegate(int nParams) : IEditorDelegate(nParams) {}

IGEditorDelegate::~IGEditorDelegate() {
  delete std::exchange(mGraphics, nullptr);
}

void* IGEditorDelegate::OpenWindow(void* parent) {
  // A host may open the editor again without closing it: the old context goes first, which
  // also means OnEditorClose runs at every open.
  CloseWindow();

  if (!mGraphics) {
    mGraphics = MakeGraphicsContext();
    if (mGraphics && mLastWidth != 0 && mLastHeight != 0 && mLastScale != 0.f)
      mGraphics->Resize(mLastWidth, mLastHeight, mLastScale, true);
  }
  if (!mGraphics) return nullptr;
  void* window = mGraphics->OpenWindow(parent);
  // A context whose window did not open (no display, a parent gone) is no editor: nothing may
  // keep drawing into it or attach to its controls.
  if (!window) CloseWindow();
  return window;
}

void IGEditorDelegate::CloseWindow() {
  // OnEditorClose or the platform's window teardown may call back into here.
  if (mClosing) return;
  mClosing = true;
  OnEditorClose();
  if (mGraphics) {
    mLastWidth = mGraphics->Width();
    mLastHeight = mGraphics->Height();
    mLastScale = mGraphics->GetDrawScale();
    mGraphics->CloseWindow();
    delete std::exchange(mGraphics, nullptr);
  }
  mClosing = false;
}

void IGEditorDelegate::OnHostWindowResized(int width, int height) {
  if (!mGraphics) return;
  // The host sized the window itself: the editor takes the size and returns to draw scale 1.
  const float s = mGraphics->WindowScale();
  mGraphics->Resize(static_cast<int>(static_cast<float>(width) / s),
                    static_cast<int>(static_cast<float>(height) / s), 1.f, false);
}

bool IGEditorDelegate::OnKeyDown(const IKeyPress& key) {
  if (!mGraphics) return false;
  float x = 0.f;
  float y = 0.f;
  mGraphics->QueryPointerPosition(x, y);
  return mGraphics->OnKeyDown(x, y, IKeyEvent(key));
}

bool IGEditorDelegate::OnKeyUp(const IKeyPress& key) {
  if (!mGraphics) return false;
  float x = 0.f;
  float y = 0.f;
  mGraphics->QueryPointerPosition(x, y);
  return mGraphics->OnKeyUp(x, y, IKeyEvent(key));
}

void IGEditorDelegate::SendControlValue(int ctrlTag, double normalized) {
  if (!mGraphics) return;
  if (IControl* control = mGraphics->GetControlWithTag(ctrlTag))
    control->ApplyDelegateValue(normalized, 0);
}

void IGEditorDelegate::SendControlMessage(int ctrlTag, int msgTag, int dataSize, const void* data) {
  if (!mGraphics) return;
  if (IControl* control = mGraphics->GetControlWithTag(ctrlTag))
    control->OnDelegateMessage(msgTag, dataSize, data);
}

void IGEditorDelegate::SendMidiToEditor(const MidiMessage& message) {
  if (mGraphics) {
    mGraphics->EachControl([&](IControl& control) {
      if (control.GetWantsMidi()) control.OnMidiEvent(message);
    });
  }
  OnEditorMidi(message);
}

void IGEditorDelegate::SendParamValueToControls(int paramIdx, double value, bool normalized) {
  if (mGraphics) {
    if (!normalized) {
      if (const IParam* param = GetParam(paramIdx)) value = param->Normalize(value);
    }
    mGraphics->EachControl([&](IControl& control) {
      for (int v = 0; v < control.NVals(); ++v)
        if (control.GetParamIdx(v) == paramIdx) control.ApplyDelegateValue(value, v);
    });
  }
  OnEditorParamChange(paramIdx, kDelegate);
}

bool IGEditorDelegate::WriteEditorState(IStateChunk& chunk) const {
  int32_t width = mLastWidth;
  int32_t height = mLastHeight;
  float scale = mLastScale;
  if (mGraphics) {
    width = mGraphics->Width();
    height = mGraphics->Height();
    scale = mGraphics->GetDrawScale();
  }
  const int32_t start = chunk.Size();
  return chunk.Put(width) == start + 4 && chunk.Put(height) == start + 8 &&
         chunk.Put(scale) == start + 12;
}

int IGEditorDelegate::ReadEditorState(const IStateChunk& chunk, int startPos) {
  // A short record leaves the missing values 0; every position after the first failed read
  // is -1, so later reads fail too.
  int32_t width = 0;
  int32_t height = 0;
  float scale = 0.f;
  int pos = chunk.Get(&width, startPos);
  pos = chunk.Get(&height, pos);
  pos = chunk.Get(&scale, pos);

  if (!mGraphics) {
    mLastWidth = width;
    mLastHeight = height;
    mLastScale = scale;
  } else if (width != 0 && height != 0 && scale != 0.f) {
    mGraphics->Resize(width, height, scale, true);
  }
  return pos;
}

void IGEditorDelegate::SetScreenScale(float scale) {
  if (mGraphics) mGraphics->SetScreenScale(scale);
}

IGraphics* IGEditorDelegate::MakeGraphicsContext() {
  return mGraphicsFactory ? mGraphicsFactory() : nullptr;
}

void IGEditorDelegate::RunLayout(IGraphics* graphics) {
  if (mLayoutFunction) mLayoutFunction(graphics);
}

}  // namespace iplug::igraphics

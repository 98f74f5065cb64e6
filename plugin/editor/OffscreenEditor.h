#pragma once

#include <memory>

#include "aax/interfaces/AAX_OffscreenView.h"
#include "framework/IRunLoop.h"
#include "graphics/headless/IGraphicsHeadless.h"

namespace corvane {

using namespace iplug::igraphics;

/**
 * The editor in a host's memory view: the headless platform layer, ticked by the host's run
 * loop at the editor's frame rate, presenting each finished frame to the host and taking the
 * host's pointer events. [main] throughout, like every editor.
 */
class OffscreenEditor : public IGraphicsHeadless {
 public:
  OffscreenEditor(IGEditorDelegate& delegate, int width, int height, int fps, float drawScale);
  ~OffscreenEditor() override;

  /** parent is the host's AAX_OffscreenView; null (and nothing opened) for a view too small. */
  void* OpenWindow(void* parent) override;
  void CloseWindow() override;

  /** Dispatches a host event; true when a control other than the background took it. */
  bool Dispatch(const AAX_OffscreenEvent& event);

 protected:
  void PresentFrame() override;

 private:
  static int32_t SendEventProc(void* editor, const AAX_OffscreenEvent* event);
  static void TickProc(void* editor);

  AAX_OffscreenView* mView = nullptr;
  float mLastX = 0.f;
  float mLastY = 0.f;
  iplug::IRunLoop::Id mTimer = iplug::IRunLoop::kInvalidId;
  // A tick the loop delivers after the timer is gone (or the editor with it) finds this expired.
  std::shared_ptr<OffscreenEditor*> mAlive;
};

}  // namespace corvane

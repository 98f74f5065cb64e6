#pragma once

#include "graphics/IStockControls.h"

namespace corvane {

using namespace iplug::igraphics;

/**
 * The editor's knob: a parameter knob whose film strip is a grid of frames (16 columns of 271
 * frames here) in one bitmap, frame k at column k mod columns, row k / columns. Dragging,
 * fine adjustment and the wheel are the knob base's. Editor thread only.
 */
class IBGridKnobControl : public IKnobControlBase, public IBitmapBase {
 public:
  IBGridKnobControl(float x, float y, const IBitmapHandle& bitmap, int paramIdx, int nFrames,
                    int nColumns, EDirection direction = EDirection::Vertical,
                    double gearing = 4.0);

  void Draw(IGraphics& g) override;
  /** Fetches the strip for the new total scale; it reports the same size in points. */
  void OnScaleChanged() override;

  /** The frame (0 … frames − 1) for the current value. */
  int FrameIndex() const;
  int FrameWidth() const;
  int FrameHeight() const;

 private:
  int mNumFrames;
  int mNumColumns;
};

}  // namespace corvane

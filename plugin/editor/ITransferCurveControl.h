#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

#include "graphics/IControl.h"
#include "plugin/CurveDisplay.h"

namespace iplug::igraphics {

/**
 * The saturation curve on the round screen: a thin polyline of the points the plug-in computes,
 * added onto the artwork. The plug-in writes the points from whichever thread applies a
 * parameter change, under the control's mutex; the editor thread draws them under the same
 * mutex. A write marks the control for redrawing through an atomic count, so that the writer
 * never touches the flags the editor thread reads and clears.
 *
 * The polyline is drawn once per set of points and scale into a layer of its own, which every
 * later frame adds onto the screen in one step: the meters beside it redraw many times a second,
 * the curve only when a parameter changes.
 */
class ITransferCurveControl : public IControl, public corvane::CurveDisplay {
 public:
  ITransferCurveControl(const IBox& bounds, const IArgb& color, const IBlendSpec& blend);

  void Draw(IGraphics& g) override;
  /** Also true once after every write of new points. */
  bool IsDirty() override;

  // The plug-in's side, any thread.
  std::mutex& PointsMutex() override { return mMutex; }
  std::vector<double>& Points() override { return mPoints; }
  /** Called with the mutex held, after the points were written. */
  void MarkForRedraw() override;

 private:
  /** Called with the mutex held. */
  void DrawPolyline(IGraphics& g);

  IArgb mColor;
  std::vector<double> mPoints;
  std::mutex mMutex;
  std::atomic<uint64_t> mWrites{0};
  uint64_t mWritesSeen = 0;  // editor thread only
  // The polyline as last drawn (editor thread only): its layer, the write it shows and the
  // scale it was drawn at.
  std::unique_ptr<IOffscreenLayer> mLayer;
  uint64_t mLayerWrites = 0;
  float mLayerScale = 0.f;
};

}  // namespace iplug::igraphics

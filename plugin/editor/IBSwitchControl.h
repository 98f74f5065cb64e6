#pragma once

#include "graphics/IStockControls.h"

namespace iplug::igraphics {

/**
 * A button drawn from a film strip: each press (any button) advances the linked parameter to
 * its next state, wrapping around, and the strip's frame for the state is shown. Editor thread
 * only.
 */
class IBSwitchControl : public ISwitchControlBase, public IBitmapBase {
 public:
  IBSwitchControl(float x, float y, const IBitmapHandle& bitmap, int paramIdx = kNoParameter);

  void OnMouseDown(float x, float y, const IPointerMods& mod) override;
  void OnScaleChanged() override;
  void Draw(IGraphics& g) override { DrawBitmap(g); }
};

}  // namespace iplug::igraphics

#pragma once

#include "graphics/IStockControls.h"

/**
 * The version label: a right-aligned text that stays legible at every zoom. Its characters are
 * set on whole device pixels, each advance rounded up: glyphs land on whole pixels anyway, and
 * a small text laid out to fractions then crowds a full stop into the digit before it ("41.0").
 * Below the zoom at which its size would fall under kMinPixels device pixels it keeps that many
 * (its box grows downwards to hold them). Its right edge keeps clear of the window's, whose
 * width in pixels is the editor's rounded down. Editor thread only.
 */
class IVersionLabelControl : public iplug::igraphics::ITextControl {
 public:
  static constexpr float kMinPixels = 12.f;
  static constexpr float kRightMargin = 2.f;

  IVersionLabelControl(const iplug::igraphics::IBox& bounds, const char* text,
                       const iplug::igraphics::ITextStyle& style);

  void OnResize() override { Layout(); }
  void OnScaleChanged() override { Layout(); }
  void OnAddedToGraphics() override { Layout(); }
  void Draw(iplug::igraphics::IGraphics& g) override;

  /** The text size in points at the context's current scales. */
  float TextSize() const;

 private:
  void Layout();

  iplug::igraphics::IBox mBounds;  // as the layout placed it, at zoom 1
};

#pragma once

#include <vector>

#include "graphics/IControl.h"

/**
 * The handle in the editor's bottom-right corner that zooms the whole editor: a drag scales it
 * freely between 0.5 and 4; on release the zoom snaps to the nearest listed scale (ties to the
 * smaller) unless Shift is held, and while dragging a label shows the percentage it will snap
 * to. A double click returns to 100 %. Only the left button resizes. The triangle and the
 * label keep their size on screen whatever the zoom; the grab area, a square of twice the
 * corner size in editor points, scales with the editor and never reaches over a control the
 * layout placed near the corner (nor does the triangle take more than the grab area and its own
 * shape). Editor thread only.
 */
class IRasterScaleCornerDragControl : public iplug::igraphics::IControl {
 public:
  IRasterScaleCornerDragControl(const iplug::igraphics::IBox& editorBounds, float cornerSize,
                                const std::vector<float>& scales,
                                const iplug::igraphics::IArgb& normalColor,
                                const iplug::igraphics::IArgb& mouseOverColor,
                                const iplug::igraphics::IArgb& draggingColor,
                                const iplug::igraphics::ITextStyle& labelStyle);

  void OnMouseDown(float x, float y, const iplug::igraphics::IPointerMods& mod) override;
  void OnMouseUp(float x, float y, const iplug::igraphics::IPointerMods& mod) override;
  void OnMouseDoubleClick(float x, float y, const iplug::igraphics::IPointerMods& mod) override;
  void OnMouseOver(float x, float y, const iplug::igraphics::IPointerMods& mod) override;
  void OnMouseOut() override;
  void OnScaleChanged() override { Layout(); }
  void OnResize() override { Layout(); }
  void OnAddedToGraphics() override;
  void Draw(iplug::igraphics::IGraphics& g) override;
  /** Only the handle grabs the pointer (its grab area and the triangle), not the label's room. */
  bool HitTest(float x, float y) const override;

  /** The listed scale nearest to scale; ties go to the smaller. */
  float NearestScale(float scale) const;
  const iplug::igraphics::IBox& HitRect() const { return mHitRect; }
  const iplug::igraphics::IBox& TriangleRect() const { return mTriangleRect; }
  /** The label's box and text while a drag would snap somewhere, else false. */
  bool Label(iplug::igraphics::IBox& box, char (&text)[16]) const;

 private:
  void Layout();

  float mCornerSize;
  /** The side of the grab area in points: twice the corner size, less what the layout's other
   * controls take of the corner. */
  float FreeCornerSide() const;
  bool InTriangle(float x, float y) const;

  float mScaleAtDragStart = 1.f;
  bool mDragging = false;  // a left-button press on the handle, until its release
  bool mCursorChanged = false;
  iplug::igraphics::ECursor mPreviousCursor = iplug::igraphics::ECursor::Arrow;
  iplug::igraphics::IBox mHitRect;
  iplug::igraphics::IBox mTriangleRect;
  iplug::igraphics::ITextStyle mLabelStyle;
  iplug::igraphics::IArgb mNormalColor;
  iplug::igraphics::IArgb mMouseOverColor;
  iplug::igraphics::IArgb mDraggingColor;
  std::vector<float> mScales;
};

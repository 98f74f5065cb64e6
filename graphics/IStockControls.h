#pragma once

#include <string>
#include <vector>

#include "graphics/IControl.h"

namespace iplug::igraphics {

/**
 * A control turned by dragging: gearing is how many control heights (or widths) a full sweep
 * of 0..1 takes; control or shift makes it ten times finer. The value dragged stays unquantised,
 * so a slow drag on a stepped parameter accumulates until it crosses the next step.
 */
class IKnobControlBase : public IControl {
 public:
  IKnobControlBase(const IBox& bounds, int paramIdx = kNoParameter,
                   EDirection direction = EDirection::Vertical, double gearing = 4.0,
                   bool hideCursorOnDrag = true);

  void OnMouseDown(float x, float y, const IPointerMods& mod) override;
  void OnMouseUp(float x, float y, const IPointerMods& mod) override;
  void OnMouseDrag(float x, float y, float dX, float dY, const IPointerMods& mod) override;
  void OnMouseWheel(float x, float y, const IPointerMods& mod, float d) override;
  /** The rectangle a drag is measured against. */
  virtual IBox KnobDragArea() const { return mTargetRECT; }

  EDirection GetDirection() const { return mDirection; }
  double GetGearing() const { return mGearing; }
  void SetGearing(double gearing) { mGearing = gearing; }
  bool IsMouseDown() const { return mMouseDown; }

 protected:
  bool mHideCursorOnDrag;
  EDirection mDirection;
  double mGearing;
  bool mMouseDown = false;
  double mDragValue = 0.0;
};

/**
 * A control that steps through its states on each press, wrapping around; a linked parameter
 * decides the number of states. Two quick presses are two steps, not a double click.
 */
class ISwitchControlBase : public IControl {
 public:
  ISwitchControlBase(const IBox& bounds, int paramIdx = kNoParameter,
                     IActionFunction actionFunc = nullptr, int nStates = 2);

  void OnInit() override;
  void OnMouseDown(float x, float y, const IPointerMods& mod) override;
  void OnMouseUp(float x, float y, const IPointerMods& mod) override;

  int GetNStates() const { return mNumStates; }
  void SetStateDisabled(int stateIdx, bool disabled);
  bool GetStateDisabled(int stateIdx) const;
  bool IsMouseDown() const { return mMouseDown; }

 protected:
  int mNumStates;
  std::vector<bool> mStateDisabled;
  bool mMouseDown = false;
};

/** A film strip a control draws: the frame for its value, centred in its rectangle. */
class IBitmapBase {
 public:
  IBitmapBase(const IBitmapHandle& bitmap, IControl& control)
      : mBitmap(bitmap), mControl(&control) {}
  virtual ~IBitmapBase() = default;

  /** Frame 1 for value 0 up to frame N for value 1. */
  int FrameForValue() const;
  void DrawBitmap(IGraphics& g) const;
  const IBitmapHandle& GetBitmap() const { return mBitmap; }

 protected:
  IBitmapHandle mBitmap;
  IControl* mControl;
};

/** A bitmap (one frame per value step) the size of one frame, placed at (x, y). */
class IBitmapControl : public IControl, public IBitmapBase {
 public:
  IBitmapControl(float x, float y, const IBitmapHandle& bitmap, int paramIdx = kNoParameter,
                 ECompositeOp blend = ECompositeOp::SrcOver);

  void Draw(IGraphics& g) override { DrawBitmap(g); }
  /** Reloads the bitmap for the new total scale. */
  void OnScaleChanged() override;
};

/** A text on a background colour; optionally as large as its text, keeping its centre. */
class ITextControl : public IControl {
 public:
  ITextControl(const IBox& bounds, const char* str = "", const ITextStyle& text = DEFAULT_TEXT,
               const IArgb& bgColor = COLOR_TRANSPARENT, bool setBoundsBasedOnStr = false);

  void OnInit() override;
  void Draw(IGraphics& g) override;
  virtual void SetLabel(const char* str);
  /** At most maxLength characters of the formatted text; the size stays as it is. */
  virtual void FormatLabel(int maxLength, const char* format, ...);
  virtual void ClearLabel() { SetLabel(""); }

  const std::string& GetLabel() const { return mStr; }
  const IArgb& GetBGColor() const { return mBGColor; }
  void SetBGColor(const IArgb& color) {
    mBGColor = color;
    SetDirty(false);
  }

 protected:
  void SetBoundsBasedOnStr();

  std::string mStr;
  IArgb mBGColor;
  bool mSetBoundsBasedOnStr;
};

}  // namespace iplug::igraphics

#pragma once

#include "plugin/editor/IBGridKnobControl.h"
#include "plugin/editor/IValueReadoutControl.h"

namespace corvane {

/**
 * The editor's knob as the user meets it: the grid knob, whose name and value show in the
 * readout while it is hovered or turned; a double click (or "Enter value…" on its right-click
 * menu) opens a text field for a typed value, which must lie in the parameter's range or is
 * refused; "Reset to default" on the same menu. Every change reaches the host as one gesture.
 */
class ICorvaneKnobControl : public IBGridKnobControl {
 public:
  enum EMenuItem { kEnterValue = 0, kResetToDefault = 1 };

  ICorvaneKnobControl(float x, float y, const IBitmapHandle& bitmap, int paramIdx, int nFrames,
                      int nColumns, EDirection direction, double gearing,
                      IValueReadoutControl* readout);

  void OnMouseOver(float x, float y, const IPointerMods& mod) override;
  void OnMouseOut() override;
  void OnMouseDown(float x, float y, const IPointerMods& mod) override;
  void OnMouseDrag(float x, float y, float dX, float dY, const IPointerMods& mod) override;
  void OnMouseUp(float x, float y, const IPointerMods& mod) override;
  void OnMouseWheel(float x, float y, const IPointerMods& mod, float d) override;

  void BuildContextMenu(IMenuModel& menu) override;
  void OnContextMenuResult(int itemIdx) override;
  /** Inside the parameter's range (to a hair of rounding), else refused. */
  bool AcceptsTypedValue(double plain, int valIdx) const override;

 private:
  void ShowReadout();

  IValueReadoutControl* mReadout;
};

}  // namespace corvane

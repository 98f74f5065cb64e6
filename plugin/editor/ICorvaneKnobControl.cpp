#include "plugin/editor/ICorvaneKnobControl.h"

#include <cmath>

#include "framework/IPlugParameter.h"
#include "graphics/IGraphics.h"

namespace corvane {

ICorvaneKnobControl::ICorvaneKnobControl(float x, float y, const IBitmapHandle& bitmap,
                                         int paramIdx, int nFrames, int nColumns,
                                         EDirection direction, double gearing,
                                         IValueReadoutControl* readout)
    : IBGridKnobControl(x, y, bitmap, paramIdx, nFrames, nColumns, direction, gearing),
      mReadout(readout) {
  SetPromptDisabled(false);
  // The field a double click opens: the readout's plate and colours, the value's characters.
  SetText(ITextStyle(12.f, IArgb(255, 149, 219, 94), "Roboto-Regular", EHAlign::Center,
                     EVAlign::Middle, 0.f, IArgb(255, 12, 13, 15), IArgb(255, 149, 219, 94)));
}

void ICorvaneKnobControl::ShowReadout() {
  if (mReadout) mReadout->Show(*this);
}

void ICorvaneKnobControl::OnMouseOver(float x, float y, const IPointerMods& mod) {
  IBGridKnobControl::OnMouseOver(x, y, mod);
  ShowReadout();
}

void ICorvaneKnobControl::OnMouseOut() {
  IBGridKnobControl::OnMouseOut();
  if (mReadout && !IsMouseDown()) mReadout->Release(*this);
}

void ICorvaneKnobControl::OnMouseDown(float x, float y, const IPointerMods& mod) {
  IBGridKnobControl::OnMouseDown(x, y, mod);
  ShowReadout();
}

void ICorvaneKnobControl::OnMouseDrag(float x, float y, float dX, float dY,
                                      const IPointerMods& mod) {
  IBGridKnobControl::OnMouseDrag(x, y, dX, dY, mod);
  ShowReadout();
}

void ICorvaneKnobControl::OnMouseUp(float x, float y, const IPointerMods& mod) {
  IBGridKnobControl::OnMouseUp(x, y, mod);
  // Let go of outside the knob, the readout goes; over it, it stays as long as the pointer.
  if (mReadout && !GetTargetRECT().Contains(x, y)) mReadout->Release(*this);
}

void ICorvaneKnobControl::OnMouseWheel(float x, float y, const IPointerMods& mod, float d) {
  IBGridKnobControl::OnMouseWheel(x, y, mod, d);
  ShowReadout();
}

void ICorvaneKnobControl::BuildContextMenu(IMenuModel& menu) {
  menu.AddItem("Enter value\xE2\x80\xA6");
  menu.AddItem("Reset to default");
}

void ICorvaneKnobControl::OnContextMenuResult(int itemIdx) {
  switch (itemIdx) {
    case kEnterValue:
      PromptForValue(0);
      break;
    case kResetToDefault:
      // Inside the menu's gesture: the host hears one change.
      ResetToDefault(0);
      SetDirty(true, 0);
      ShowReadout();
      if (mReadout) mReadout->Release(*this);
      break;
    default:
      break;
  }
}

bool ICorvaneKnobControl::AcceptsTypedValue(double plain, int valIdx) const {
  const iplug::IParam* param = GetParam(valIdx);
  if (!param || !std::isfinite(plain)) return false;
  const double slack = 1e-9 * (std::abs(param->Max() - param->Min()) + 1.0);
  return plain >= param->Min() - slack && plain <= param->Max() + slack;
}

}  // namespace corvane

#include "plugin/editor/CorvaneEditor.h"

#include <algorithm>
#include <cmath>
#include <memory>

#include "aax/interfaces/AAX_OffscreenView.h"
#include "aax/interfaces/AAX_Types.h"
#include "graphics/IStockControls.h"
#include "graphics/x11/IGraphicsX11.h"
#include "plugin/CorvaneParams.h"
#include "plugin/editor/ArtworkLayout.h"
#include "plugin/editor/IBGridKnobControl.h"
#include "plugin/editor/IBSwitchControl.h"
#include "plugin/editor/ICorvaneKnobControl.h"
#include "plugin/editor/ICorvaneLEDMeterControl.h"
#include "plugin/editor/IPresetMenuControl.h"
#include "plugin/editor/IRasterScaleCornerDragControl.h"
#include "plugin/editor/IValueReadoutControl.h"
#include "plugin/editor/IVersionLabelControl.h"
#include "plugin/editor/OffscreenEditor.h"

namespace corvane {

using namespace iplug::igraphics;

namespace {

constexpr const char* kFontID = "Roboto-Regular";
constexpr int kKnobFrames = 271;
constexpr int kKnobColumns = 16;
constexpr double kKnobGearing = 4.0;

// The curve's colour, which the version label shares.
constexpr IArgb kCurveColor(255, 149, 219, 94);

struct KnobPlace {
  float x, y;
  bool large;
  int param;
};

// Top-left corners; each knob is one frame of its strip (64 or 47 points square). The four
// large ones are the main controls.
constexpr KnobPlace kKnobs[] = {
    {24, 152, true, kThreshold},     {112, 145, false, kThresholdAsym},
    {26, 309, true, kKnee},          {63, 249, false, kKneeAsym},
    {563, 152, true, kNonlinearity}, {494, 146, false, kNonlinearityAsym},
    {539, 250, false, kModA},        {571, 318, false, kModB},
    {154, 268, true, kGain},         {370, 294, false, kMix},
    {443, 267, false, kOutputLevel},
};

constexpr IBox kMeterRects[4] = {
    {28, 26, 178, 76}, {37, 43, 187, 93}, {470, 26, 620, 76}, {480, 43, 630, 93}};

}  // namespace

EditorPlatform MakeCorvaneGraphics(IGEditorDelegate& delegate, int32_t parentKind, void* parent,
                                   float drawScale) {
  EditorPlatform platform;
  if (parentKind == AAX_eViewContainer_Type_Offscreen) {
    float scale = drawScale;
    if (const auto* view = static_cast<const AAX_OffscreenView*>(parent);
        view && view->structSize >= sizeof(AAX_OffscreenView) && std::isfinite(view->drawScale) &&
        view->drawScale > 0.f) {
      scale = std::clamp(view->drawScale, 0.5f, 4.f);
      platform.hostZoom = true;
    }
    platform.drawScale = scale;
    platform.graphics =
        new OffscreenEditor(delegate, kEditorWidth, kEditorHeight, kEditorFPS, scale);
  } else if (parentKind == AAX_eViewContainer_Type_X11Window) {
    platform.drawScale = drawScale;
    platform.graphics =
        new IGraphicsX11(delegate, kEditorWidth, kEditorHeight, kEditorFPS, drawScale);
  }
  return platform;
}

void LayoutCorvaneEditor(IGraphics& g,
                         const std::function<void(ITransferCurveControl*)>& attachCurve,
                         const EditorPresets& presets) {
  g.EnableMouseOver(true);
  g.LoadFont(kFontID, "Roboto-Regular.ttf");

  const IBitmapHandle background = g.LoadBitmap("corvane_bg_1_6b.png", 1, false);
  const IBitmapHandle largeKnob = g.LoadBitmap("x271_frame_stack_fixed_again.png", 1, false);
  const IBitmapHandle smallKnob = g.LoadBitmap("smallknob.png", 1, false);
  const IBitmapHandle glow = g.LoadBitmap("corvane_glow.png", 1, false);
  const IBitmapHandle clipGlow = g.LoadBitmap("corvane_glow_red.png", 1, false);
  const IBitmapHandle osSwitch = g.LoadBitmap("OS_alpha.png", 2, false);

  // The knobs show their values in it; it draws over the panel, after them.
  const ITextStyle readoutStyle(12.f, kCurveColor, kFontID, EHAlign::Center, EVAlign::Middle);
  auto readout = std::make_unique<IValueReadoutControl>(kReadoutRect, readoutStyle);

  g.AddControl(new IBitmapControl(0, 0, background, kNoParameter, ECompositeOp::SrcOver));
  for (const KnobPlace& knob : kKnobs)
    g.AddControl(new ICorvaneKnobControl(knob.x, knob.y, knob.large ? largeKnob : smallKnob,
                                         knob.param, kKnobFrames, kKnobColumns,
                                         EDirection::Vertical, kKnobGearing, readout.get()));
  g.AddControl(new IBSwitchControl(480, 330, osSwitch, kOversampling));

  auto* curve = new ITransferCurveControl(
      IBox(static_cast<float>(kCurveLeft), static_cast<float>(kCurveTop),
           static_cast<float>(kCurveLeft + kCurveSize), static_cast<float>(kCurveTop + kCurveSize)),
      kCurveColor, IBlendSpec(ECompositeOp::Add, 1.f));
  g.AddControl(curve);
  if (attachCurve) attachCurve(curve);

  for (int m = 0; m < 4; ++m)
    g.AddControl(new ICorvaneLEDMeterControl(kMeterRects[m], glow, clipGlow, kLEDArcs[m]),
                 kTagInputMeterA + m);

  const ITextStyle version(13.f, kCurveColor, kFontID, EHAlign::Right, EVAlign::Middle);
  g.AddControl(new IVersionLabelControl(IBox(562, 0, 650, 13), "4.1.0", version), kTagVersion);

  g.AddControl(readout.release(), kTagReadout);
  if (!presets.names.empty()) {
    const ITextStyle presetStyle(11.f, IArgb(255, 196, 199, 204), kFontID, EHAlign::Center,
                                 EVAlign::Middle);
    g.AddControl(new IPresetMenuControl(kPresetRect, presets.names, presets.load, presets.current,
                                        presetStyle),
                 kTagPresets);
  }

  const ITextStyle label(12.f, COLOR_WHITE, kFontID, EHAlign::Center, EVAlign::Middle);
  g.AddControl(new IRasterScaleCornerDragControl(
      IBox(0, 0, static_cast<float>(kEditorWidth), static_cast<float>(kEditorHeight)), 20.f,
      {1.f, 1.25f, 1.5f, 1.75f, 2.f}, IArgb(10, 0, 0, 0), IArgb(255, 0, 0, 0), IArgb(255, 0, 0, 0),
      label));
}

}  // namespace corvane

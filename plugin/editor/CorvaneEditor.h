#pragma once

#include <cmath>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "graphics/IGEditorDelegate.h"
#include "graphics/IGraphics.h"
#include "plugin/editor/ITransferCurveControl.h"

namespace corvane {

constexpr int kEditorWidth = 650;
constexpr int kEditorHeight = 400;
constexpr int kEditorFPS = 60;
/** Points of the transfer curve the editor shows. */
constexpr int kEditorCurvePoints = 172;

/** Control tags the meter records are addressed to; the version label's. */
enum EEditorTag {
  kTagVersion = 0,
  kTagInputMeterA = 1,
  kTagInputMeterB,
  kTagOutputMeterA,
  kTagOutputMeterB,
  kTagReadout,
  kTagPresets
};

/** What the editor opens in, as the graphics factory decides it. */
struct EditorPlatform {
  iplug::igraphics::IGraphics* graphics = nullptr;
  /** The host chose the zoom (a memory view taking pictures): it is not the user's preference. */
  bool hostZoom = false;
  /** The zoom it opens at. */
  float drawScale = 1.f;
};

/**
 * [main] The graphics context for the editor's parent: a host's memory view opens the editor
 * there, at the host's zoom when it asks for one, else at drawScale; a host's X11 window takes
 * it as a child window at drawScale. No platform for the parent: no editor (null graphics).
 */
EditorPlatform MakeCorvaneGraphics(iplug::igraphics::IGEditorDelegate& delegate, int32_t parentKind,
                                   void* parent, float drawScale);

/** The factory presets the editor's selector lists, and how it loads one (as one gesture). */
struct EditorPresets {
  std::vector<std::string> names;
  std::function<bool(int index)> load;
  /** The preset the parameters hold now, whoever set them (-1 for none). */
  std::function<int()> current;
};

/** The initialized preset slots of a plug-in object, loaded through its editor gesture. */
template <typename Plug>
EditorPresets EditorPresetsOf(Plug& plug) {
  EditorPresets presets;
  std::vector<int> slots;
  for (int i = 0; i < plug.NPresets(); ++i)
    if (const auto* slot = plug.GetPreset(i); slot && slot->initialized) {
      presets.names.emplace_back(slot->name.data());
      slots.push_back(i);
    }
  presets.load = [&plug, slots](int index) {
    return index >= 0 && index < static_cast<int>(slots.size()) &&
           plug.RestorePresetFromEditor(slots[static_cast<size_t>(index)]);
  };
  std::vector<std::vector<double>> values;
  for (const int slot : slots) values.push_back(plug.PresetValues(slot));
  presets.current = [&plug, values]() {
    for (size_t p = 0; p < values.size(); ++p) {
      bool same = !values[p].empty();
      for (size_t i = 0; same && i < values[p].size(); ++i) {
        // A host sets values normalized: the plain value it comes back as may be a rounding off.
        const auto* param = plug.GetParam(static_cast<int>(i));
        same = std::abs(param->Value() - values[p][i]) <= 1e-9 * (param->Max() - param->Min());
      }
      if (same) return static_cast<int>(p);
    }
    return -1;
  };
  return presets;
}

/**
 * [main] Builds the editor: the font, the six bitmaps and the controls in drawing order (the
 * background, the knobs, the switch, the curve, the meters, the version label, the value
 * readout, the preset selector and the corner handle on top). attachCurve receives the curve
 * display right after it is attached, so that the plug-in can hand it its first curve before
 * the first paint.
 */
void LayoutCorvaneEditor(
    iplug::igraphics::IGraphics& g,
    const std::function<void(iplug::igraphics::ITransferCurveControl*)>& attachCurve,
    const EditorPresets& presets = {});

/** Where the value readout and the preset selector sit: on bare panel, covering no control. */
inline constexpr iplug::igraphics::IBox kReadoutRect{250.f, 252.f, 400.f, 272.f};
inline constexpr iplug::igraphics::IBox kPresetRect{250.f, 12.f, 400.f, 33.f};

}  // namespace corvane

#pragma once

#include <cstdint>
#include <functional>

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
  kTagOutputMeterB
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

/**
 * [main] Builds the editor: the font, the six bitmaps and the twenty controls in drawing order.
 * attachCurve receives the curve display right after it is attached, so that the plug-in can
 * hand it its first curve before the first paint.
 */
void LayoutCorvaneEditor(
    iplug::igraphics::IGraphics& g,
    const std::function<void(iplug::igraphics::ITransferCurveControl*)>& attachCurve);

}  // namespace corvane

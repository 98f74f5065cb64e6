// What the product gives the LV2 UI module: a plug-in object that shows Corvane's editor.

#include "framework/lv2/IPlugLV2UI.h"
#include "plugin/editor/CorvaneEditor.h"
#include "plugin/editor/DisplayScale.h"
#include "plugin/lv2/CorvaneLV2.h"

namespace iplug {

IPlugLV2* MakePlugLV2UI() {
  auto* plug = new corvane::CorvaneLV2;
  // As Corvane installs its editor in the formats that open one, with the editor's parent the
  // UI side sets: the same factory, layout and curve display.
  plug->SetGraphicsFactory([plug]() -> igraphics::IGraphics* {
    return corvane::MakeCorvaneGraphics(*plug, plug->EditorParentKind(), plug->EditorParent(),
                                        corvane::StoredDisplayScale())
        .graphics;
  });
  plug->SetLayoutFunction([plug](igraphics::IGraphics* g) {
    corvane::LayoutCorvaneEditor(
        *g,
        [plug](igraphics::ITransferCurveControl* curve) {
          plug->SetCurveDisplay(curve);
          plug->PushCurveToEditor();
        },
        corvane::EditorPresetsOf(*plug));
  });
  return plug;
}

}  // namespace iplug

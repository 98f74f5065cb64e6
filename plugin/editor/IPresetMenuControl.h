#pragma once

#include <functional>
#include <string>
#include <vector>

#include "graphics/IControl.h"

namespace corvane {

using namespace iplug::igraphics;

/**
 * The preset selector at the top of the panel: a small dark plate with the name of the preset
 * the parameters hold now, however they came to hold it (the host's preset menu, a restored
 * session, this selector), or "Factory presets" when they hold none; a click opens the list,
 * and the one chosen is loaded through the function given, which makes it one gesture of the
 * user's for the host. Editor thread only.
 */
class IPresetMenuControl : public IControl {
 public:
  using LoadFunction = std::function<bool(int index)>;
  using CurrentFunction = std::function<int()>;

  IPresetMenuControl(const IBox& bounds, std::vector<std::string> names, LoadFunction load,
                     CurrentFunction current, const ITextStyle& style);

  void OnMouseDown(float x, float y, const IPointerMods& mod) override;
  void OnMenuResult(IMenuModel* menu, int valIdx) override;
  void Draw(IGraphics& g) override;
  /** Follows the parameters on every display tick. */
  bool IsDirty() override;

  /** The preset shown, or -1. */
  int Current() const { return mCurrent; }
  const std::string& Caption() const;

 private:
  std::vector<std::string> mNames;
  LoadFunction mLoad;
  CurrentFunction mCurrentOf;
  IMenuModel mMenu;
  int mCurrent = -1;
};

}  // namespace corvane

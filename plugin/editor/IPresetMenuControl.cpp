#include "plugin/editor/IPresetMenuControl.h"

#include "graphics/IGraphics.h"

namespace corvane {

namespace {

const std::string kNoPreset = "Factory presets";

}  // namespace

IPresetMenuControl::IPresetMenuControl(const IBox& bounds, std::vector<std::string> names,
                                       LoadFunction load, CurrentFunction current,
                                       const ITextStyle& style)
    : IControl(bounds),
      mNames(std::move(names)),
      mLoad(std::move(load)),
      mCurrentOf(std::move(current)) {
  SetText(style);
  SetTooltip("Factory presets");
  if (mCurrentOf) mCurrent = mCurrentOf();
}

bool IPresetMenuControl::IsDirty() {
  if (mCurrentOf) {
    const int now = mCurrentOf();
    if (now != mCurrent && now < static_cast<int>(mNames.size())) {
      mCurrent = now;
      mDirty = true;
    }
  }
  return IControl::IsDirty();
}

const std::string& IPresetMenuControl::Caption() const {
  return mCurrent >= 0 ? mNames[static_cast<size_t>(mCurrent)] : kNoPreset;
}

void IPresetMenuControl::OnMouseDown(float x, float y, const IPointerMods& mod) {
  if (!mGraphics || mNames.empty()) return;
  mMenu.Clear();
  for (size_t i = 0; i < mNames.size(); ++i)
    mMenu.AddItem(mNames[i].c_str(),
                  static_cast<int>(i) == mCurrent ? IMenuEntry::kChecked : IMenuEntry::kNoFlags);
  mMenu.SetRootTitle("Factory presets");
  mGraphics->OpenMenu(this, mMenu, mRECT, kNoValIdx, false);
}

void IPresetMenuControl::OnMenuResult(IMenuModel* menu, int) {
  if (!menu) return;
  const int chosen = menu->ChosenItemIdx();
  if (chosen < 0 || chosen >= static_cast<int>(mNames.size()) || !mLoad) return;
  if (mLoad(chosen) && !mCurrentOf) mCurrent = chosen;
  SetDirty(false);
}

void IPresetMenuControl::Draw(IGraphics& g) {
  g.FillRoundedRect(IArgb(235, 10, 11, 13), mRECT, 4.f);
  g.DrawRoundedRect(mMouseIsOver ? IArgb(230, 110, 114, 120) : IArgb(200, 62, 65, 70), mRECT, 4.f,
                    nullptr, 1.f);
  const IBox text(mRECT.L + 8.f, mRECT.T, mRECT.R - 18.f, mRECT.B);
  g.DrawText(GetText(), Caption().c_str(), text);
  // The list opens below: a small triangle pointing down.
  const float cx = mRECT.R - 10.f, cy = mRECT.MH() + 1.f;
  g.FillTriangle(GetText().fgColor, cx - 3.5f, cy - 2.f, cx + 3.5f, cy - 2.f, cx, cy + 2.5f);
}

}  // namespace corvane

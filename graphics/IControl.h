#pragma once

#include <functional>
#include <string>
#include <vector>

#include "framework/IPlugStructs.h"
#include "graphics/IGraphicsStructs.h"

namespace iplug {
class IParam;
}

namespace iplug::igraphics {

class IGraphics;
class IGEditorDelegate;
class IControl;

constexpr int kNoParameter = -1;
constexpr int kNoValIdx = -1;
constexpr int kNoTag = -1;

using IActionFunction = std::function<void(IControl*)>;
using IAnimationFunction = std::function<void(IControl*)>;

/** One value of a control: the linked parameter (kNoParameter for none) and a value in 0..1. */
struct ControlValue {
  int paramIdx = kNoParameter;
  double value = 0.0;
};

/**
 * Something on the editor's surface: a rectangle that draws itself and holds one or more
 * normalized values, each optionally linked to a plug-in parameter. The graphics context owns
 * it, decides when it is drawn and routes events to it; the control reports user changes to the
 * delegate and takes values pushed from the plug-in. Editor thread only.
 */
class IControl {
 public:
  explicit IControl(const IBox& bounds, int paramIdx = kNoParameter,
                    IActionFunction actionFunc = nullptr);
  virtual ~IControl() = default;
  IControl(const IControl&) = delete;
  IControl& operator=(const IControl&) = delete;

  // Events. A right press and a double click prompt for the value under the pointer.
  virtual void OnMouseDown(float x, float y, const IPointerMods& mod);
  virtual void OnMouseUp(float x, float y, const IPointerMods& mod) {}
  virtual void OnMouseDrag(float x, float y, float dX, float dY, const IPointerMods& mod) {}
  virtual void OnMouseDoubleClick(float x, float y, const IPointerMods& mod);
  virtual void OnMouseWheel(float x, float y, const IPointerMods& mod, float d) {}
  virtual bool OnKeyDown(float x, float y, const IKeyEvent& key) { return false; }
  virtual bool OnKeyUp(float x, float y, const IKeyEvent& key) { return false; }
  virtual void OnMouseOver(float x, float y, const IPointerMods& mod);
  virtual void OnMouseOut();
  virtual void OnFileDrop(const char* path) {}
  virtual void OnFilesDrop(const std::vector<std::string>& paths);
  virtual bool AcceptsDrop() const { return false; }

  // Lifecycle hooks, called by the graphics context.
  /** The total scale changed; bitmap controls reload their bitmaps here. */
  virtual void OnScaleChanged() {}
  virtual void OnResize() {}
  virtual void OnInit() {}
  virtual void OnAddedToGraphics() {}
  virtual void OnDelegateMessage(int msgTag, int dataSize, const void* data) {}
  /** Only called when WantsMidi() is set. */
  virtual void OnMidiEvent(const MidiMessage& msg) {}

  // Prompts and menus.
  virtual void BuildContextMenu(IMenuModel& menu) {}
  /** The user chose an item of a value menu; an enumeration's item index is its plain value. */
  virtual void OnMenuResult(IMenuModel* menu, int valIdx);
  virtual void OnTextEntryDone(const char* text, int valIdx) {}
  /** Whether a value typed into the slot's text field is taken: parsed, plain, before it is
   * conformed to the range. A refused one leaves the parameter as it was. Every value is taken
   * unless a control says otherwise (the parameter then clamps it). */
  virtual bool AcceptsTypedValue(double plain, int valIdx) const { return true; }
  virtual void OnContextMenuResult(int itemIdx) {}

  // Drawing.
  virtual void Draw(IGraphics& g) = 0;
  /** A small dot in the hit area's top right corner while the host highlights the control. */
  virtual void DrawHostHighlight(IGraphics& g);

  // Values.
  /** valIdx must name an existing slot (std::out_of_range otherwise). */
  virtual void LinkParameter(int paramIdx, int valIdx = 0);
  /** The slot a pointer position refers to; kNoValIdx means all slots. */
  virtual int ValueSlotAt(float x, float y) const;
  /** A value from the plug-in; ignored while the user holds the control. */
  virtual void ApplyDelegateValue(double value, int valIdx = 0);
  /** A value chosen by the user: reported like a gesture when it changes the slot. */
  virtual void ApplyUserValue(double value, int valIdx = 0);
  virtual void ResetToDefault(int valIdx = kNoValIdx);
  /** Stores the value unclamped; the next SetDirty clamps it. */
  virtual void SetValue(double value, int valIdx = 0);

  // Appearance and geometry.
  virtual void SetText(const ITextStyle& style) { mText = style; }
  /** Moves the top-left corner to (x, y) (never negative), keeping the hit area's offset. */
  virtual void SetPosition(float x, float y);
  virtual void SetSize(float w, float h);
  virtual void Hide(bool hide);
  virtual void SetDisabled(bool disable);
  virtual void SetMouseTransparent(bool ignore) { mIgnoreMouse = ignore; }
  virtual bool HitTest(float x, float y) const { return mTargetRECT.Contains(x, y); }

  // Redraw state.
  /**
   * Clamps the slot (every slot for kNoValIdx) into 0..1 and marks the control for redrawing.
   * With triggerAction, linked values are reported to the delegate and to the other controls of
   * the same parameter, and the action function runs.
   */
  virtual void SetDirty(bool triggerAction = true, int valIdx = kNoValIdx);
  virtual void SetClean() { mDirty = false; }
  /** Always true while an animation runs. */
  virtual bool IsDirty();

  /**
   * Sets a slot (every slot for kNoValIdx) from a pointer position inside bounds, rounded to
   * 0.001 and limited to lo..hi, and reports it.
   */
  virtual void ValueFromPointer(float x, float y, EDirection direction, const IBox& bounds,
                                int valIdx = kNoValIdx, double lo = 0.0, double hi = 1.0);
  virtual void OnAnimationEnd();

  /**
   * Asks the graphics context for a value menu or a text field for the slot. Nothing for an
   * unlinked slot or while prompts are disabled (the default).
   */
  void PromptForValue(int valIdx = 0);

  // Value slots.
  int NVals() const { return static_cast<int>(mVals.size()); }
  double GetValue(int valIdx = 0) const { return mVals.at(static_cast<size_t>(valIdx)).value; }
  int GetParamIdx(int valIdx = 0) const { return mVals.at(static_cast<size_t>(valIdx)).paramIdx; }
  /** The parameter linked to a slot, or null when unlinked or unknown to the delegate. */
  const IParam* GetParam(int valIdx = 0) const;
  /** The first slot linked to a parameter, or kNoValIdx. */
  int LinkedToParam(int paramIdx) const;

  // Geometry.
  const IBox& GetRECT() const { return mRECT; }
  /** Where the control is hit; equal to the drawing rectangle unless set apart. */
  const IBox& GetTargetRECT() const { return mTargetRECT; }
  void SetRECT(const IBox& bounds) { mRECT = bounds; }
  void SetTargetRECT(const IBox& bounds) { mTargetRECT = bounds; }
  void SetTargetAndDrawRECTs(const IBox& bounds) { mRECT = mTargetRECT = bounds; }

  // Identity within the graphics context.
  int GetTag() const { return mTag; }
  void SetTag(int tag) { mTag = tag; }
  const std::string& GetGroup() const { return mGroup; }
  void SetGroup(const char* group) { mGroup = group ? group : ""; }
  IControl* GetParent() const { return mParent; }
  void SetParent(IControl* parent) { mParent = parent; }
  IGEditorDelegate* GetDelegate() const { return mDelegate; }
  void SetDelegate(IGEditorDelegate* delegate) { mDelegate = delegate; }
  IGraphics* GetUI() const { return mGraphics; }
  void SetGraphics(IGraphics* graphics) { mGraphics = graphics; }

  // Flags.
  bool IsHidden() const { return mHide; }
  bool IsDisabled() const { return mDisabled; }
  bool GetPromptDisabled() const { return mPromptDisabled; }
  void SetPromptDisabled(bool disable) { mPromptDisabled = disable; }
  bool GetDblAsSingleClick() const { return mDblAsSingleClick; }
  void SetDblAsSingleClick(bool single) { mDblAsSingleClick = single; }
  bool GetMouseOverWhenDisabled() const { return mMouseOverWhenDisabled; }
  void SetMouseOverWhenDisabled(bool allow) { mMouseOverWhenDisabled = allow; }
  bool GetMouseEventsWhenDisabled() const { return mMouseEventsWhenDisabled; }
  void SetMouseEventsWhenDisabled(bool allow) { mMouseEventsWhenDisabled = allow; }
  bool GetIgnoreMouse() const { return mIgnoreMouse; }
  bool GetWantsMidi() const { return mWantsMidi; }
  void SetWantsMidi(bool wants) { mWantsMidi = wants; }
  bool GetWantsMultiTouch() const { return mWantsMultiTouch; }
  void SetWantsMultiTouch(bool wants) { mWantsMultiTouch = wants; }
  bool GetPromptShowsLabel() const { return mPromptShowsLabel; }
  void SetPromptShowsLabel(bool shows) { mPromptShowsLabel = shows; }
  bool GetMouseIsOver() const { return mMouseIsOver; }

  // Appearance.
  const ITextStyle& GetText() const { return mText; }
  const IBlendSpec& GetBlend() const { return mBlend; }
  void SetBlend(const IBlendSpec& blend) { mBlend = blend; }
  int GetTextEntryLength() const { return mTextEntryLength; }
  void SetTextEntryLength(int length) { mTextEntryLength = length; }
  const std::string& GetTooltip() const { return mTooltip; }
  void SetTooltip(const char* tooltip) { mTooltip = tooltip ? tooltip : ""; }

  // Host highlighting.
  /** Stores the state and colour and redraws without reporting a value. */
  void SetHostHighlight(bool isHighlighted, const IArgb& color);
  bool IsHostHighlighted() const { return mHostHighlighted; }
  const IArgb& GetHostHighlightColor() const { return mHostHighlightColor; }

  // Actions and animation.
  void SetActionFunction(IActionFunction func) { mActionFunc = std::move(func); }
  const IActionFunction& GetActionFunction() const { return mActionFunc; }
  /** Starts an animation now: the function runs on every display tick until OnAnimationEnd. */
  void SetAnimation(IAnimationFunction func);
  const IAnimationFunction& GetAnimationFunction() const { return mAnimationFunc; }
  void SetAnimationEndActionFunction(IActionFunction func) { mAnimationEndFunc = std::move(func); }
  /** Seconds on a monotonic clock. */
  double GetAnimationStartTime() const { return mAnimationStartTime; }
  /** One animation step; the graphics context calls it on every display tick. */
  void Animate() {
    if (mAnimationFunc) mAnimationFunc(this);
  }

 protected:
  IBox mRECT;
  IBox mTargetRECT;
  std::string mGroup;
  ITextStyle mText = DEFAULT_TEXT;
  IBlendSpec mBlend;
  int mTextEntryLength = 7;
  bool mDirty = true;
  bool mHide = false;
  bool mDisabled = false;
  bool mPromptDisabled = true;
  bool mDblAsSingleClick = false;
  bool mMouseOverWhenDisabled = false;
  bool mMouseEventsWhenDisabled = false;
  bool mIgnoreMouse = false;
  bool mWantsMidi = false;
  bool mWantsMultiTouch = false;
  bool mPromptShowsLabel = false;
  bool mMouseIsOver = false;
  std::string mTooltip;
  IArgb mHostHighlightColor = COLOR_RED;
  bool mHostHighlighted = false;
  IControl* mParent = nullptr;
  IGEditorDelegate* mDelegate = nullptr;
  IGraphics* mGraphics = nullptr;
  IActionFunction mActionFunc;
  IActionFunction mAnimationEndFunc;
  IAnimationFunction mAnimationFunc;
  double mAnimationStartTime = 0.0;
  std::vector<ControlValue> mVals;
  int mTag = kNoTag;
};

}  // namespace iplug::igraphics

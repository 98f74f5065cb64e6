#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "framework/IPlugConstants.h"
#include "framework/IPlugParameter.h"
#include "framework/IPlugStateChunk.h"
#include "framework/IPlugStructs.h"

namespace iplug {

/**
 * The layer of the plug-in object that owns the parameters and stands between the processor
 * side and the editor: parameter changes, control values and messages addressed by tag, MIDI,
 * SysEx, editor resizing and the editor's saved state travel through it.
 *
 * Unless marked otherwise every operation runs on the host's main (user-interface) thread.
 * OnParamChange for host changes runs on whatever thread the host uses for parameter updates.
 */
class IEditorDelegate {
 public:
  explicit IEditorDelegate(int nParams);
  virtual ~IEditorDelegate();
  IEditorDelegate(const IEditorDelegate&) = delete;
  IEditorDelegate& operator=(const IEditorDelegate&) = delete;

  // Editor lifetime.
  /** Opens the editor inside a native parent window; returns the editor's view or null. */
  virtual void* OpenWindow(void* parent);
  virtual void CloseWindow();
  virtual void OnHostWindowResized(int width, int height) {}
  /** The editor exists: every parameter's value goes to the controls. */
  virtual void OnEditorOpen();
  virtual void OnEditorClose() {}

  // Parameter change notifications.
  /** [any thread that delivers a change] The product reacts to a new value here. */
  virtual void OnParamChange(int paramIdx) {}
  /**
   * A sample offset of 0 or more says the change arrives inside processing, on the audio
   * thread, at that offset into the block (a binding whose host sends values with the audio):
   * the product must then leave its editor alone (no lock, nothing allocated) and let the idle
   * tick bring the editor up to date. -1: any other thread.
   */
  virtual void OnParamChange(int paramIdx, EParamSource source, int sampleOffset = -1);
  /** Editor-side notification of a change. */
  virtual void OnEditorParamChange(int paramIdx, EParamSource source) {}
  /** Reports every parameter as changed, to the processor and to the editor side. */
  virtual void OnParamsReset(EParamSource source);
  virtual void OnEditorMidi(const MidiMessage& message) {}
  virtual void OnEditorSysEx(const SysExRecord& message) {}
  virtual bool OnEditorMessage(int msgTag, int ctrlTag, int dataSize, const void* data) {
    return false;
  }
  virtual void OnStateRestored();
  virtual bool OnKeyDown(const IKeyPress& key) { return false; }
  virtual bool OnKeyUp(const IKeyPress& key) { return false; }

  // Plug-in to editor.
  virtual void SendControlValue(int ctrlTag, double normalized) {}
  virtual void SendControlMessage(int ctrlTag, int msgTag, int dataSize, const void* data);
  virtual void SendEditorMessage(int msgTag, int dataSize, const void* data);
  virtual void SendMidiToEditor(const MidiMessage& message);
  virtual void SendSysExToEditor(const SysExRecord& message);
  virtual void SendParamValueToControls(int paramIdx, double value, bool normalized);

  // Editor to plug-in.
  virtual void RefreshAllParamsFromEditor() {}
  virtual void BeginEditFromEditor(int paramIdx) = 0;
  virtual void SetParamFromEditor(int paramIdx, double normalized);
  virtual void EndEditFromEditor(int paramIdx) = 0;
  /** Returns whether the host resized its window to the new size. */
  virtual bool RequestEditorResize(int width, int height, bool needsPlatformResize) {
    return false;
  }
  virtual void SendMidiFromEditor(const MidiMessage& message) {}
  virtual void SendSysExFromEditor(const SysExRecord& message) {}
  virtual void SendMessageFromEditor(int msgTag, int ctrlTag, int dataSize, const void* data) {}
  virtual void QueueMidiFromEditor(const MidiMessage& message) {}
  virtual void QueueSysExFromEditor(const SysExRecord& message) {}

  /** Clamps a size into the editor's limits; true when it was inside already. */
  virtual bool ClampEditorSize(int& width, int& height) const;
  virtual bool WriteEditorState(IStateChunk& chunk) const { return true; }
  virtual int ReadEditorState(const IStateChunk& chunk, int startPos) { return startPos; }
  virtual void SetScreenScale(float scale) {}

  // Parameters.
  int NParams() const { return static_cast<int>(mParams.size()); }
  /** The parameter at an index, or null outside the list. */
  IParam* GetParam(int index);
  const IParam* GetParam(int index) const;

  // Editor size, in graphics units at draw scale 1.
  int GetEditorWidth() const { return mEditorWidth; }
  int GetEditorHeight() const { return mEditorHeight; }
  void SetEditorSize(int width, int height) {
    mEditorWidth = width;
    mEditorHeight = height;
  }
  void SetSizeConstraints(int minWidth, int maxWidth, int minHeight, int maxHeight) {
    mMinWidth = minWidth;
    mMaxWidth = maxWidth;
    mMinHeight = minHeight;
    mMaxHeight = maxHeight;
  }
  /**
   * [main] What the next editor opens in: the binding's kind of parent (a view-container type)
   * and the parent itself, so that the graphics factory can make the platform layer for it.
   * Kind 0 and null when the binding does not say.
   */
  void SetEditorParent(int32_t kind, void* parent) {
    mEditorParentKind = kind;
    mEditorParent = parent;
  }
  int32_t EditorParentKind() const { return mEditorParentKind; }
  void* EditorParent() const { return mEditorParent; }

  int GetMinWidth() const { return mMinWidth; }
  int GetMaxWidth() const { return mMaxWidth; }
  int GetMinHeight() const { return mMinHeight; }
  int GetMaxHeight() const { return mMaxHeight; }

 private:
  std::vector<std::unique_ptr<IParam>> mParams;
  int mEditorWidth = 0;
  int mEditorHeight = 0;
  int mMinWidth = 10;
  int mMaxWidth = 100000;
  int mMinHeight = 10;
  int mMaxHeight = 100000;
  int32_t mEditorParentKind = 0;
  void* mEditorParent = nullptr;
};

}  // namespace iplug

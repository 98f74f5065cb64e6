#pragma once

#include <functional>

#include "framework/IEditorDelegate.h"

namespace iplug::igraphics {

class IGraphics;

/**
 * The editor delegate that connects the plug-in's editor messages to a graphics context: it
 * creates the context when the host opens the editor, runs the layout, forwards values and
 * messages to controls by parameter or tag, and tears the context down when the editor closes.
 * Main thread only.
 */
class IGEditorDelegate : public IEditorDelegate {
 public:
  using GraphicsFactory = std::function<IGraphics*()>;
  using LayoutFunction = std::function<void(IGraphics*)>;

  explicit IGEditorDelegate(int nParams);
  ~IGEditorDelegate() override;

  void* OpenWindow(void* parent) override;
  void CloseWindow() override;
  void OnHostWindowResized(int width, int height) override;
  bool OnKeyDown(const IKeyPress& key) override;
  bool OnKeyUp(const IKeyPress& key) override;
  void SendControlValue(int ctrlTag, double normalized) override;
  void SendControlMessage(int ctrlTag, int msgTag, int dataSize, const void* data) override;
  void SendMidiToEditor(const MidiMessage& message) override;
  void SendParamValueToControls(int paramIdx, double value, bool normalized) override;
  bool WriteEditorState(IStateChunk& chunk) const override;
  int ReadEditorState(const IStateChunk& chunk, int startPos) override;
  void SetScreenScale(float scale) override;

  /** A new graphics context from the factory, or null when none is set. */
  virtual IGraphics* MakeGraphicsContext();
  /** Runs the layout function on a context, when one is set. */
  virtual void RunLayout(IGraphics* graphics);

  void SetGraphicsFactory(GraphicsFactory factory) { mGraphicsFactory = std::move(factory); }
  void SetLayoutFunction(LayoutFunction layout) { mLayoutFunction = std::move(layout); }
  /** The open editor's graphics context, or null while the editor is closed. */
  IGraphics* GetUI() const { return mGraphics; }

  int LastWidth() const { return mLastWidth; }
  int LastHeight() const { return mLastHeight; }
  float LastScale() const { return mLastScale; }

 private:
  GraphicsFactory mGraphicsFactory;
  LayoutFunction mLayoutFunction;
  IGraphics* mGraphics = nullptr;  // owned
  int mLastWidth = 0;
  int mLastHeight = 0;
  float mLastScale = 0.0f;
  bool mClosing = false;
};

}  // namespace iplug::igraphics

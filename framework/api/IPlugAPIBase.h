#pragma once

#include <cstdint>
#include <ctime>
#include <memory>
#include <span>
#include <string>

#include "framework/IPlugConfig.h"
#include "framework/IPlugQueue.h"
#include "framework/IPlugStructs.h"
#include "framework/IPlugTimer.h"
#include "framework/api/IPluginBase.h"
#include "graphics/IPlugAAXViewInterface.h"

namespace iplug {

/**
 * The layer of the plug-in object every host binding builds on: it identifies the host, runs
 * the idle timer on the host's main thread, carries values between the audio thread and the
 * editor through fixed-size lock-free queues, and routes edits made in the editor to the host
 * and to the processor. The binding overrides the host-side operations that are no-ops here.
 */
class IPlugAPIBase : public IPluginBase {
 public:
  static constexpr int kIdleTimerMs = 20;
  // Slots of the five queues; each holds one record fewer than it has slots.
  static constexpr int kParamChangeSlots = 513;
  static constexpr int kMidiSlots = 33;
  static constexpr int kSysExSlots = 5;

  /** [main] Copies the configuration; apiKind identifies the binding (4 for AAX). */
  IPlugAPIBase(const PluginConfig& config, int32_t apiKind);
  /** [main] Stops the idle timer before anything else goes. */
  ~IPlugAPIBase() override;

  // Host identification.
  /** [main] Identifies the host; may run again and then overwrites name, id and version. */
  void SetHost(const char* name, int32_t version);
  /** [any] Lower-cases the first 255 characters and returns the id of the first matching row of
   * the host table; 0 when nothing matches. */
  static int32_t HostIdFromName(const char* name);
  /** [any] "v<major>.<minor>.<patch>" of a packed version. */
  static std::string VersionText(int32_t packedVersion);
  /** [any] "%Y%m%d %H:%M +hhmm" in local time, with the offset of local time from UTC. */
  static std::string LocalTimeStamp(std::time_t when);

  // Idle timer.
  /** [main] Replaces the idle timer by a new one that calls OnIdleTimer every 20 ms. */
  void CreateIdleTimer();
  /** [main] Stops and releases the idle timer. A product calls it first in its destructor, so
   * that no tick reaches a half-destroyed object. */
  void StopIdleTimer() { mIdleTimer.reset(); }
  /** [main] Drains the queues towards the editor (only when the plug-in has one), then always
   * calls OnIdleTick. */
  void OnIdleTimer();

  /** [main] An edit from the editor: parameter, host, then the processor (source kUI). */
  void SetParameterValueFromEditor(int paramIdx, double normalized);

  // Audio-thread ends of the MIDI and SysEx queues; each drops the record when full.
  /** [audio] */
  bool PushMidiToEditor(const MidiMessage& message) { return mMidiToEditor.Push(message); }
  /** [audio] */
  bool PushSysExToEditor(const SysExRecord& message) { return mSysExToEditor.Push(message); }
  /** [audio] */
  bool PopMidiFromEditor(MidiMessage& message) { return mMidiFromEditor.Pop(message); }
  /** [audio] */
  bool PopSysExFromEditor(SysExRecord& message) { return mSysExFromEditor.Pop(message); }

  /** [main] Compares state with the current values, each as float32 within 0.00001; start
   * counts 8-byte values. False when the state is too short to hold every parameter. */
  virtual bool StateMatches(std::span<const uint8_t> state, int startValue) const;
  /** [main] Called by SetHost last, once the host is known. */
  virtual void OnHostIdentified() {}
  /** [main] Appends the int32 indices 0 … count−1 when count is below the parameter count. */
  virtual void AppendParamIndexList(int count, IStateChunk& chunk) const;
  /** [main] True exactly for the size-less (0 × 0) view configuration. */
  virtual bool SupportsViewConfiguration(int width, int height) const {
    return width + height == 0;
  }
  /** [main] Writes an empty text and returns false: no note has a name. */
  virtual bool GetMidiNoteText(int noteNumber, std::string& text) const;
  /** [main] The open editor's interface for the host's view, or null while it is closed. */
  virtual IPlugAAXView_Interface* GetAAXViewInterface();
  /** [main] Every 20 ms after the editor queues are drained. */
  virtual void OnIdleTick() {}
  /** [audio] The host's master bypass changed. */
  virtual void OnHostBypassChanged(bool bypassed) {}
  /** [audio] When true the binding leaves bypassed audio to the plug-in. */
  virtual bool PluginHandlesBypass() const { return false; }
  /** [main] Leaves the text unchanged when the host has not reported a track name. */
  virtual void GetTrackName(std::string& name) const {}
  /** [host parameter thread, the queue's single producer] Queues a value for the editor;
   * dropped when the queue is full or the index is unknown. */
  virtual void SendParamValueToEditor(int paramIdx, double value, bool normalized);
  /** [main] Called by SetHost before OnHostIdentified. */
  virtual void HostSpecificInit() {}
  /** [main] Asks the host to resize the editor; false when it cannot. */
  virtual bool ResizeEditor(int width, int height) { return false; }
  /** [main] The user starts changing a parameter. */
  virtual void BeginParamGesture(int paramIdx) {}
  /** [main] The user stops changing a parameter. */
  virtual void EndParamGesture(int paramIdx) {}
  /** [main] Tells the host a parameter's new normalized value. */
  virtual void InformHostOfParam(int paramIdx, double normalized) {}

  // Editor delegate operations. [main]
  void RefreshAllParamsFromEditor() override;
  /**
   * [main] The editor loads a preset: every parameter it holds changes as one gesture of the
   * user's (all begun, all set, all ended), so that the host records and undoes it as one; the
   * editor's controls follow. False for an unknown or empty slot.
   */
  bool RestorePresetFromEditor(int index);
  void BeginEditFromEditor(int paramIdx) override;
  void SetParamFromEditor(int paramIdx, double normalized) override;
  void EndEditFromEditor(int paramIdx) override;
  bool RequestEditorResize(int width, int height, bool needsPlatformResize) override;
  void SendMidiFromEditor(const MidiMessage& message) override;
  void SendSysExFromEditor(const SysExRecord& message) override;
  void SendMessageFromEditor(int msgTag, int ctrlTag, int dataSize, const void* data) override;
  /** [main] Dropped when the queue is full. */
  void QueueMidiFromEditor(const MidiMessage& message) override;
  /** [main] Dropped when the queue is full. */
  void QueueSysExFromEditor(const SysExRecord& message) override;

 private:
  std::unique_ptr<Timer> mIdleTimer;
  IRingQueue<ParamChange> mParamChangeToEditor{kParamChangeSlots};
  IRingQueue<MidiMessage> mMidiFromEditor{kMidiSlots};
  IRingQueue<MidiMessage> mMidiToEditor{kMidiSlots};
  IRingQueue<SysExRecord> mSysExFromEditor{kSysExSlots};
  IRingQueue<SysExRecord> mSysExToEditor{kSysExSlots};
};

}  // namespace iplug

#pragma once

// The CLAP binding, on the plain C headers of CLAP 1.1 that Debian's dpf-source installs.
// Written here from those headers alone.
#include <clap/entry.h>
#include <clap/ext/audio-ports.h>
#include <clap/ext/gui.h>
#include <clap/ext/latency.h>
#include <clap/ext/params.h>
#include <clap/ext/state.h>
#include <clap/ext/thread-check.h>
#include <clap/ext/timer-support.h>
#include <clap/plugin-factory.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "framework/IPlugConfig.h"
#include "framework/IPlugProcessor.h"
#include "framework/IPlugQueue.h"
#include "framework/api/IPlugAPIBase.h"

namespace iplug {

/** One plug-in of the bundle: a channel configuration of the product ("2-2", "1-1"). Its id is
 * the plug-in's identity in every saved session: it never changes. */
struct CLAPVariant {
  std::string id;
  std::string name;
  int channels = 2;
  std::vector<std::string> features;  // "audio-effect", "distortion", "stereo"
};

/** What a product's CLAP module says about itself beyond its PluginConfig and parameters. */
struct CLAPDescription {
  std::string vendor;
  std::string url;
  std::string version;  // "4.1.0"
  std::string description;
  std::vector<CLAPVariant> variants;
};

/**
 * The plug-in object as a CLAP host sees it: the framework's plug-in base and processor behind
 * one clap_plugin and its extensions (audio ports, params, state, latency, gui, timer support).
 *
 * Parameters are identified by their index (0 … N−1) and carry plain values. A host-side bypass
 * is the host's own: no parameter stands for it.
 *
 * Threads, as CLAP assigns them and as the host's thread-check extension (when it offers one)
 * confirms: every call below is tagged. A call on a thread it does not belong to is refused,
 * logged and changes nothing. A state may be loaded on the main thread while process() runs:
 * nothing set there is read by process() but through atomic values.
 */
class IPlugCLAP : public IPlugAPIBase, public IPlugProcessor {
 public:
  static constexpr int32_t kAPIKind = 32;
  /** Latencies the bypass delay can follow without allocating. */
  static constexpr int kMaxLatency = 16384;
  static constexpr int kMaxChannels = 2;
  /** Edits from the editor waiting for the host's next flush or block. */
  static constexpr int kEditSlots = 257;

  explicit IPlugCLAP(const PluginConfig& config);
  ~IPlugCLAP() override;

  /** [main, before init] The host and the variant the object serves; false when the product has
   * no such channels. */
  bool Attach(const clap_host_t* host, const CLAPVariant& variant);
  const CLAPVariant& Variant() const { return mVariant; }

  // ---- The plug-in ----
  /** [main] Takes the host's extensions. */
  bool Init();
  /** [main & !active] Everything process() needs is sized here, for blocks up to maxFrames. */
  bool Activate(double sampleRate, uint32_t minFrames, uint32_t maxFrames);
  /** [main & active] */
  void Deactivate();
  /** [audio & active & !processing] */
  bool StartProcessing();
  /** [audio & active & processing] */
  void StopProcessing();
  /** [audio & active] A switch under way completes at once; see the definition for what stays. */
  void Reset();
  /** [audio & active & processing] Never allocates, locks or blocks. */
  clap_process_status Process(const clap_process_t& process) noexcept;
  /** [main] What was asked for with request_callback. */
  void OnMainThread();
  bool Active() const { return mActive.load(std::memory_order_acquire); }

  // ---- Audio ports ----
  /** [main] */
  uint32_t AudioPortCount(bool isInput) const;
  bool AudioPortInfo(uint32_t index, bool isInput, clap_audio_port_info_t& info) const;

  // ---- Params ----
  /** [main] */
  uint32_t ParamCount() const;
  bool ParamInfo(uint32_t index, clap_param_info_t& info) const;
  bool ParamValue(clap_id id, double& value) const;
  bool ValueToText(clap_id id, double value, char* display, uint32_t size) const;
  bool TextToValue(clap_id id, const char* display, double& value) const;
  /** [active ? audio : main] The host's values outside processing, and the editor's edits out. */
  void Flush(const clap_input_events_t* in, const clap_output_events_t* out) noexcept;

  // ---- State ----
  /** [main] The parameter image, through as many writes as the stream wants. */
  bool SaveState(const clap_ostream_t& stream);
  /** [main, process() may run] A malformed or unreadable image changes nothing. */
  bool LoadState(const clap_istream_t& stream);

  // ---- Latency ----
  /** [main] The latency once what was asked for has taken effect. */
  uint32_t Latency() const;

  // ---- Gui ----
  /** [main] */
  bool GuiIsApiSupported(const char* api, bool floating) const;
  bool GuiCreate(const char* api, bool floating);
  void GuiDestroy();
  bool GuiSetScale(double scale);
  bool GuiGetSize(uint32_t& width, uint32_t& height) const;
  bool GuiCanResize() const;
  bool GuiResizeHints(clap_gui_resize_hints_t& hints) const;
  bool GuiAdjustSize(uint32_t& width, uint32_t& height) const;
  bool GuiSetSize(uint32_t width, uint32_t height);
  bool GuiSetParent(const clap_window_t* window);
  bool GuiShow();
  bool GuiHide();
  bool EditorOpen() const;

  // ---- Timer support ----
  /** [main] */
  void OnTimer(clap_id timerId);

  // IPlugProcessor
  bool EmitMidiMessage(const MidiMessage&) override { return false; }
  /** [audio or main] In place, within the reserved bypass delay: never allocates. */
  void ChangeLatency(int samples) override { SetLatencyInPlace(samples); }

  // IPlugAPIBase: the editor's edits and size go to the host.
  void BeginParamGesture(int paramIdx) override;
  void EndParamGesture(int paramIdx) override;
  void InformHostOfParam(int paramIdx, double normalized) override;
  bool ResizeEditor(int width, int height) override;

 private:
  struct Edit {
    uint16_t type;  // CLAP_EVENT_PARAM_GESTURE_BEGIN, _VALUE, _GESTURE_END
    clap_id id;
    double value;  // plain
  };

  /** Whether the caller is on the thread the call belongs to; a wrong one is logged. */
  bool OnMain(const char* call) const;
  bool OnAudio(const char* call) const;
  void Refuse(const char* call, const char* why) const;
  /** [audio] A refusal the main thread logs: the audio thread writes nothing out. */
  void RefuseOnAudio(const char* call, const char* why) noexcept;
  /** [audio, or main when inactive] One value event; false when it is refused. */
  bool ApplyEvent(const clap_event_header_t& event, int offset) noexcept;
  /** [audio] Frames [offset, offset + n) of the host's block, in pieces of the capacity. */
  void RenderFrames(const clap_process_t& process, int offset, int n) noexcept;
  void RenderPiece(const clap_process_t& process, int offset, int n) noexcept;
  /** The editor's edits waiting to go out, to the host's output queue. */
  void PushEdits(const clap_output_events_t* out) noexcept;
  /** [main] Tells the host when the latency it compensates for is no longer right. */
  void NotifyLatencyIfChanged();
  /** [audio] The same, through a restart: the host re-activates and reads it then. */
  void RequestRestartIfLatencyChanged() noexcept;
  /** [main] Sets the framework's run loop on the host's timers; false when it has none. */
  bool HoldRunLoop();
  void ReleaseRunLoop();

  const clap_host_t* mHost = nullptr;
  const clap_host_thread_check_t* mThreadCheck = nullptr;
  const clap_host_params_t* mHostParams = nullptr;
  const clap_host_latency_t* mHostLatency = nullptr;
  const clap_host_gui_t* mHostGui = nullptr;
  const clap_host_timer_support_t* mHostTimers = nullptr;

  CLAPVariant mVariant;
  std::atomic<bool> mActive{false};
  std::atomic<bool> mProcessing{false};
  bool mFirstBlock = false;  // [audio] the first process() since the activation
  int mMaxFrames = 0;
  // The latency the host was last told of (or asked to restart for).
  std::atomic<uint32_t> mToldLatency{0};
  // The audio thread's last refusal, for the main thread to log.
  std::atomic<const char*> mAudioRefusalCall{nullptr};
  std::atomic<const char*> mAudioRefusalWhy{nullptr};
  std::vector<float> mZeros;  // stands in for a missing input channel
  IRingQueue<Edit> mEdits{kEditSlots};

  // The editor in the host's window.
  bool mGuiCreated = false;
  bool mRunLoopHeld = false;
  uintptr_t mParent = 0;
  float mScreenScale = 0.f;  // the host's, once it said one
  IRunLoop::Id mLatencyTimer = IRunLoop::kInvalidId;
};

/** Provided by the product's CLAP module. [main] A new plug-in object, or null. */
IPlugCLAP* MakePlugCLAP();
const CLAPDescription& CLAPDescriptionOfPlug();

}  // namespace iplug

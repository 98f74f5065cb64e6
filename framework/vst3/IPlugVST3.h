#pragma once

// The VST3 binding, on the plain C declarations of the VST3 ABI that Debian's dpf-source
// installs (travesty). Written here from those declarations alone.
#include <travesty/audio_processor.h>
#include <travesty/component.h>
#include <travesty/edit_controller.h>
#include <travesty/unit.h>
#include <travesty/view.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "framework/IPlugConfig.h"
#include "framework/IPlugProcessor.h"
#include "framework/IRunLoop.h"
#include "framework/api/IPlugAPIBase.h"

namespace iplug {

using VST3ClassID = std::array<uint8_t, 16>;

/** One plug-in of the bundle: a channel configuration of the product ("2-2", "1-1"), as a
 * processor class and its controller class. Class IDs never change between builds. */
struct VST3Variant {
  std::string name;
  int channels = 2;
  VST3ClassID processorID{};
  VST3ClassID controllerID{};
};

/** What a product's VST3 module says about itself beyond its PluginConfig and parameters. */
struct VST3Description {
  std::string vendor;
  std::string url;
  std::string email;
  std::string version;        // "4.1.0"
  std::string subcategories;  // "Fx|Distortion"
  std::vector<VST3Variant> variants;
};

/**
 * The plug-in object as a VST3 host sees it: the framework's plug-in base and processor behind
 * the component, its audio processor and its edit controller (the one object serves all three;
 * hosts that create the controller class apart are served through it too).
 *
 * Parameters are identified by their index (0 … N−1); the host's bypass is one more parameter,
 * kBypassParamID, flagged as the bypass, which runs the processor base's crossfade.
 *
 * Threads, as VST3 assigns them: [main] is the host's user-interface thread (the component's
 * and controller's calls, the view's); [audio] is process(). A state may be set on the main
 * thread while process() runs (Ardour restores a session that way): nothing set there is read
 * by process() but through atomic values. Values the host sends with the audio arrive in
 * process() at their sample offsets and reach the editor through the queue the idle tick
 * drains; values set on the main thread go to the editor directly.
 */
class IPlugVST3 : public IPlugAPIBase, public IPlugProcessor {
 public:
  static constexpr int32_t kAPIKind = 16;
  static constexpr v3_param_id kBypassParamID = 1000;
  /** The host's program change: chooses one of the factory presets (when there are any). */
  static constexpr v3_param_id kProgramParamID = 1001;
  /** The one program list, the factory presets, on the root unit. */
  static constexpr int32_t kProgramListID = 1;
  /** Latencies the bypass delay can follow without allocating. */
  static constexpr int kMaxLatency = 16384;
  /** Parameter points one block can carry; more are applied at the block's end. */
  static constexpr int kMaxPoints = 4096;
  /** Channels a bus can have here. */
  static constexpr int kMaxChannels = 2;
  static constexpr int kDefaultBlockSize = 1024;

  explicit IPlugVST3(const PluginConfig& config);
  ~IPlugVST3() override;

  /** [main] The variant the object serves; false when the product has no such channels. */
  bool SetVariant(const VST3Variant& variant);
  const VST3Variant& Variant() const { return mVariant; }

  // ---- Component ----
  /** [main] */
  int32_t BusCount(int32_t mediaType, int32_t direction) const;
  v3_result BusInfo(int32_t mediaType, int32_t direction, int32_t index, v3_bus_info& info) const;
  v3_result ActivateBus(int32_t mediaType, int32_t direction, int32_t index, bool state);
  /** [main] Resets the processor: everything process() needs is sized here. */
  v3_result SetActive(bool active);
  bool Active() const { return mActive.load(std::memory_order_acquire); }
  /** [main] The component's state and the controller's: the parameter image. */
  v3_result WriteStateTo(v3_bstream** stream) const;
  /** [main, process() may run] A malformed image changes nothing. */
  v3_result ReadStateFrom(v3_bstream** stream);

  // ---- Audio processor ----
  v3_result SetBusArrangements(const v3_speaker_arrangement* inputs, int32_t numInputs,
                               const v3_speaker_arrangement* outputs, int32_t numOutputs);
  v3_result BusArrangement(int32_t direction, int32_t index, v3_speaker_arrangement& arr) const;
  static v3_result CanProcessSampleSize(int32_t size);
  /** [main] The latency once what was asked for has taken effect. */
  uint32_t LatencySamples() const;
  /** [main] Only while inactive; 64-bit samples are refused, and a refusal changes nothing. Its
   * process mode is the rendering mode (offline: oversampled at the higher quality), whose
   * latency the host asks for after the setup. */
  v3_result SetupProcessing(const v3_process_setup& setup);
  /** [audio or main] */
  v3_result SetProcessing(bool processing);
  /** [audio] Never allocates, locks or blocks. */
  v3_result Process(v3_process_data& data) noexcept;
  uint32_t TailSamples() const;

  // ---- Edit controller ----
  /** [main] */
  int32_t ParameterCount() const;
  v3_result ParameterInfo(int32_t index, v3_param_info& info) const;
  v3_result StringForValue(v3_param_id id, double normalized, v3_str_128 out) const;
  v3_result ValueForString(v3_param_id id, const int16_t* text, double& normalized) const;
  double NormalizedToPlain(v3_param_id id, double normalized) const;
  double PlainToNormalized(v3_param_id id, double plain) const;
  double ParamNormalized(v3_param_id id) const;
  /** [main] Refused (nothing changes) when not finite or outside 0 … 1. */
  v3_result SetParamNormalized(v3_param_id id, double normalized);
  /** [main] The component's state, given to the controller: the editor follows it. */
  v3_result SetComponentState(v3_bstream** stream);

  // ---- Units and programs: the factory presets as the root unit's program list ----
  /** [main] The factory presets the object has (initialized preset slots). */
  int32_t ProgramCount() const { return static_cast<int32_t>(mPrograms.size()); }
  v3_result UnitInfo(int32_t index, v3_unit_info& info) const;
  v3_result ProgramListInfo(int32_t index, v3_program_list_info& info) const;
  v3_result ProgramName(int32_t listID, int32_t program, v3_str_128 name) const;
  /** [main] The host's handler, for edits and restarts; null lets go of it. */
  void SetHandler(v3_component_handler** handler);

  // ---- The editor in the host's window ----
  /** [main] Opens the editor in an X11 window of the host's, ticking on its run loop. */
  bool OpenEditorIn(uintptr_t parentWindow, v3_run_loop** loop, v3_plugin_frame** frame,
                    v3_plugin_view** view);
  /** [main] */
  void CloseEditor();
  bool EditorOpen() const;
  /** [main] The editor's size in pixels (zoom and screen scale in it). */
  v3_view_rect EditorRect() const;
  /** [main] The host resized the editor's window. */
  v3_result EditorResizedByHost(const v3_view_rect& rect);
  /** [main] The host's content scale (pixels per point), as a whole screen scale. */
  void SetContentScale(float factor);

  /** [main] Tells the host when the latency it compensates for is no longer right. */
  void NotifyLatencyIfChanged();
  /**
   * [main, outside the host's calls] What the host was not told from inside its program change
   * (the program's values, the latency it changed): told now. Runs on the idle tick of the
   * host's run loop while the editor is open, and on activation and state restores.
   */
  void FlushPendingRestarts();

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
  struct Point {
    int32_t offset;
    int32_t order;
    v3_param_id id;
    double value;
  };

  /** [audio] The block's parameter points, in time order. */
  int CollectPoints(v3_process_data& data) noexcept;
  /** [audio] One point, at its offset into the block. */
  void ApplyPoint(const Point& point) noexcept;
  /** [audio] Frames [offset, offset + n) of the host's block, in pieces of the capacity. */
  void RenderFrames(v3_process_data& data, int offset, int n) noexcept;
  void RenderPiece(v3_process_data& data, int offset, int n) noexcept;
  void MarkSilentOutputs(v3_process_data& data) noexcept;
  /** [main] A host's value for a parameter, set on the main thread: the editor follows it at
   * once. */
  void ApplyMainThreadValue(int paramIdx, double normalized);
  /** The program a normalized program-change value chooses, or -1. */
  int ProgramAt(double normalized) const;
  /** [main] Takes the factory presets' values, for process() to apply without allocating. */
  void CachePrograms();
  /** [audio] The preset's values, each at the point's offset. */
  void ApplyProgramOnAudio(int program, int offset) noexcept;
  /** [main] The preset's values on the main thread; the host is told to read them back. */
  void ApplyProgramOnMain(int program);

  struct Program {
    std::string name;
    std::vector<double> values;  // the parameters it holds, from the first on
  };

  VST3Variant mVariant;
  v3_component_handler** mHandler = nullptr;
  std::atomic<bool> mActive{false};
  std::atomic<bool> mBypassed{false};  // the bypass parameter
  std::vector<Program> mPrograms;      // [main] written before processing, then only read
  std::atomic<int> mProgram{0};        // the program last chosen
  enum { kPendingValuesChanged = 1, kPendingLatencyCheck = 2 };
  int mRestartPending = 0;   // [main] restarts owed to the host
  bool mFirstBlock = false;  // [audio] the first process() since the activation
  int mMaxBlock = kDefaultBlockSize;
  uint32_t mReportedLatency = 0;  // [main] what the host was last told
  std::vector<float> mZeros;      // stands in for a silent or missing input channel
  std::vector<Point> mPoints;     // kMaxPoints, sized once

  // The editor's window and its host.
  v3_plugin_frame** mFrame = nullptr;
  v3_plugin_view** mView = nullptr;
  bool mRunLoopHeld = false;
  IRunLoop::Id mLatencyTimer = IRunLoop::kInvalidId;
};

/** Provided by the product's VST3 module. [main] A new plug-in object, or null. */
IPlugVST3* MakePlugVST3();
const VST3Description& VST3DescriptionOfPlug();

}  // namespace iplug

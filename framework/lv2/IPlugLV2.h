#pragma once

#include <lv2/core/lv2.h>
#include <lv2/options/options.h>
#include <lv2/state/state.h>
#include <lv2/urid/urid.h>
#include <lv2/worker/worker.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "framework/IPlugConfig.h"
#include "framework/IPlugProcessor.h"
#include "framework/api/IPlugAPIBase.h"

namespace iplug {

/** One plug-in of an LV2 bundle: a channel configuration of the product ("2-2", "1-1"). */
struct LV2Variant {
  std::string uri;
  std::string name;
  int channels = 2;  // audio inputs, and as many outputs
};

/**
 * A control output the plug-in writes at the end of every run(): a level between 0 and 1 that
 * its own UI shows on the editor control with ctrlTag, as a sender record (meter ports).
 */
struct LV2MonitorPort {
  std::string symbol;
  std::string name;
  int ctrlTag = -1;
};

/** What a product's LV2 module says about itself beyond its PluginConfig and parameters. */
struct LV2Description {
  /** The project the plug-ins belong to: it carries the maker and the release. */
  std::string project;
  std::vector<LV2Variant> variants;
  /** One port symbol per parameter, in parameter order. */
  std::vector<std::string> paramSymbols;
  /** The plug-in class, a term of the LV2 core vocabulary ("DistortionPlugin"). */
  std::string pluginClass = "Plugin";
  /** Parameters whose change costs more than a step of the others (hosts need not sweep them). */
  std::vector<int> expensiveParams;
  /** The monitor ports, after the extra ports, in this order. */
  std::vector<LV2MonitorPort> monitors;
  /** The state property that holds the parameter image. */
  std::string stateKey;
  /** File names inside the bundle. */
  std::string binary;
  std::string ttl;
  /** The plug-in's own editor as an X11 UI, shown by every variant; no UI when uiUri is empty. */
  std::string uiUri;
  std::string uiBinary;
};

/**
 * Where each kind of port of a variant is: the audio inputs, the audio outputs, one control
 * input per parameter, the extra ports (IPlugLV2::EExtraPort), then the monitors. New kinds of
 * port go at the end, so that the indices of a saved session stay valid.
 */
struct LV2PortLayout {
  int channels = 2;
  int params = 0;
  int monitors = 0;

  static LV2PortLayout Of(const LV2Variant& variant, const LV2Description& description,
                          int params) {
    return {variant.channels, params, static_cast<int>(description.monitors.size())};
  }
  uint32_t FirstParam() const { return static_cast<uint32_t>(2 * channels); }
  uint32_t FirstExtra() const { return FirstParam() + static_cast<uint32_t>(params); }
  uint32_t FirstMonitor() const;
  uint32_t Count() const { return FirstMonitor() + static_cast<uint32_t>(monitors); }
  uint32_t ParamPort(int paramIdx) const { return FirstParam() + static_cast<uint32_t>(paramIdx); }
  uint32_t MonitorPort(int monitor) const {
    return FirstMonitor() + static_cast<uint32_t>(monitor);
  }
  /** The parameter a port carries, or -1. */
  int ParamAt(uint32_t port) const {
    return port >= FirstParam() && port < FirstExtra() ? static_cast<int>(port - FirstParam()) : -1;
  }
  /** The monitor a port carries, or -1. */
  int MonitorAt(uint32_t port) const {
    return port >= FirstMonitor() && port < Count() ? static_cast<int>(port - FirstMonitor()) : -1;
  }
};

/**
 * The plug-in's own UI, as the binding's UI side sees it from the plug-in object it shows the
 * editor of: what the editor does goes to the host through it. [main]
 */
class LV2UIHostLink {
 public:
  virtual ~LV2UIHostLink() = default;
  virtual void ParamGesture(int paramIdx, bool begins) = 0;
  /** A value the user gave a parameter, in the parameter's units. */
  virtual void ParamValue(int paramIdx, double value) = 0;
  /** True when the host resized the editor's window. */
  virtual bool ResizeRequest(int width, int height) = 0;
};

/**
 * A control port carries a float: 1.0731 arrives as 1.07309997. On a step of a power of ten the
 * value is put on the parameter's decimal grid, as the double nearest to the decimal (what the
 * same value typed as text gives), so that a value set through a port saves as it reads.
 */
double LV2PortValueOnGrid(const IParam& param, double value);

/**
 * The plug-in object as an LV2 host sees it: the framework's plug-in base and processor behind
 * the LV2 instance callbacks. Ports, in this order: the audio inputs, the audio outputs, one
 * control input per parameter, the host's bypass (lv2:enabled), free-wheeling (taken as the
 * offline notification), the latency output and the monitors (LV2PortLayout).
 *
 * LV2 gives a plug-in no main thread: parameter values arrive in run(), and the framework's idle
 * duties (the queues towards an editor) run there too, every 20 ms of audio. A latency change
 * is reported in the run() whose audio it concerns. What they do is allocation- and lock-free
 * while no editor is open on the instance, and the bypass delay is reserved at instantiation
 * for latencies up to kMaxLatency.
 *
 * The first run() after activate() starts in the state the ports describe: the values it finds
 * are taken without a crossfade or an oversampling switch, so every activation sounds alike.
 *
 * Ports and the saved state meet by one rule: the later action wins. A restore holds until the
 * host writes a different value to a port after it; a port the host changes after the restore
 * wins. save() stores what the plug-in will sound like with the values the host has written to
 * the ports, whether or not run() has seen them yet.
 *
 * Threads: [instantiation] is the host's instantiation class (never concurrent with run());
 * [audio] is run(); [state] is save() and restore(), which may run beside run() on another
 * thread and only read the ports and exchange atomic values with it.
 */
class IPlugLV2 : public IPlugAPIBase, public IPlugProcessor {
 public:
  static constexpr int32_t kAPIKind = 8;
  /** Block size assumed when the host announces none. */
  static constexpr int kDefaultBlockSize = 1024;
  /** Latencies the bypass delay can follow without allocating. */
  static constexpr int kMaxLatency = 16384;

  /** Ports after the audio ports and the parameters. */
  enum EExtraPort { kPortEnabled = 0, kPortFreeWheeling, kPortLatency, kNumExtraPorts };

  explicit IPlugLV2(const PluginConfig& config);
  ~IPlugLV2() override;

  // The LV2 callbacks, through the descriptor. Each catches what it could throw.
  /** [instantiation] False when the plug-in cannot run (the host then gets no instance). */
  bool Instantiate(const LV2Variant& variant, double sampleRate,
                   const LV2_Feature* const* features) noexcept;
  /** [audio class: between runs] */
  void ConnectPort(uint32_t port, void* data) noexcept;
  /** [instantiation] Resets the processor: everything run() needs is sized here. The first
   * run() after it starts from the ports' values. */
  void Activate() noexcept;
  void Deactivate() noexcept {}
  /** [audio] */
  void Run(uint32_t frames) noexcept;
  /** [instantiation] The state and options interfaces (the same for every instance). */
  static const void* ExtensionData(const char* uri) noexcept;

  // State: the parameter image under the description's state key, as a plain-data chunk.
  /** [state] Writes nothing to the instance. */
  LV2_State_Status SaveState(LV2_State_Store_Function store, LV2_State_Handle handle,
                             uint32_t flags, const LV2_Feature* const* features) noexcept;
  /** [state] A longer image (a later version's) restores the values this version has, a
   * shorter one the values it holds; a malformed one (another type, no whole value, a value
   * that is not finite) is refused and changes nothing. */
  LV2_State_Status RestoreState(LV2_State_Retrieve_Function retrieve, LV2_State_Handle handle,
                                uint32_t flags, const LV2_Feature* const* features) noexcept;

  // Options: the block lengths the host announces.
  uint32_t GetOptions(LV2_Options_Option* options) const noexcept;
  uint32_t SetOptions(const LV2_Options_Option* options) noexcept;

  // IPlugProcessor
  bool EmitMidiMessage(const MidiMessage&) override { return false; }
  /** [audio or instantiation] In place, within the reserved bypass delay: never allocates. */
  void ChangeLatency(int samples) override { SetLatencyInPlace(samples); }

  /** The variant this instance was made for; empty before Instantiate. */
  const LV2Variant& Variant() const { return mVariant; }

  /**
   * [audio] The level of a monitor port (LV2Description::monitors), read at the end of every
   * run(); clamped into 0 … 1, and anything not finite is 0.
   */
  virtual float MonitorLevel(int monitor) const noexcept { return 0.f; }

  /** [main] The object shows the editor of an LV2 UI: edits go to the host through the link.
   * Null (the plug-in instance itself) tells no host anything. */
  void SetUIHostLink(LV2UIHostLink* link) { mUIHostLink = link; }

  // IPlugAPIBase: the editor's edits and size, for the plug-in's own UI.
  void BeginParamGesture(int paramIdx) override;
  void EndParamGesture(int paramIdx) override;
  void InformHostOfParam(int paramIdx, double normalized) override;
  bool ResizeEditor(int width, int height) override;

 private:
  struct URIDs {
    LV2_URID atomChunk = 0;
    LV2_URID atomInt = 0;
    LV2_URID nominalBlockLength = 0;
    LV2_URID maxBlockLength = 0;
    LV2_URID stateKey = 0;
  };

  /** [state or audio] The value parameter paramIdx takes when run() reads `port` from its port:
   * put on the decimal grid, conformed, and a port showing the value rounded to float leaves it
   * as it is. */
  double ValueFromPort(int paramIdx, float port) const;
  /** [state or audio] The port's value when it is one the plug-in has not taken yet. */
  bool UnseenPortValue(int paramIdx, float& value) const;

  void MapURIDs(const LV2_URID_Map* map);
  void SizeForTheHost();
  void ReadOptions(const LV2_Options_Option* options);
  /** [audio] Values the host changed since the last run, as host changes. */
  void ReadControlPorts() noexcept;
  /** [audio] Frames [offset, offset + n) of the host's block; n is at most the capacity. */
  void RenderPiece(bool bypass, int offset, int n) noexcept;

  LV2Variant mVariant;
  const LV2_URID_Map* mMap = nullptr;
  URIDs mURIDs;
  int mNominalBlock = 0;
  int mMaxBlock = 0;

  std::vector<const float*> mAudioIn;
  std::vector<float*> mAudioOut;
  // Read by save() and restore() beside run(): pointers and values are exchanged atomically.
  std::unique_ptr<std::atomic<const float*>[]> mControls;
  // Per parameter port, the value the plug-in last took into account (read by run(), or found
  // there by a restore); NaN: none yet, so whatever the port holds is a change.
  std::unique_ptr<std::atomic<float>[]> mPortSeen;
  int mNumControls = 0;
  const float* mEnabled = nullptr;
  const float* mFreeWheeling = nullptr;
  // The host's worker, where it has one: what the processor builds off the audio thread.
  const LV2_Worker_Schedule* mSchedule = nullptr;
  float* mLatencyOut = nullptr;
  std::vector<float*> mMonitorOut;
  LV2UIHostLink* mUIHostLink = nullptr;
  int64_t mFramesSinceIdle = 0;
  int64_t mIdleInterval = 1;
  bool mFirstRunAfterActivation = false;
};

inline uint32_t LV2PortLayout::FirstMonitor() const {
  return FirstExtra() + static_cast<uint32_t>(IPlugLV2::kNumExtraPorts);
}

/**
 * Provided by the product's LV2 module. [instantiation] A new plug-in object, not instantiated
 * yet, or null; and the bundle's description.
 */
IPlugLV2* MakePlugLV2();
const LV2Description& LV2DescriptionOfPlug();

}  // namespace iplug

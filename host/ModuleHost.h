#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "aax/interfaces/AAX_Exports.h"
#include "aax/interfaces/AAX_IEffectParameters.h"
#include "host/StateChunk.h"
#include "host/aaxhost/AlgorithmContext.h"
#include "host/aaxhost/DescriptionCollection.h"
#include "host/aaxhost/HostRunLoop.h"
#include "host/aaxhost/HostServices.h"
#include "host/aaxhost/InstanceHost.h"
#include "host/realtime/RealtimeProbe.h"

namespace corvane::host {

/**
 * A loaded plug-in module: dlopen, the seven entry points, ACFStartup with the host services
 * (which offer the run loop), ACFRegisterPlugin into a description collection. Close() shuts the
 * module down and unloads it once every object it made is gone.
 *
 * Everything here, and in ModuleInstance, runs on the one thread of the tool: the host's main
 * thread and, during process calls, its audio thread.
 */
class ModuleHost {
 public:
  /** Throws HostError (usage status) when the module is missing, cannot be loaded, lacks an
   * entry point or fails to start or to describe itself. */
  explicit ModuleHost(const std::filesystem::path& path,
                      aaxhost::HostRunLoop::Clock clock = aaxhost::HostRunLoop::Clock::kManual);
  /** Close() without throwing; a module that cannot be unloaded stays loaded. */
  ~ModuleHost();
  ModuleHost(const ModuleHost&) = delete;
  ModuleHost& operator=(const ModuleHost&) = delete;

  const std::filesystem::path& Path() const { return mPath; }
  const aaxhost::Description& Description() const { return mCollection->Dump(); }
  /** The module's first effect; throws HostError (usage status) when it described none. */
  const aaxhost::Effect& Effect() const;
  uint64_t SdkVersion() const { return mSdkVersion; }

  aaxhost::HostRunLoop& RunLoop() { return *mRunLoop; }
  aaxhost::HostServices& Services() { return *mServices; }

  /** ACFCanUnloadNow: 0 once no object of the module is alive. */
  int32_t LiveObjects() const;

  /**
   * Shuts the module down and unloads it. Throws HostError (failure status) when the module
   * still has live objects; it then stays loaded, because unloading would pull its code away
   * under them.
   */
  void Close();

 private:
  template <typename Proc>
  Proc Lookup(const char* name);
  void Shutdown() noexcept;
  /** Keeps the module and the host objects it may still reach for the rest of the process. */
  void Abandon() noexcept;

  std::filesystem::path mPath;
  void* mHandle = nullptr;
  AAX_ACFStartupProc mStartup = nullptr;
  AAX_ACFShutdownProc mShutdown = nullptr;
  AAX_ACFRegisterPluginProc mRegisterPlugin = nullptr;
  AAX_ACFRegisterComponentProc mRegisterComponent = nullptr;
  AAX_ACFGetClassFactoryProc mGetClassFactory = nullptr;
  AAX_ACFCanUnloadNowProc mCanUnloadNow = nullptr;
  AAX_ACFGetSDKVersionProc mGetSdkVersion = nullptr;
  uint64_t mSdkVersion = 0;
  bool mStarted = false;
  // Heap objects: when the module cannot be unloaded they are kept alive with it (Abandon),
  // since its code may still reach them.
  std::unique_ptr<aaxhost::HostRunLoop> mRunLoop;
  std::unique_ptr<aaxhost::HostServices> mServices;
  std::unique_ptr<aaxhost::Collection> mCollection;
};

/** The stem format both ends of a component have, or nothing for asymmetric components. */
std::optional<int32_t> ComponentStemFormat(const aaxhost::Component& component);

/** Every digit of a double: a plug-in parses it back as exactly this double, and two values
 * that differ show as different. */
std::string ExactText(double value);

/** The component of an effect that processes `channels` in and out; null when there is none. */
const aaxhost::Component* FindComponentForChannels(const aaxhost::Effect& effect, int channels);

/**
 * One instance of the module's effect: its effect-parameters object, the host objects it talks
 * to (controller, automation delegate, transport) and, once prepared, its algorithm context.
 *
 * It is driven the way a real host drives an insert, not the way that suits the plug-in: the
 * host applies every value change itself (set-value requests the plug-in posts, from a restored
 * chunk say, are queued and applied through UpdateParameterNormalizedValue when the plug-in call
 * that posted them has returned), tells the plug-in of touch changes (UpdateParameterTouch),
 * calls TimerWakeup from its run loop, uses the unsized chunk calls, and never resets or
 * re-creates the plug-in on its behalf.
 */
class ModuleInstance {
 public:
  /** Creates the object with the effect-parameters creation procedure; not initialized yet. */
  ModuleInstance(ModuleHost& module, const aaxhost::Component& component, double sampleRate);
  /** Teardown, when that has not happened yet. */
  ~ModuleInstance();
  ModuleInstance(const ModuleInstance&) = delete;
  ModuleInstance& operator=(const ModuleInstance&) = delete;

  /** Uninitializes and releases the plug-in's object; the host objects stay alive until the
   * destructor, so a caller can still see what the plug-in left holding them. Nothing else may
   * be called afterwards. */
  void Teardown();

  const aaxhost::Component& Component() const { return mComponent; }
  ModuleHost& Module() { return mModule; }
  aaxhost::InstanceHost& Host() { return *mHost; }
  AAX_IEffectParametersV1& Parameters() { return *mParameters; }

  /** A host notification (AAX_ENotificationEvent); the plug-in may get it before Initialize. */
  void Notify(AAX_CTypeID type, const void* data, uint32_t size);
  /** Throws HostError (usage status) when the plug-in refuses. */
  void Initialize();
  bool Initialized() const { return mInitialized; }

  // Parameter bridge. IDs and texts are the plug-in's; values are normalized.
  int32_t ParameterCount() const;
  std::string ParameterID(int32_t index) const;
  /** The master bypass parameter's ID, if the plug-in has one. */
  std::optional<std::string> MasterBypassID() const;
  std::string ParameterName(const std::string& id) const;
  std::string TextForNormalized(const std::string& id, double normalized) const;
  std::string CurrentText(const std::string& id, int32_t maxLength) const;
  std::optional<double> NormalizedFromText(const std::string& id, const std::string& text) const;
  double Normalized(const std::string& id) const;
  double DefaultNormalized(const std::string& id) const;
  int32_t Steps(const std::string& id) const;
  int32_t Type(const std::string& id) const;
  /** Applies a value as the host: UpdateParameterNormalizedValue, then the requests it caused. */
  void Apply(const std::string& id, double normalized);
  /** A shortened name, as a host with a narrow display asks for it. */
  std::string ShortName(const std::string& id, int32_t maxLength) const;
  /** GetNumberOfChanges: the count a host watches to know its session changed. */
  int32_t Changes() const;
  /** Applies the set-value requests the plug-in posted since the last call, as the host's
   * echo, and tells the plug-in of the touch changes its requests made; the instance's own
   * calls do this themselves. */
  void ApplyPostedRequests();
  /** Every value the host has applied, by parameter ID, latest last. */
  const std::map<std::string, double>& AppliedValues() const { return mApplied; }

  // State.
  uint32_t ChunkID() const;
  /** The chunk's data; throws HostError (failure status) when the plug-in refuses. */
  std::vector<uint8_t> GetChunk(uint32_t chunkID) const;
  /** Hands the data over in a chunk record with this header, through the unsized SetChunk every
   * host has; throws HostError (usage status) when the plug-in refuses it. Before Initialize
   * too, as a host restoring a session may. */
  void SetChunk(const ChunkRecord& record);
  /** The same through the sized call (SetChunkSized), for the tests that name it. */
  void SetChunkSized(const ChunkRecord& record);
  /** CompareActiveChunk, unsized; throws HostError (failure status) when the plug-in fails. */
  bool CompareChunk(const ChunkRecord& record) const;

  // Processing.
  /** Lays out the algorithm context and lets the plug-in fill its private data; after
   * Initialize. Throws HostError (usage status). */
  void PrepareContext();
  /** PrepareBlock and RenderBlock on the calling thread. The channel arrays hold the
   * component's channel counts; position is the block's sample location. */
  void ProcessBlock(float* const* inputs, float* const* outputs, int32_t frames, int64_t position);
  /** The host's main-thread half of a block: the transport for position, GenerateCoefficients. */
  void PrepareBlock(int64_t position);
  /** The audio-thread half: packet delivery, the process call, meter reading. Safe on another
   * thread than the main thread's calls, as long as one thread renders. */
  void RenderBlock(float* const* inputs, float* const* outputs, int32_t frames, int64_t position);
  /** While on, every process call runs under a real-time probe (that call only, not the host's
   * own work around it) and what it saw adds up in ProcessViolations. */
  void WatchProcessCalls(bool on) { mWatchProcess = on; }
  realtime::Violations ProcessViolations() const { return mViolations; }
  /** Peaks the plug-in wrote into its input and output meter taps since the last call. */
  std::pair<float, float> TakeMeterPeaks();
  /** The latency the plug-in last told the controller. */
  int32_t Latency() const;
  /** The thread that created the instance: the host's main thread. */
  std::thread::id MainThread() const { return mMainThread; }

 private:
  static void WakeUp(void* context, uint64_t timerID) noexcept;
  void SetChunkRecord(const ChunkRecord& record, bool sized);
  ModuleHost& mModule;
  const aaxhost::Component& mComponent;
  std::unique_ptr<aaxhost::InstanceHost> mHost;
  IACFUnknown* mObject = nullptr;
  AAX_IEffectParametersV1* mParameters = nullptr;
  bool mInitialized = false;
  std::vector<std::pair<std::string, double>> mPostedRequests;
  std::vector<std::pair<std::string, bool>> mTouchChanges;
  uint64_t mWakeUpTimer = 0;
  std::thread::id mMainThread = std::this_thread::get_id();
  std::map<std::string, double> mApplied;
  std::unique_ptr<aaxhost::AlgorithmContext> mContext;
  AAX_CProcessProc mProcessProc = nullptr;
  bool mWatchProcess = false;
  realtime::Violations mViolations;
  double mSampleRate;
  // Which meter tap is which, by the meter's type property; -1 when the plug-in has none.
  int mInputTap = -1;
  int mOutputTap = -1;
  float mInputPeak = 0.0f;
  float mOutputPeak = 0.0f;
};

}  // namespace corvane::host

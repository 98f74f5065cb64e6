#pragma once

// The host side of the VST3 ABI, enough for corvane-host to load a VST3 bundle and drive it as
// a host does: the module and its factory, the host's objects a plug-in talks to (application,
// component handler, streams, parameter changes, a plug frame with a run loop), and one
// instance (component, audio processor, edit controller) with the calls in the order hosts
// make them. Knows the plug-in only through the ABI.

#include <travesty/audio_processor.h>
#include <travesty/component.h>
#include <travesty/edit_controller.h>
#include <travesty/factory.h>
#include <travesty/message.h>
#include <travesty/view.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "framework/IRunLoop.h"

namespace corvane::host::vst3 {

using ClassID = std::array<uint8_t, 16>;

/** One class of the factory, as its class-info-2 describes it. */
struct ClassInfo {
  ClassID id{};
  std::string category;  // "Audio Module Class", "Component Controller Class"
  std::string name;
  std::string subcategories;
  std::string vendor;
  std::string version;
  std::string sdkVersion;
  uint32_t flags = 0;
};

/** A VST3 module: the bundle's shared object, loaded, entered and its factory found. */
class Module {
 public:
  /** A bundle folder (…/Corvane.vst3) or the shared object in it; throws HostError. */
  explicit Module(const std::filesystem::path& path);
  ~Module();
  Module(const Module&) = delete;
  Module& operator=(const Module&) = delete;

  const std::filesystem::path& Binary() const { return mBinary; }
  v3_plugin_factory** Factory() const { return mFactory; }
  const std::vector<ClassInfo>& Classes() const { return mClasses; }
  std::string Vendor() const { return mVendor; }
  /** The exported symbols the module has, of the three a host looks for. */
  bool HasExport(const char* name) const;
  /** The processor classes ("Audio Module Class"). */
  std::vector<ClassInfo> Processors() const;
  /** ModuleExit and dlclose now; false when ModuleExit refused. Called by the destructor. */
  bool Close();

 private:
  std::filesystem::path mBinary;
  void* mHandle = nullptr;
  v3_plugin_factory** mFactory = nullptr;
  std::vector<ClassInfo> mClasses;
  std::string mVendor;
  bool mEntered = false;
};

/** The bundle path's shared object: Contents/x86_64-linux/<name>.so; empty when there is none. */
std::filesystem::path BundleBinary(const std::filesystem::path& path);
/** True when a path names a VST3 bundle or a module in one. */
bool IsVst3Path(const std::filesystem::path& path);

/** What the host's component handler was told, in order. */
struct Edit {
  enum class Kind { kBegin, kPerform, kEnd, kRestart };
  Kind kind;
  v3_param_id id = 0;
  double value = 0.0;  // kPerform: the normalized value; kRestart: the flags
};

/** A memory stream, as hosts hand plug-ins for states. At most `chunk` bytes per call when set:
 * a plug-in must read and write in as many calls as it takes. */
class MemoryStream {
 public:
  struct Face {
    const void* vtbl;
    MemoryStream* owner;
  };
  explicit MemoryStream(std::vector<uint8_t> bytes = {}, int chunk = 0);
  MemoryStream(const MemoryStream&) = delete;
  MemoryStream& operator=(const MemoryStream&) = delete;
  v3_bstream** Pointer();
  const std::vector<uint8_t>& Bytes() const { return mBytes; }
  int64_t Position() const { return mPosition; }
  int Calls() const { return mCalls; }

 private:
  static const v3_bstream* Vtbl();
  Face mFace{nullptr, this};
  std::vector<uint8_t> mBytes;
  int64_t mPosition = 0;
  int mChunk = 0;
  int mCalls = 0;

 public:
  // The table's functions, for the table itself.
  static v3_result Read(void* self, void* buffer, int32_t n, int32_t* read);
  static v3_result Write(void* self, void* buffer, int32_t n, int32_t* written);
  static v3_result Seek(void* self, int64_t pos, int32_t mode, int64_t* result);
  static v3_result Tell(void* self, int64_t* pos);
};

/** The parameter changes of one block: a queue per parameter with its points. */
class ParameterChanges {
 public:
  struct Face {
    const void* vtbl;
    ParameterChanges* owner;
  };
  struct Queue;
  ParameterChanges();
  ~ParameterChanges();
  // The host's pointer leads back to this object: it stays where it was made.
  ParameterChanges(const ParameterChanges&) = delete;
  ParameterChanges& operator=(const ParameterChanges&) = delete;
  void Add(v3_param_id id, int32_t offset, double value);
  void Clear();
  bool Empty() const { return mQueues.empty(); }
  v3_param_changes** Pointer();

 private:
  Face mFace{nullptr, this};
  std::vector<std::unique_ptr<Queue>> mQueues;
  static v3_param_value_queue** QueueAt(ParameterChanges& self, int32_t index);
  friend struct ChangesTable;
};

/** A host's main-thread loop lent to a plug-in's view: our run loop behind the VST3 one. */
class RunLoopAdapter;

/** The frame a view sits in: its resize requests, and the host's run loop. */
class PlugFrame {
 public:
  struct Face {
    const void* vtbl;
    PlugFrame* owner;
  };
  using Resized = std::function<void(const v3_view_rect& rect)>;
  PlugFrame(iplug::IRunLoop& loop, Resized resized);
  ~PlugFrame();
  PlugFrame(const PlugFrame&) = delete;
  PlugFrame& operator=(const PlugFrame&) = delete;
  v3_plugin_frame** Pointer();
  int Resizes() const { return mResizes; }
  int OpenTimers() const;
  int OpenWatches() const;

 private:
  Face mFace{nullptr, this};
  Resized mResized;
  std::unique_ptr<RunLoopAdapter> mLoop;
  int mResizes = 0;
  friend struct FrameTable;
};

/**
 * One plug-in instance: the processor class's component with its audio processor, and its edit
 * controller (the component itself when it is one, else an instance of the controller class,
 * initialized and connected as hosts do). Calls are made as a host makes them; each returns
 * the plug-in's result. [main] unless marked [audio].
 */
class Instance {
 public:
  /** Throws HostError when the class cannot be made or refuses to initialize. */
  Instance(Module& module, const ClassInfo& processorClass, bool preferSeparateController = false);
  ~Instance();
  Instance(const Instance&) = delete;
  Instance& operator=(const Instance&) = delete;

  v3_component** Component() const { return mComponent; }
  v3_audio_processor** Processor() const { return mProcessor; }
  v3_edit_controller** Controller() const { return mController; }
  bool SingleComponent() const { return mSingleComponent; }
  const std::vector<Edit>& Edits() const { return mEdits; }
  std::vector<Edit> TakeEdits();

  // Component and processor.
  int32_t Channels() const { return mChannels; }
  v3_result SetArrangements(v3_speaker_arrangement in, v3_speaker_arrangement out);
  v3_result Setup(double rate, int32_t maxBlock, int32_t mode = V3_REALTIME,
                  int32_t sampleSize = V3_SAMPLE_32);
  v3_result SetActive(bool active);
  v3_result SetProcessing(bool processing);
  bool Active() const { return mActive; }
  uint32_t Latency() const;
  /** [audio] One block: in and out hold Channels() arrays of frames samples (may be the same),
   * with the changes given at their offsets. */
  v3_result Process(float* const* in, float* const* out, int32_t frames,
                    ParameterChanges* changes = nullptr, int32_t mode = V3_REALTIME,
                    uint64_t inputSilence = 0, uint64_t* outputSilence = nullptr);

  // Parameters (the controller's view of them).
  int32_t ParameterCount() const;
  v3_param_info Info(int32_t index) const;
  std::optional<int32_t> IndexOf(v3_param_id id) const;
  std::optional<v3_param_id> BypassID() const;
  double Normalized(v3_param_id id) const;
  v3_result SetNormalized(v3_param_id id, double value);
  std::string Text(v3_param_id id, double normalized) const;
  std::optional<double> ValueOf(v3_param_id id, const std::string& text) const;
  double ToPlain(v3_param_id id, double normalized) const;
  double ToNormalized(v3_param_id id, double plain) const;

  // State.
  /** The component's state; throws HostError when the plug-in refuses. */
  std::vector<uint8_t> State(int chunk = 0) const;
  /** Component, then controller (setComponentState), as hosts restore. */
  v3_result SetState(const std::vector<uint8_t>& bytes, int chunk = 0);
  std::vector<uint8_t> ControllerState() const;

  // The editor.
  /** createView("editor"), or null. The caller releases it (v3_cpp_obj_unref). */
  v3_plugin_view** CreateView() const;

 private:
  struct Handler;
  struct HostApp;
  friend struct Handler;
  friend struct HostApp;
  Module& mModule;
  v3_component** mComponent = nullptr;
  v3_audio_processor** mProcessor = nullptr;
  v3_edit_controller** mController = nullptr;
  v3_connection_point** mComponentPoint = nullptr;
  v3_connection_point** mControllerPoint = nullptr;
  bool mSingleComponent = false;
  bool mActive = false;
  bool mProcessing = false;
  int32_t mChannels = 2;
  std::unique_ptr<Handler> mHandler;
  std::unique_ptr<HostApp> mApp;
  std::vector<Edit> mEdits;
  std::vector<uint8_t> mEventListStorage;
};

}  // namespace corvane::host::vst3

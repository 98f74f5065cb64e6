#include "host/vst3host/Vst3Host.h"

#include <dlfcn.h>
#include <travesty/events.h>
#include <travesty/host.h>
#include <travesty/message.h>

#include <algorithm>
#include <cstring>

#include "host/HostError.h"

namespace corvane::host::vst3 {

namespace fs = std::filesystem;

namespace {

std::string Utf8(const int16_t* text, size_t size) {
  std::string out;
  for (size_t i = 0; i < size && text[i]; ++i) {
    const auto c = static_cast<uint16_t>(text[i]);
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

void Utf16(const std::string& text, int16_t* out, size_t size) {
  size_t n = 0;
  for (size_t i = 0; i < text.size() && n + 1 < size; ++i)
    out[n++] = static_cast<int16_t>(static_cast<unsigned char>(text[i]));
  out[n] = 0;
}

template <typename Owner>
Owner* Of(void* self) {
  return static_cast<typename Owner::Face*>(self)->owner;
}

// Host objects live as long as the host keeps them; the plug-in's references are counted by
// nobody.
uint32_t V3_API Constant(void*) {
  return 1;
}

}  // namespace

// ---- Module -----------------------------------------------------------------------------------

fs::path BundleBinary(const fs::path& path) {
  std::error_code ec;
  if (fs::is_regular_file(path, ec)) return path;
  const fs::path dir = path / "Contents" / "x86_64-linux";
  const fs::path named = dir / (path.stem().string() + ".so");
  if (fs::is_regular_file(named, ec)) return named;
  if (fs::is_directory(dir, ec))
    for (const auto& entry : fs::directory_iterator(dir, ec))
      if (entry.path().extension() == ".so") return entry.path();
  return {};
}

bool IsVst3Path(const fs::path& path) {
  for (fs::path p = path; !p.empty() && p != p.root_path(); p = p.parent_path())
    if (p.extension() == ".vst3") return true;
  return false;
}

Module::Module(const fs::path& path) : mBinary(BundleBinary(path)) {
  if (mBinary.empty())
    throw HostError(kExitUsage,
                    "'" + path.string() + "' is no VST3 bundle (no Contents/x86_64-linux/*.so)");
  mHandle = ::dlopen(mBinary.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!mHandle) {
    const char* why = ::dlerror();
    throw HostError(kExitUsage, "cannot load '" + mBinary.string() + "': " + (why ? why : "?"));
  }
  using Entry = bool (*)(void*);
  using GetFactory = v3_plugin_factory** (*)();
  auto entry = reinterpret_cast<Entry>(::dlsym(mHandle, "ModuleEntry"));
  auto getFactory = reinterpret_cast<GetFactory>(::dlsym(mHandle, "GetPluginFactory"));
  if (!getFactory) {
    Close();
    throw HostError(kExitUsage, "'" + mBinary.string() + "' exports no GetPluginFactory");
  }
  if (entry && !entry(mHandle)) {
    Close();
    throw HostError(kExitFailure, "ModuleEntry of '" + mBinary.string() + "' refused");
  }
  mEntered = entry != nullptr;
  mFactory = getFactory();
  if (!mFactory) {
    Close();
    throw HostError(kExitFailure, "GetPluginFactory returned no factory");
  }
  v3_factory_info info{};
  if (v3_cpp_obj(mFactory)->get_factory_info(mFactory, &info) == V3_OK) mVendor = info.vendor;
  v3_plugin_factory_2** factory2 = nullptr;
  v3_cpp_obj_query_interface(mFactory, v3_plugin_factory_2_iid, &factory2);
  const int32_t n = v3_cpp_obj(mFactory)->num_classes(mFactory);
  for (int32_t i = 0; i < n; ++i) {
    ClassInfo c;
    if (factory2) {
      v3_class_info_2 info2{};
      if (v3_cpp_obj(factory2)->get_class_info_2(factory2, i, &info2) != V3_OK) continue;
      std::memcpy(c.id.data(), info2.class_id, 16);
      c.category = info2.category;
      c.name = info2.name;
      c.subcategories = info2.sub_categories;
      c.vendor = info2.vendor;
      c.version = info2.version;
      c.sdkVersion = info2.sdk_version;
      c.flags = info2.class_flags;
    } else {
      v3_class_info info1{};
      if (v3_cpp_obj(mFactory)->get_class_info(mFactory, i, &info1) != V3_OK) continue;
      std::memcpy(c.id.data(), info1.class_id, 16);
      c.category = info1.category;
      c.name = info1.name;
    }
    mClasses.push_back(c);
  }
  if (factory2) v3_cpp_obj_unref(factory2);
}

Module::~Module() {
  Close();
}

bool Module::HasExport(const char* name) const {
  return mHandle && ::dlsym(mHandle, name) != nullptr;
}

std::vector<ClassInfo> Module::Processors() const {
  std::vector<ClassInfo> out;
  for (const ClassInfo& c : mClasses)
    if (c.category == "Audio Module Class") out.push_back(c);
  return out;
}

bool Module::Close() {
  bool ok = true;
  if (mHandle) {
    if (mEntered) {
      using Exit = bool (*)();
      if (auto exit = reinterpret_cast<Exit>(::dlsym(mHandle, "ModuleExit"))) ok = exit();
    }
    ::dlclose(mHandle);
  }
  mHandle = nullptr;
  mFactory = nullptr;
  mEntered = false;
  return ok;
}

// ---- Memory stream ---------------------------------------------------------------------------

MemoryStream::MemoryStream(std::vector<uint8_t> bytes, int chunk)
    : mBytes(std::move(bytes)), mChunk(chunk) {
  mFace.vtbl = Vtbl();
}

v3_bstream** MemoryStream::Pointer() {
  return reinterpret_cast<v3_bstream**>(&mFace);
}

v3_result MemoryStream::Read(void* self, void* buffer, int32_t n, int32_t* read) {
  MemoryStream* s = Of<MemoryStream>(self);
  ++s->mCalls;
  if (n < 0 || (!buffer && n > 0)) return V3_INVALID_ARG;
  int64_t take = std::min<int64_t>(n, static_cast<int64_t>(s->mBytes.size()) - s->mPosition);
  if (s->mChunk > 0) take = std::min<int64_t>(take, s->mChunk);
  take = std::max<int64_t>(take, 0);
  if (take > 0) std::memcpy(buffer, s->mBytes.data() + s->mPosition, static_cast<size_t>(take));
  s->mPosition += take;
  if (read) *read = static_cast<int32_t>(take);
  return V3_OK;
}

v3_result MemoryStream::Write(void* self, void* buffer, int32_t n, int32_t* written) {
  MemoryStream* s = Of<MemoryStream>(self);
  ++s->mCalls;
  if (n < 0 || (!buffer && n > 0)) return V3_INVALID_ARG;
  int64_t put = n;
  if (s->mChunk > 0) put = std::min<int64_t>(put, s->mChunk);
  const auto* bytes = static_cast<const uint8_t*>(buffer);
  if (s->mPosition + put > static_cast<int64_t>(s->mBytes.size()))
    s->mBytes.resize(static_cast<size_t>(s->mPosition + put));
  if (put > 0) std::memcpy(s->mBytes.data() + s->mPosition, bytes, static_cast<size_t>(put));
  s->mPosition += put;
  if (written) *written = static_cast<int32_t>(put);
  return V3_OK;
}

v3_result MemoryStream::Seek(void* self, int64_t pos, int32_t mode, int64_t* result) {
  MemoryStream* s = Of<MemoryStream>(self);
  const int64_t base = mode == V3_SEEK_SET   ? 0
                       : mode == V3_SEEK_CUR ? s->mPosition
                                             : static_cast<int64_t>(s->mBytes.size());
  if (base + pos < 0) return V3_INVALID_ARG;
  s->mPosition = base + pos;
  if (result) *result = s->mPosition;
  return V3_OK;
}

v3_result MemoryStream::Tell(void* self, int64_t* pos) {
  if (!pos) return V3_INVALID_ARG;
  *pos = Of<MemoryStream>(self)->mPosition;
  return V3_OK;
}

namespace {
struct BstreamTable {
  v3_funknown unknown;
  v3_bstream stream;
};
v3_result V3_API NoInterface(void*, const v3_tuid, void** obj) {
  if (obj) *obj = nullptr;
  return V3_NO_INTERFACE;
}
const BstreamTable kBstream = {
    {&NoInterface, &Constant, &Constant},
    {&MemoryStream::Read, &MemoryStream::Write, &MemoryStream::Seek, &MemoryStream::Tell}};
}  // namespace

const v3_bstream* MemoryStream::Vtbl() {
  return reinterpret_cast<const v3_bstream*>(&kBstream);
}

// ---- Parameter changes -----------------------------------------------------------------------

struct ParameterChanges::Queue {
  struct Face {
    const void* vtbl;
    Queue* owner;
  };
  Face face{nullptr, this};
  v3_param_id id = 0;
  std::vector<std::pair<int32_t, double>> points;
};

struct ChangesTable {
  struct QueueTable {
    v3_funknown unknown;
    v3_param_value_queue queue;
  };
  struct Table {
    v3_funknown unknown;
    v3_param_changes changes;
  };
  static const QueueTable kQueue;
  static const Table kChanges;
};

const ChangesTable::QueueTable ChangesTable::kQueue = {
    {&NoInterface, &Constant, &Constant},
    {[](void* self) -> v3_param_id {
       return static_cast<ParameterChanges::Queue::Face*>(self)->owner->id;
     },
     [](void* self) -> int32_t {
       return static_cast<int32_t>(
           static_cast<ParameterChanges::Queue::Face*>(self)->owner->points.size());
     },
     [](void* self, int32_t index, int32_t* offset, double* value) -> v3_result {
       auto* q = static_cast<ParameterChanges::Queue::Face*>(self)->owner;
       if (index < 0 || static_cast<size_t>(index) >= q->points.size() || !offset || !value)
         return V3_INVALID_ARG;
       *offset = q->points[static_cast<size_t>(index)].first;
       *value = q->points[static_cast<size_t>(index)].second;
       return V3_OK;
     },
     [](void*, int32_t, double, int32_t*) -> v3_result { return V3_NOT_IMPLEMENTED; }}};

const ChangesTable::Table ChangesTable::kChanges = {
    {&NoInterface, &Constant, &Constant},
    {[](void* self) -> int32_t {
       return static_cast<int32_t>(
           static_cast<ParameterChanges::Face*>(self)->owner->mQueues.size());
     },
     [](void* self, int32_t index) -> v3_param_value_queue** {
       return ParameterChanges::QueueAt(*static_cast<ParameterChanges::Face*>(self)->owner, index);
     },
     [](void*, v3_param_id*, int32_t*) -> v3_param_value_queue** { return nullptr; }}};

ParameterChanges::ParameterChanges() {
  mFace.vtbl = &ChangesTable::kChanges;
}

ParameterChanges::~ParameterChanges() = default;

void ParameterChanges::Add(v3_param_id id, int32_t offset, double value) {
  for (auto& q : mQueues)
    if (q->id == id) {
      q->points.push_back({offset, value});
      return;
    }
  auto q = std::make_unique<Queue>();
  q->face.vtbl = &ChangesTable::kQueue;
  q->id = id;
  q->points.push_back({offset, value});
  mQueues.push_back(std::move(q));
}

void ParameterChanges::Clear() {
  mQueues.clear();
}

v3_param_changes** ParameterChanges::Pointer() {
  return reinterpret_cast<v3_param_changes**>(&mFace);
}

v3_param_value_queue** ParameterChanges::QueueAt(ParameterChanges& self, int32_t index) {
  if (index < 0 || static_cast<size_t>(index) >= self.mQueues.size()) return nullptr;
  return reinterpret_cast<v3_param_value_queue**>(&self.mQueues[static_cast<size_t>(index)]->face);
}

// ---- Run loop and frame ------------------------------------------------------------------------

/** Our run loop as the VST3 one: the plug-in's timer and event handlers are called from it. */
class RunLoopAdapter {
 public:
  struct Face {
    const void* vtbl;
    RunLoopAdapter* owner;
  };
  explicit RunLoopAdapter(iplug::IRunLoop& loop) : mLoop(loop) { mFace.vtbl = &kTable; }
  ~RunLoopAdapter() {
    for (auto& [handler, id] : mTimers) {
      mLoop.RemoveTimer(id);
      v3_cpp_obj_unref(handler);
    }
    for (auto& [handler, id] : mWatches) {
      mLoop.UnwatchFd(id);
      v3_cpp_obj_unref(handler);
    }
  }
  Face mFace{nullptr, this};
  iplug::IRunLoop& mLoop;
  std::map<v3_timer_handler**, iplug::IRunLoop::Id> mTimers;
  std::map<v3_event_handler**, iplug::IRunLoop::Id> mWatches;

  struct Table {
    v3_funknown unknown;
    v3_run_loop loop;
  };
  static const Table kTable;
};

const RunLoopAdapter::Table RunLoopAdapter::kTable = {
    {[](void* self, const v3_tuid iid, void** obj) -> v3_result {
       if (v3_tuid_match(iid, v3_funknown_iid) || v3_tuid_match(iid, v3_run_loop_iid)) {
         *obj = self;
         return V3_OK;
       }
       *obj = nullptr;
       return V3_NO_INTERFACE;
     },
     &Constant, &Constant},
    {// register_event_handler
     [](void* self, v3_event_handler** handler, int fd) -> v3_result {
       RunLoopAdapter* a = Of<RunLoopAdapter>(self);
       if (!handler || a->mWatches.count(handler)) return V3_INVALID_ARG;
       const auto id = a->mLoop.WatchFd(
           fd, [handler](int f) { v3_cpp_obj(handler)->on_fd_is_set(handler, f); });
       if (id == iplug::IRunLoop::kInvalidId) return V3_FALSE;
       v3_cpp_obj_ref(handler);
       a->mWatches[handler] = id;
       return V3_OK;
     },
     // unregister_event_handler
     [](void* self, v3_event_handler** handler) -> v3_result {
       RunLoopAdapter* a = Of<RunLoopAdapter>(self);
       const auto it = a->mWatches.find(handler);
       if (it == a->mWatches.end()) return V3_INVALID_ARG;
       a->mLoop.UnwatchFd(it->second);
       a->mWatches.erase(it);
       v3_cpp_obj_unref(handler);
       return V3_OK;
     },
     // register_timer
     [](void* self, v3_timer_handler** handler, uint64_t ms) -> v3_result {
       RunLoopAdapter* a = Of<RunLoopAdapter>(self);
       if (!handler || a->mTimers.count(handler)) return V3_INVALID_ARG;
       const auto id = a->mLoop.AddTimer(
           static_cast<int>(std::min<uint64_t>(ms, 60000)),
           [handler](iplug::IRunLoop::Id) { v3_cpp_obj(handler)->on_timer(handler); });
       if (id == iplug::IRunLoop::kInvalidId) return V3_FALSE;
       v3_cpp_obj_ref(handler);
       a->mTimers[handler] = id;
       return V3_OK;
     },
     // unregister_timer
     [](void* self, v3_timer_handler** handler) -> v3_result {
       RunLoopAdapter* a = Of<RunLoopAdapter>(self);
       const auto it = a->mTimers.find(handler);
       if (it == a->mTimers.end()) return V3_INVALID_ARG;
       a->mLoop.RemoveTimer(it->second);
       a->mTimers.erase(it);
       v3_cpp_obj_unref(handler);
       return V3_OK;
     }}};

struct FrameTable {
  struct Table {
    v3_funknown unknown;
    v3_plugin_frame frame;
  };
  static const Table kTable;
};

const FrameTable::Table FrameTable::kTable = {
    {[](void* self, const v3_tuid iid, void** obj) -> v3_result {
       PlugFrame* f = Of<PlugFrame>(self);
       if (v3_tuid_match(iid, v3_funknown_iid) || v3_tuid_match(iid, v3_plugin_frame_iid)) {
         *obj = self;
         return V3_OK;
       }
       if (v3_tuid_match(iid, v3_run_loop_iid)) {
         *obj = &f->mLoop->mFace;
         return V3_OK;
       }
       *obj = nullptr;
       return V3_NO_INTERFACE;
     },
     &Constant, &Constant},
    {[](void* self, v3_plugin_view**, v3_view_rect* rect) -> v3_result {
      PlugFrame* f = Of<PlugFrame>(self);
      if (!rect) return V3_INVALID_ARG;
      ++f->mResizes;
      if (f->mResized) f->mResized(*rect);
      return V3_OK;
    }}};

PlugFrame::PlugFrame(iplug::IRunLoop& loop, Resized resized)
    : mResized(std::move(resized)), mLoop(std::make_unique<RunLoopAdapter>(loop)) {
  mFace.vtbl = &FrameTable::kTable;
}

PlugFrame::~PlugFrame() = default;

v3_plugin_frame** PlugFrame::Pointer() {
  return reinterpret_cast<v3_plugin_frame**>(&mFace);
}

int PlugFrame::OpenTimers() const {
  return static_cast<int>(mLoop->mTimers.size());
}

int PlugFrame::OpenWatches() const {
  return static_cast<int>(mLoop->mWatches.size());
}

// ---- Instance ------------------------------------------------------------------------------

struct Instance::Handler {
  struct Face {
    const void* vtbl;
    Handler* owner;
  };
  struct Table {
    v3_funknown unknown;
    v3_component_handler handler;
  };
  explicit Handler(std::vector<Edit>& edits) : edits(edits) { face.vtbl = &kTable; }
  Face face{nullptr, this};
  std::vector<Edit>& edits;
  static const Table kTable;
  v3_component_handler** Pointer() { return reinterpret_cast<v3_component_handler**>(&face); }
};

const Instance::Handler::Table Instance::Handler::kTable = {
    {[](void* self, const v3_tuid iid, void** obj) -> v3_result {
       if (v3_tuid_match(iid, v3_funknown_iid) || v3_tuid_match(iid, v3_component_handler_iid)) {
         *obj = self;
         return V3_OK;
       }
       *obj = nullptr;
       return V3_NO_INTERFACE;
     },
     &Constant, &Constant},
    {[](void* self, v3_param_id id) -> v3_result {
       Of<Handler>(self)->edits.push_back({Edit::Kind::kBegin, id, 0.0});
       return V3_OK;
     },
     [](void* self, v3_param_id id, double value) -> v3_result {
       Of<Handler>(self)->edits.push_back({Edit::Kind::kPerform, id, value});
       return V3_OK;
     },
     [](void* self, v3_param_id id) -> v3_result {
       Of<Handler>(self)->edits.push_back({Edit::Kind::kEnd, id, 0.0});
       return V3_OK;
     },
     [](void* self, int32_t flags) -> v3_result {
       Of<Handler>(self)->edits.push_back({Edit::Kind::kRestart, 0, static_cast<double>(flags)});
       return V3_OK;
     }}};

struct Instance::HostApp {
  struct Face {
    const void* vtbl;
    HostApp* owner;
  };
  struct Table {
    v3_funknown unknown;
    v3_host_application app;
  };
  HostApp() { face.vtbl = &kTable; }
  Face face{nullptr, this};
  static const Table kTable;
  v3_funknown** Pointer() { return reinterpret_cast<v3_funknown**>(&face); }
};

const Instance::HostApp::Table Instance::HostApp::kTable = {
    {[](void* self, const v3_tuid iid, void** obj) -> v3_result {
       if (v3_tuid_match(iid, v3_funknown_iid) || v3_tuid_match(iid, v3_host_application_iid)) {
         *obj = self;
         return V3_OK;
       }
       *obj = nullptr;
       return V3_NO_INTERFACE;
     },
     &Constant, &Constant},
    {[](void*, v3_str_128 name) -> v3_result {
       Utf16("corvane-host", name, 128);
       return V3_OK;
     },
     [](void*, v3_tuid, v3_tuid, void** obj) -> v3_result {
       if (obj) *obj = nullptr;
       return V3_NOT_IMPLEMENTED;
     }}};

namespace {

const ClassInfo* ControllerClassOf(const Module& module, v3_component** component) {
  v3_tuid id{};
  if (v3_cpp_obj(component)->get_controller_class_id(component, id) != V3_OK) return nullptr;
  for (const ClassInfo& c : module.Classes())
    if (std::memcmp(c.id.data(), id, 16) == 0) return &c;
  return nullptr;
}

}  // namespace

Instance::Instance(Module& module, const ClassInfo& processorClass, bool preferSeparateController)
    : mModule(module),
      mHandler(std::make_unique<Handler>(mEdits)),
      mApp(std::make_unique<HostApp>()) {
  v3_plugin_factory** factory = module.Factory();
  void* object = nullptr;
  if (v3_cpp_obj(factory)->create_instance(factory, processorClass.id.data(), v3_component_iid,
                                           &object) != V3_OK ||
      !object)
    throw HostError(kExitFailure,
                    "the factory makes no component of '" + processorClass.name + "'");
  mComponent = static_cast<v3_component**>(object);
  if (v3_cpp_obj_initialize(mComponent, mApp->Pointer()) != V3_OK)
    throw HostError(kExitFailure,
                    "the component of '" + processorClass.name + "' refuses to initialize");
  if (v3_cpp_obj_query_interface(mComponent, v3_audio_processor_iid, &mProcessor) != V3_OK ||
      !mProcessor)
    throw HostError(kExitFailure,
                    "the component of '" + processorClass.name + "' has no audio processor");
  // A host asks the component for its controller first; this one may ask for the class apart.
  if (!preferSeparateController &&
      v3_cpp_obj_query_interface(mComponent, v3_edit_controller_iid, &mController) == V3_OK &&
      mController) {
    mSingleComponent = true;
  } else {
    mController = nullptr;
    const ClassInfo* controllerClass = ControllerClassOf(module, mComponent);
    if (!controllerClass)
      throw HostError(kExitFailure, "the component names no controller class of the factory");
    if (v3_cpp_obj(factory)->create_instance(factory, controllerClass->id.data(),
                                             v3_edit_controller_iid, &object) != V3_OK ||
        !object)
      throw HostError(kExitFailure, "the factory makes no controller");
    mController = static_cast<v3_edit_controller**>(object);
    if (v3_cpp_obj_initialize(mController, mApp->Pointer()) != V3_OK)
      throw HostError(kExitFailure, "the controller refuses to initialize");
    // Connected both ways, as hosts do; a plug-in may refuse the connection.
    if (v3_cpp_obj_query_interface(mComponent, v3_connection_point_iid, &mComponentPoint) ==
            V3_OK &&
        v3_cpp_obj_query_interface(mController, v3_connection_point_iid, &mControllerPoint) ==
            V3_OK &&
        mComponentPoint && mControllerPoint) {
      v3_cpp_obj(mComponentPoint)->connect(mComponentPoint, mControllerPoint);
      v3_cpp_obj(mControllerPoint)->connect(mControllerPoint, mComponentPoint);
    }
  }
  v3_cpp_obj(mController)->set_component_handler(mController, mHandler->Pointer());
  // The controller learns the component's state, as hosts hand it over after creating both.
  MemoryStream state;
  if (v3_cpp_obj(mComponent)->get_state(mComponent, state.Pointer()) == V3_OK) {
    MemoryStream replay(state.Bytes());
    v3_cpp_obj(mController)->set_component_state(mController, replay.Pointer());
  }
  v3_bus_info info{};
  if (v3_cpp_obj(mComponent)->get_bus_info(mComponent, V3_AUDIO, V3_OUTPUT, 0, &info) == V3_OK)
    mChannels = std::clamp(info.channel_count, 1, 2);
}

Instance::~Instance() {
  if (mProcessing && mProcessor) v3_cpp_obj(mProcessor)->set_processing(mProcessor, 0);
  if (mActive && mComponent) v3_cpp_obj(mComponent)->set_active(mComponent, 0);
  if (mController) v3_cpp_obj(mController)->set_component_handler(mController, nullptr);
  if (mComponentPoint && mControllerPoint) {
    v3_cpp_obj(mComponentPoint)->disconnect(mComponentPoint, mControllerPoint);
    v3_cpp_obj(mControllerPoint)->disconnect(mControllerPoint, mComponentPoint);
  }
  if (mComponentPoint) v3_cpp_obj_unref(mComponentPoint);
  if (mControllerPoint) v3_cpp_obj_unref(mControllerPoint);
  if (mController && !mSingleComponent) v3_cpp_obj_terminate(mController);
  if (mController) v3_cpp_obj_unref(mController);
  if (mProcessor) v3_cpp_obj_unref(mProcessor);
  if (mComponent) {
    v3_cpp_obj_terminate(mComponent);
    v3_cpp_obj_unref(mComponent);
  }
}

std::vector<Edit> Instance::TakeEdits() {
  std::vector<Edit> edits;
  edits.swap(mEdits);
  return edits;
}

v3_result Instance::SetArrangements(v3_speaker_arrangement in, v3_speaker_arrangement out) {
  return v3_cpp_obj(mProcessor)->set_bus_arrangements(mProcessor, &in, 1, &out, 1);
}

v3_result Instance::Setup(double rate, int32_t maxBlock, int32_t mode, int32_t sampleSize) {
  v3_process_setup setup{mode, sampleSize, maxBlock, rate};
  return v3_cpp_obj(mProcessor)->setup_processing(mProcessor, &setup);
}

v3_result Instance::SetActive(bool active) {
  const v3_result result = v3_cpp_obj(mComponent)->set_active(mComponent, active ? 1 : 0);
  if (result == V3_OK) mActive = active;
  return result;
}

v3_result Instance::SetProcessing(bool processing) {
  const v3_result result = v3_cpp_obj(mProcessor)->set_processing(mProcessor, processing ? 1 : 0);
  if (result == V3_OK) mProcessing = processing;
  return result;
}

uint32_t Instance::Latency() const {
  return v3_cpp_obj(mProcessor)->get_latency_samples(mProcessor);
}

v3_result Instance::Process(float* const* in, float* const* out, int32_t frames,
                            ParameterChanges* changes, int32_t mode, uint64_t inputSilence,
                            uint64_t* outputSilence) {
  v3_audio_bus_buffers inputs{};
  inputs.num_channels = mChannels;
  inputs.channel_silence_bitset = inputSilence;
  inputs.channel_buffers_32 = const_cast<float**>(in);
  v3_audio_bus_buffers outputs{};
  outputs.num_channels = mChannels;
  outputs.channel_buffers_32 = const_cast<float**>(out);
  v3_process_context context{};
  context.sample_rate = 48000.0;
  v3_process_data data{};
  data.process_mode = mode;
  data.symbolic_sample_size = V3_SAMPLE_32;
  data.nframes = frames;
  data.num_input_buses = in ? 1 : 0;
  data.num_output_buses = 1;
  data.inputs = in ? &inputs : nullptr;
  data.outputs = &outputs;
  data.input_params = changes ? changes->Pointer() : nullptr;
  data.ctx = &context;
  const v3_result result = v3_cpp_obj(mProcessor)->process(mProcessor, &data);
  if (outputSilence) *outputSilence = outputs.channel_silence_bitset;
  return result;
}

int32_t Instance::ParameterCount() const {
  return v3_cpp_obj(mController)->get_parameter_count(mController);
}

v3_param_info Instance::Info(int32_t index) const {
  v3_param_info info{};
  v3_cpp_obj(mController)->get_parameter_info(mController, index, &info);
  return info;
}

std::optional<int32_t> Instance::IndexOf(v3_param_id id) const {
  for (int32_t i = 0; i < ParameterCount(); ++i)
    if (Info(i).param_id == id) return i;
  return std::nullopt;
}

std::optional<v3_param_id> Instance::BypassID() const {
  for (int32_t i = 0; i < ParameterCount(); ++i)
    if (Info(i).flags & V3_PARAM_IS_BYPASS) return Info(i).param_id;
  return std::nullopt;
}

double Instance::Normalized(v3_param_id id) const {
  return v3_cpp_obj(mController)->get_parameter_normalised(mController, id);
}

v3_result Instance::SetNormalized(v3_param_id id, double value) {
  return v3_cpp_obj(mController)->set_parameter_normalised(mController, id, value);
}

std::string Instance::Text(v3_param_id id, double normalized) const {
  v3_str_128 text{};
  if (v3_cpp_obj(mController)->get_parameter_string_for_value(mController, id, normalized, text) !=
      V3_OK)
    return "";
  return Utf8(text, 128);
}

std::optional<double> Instance::ValueOf(v3_param_id id, const std::string& text) const {
  v3_str_128 in{};
  Utf16(text, in, 128);
  double value = 0.0;
  if (v3_cpp_obj(mController)->get_parameter_value_for_string(mController, id, in, &value) != V3_OK)
    return std::nullopt;
  return value;
}

double Instance::ToPlain(v3_param_id id, double normalized) const {
  return v3_cpp_obj(mController)->normalised_parameter_to_plain(mController, id, normalized);
}

double Instance::ToNormalized(v3_param_id id, double plain) const {
  return v3_cpp_obj(mController)->plain_parameter_to_normalised(mController, id, plain);
}

std::vector<uint8_t> Instance::State(int chunk) const {
  MemoryStream stream({}, chunk);
  if (v3_cpp_obj(mComponent)->get_state(mComponent, stream.Pointer()) != V3_OK)
    throw HostError(kExitFailure, "the component refuses to save its state");
  return stream.Bytes();
}

v3_result Instance::SetState(const std::vector<uint8_t>& bytes, int chunk) {
  MemoryStream stream(bytes, chunk);
  const v3_result result = v3_cpp_obj(mComponent)->set_state(mComponent, stream.Pointer());
  if (result != V3_OK) return result;
  MemoryStream replay(bytes, chunk);
  return v3_cpp_obj(mController)->set_component_state(mController, replay.Pointer());
}

std::vector<uint8_t> Instance::ControllerState() const {
  MemoryStream stream;
  if (v3_cpp_obj(mController)->get_state(mController, stream.Pointer()) != V3_OK) return {};
  return stream.Bytes();
}

v3_plugin_view** Instance::CreateView() const {
  return v3_cpp_obj(mController)->create_view(mController, "editor");
}

}  // namespace corvane::host::vst3

// The objects a VST3 host holds: the factory, the component (which is also the audio processor
// and the edit controller), the controller class for hosts that make one apart, and the view.
// Each interface is a table of C functions; an object hands the host one pointer per
// interface (a "face": the table, then the object), and every entry point leads from the face
// to the object and the plug-in behind it. Nothing thrown gets out.

#include <travesty/factory.h>
#include <travesty/host.h>
#include <travesty/message.h>
#include <travesty/unit.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <new>

#include "framework/vst3/IPlugVST3.h"
#include "framework/vst3/IPlugVST3_Objects.h"
#include "framework/vst3/IPlugVST3_Strings.h"

namespace iplug {

namespace {

// The module's live objects, for ModuleExit and for the tests' leak checks.
std::atomic<int> gLiveObjects{0};

template <typename Fn>
auto Guarded(Fn&& fn, decltype(fn()) failed) noexcept -> decltype(fn()) {
  try {
    return fn();
  } catch (...) {
    return failed;
  }
}

void CopyText(const std::string& text, char* out, size_t size) {
  std::strncpy(out, text.c_str(), size - 1);
  out[size - 1] = '\0';
}

/** What every object here is: counted references and the interfaces it answers to. */
class Object {
 public:
  Object() { gLiveObjects.fetch_add(1, std::memory_order_relaxed); }
  virtual ~Object() { gLiveObjects.fetch_sub(1, std::memory_order_relaxed); }
  Object(const Object&) = delete;
  Object& operator=(const Object&) = delete;

  uint32_t Ref() { return mRefs.fetch_add(1, std::memory_order_relaxed) + 1; }
  uint32_t Unref() {
    const uint32_t left = mRefs.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (left == 0) delete this;
    return left;
  }
  /** The face for an interface, referenced; null when the object has no such interface. */
  virtual void* Face(const v3_tuid iid) = 0;
  /** The plug-in an edit controller face works on; null when there is none. */
  virtual IPlugVST3* ControllerPlug() { return nullptr; }
  /** The controller's initialize and terminate (the component has its own). */
  virtual v3_result InitializeController(v3_funknown** context) { return V3_OK; }
  virtual v3_result TerminateController() { return V3_OK; }
  virtual v3_plugin_view** CreateView(const char* name) { return nullptr; }
  virtual v3_result Connect(v3_connection_point** other) { return V3_OK; }
  /** The host's handler for edits and restarts, given to the controller. */
  virtual v3_result SetComponentHandler(v3_component_handler** handler) {
    IPlugVST3* plug = ControllerPlug();
    if (!plug) return V3_NOT_INITIALIZED;
    plug->SetHandler(handler);
    return V3_OK;
  }
  virtual v3_result Disconnect(v3_connection_point** other) { return V3_OK; }

 private:
  std::atomic<uint32_t> mRefs{1};
};

/** What the host holds for one interface: the interface's table, then the object. */
template <typename Vtbl>
struct Facet {
  const Vtbl* vtbl;
  Object* owner;
};

template <typename Vtbl>
Object* Owner(void* self) {
  return static_cast<Facet<Vtbl>*>(self)->owner;
}

// FUnknown, the same for every face: the face leads to the object.
template <typename Vtbl>
v3_result V3_API QueryInterface(void* self, const v3_tuid iid, void** obj) {
  if (!obj) return V3_INVALID_ARG;
  *obj = Owner<Vtbl>(self)->Face(iid);
  return *obj ? V3_OK : V3_NO_INTERFACE;
}
template <typename Vtbl>
uint32_t V3_API Ref(void* self) {
  return Owner<Vtbl>(self)->Ref();
}
template <typename Vtbl>
uint32_t V3_API Unref(void* self) {
  return Owner<Vtbl>(self)->Unref();
}
template <typename Vtbl>
constexpr v3_funknown Unknown() {
  return {&QueryInterface<Vtbl>, &Ref<Vtbl>, &Unref<Vtbl>};
}

/** The host's name, through its application interface: it identifies the host. */
std::string HostName(v3_funknown** context) {
  if (!context) return "";
  v3_host_application** app = nullptr;
  if (v3_cpp_obj_query_interface(context, v3_host_application_iid, &app) != V3_OK || !app)
    return "";
  v3_str_128 name{};
  std::string text;
  if (v3_cpp_obj(app)->get_name(app, name) == V3_OK) text = FromUtf16(name, 128);
  v3_cpp_obj_unref(app);
  return text;
}

// ---- The edit controller's table, shared by the component and the controller class ----

using Ctrl = v3_edit_controller_cpp;

IPlugVST3* CtrlPlug(void* self) {
  return Owner<Ctrl>(self)->ControllerPlug();
}

const v3_edit_controller_cpp kControllerVtbl = {
    Unknown<Ctrl>(),
    {[](void* self, v3_funknown** context) -> v3_result {
       return Guarded([&] { return Owner<Ctrl>(self)->InitializeController(context); },
                      V3_INTERNAL_ERR);
     },
     [](void* self) -> v3_result {
       return Guarded([&] { return Owner<Ctrl>(self)->TerminateController(); }, V3_INTERNAL_ERR);
     }},
    {
        // set_component_state
        [](void* self, v3_bstream** stream) -> v3_result {
          IPlugVST3* plug = CtrlPlug(self);
          return plug ? Guarded([&] { return plug->SetComponentState(stream); }, V3_INTERNAL_ERR)
                      : V3_NOT_INITIALIZED;
        },
        // set_state
        [](void* self, v3_bstream** stream) -> v3_result {
          IPlugVST3* plug = CtrlPlug(self);
          return plug ? Guarded([&] { return plug->ReadStateFrom(stream); }, V3_INTERNAL_ERR)
                      : V3_NOT_INITIALIZED;
        },
        // get_state
        [](void* self, v3_bstream** stream) -> v3_result {
          IPlugVST3* plug = CtrlPlug(self);
          return plug ? Guarded([&] { return plug->WriteStateTo(stream); }, V3_INTERNAL_ERR)
                      : V3_NOT_INITIALIZED;
        },
        // get_parameter_count
        [](void* self) -> int32_t {
          IPlugVST3* plug = CtrlPlug(self);
          return plug ? plug->ParameterCount() : 0;
        },
        // get_parameter_info
        [](void* self, int32_t index, v3_param_info* info) -> v3_result {
          IPlugVST3* plug = CtrlPlug(self);
          if (!plug || !info) return V3_INVALID_ARG;
          return Guarded([&] { return plug->ParameterInfo(index, *info); }, V3_INTERNAL_ERR);
        },
        // get_parameter_string_for_value
        [](void* self, v3_param_id id, double normalized, v3_str_128 out) -> v3_result {
          IPlugVST3* plug = CtrlPlug(self);
          if (!plug) return V3_INVALID_ARG;
          return Guarded([&] { return plug->StringForValue(id, normalized, out); },
                         V3_INTERNAL_ERR);
        },
        // get_parameter_value_for_string
        [](void* self, v3_param_id id, int16_t* text, double* out) -> v3_result {
          IPlugVST3* plug = CtrlPlug(self);
          if (!plug || !out) return V3_INVALID_ARG;
          return Guarded([&] { return plug->ValueForString(id, text, *out); }, V3_INTERNAL_ERR);
        },
        // normalised_parameter_to_plain
        [](void* self, v3_param_id id, double normalized) -> double {
          IPlugVST3* plug = CtrlPlug(self);
          return plug ? plug->NormalizedToPlain(id, normalized) : 0.0;
        },
        // plain_parameter_to_normalised
        [](void* self, v3_param_id id, double plain) -> double {
          IPlugVST3* plug = CtrlPlug(self);
          return plug ? plug->PlainToNormalized(id, plain) : 0.0;
        },
        // get_parameter_normalised
        [](void* self, v3_param_id id) -> double {
          IPlugVST3* plug = CtrlPlug(self);
          return plug ? plug->ParamNormalized(id) : 0.0;
        },
        // set_parameter_normalised
        [](void* self, v3_param_id id, double normalized) -> v3_result {
          IPlugVST3* plug = CtrlPlug(self);
          if (!plug) return V3_NOT_INITIALIZED;
          return Guarded([&] { return plug->SetParamNormalized(id, normalized); }, V3_INTERNAL_ERR);
        },
        // set_component_handler
        [](void* self, v3_component_handler** handler) -> v3_result {
          return Guarded([&] { return Owner<Ctrl>(self)->SetComponentHandler(handler); },
                         V3_INTERNAL_ERR);
        },
        // create_view
        [](void* self, const char* name) -> v3_plugin_view** {
          return Guarded([&] { return Owner<Ctrl>(self)->CreateView(name); },
                         static_cast<v3_plugin_view**>(nullptr));
        },
    }};

// ---- Units: the root unit and its program list, the factory presets ----

using UnitV = v3_unit_information_cpp;

IPlugVST3* UnitPlug(void* self) {
  return Owner<UnitV>(self)->ControllerPlug();
}

const v3_unit_information_cpp kUnitVtbl = {
    Unknown<UnitV>(),
    {
        // get_unit_count
        [](void*) -> int32_t { return 1; },
        // get_unit_info
        [](void* self, int32_t index, v3_unit_info* info) -> v3_result {
          IPlugVST3* plug = UnitPlug(self);
          if (!plug || !info) return V3_INVALID_ARG;
          return plug->UnitInfo(index, *info);
        },
        // get_program_list_count
        [](void* self) -> int32_t {
          IPlugVST3* plug = UnitPlug(self);
          return plug && plug->ProgramCount() > 0 ? 1 : 0;
        },
        // get_program_list_info
        [](void* self, int32_t index, v3_program_list_info* info) -> v3_result {
          IPlugVST3* plug = UnitPlug(self);
          if (!plug || !info) return V3_INVALID_ARG;
          return plug->ProgramListInfo(index, *info);
        },
        // get_program_name
        [](void* self, int32_t listID, int32_t program, v3_str_128 name) -> v3_result {
          IPlugVST3* plug = UnitPlug(self);
          if (!plug) return V3_INVALID_ARG;
          return plug->ProgramName(listID, program, name);
        },
        // get_program_info: no attributes beyond the name
        [](void*, int32_t, int32_t, const char*, v3_str_128) -> v3_result { return V3_FALSE; },
        // has_program_pitch_names, get_program_pitch_name: an effect has no notes
        [](void*, int32_t, int32_t) -> v3_result { return V3_FALSE; },
        [](void*, int32_t, int32_t, int16_t, v3_str_128) -> v3_result { return V3_FALSE; },
        // get_selected_unit, select_unit: there is only the root
        [](void*) -> int32_t { return 0; },
        [](void*, int32_t unit) -> v3_result { return unit == 0 ? V3_OK : V3_INVALID_ARG; },
        // get_unit_by_bus
        [](void*, int32_t, int32_t, int32_t, int32_t, int32_t* unit) -> v3_result {
          if (!unit) return V3_INVALID_ARG;
          *unit = 0;
          return V3_OK;
        },
        // set_unit_program_data: the programs are the factory's own
        [](void*, int32_t, int32_t, v3_bstream**) -> v3_result { return V3_NOT_IMPLEMENTED; },
    }};

using Conn = v3_connection_point_cpp;

const v3_connection_point_cpp kConnectionVtbl = {
    Unknown<Conn>(),
    {[](void* self, v3_connection_point** other) -> v3_result {
       return Guarded([&] { return Owner<Conn>(self)->Connect(other); }, V3_INTERNAL_ERR);
     },
     [](void* self, v3_connection_point** other) -> v3_result {
       return Guarded([&] { return Owner<Conn>(self)->Disconnect(other); }, V3_INTERNAL_ERR);
     },
     // Messages: the component and the controller share their plug-in, they need none.
     [](void*, v3_message**) -> v3_result { return V3_OK; }}};

// ---- The view ----

class View final : public Object {
 public:
  View(Object& owner, IPlugVST3& plug) : mOwner(owner), mPlug(plug) { mOwner.Ref(); }
  ~View() override {
    if (mAttached) mPlug.CloseEditor();
    if (mFrame) v3_cpp_obj_unref(mFrame);
    mOwner.Unref();
  }

  void* Face(const v3_tuid iid) override {
    void* face = nullptr;
    if (v3_tuid_match(iid, v3_funknown_iid) || v3_tuid_match(iid, v3_plugin_view_iid))
      face = &mView;
    else if (v3_tuid_match(iid, v3_plugin_view_content_scale_iid))
      face = &mScale;
    if (face) Ref();
    return face;
  }
  v3_plugin_view** Pointer() { return reinterpret_cast<v3_plugin_view**>(&mView); }

  static View* Of(void* self) {
    return static_cast<View*>(static_cast<Facet<v3_plugin_view_cpp>*>(self)->owner);
  }
  static View* OfScale(void* self) {
    return static_cast<View*>(static_cast<Facet<v3_plugin_view_content_scale_cpp>*>(self)->owner);
  }

  v3_result Attached(void* parent, const char* type) {
    if (mAttached) return V3_FALSE;
    if (!type || std::strcmp(type, V3_VIEW_PLATFORM_TYPE_X11) != 0 || !parent) return V3_FALSE;
    v3_run_loop** loop = nullptr;
    if (mFrame) v3_cpp_obj_query_interface(mFrame, v3_run_loop_iid, &loop);
    const bool opened =
        mPlug.OpenEditorIn(reinterpret_cast<uintptr_t>(parent), loop, mFrame, Pointer());
    if (loop) v3_cpp_obj_unref(loop);  // the run loop keeps its own reference
    if (!opened) return V3_FALSE;
    mAttached = true;
    if (mScaleFactor > 0.f) mPlug.SetContentScale(mScaleFactor);
    return V3_OK;
  }
  v3_result Removed() {
    if (!mAttached) return V3_FALSE;
    mAttached = false;
    mPlug.CloseEditor();
    return V3_OK;
  }
  v3_result GetSize(v3_view_rect* rect) {
    if (!rect) return V3_INVALID_ARG;
    *rect = mPlug.EditorRect();
    return V3_OK;
  }
  v3_result SetFrame(v3_plugin_frame** frame) {
    if (frame) v3_cpp_obj_ref(frame);
    if (mFrame) v3_cpp_obj_unref(mFrame);
    mFrame = frame;
    return V3_OK;
  }
  void SetScale(float factor) {
    mScaleFactor = factor;
    if (mAttached) mPlug.SetContentScale(factor);
  }
  IPlugVST3& Plug() { return mPlug; }

 private:
  Facet<v3_plugin_view_cpp> mView{&kViewVtbl, this};
  Facet<v3_plugin_view_content_scale_cpp> mScale{&kScaleVtbl, this};
  Object& mOwner;
  IPlugVST3& mPlug;
  v3_plugin_frame** mFrame = nullptr;
  bool mAttached = false;
  float mScaleFactor = 0.f;

  static const v3_plugin_view_cpp kViewVtbl;
  static const v3_plugin_view_content_scale_cpp kScaleVtbl;
};

using ViewV = v3_plugin_view_cpp;
using ScaleV = v3_plugin_view_content_scale_cpp;

const v3_plugin_view_cpp View::kViewVtbl = {
    Unknown<ViewV>(),
    {
        // is_platform_type_supported
        [](void*, const char* type) -> v3_result {
          return type && std::strcmp(type, V3_VIEW_PLATFORM_TYPE_X11) == 0 ? V3_TRUE : V3_FALSE;
        },
        // attached
        [](void* self, void* parent, const char* type) -> v3_result {
          return Guarded([&] { return Of(self)->Attached(parent, type); }, V3_INTERNAL_ERR);
        },
        // removed
        [](void* self) -> v3_result {
          return Guarded([&] { return Of(self)->Removed(); }, V3_INTERNAL_ERR);
        },
        // on_wheel, on_key_down, on_key_up: the editor's window takes its own input
        [](void*, float) -> v3_result { return V3_FALSE; },
        [](void*, int16_t, int16_t, int16_t) -> v3_result { return V3_FALSE; },
        [](void*, int16_t, int16_t, int16_t) -> v3_result { return V3_FALSE; },
        // get_size
        [](void* self, v3_view_rect* rect) -> v3_result {
          return Guarded([&] { return Of(self)->GetSize(rect); }, V3_INTERNAL_ERR);
        },
        // on_size
        [](void* self, v3_view_rect* rect) -> v3_result {
          if (!rect) return V3_INVALID_ARG;
          return Guarded([&] { return Of(self)->Plug().EditorResizedByHost(*rect); },
                         V3_INTERNAL_ERR);
        },
        // on_focus
        [](void*, v3_bool) -> v3_result { return V3_OK; },
        // set_frame
        [](void* self, v3_plugin_frame** frame) -> v3_result {
          return Guarded([&] { return Of(self)->SetFrame(frame); }, V3_INTERNAL_ERR);
        },
        // can_resize: the editor sizes itself, with its corner handle
        [](void*) -> v3_result { return V3_FALSE; },
        // check_size_constraint: the editor's own size
        [](void* self, v3_view_rect* rect) -> v3_result {
          if (!rect) return V3_INVALID_ARG;
          return Guarded([&] { return Of(self)->GetSize(rect); }, V3_INTERNAL_ERR);
        },
    }};

const v3_plugin_view_content_scale_cpp View::kScaleVtbl = {
    Unknown<ScaleV>(), {[](void* self, float factor) -> v3_result {
      return Guarded(
          [&] {
            OfScale(self)->SetScale(factor);
            return static_cast<v3_result>(V3_OK);
          },
          V3_INTERNAL_ERR);
    }}};

// ---- The component: also the audio processor and the edit controller ----

using CompV = v3_component_cpp;
using ProcV = v3_audio_processor_cpp;

class Component final : public Object {
 public:
  Component(std::unique_ptr<IPlugVST3> plug, const VST3Variant& variant)
      : mPlug(std::move(plug)), mVariant(variant) {}
  ~Component() override {
    mPlug->CloseEditor();
    mPlug->SetHandler(nullptr);
    if (mContext) v3_cpp_obj_unref(mContext);
  }

  void* Face(const v3_tuid iid) override {
    void* face = nullptr;
    if (v3_tuid_match(iid, v3_funknown_iid) || v3_tuid_match(iid, v3_plugin_base_iid) ||
        v3_tuid_match(iid, v3_component_iid))
      face = &mComponent;
    else if (v3_tuid_match(iid, v3_audio_processor_iid))
      face = &mProcessor;
    else if (v3_tuid_match(iid, v3_edit_controller_iid))
      face = &mController;
    else if (v3_tuid_match(iid, v3_unit_information_iid))
      face = &mUnits;
    else if (v3_tuid_match(iid, v3_connection_point_iid))
      face = &mConnection;
    if (face) Ref();
    return face;
  }
  IPlugVST3* ControllerPlug() override { return mPlug.get(); }
  v3_result InitializeController(v3_funknown** context) override { return Initialize(context); }
  v3_result TerminateController() override { return V3_OK; }
  v3_plugin_view** CreateView(const char* name) override {
    if (!name || std::strcmp(name, "editor") != 0 || mPlug->EditorOpen()) return nullptr;
    auto* view = new View(*this, *mPlug);
    return view->Pointer();
  }

  v3_result Initialize(v3_funknown** context) {
    // Hosts may initialize the component and then the controller it also is: once is enough.
    if (mInitialized) return V3_OK;
    if (context) {
      v3_cpp_obj_ref(context);
      mContext = context;
      const std::string name = HostName(context);
      if (!name.empty()) mPlug->SetHost(name.c_str(), 0);
    }
    mInitialized = true;
    return V3_OK;
  }
  v3_result Terminate() {
    mPlug->CloseEditor();
    mPlug->SetActive(false);
    mPlug->SetHandler(nullptr);
    if (mContext) v3_cpp_obj_unref(mContext);
    mContext = nullptr;
    mInitialized = false;
    return V3_OK;
  }

  IPlugVST3& Plug() { return *mPlug; }
  const VST3Variant& Variant() const { return mVariant; }
  static Component* Of(void* self) { return static_cast<Component*>(Owner<CompV>(self)); }
  static Component* OfProcessor(void* self) { return static_cast<Component*>(Owner<ProcV>(self)); }
  /** Our own component behind a connection point, or null for anyone else's. */
  static Component* Behind(v3_connection_point** point) {
    if (!point) return nullptr;
    auto* face = reinterpret_cast<Facet<Conn>*>(point);
    if (face->vtbl != &kConnectionVtbl) return nullptr;
    return dynamic_cast<Component*>(face->owner);
  }

 private:
  std::unique_ptr<IPlugVST3> mPlug;
  VST3Variant mVariant;
  v3_funknown** mContext = nullptr;
  bool mInitialized = false;
  Facet<CompV> mComponent{&kComponentVtbl, this};
  Facet<ProcV> mProcessor{&kProcessorVtbl, this};
  Facet<Ctrl> mController{&kControllerVtbl, this};
  Facet<UnitV> mUnits{&kUnitVtbl, this};
  Facet<Conn> mConnection{&kConnectionVtbl, this};

  static const v3_component_cpp kComponentVtbl;
  static const v3_audio_processor_cpp kProcessorVtbl;
};

const v3_component_cpp Component::kComponentVtbl = {
    Unknown<CompV>(),
    {[](void* self, v3_funknown** context) -> v3_result {
       return Guarded([&] { return Of(self)->Initialize(context); }, V3_INTERNAL_ERR);
     },
     [](void* self) -> v3_result {
       return Guarded([&] { return Of(self)->Terminate(); }, V3_INTERNAL_ERR);
     }},
    {
        // get_controller_class_id
        [](void* self, v3_tuid classID) -> v3_result {
          std::memcpy(classID, Of(self)->Variant().controllerID.data(), sizeof(v3_tuid));
          return V3_OK;
        },
        // set_io_mode
        [](void*, int32_t) -> v3_result { return V3_OK; },
        // get_bus_count
        [](void* self, int32_t media, int32_t direction) -> int32_t {
          return Of(self)->Plug().BusCount(media, direction);
        },
        // get_bus_info
        [](void* self, int32_t media, int32_t direction, int32_t index,
           v3_bus_info* info) -> v3_result {
          if (!info) return V3_INVALID_ARG;
          return Guarded([&] { return Of(self)->Plug().BusInfo(media, direction, index, *info); },
                         V3_INTERNAL_ERR);
        },
        // get_routing_info
        [](void*, v3_routing_info*, v3_routing_info*) -> v3_result { return V3_NOT_IMPLEMENTED; },
        // activate_bus
        [](void* self, int32_t media, int32_t direction, int32_t index,
           v3_bool state) -> v3_result {
          return Of(self)->Plug().ActivateBus(media, direction, index, state != 0);
        },
        // set_active
        [](void* self, v3_bool state) -> v3_result {
          return Guarded([&] { return Of(self)->Plug().SetActive(state != 0); }, V3_INTERNAL_ERR);
        },
        // set_state
        [](void* self, v3_bstream** stream) -> v3_result {
          return Guarded([&] { return Of(self)->Plug().ReadStateFrom(stream); }, V3_INTERNAL_ERR);
        },
        // get_state
        [](void* self, v3_bstream** stream) -> v3_result {
          return Guarded([&] { return Of(self)->Plug().WriteStateTo(stream); }, V3_INTERNAL_ERR);
        },
    }};

const v3_audio_processor_cpp Component::kProcessorVtbl = {
    Unknown<ProcV>(),
    {
        // set_bus_arrangements
        [](void* self, v3_speaker_arrangement* inputs, int32_t numInputs,
           v3_speaker_arrangement* outputs, int32_t numOutputs) -> v3_result {
          return OfProcessor(self)->Plug().SetBusArrangements(inputs, numInputs, outputs,
                                                              numOutputs);
        },
        // get_bus_arrangement
        [](void* self, int32_t direction, int32_t index,
           v3_speaker_arrangement* arrangement) -> v3_result {
          if (!arrangement) return V3_INVALID_ARG;
          return OfProcessor(self)->Plug().BusArrangement(direction, index, *arrangement);
        },
        // can_process_sample_size
        [](void*, int32_t size) -> v3_result { return IPlugVST3::CanProcessSampleSize(size); },
        // get_latency_samples
        [](void* self) -> uint32_t { return OfProcessor(self)->Plug().LatencySamples(); },
        // setup_processing
        [](void* self, v3_process_setup* setup) -> v3_result {
          if (!setup) return V3_INVALID_ARG;
          return Guarded([&] { return OfProcessor(self)->Plug().SetupProcessing(*setup); },
                         V3_INTERNAL_ERR);
        },
        // set_processing
        [](void* self, v3_bool state) -> v3_result {
          return OfProcessor(self)->Plug().SetProcessing(state != 0);
        },
        // process
        [](void* self, v3_process_data* data) -> v3_result {
          if (!data) return V3_INVALID_ARG;
          return OfProcessor(self)->Plug().Process(*data);
        },
        // get_tail_samples
        [](void* self) -> uint32_t { return OfProcessor(self)->Plug().TailSamples(); },
    }};

// ---- The controller class, for hosts that make the controller apart ----

/**
 * Connected to our component (the host connects the two), it is that component's controller:
 * every call goes to the component's plug-in, which has the audio, the meters and the editor.
 * Alone, it keeps a plug-in object of its own that follows the component's state.
 */
class Controller final : public Object {
 public:
  explicit Controller(std::unique_ptr<IPlugVST3> own) : mOwn(std::move(own)) {}
  ~Controller() override {
    mOwn->CloseEditor();
    mOwn->SetHandler(nullptr);
    if (mLinked) mLinked->Unref();
    if (mHandler) v3_cpp_obj_unref(mHandler);
  }

  void* Face(const v3_tuid iid) override {
    void* face = nullptr;
    if (v3_tuid_match(iid, v3_funknown_iid) || v3_tuid_match(iid, v3_plugin_base_iid) ||
        v3_tuid_match(iid, v3_edit_controller_iid))
      face = &mController;
    else if (v3_tuid_match(iid, v3_unit_information_iid))
      face = &mUnits;
    else if (v3_tuid_match(iid, v3_connection_point_iid))
      face = &mConnection;
    if (face) Ref();
    return face;
  }
  IPlugVST3* ControllerPlug() override { return mLinked ? &mLinked->Plug() : mOwn.get(); }
  v3_result InitializeController(v3_funknown** context) override {
    const std::string name = HostName(context);
    if (!name.empty()) mOwn->SetHost(name.c_str(), 0);
    return V3_OK;
  }
  v3_result TerminateController() override {
    mOwn->CloseEditor();
    mOwn->SetHandler(nullptr);
    return V3_OK;
  }
  v3_plugin_view** CreateView(const char* name) override {
    IPlugVST3* plug = ControllerPlug();
    if (!name || std::strcmp(name, "editor") != 0 || plug->EditorOpen()) return nullptr;
    Object& owner = mLinked ? static_cast<Object&>(*mLinked) : static_cast<Object&>(*this);
    auto* view = new View(owner, *plug);
    return view->Pointer();
  }
  v3_result Connect(v3_connection_point** other) override {
    Component* component = Component::Behind(other);
    if (!component || mLinked) return component ? V3_OK : V3_FALSE;
    component->Ref();
    mLinked = component;
    // What the host told this controller, the component's plug-in now hears.
    if (mHandler) mLinked->Plug().SetHandler(mHandler);
    return V3_OK;
  }
  v3_result Disconnect(v3_connection_point** other) override {
    if (!mLinked || Component::Behind(other) != mLinked) return V3_OK;
    mLinked->Unref();
    mLinked = nullptr;
    return V3_OK;
  }
  /** The host's handler goes to whichever plug-in this controller works on, and is kept for a
   * component connected later. */
  v3_result SetComponentHandler(v3_component_handler** handler) override {
    if (handler) v3_cpp_obj_ref(handler);
    if (mHandler) v3_cpp_obj_unref(mHandler);
    mHandler = handler;
    ControllerPlug()->SetHandler(handler);
    return V3_OK;
  }

 private:
  std::unique_ptr<IPlugVST3> mOwn;
  Component* mLinked = nullptr;
  v3_component_handler** mHandler = nullptr;
  Facet<Ctrl> mController{&kControllerVtbl, this};
  Facet<UnitV> mUnits{&kUnitVtbl, this};
  Facet<Conn> mConnection{&kConnectionVtbl, this};
};

// ---- The factory ----

struct FactoryFace {
  const v3_plugin_factory_cpp* vtbl;
};

const VST3Variant* VariantFor(const v3_tuid id, bool& isController) {
  for (const VST3Variant& variant : VST3DescriptionOfPlug().variants) {
    if (v3_tuid_match(id, variant.processorID.data())) {
      isController = false;
      return &variant;
    }
    if (v3_tuid_match(id, variant.controllerID.data())) {
      isController = true;
      return &variant;
    }
  }
  return nullptr;
}

/** Class index i: the processor of variant i / 2 for even i, its controller for odd. */
const VST3Variant* VariantAt(int32_t index, bool& isController) {
  const auto& variants = VST3DescriptionOfPlug().variants;
  if (index < 0 || static_cast<size_t>(index) >= 2 * variants.size()) return nullptr;
  isController = index % 2 == 1;
  return &variants[static_cast<size_t>(index / 2)];
}

constexpr const char* kSdkVersion = "VST 3.7.4";
constexpr int32_t kManyInstances = 0x7FFFFFFF;

v3_result CreateInstance(const v3_tuid classID, const v3_tuid iid, void** instance) {
  if (!instance) return V3_INVALID_ARG;
  *instance = nullptr;
  bool isController = false;
  const VST3Variant* variant = VariantFor(classID, isController);
  if (!variant) return V3_NO_INTERFACE;
  std::unique_ptr<IPlugVST3> plug(MakePlugVST3());
  if (!plug || !plug->SetVariant(*variant)) return V3_INTERNAL_ERR;
  Object* object = isController ? static_cast<Object*>(new Controller(std::move(plug)))
                                : static_cast<Object*>(new Component(std::move(plug), *variant));
  *instance = object->Face(iid);
  object->Unref();  // the face holds the reference now, or nothing does
  return *instance ? V3_OK : V3_NO_INTERFACE;
}

void FillClassInfo(const VST3Variant& variant, bool isController, v3_class_info& info) {
  std::memset(&info, 0, sizeof info);
  std::memcpy(info.class_id, (isController ? variant.controllerID : variant.processorID).data(),
              sizeof(v3_tuid));
  info.cardinality = kManyInstances;
  CopyText(isController ? "Component Controller Class" : "Audio Module Class", info.category,
           sizeof info.category);
  CopyText(variant.name, info.name, sizeof info.name);
}

const v3_plugin_factory_cpp kFactoryVtbl = {
    {[](void* self, const v3_tuid iid, void** obj) -> v3_result {
       if (!obj) return V3_INVALID_ARG;
       if (v3_tuid_match(iid, v3_funknown_iid) || v3_tuid_match(iid, v3_plugin_factory_iid) ||
           v3_tuid_match(iid, v3_plugin_factory_2_iid) ||
           v3_tuid_match(iid, v3_plugin_factory_3_iid)) {
         *obj = self;
         return V3_OK;
       }
       *obj = nullptr;
       return V3_NO_INTERFACE;
     },
     // The factory lives as long as the module.
     [](void*) -> uint32_t { return 1; }, [](void*) -> uint32_t { return 1; }},
    {
        // get_factory_info
        [](void*, v3_factory_info* info) -> v3_result {
          if (!info) return V3_INVALID_ARG;
          const VST3Description& d = VST3DescriptionOfPlug();
          std::memset(info, 0, sizeof *info);
          CopyText(d.vendor, info->vendor, sizeof info->vendor);
          CopyText(d.url, info->url, sizeof info->url);
          CopyText(d.email, info->email, sizeof info->email);
          info->flags = 0x10;  // unicode
          return V3_OK;
        },
        // num_classes
        [](void*) -> int32_t {
          return static_cast<int32_t>(2 * VST3DescriptionOfPlug().variants.size());
        },
        // get_class_info
        [](void*, int32_t index, v3_class_info* info) -> v3_result {
          bool isController = false;
          const VST3Variant* variant = VariantAt(index, isController);
          if (!variant || !info) return V3_INVALID_ARG;
          FillClassInfo(*variant, isController, *info);
          return V3_OK;
        },
        // create_instance
        [](void*, const v3_tuid classID, const v3_tuid iid, void** instance) -> v3_result {
          return Guarded([&] { return CreateInstance(classID, iid, instance); }, V3_INTERNAL_ERR);
        },
    },
    {
        // get_class_info_2
        [](void*, int32_t index, v3_class_info_2* info) -> v3_result {
          bool isController = false;
          const VST3Variant* variant = VariantAt(index, isController);
          if (!variant || !info) return V3_INVALID_ARG;
          v3_class_info base;
          FillClassInfo(*variant, isController, base);
          std::memset(info, 0, sizeof *info);
          std::memcpy(info->class_id, base.class_id, sizeof(v3_tuid));
          info->cardinality = base.cardinality;
          std::memcpy(info->category, base.category, sizeof info->category);
          std::memcpy(info->name, base.name, sizeof info->name);
          const VST3Description& d = VST3DescriptionOfPlug();
          if (!isController)
            CopyText(d.subcategories, info->sub_categories, sizeof info->sub_categories);
          CopyText(d.vendor, info->vendor, sizeof info->vendor);
          CopyText(d.version, info->version, sizeof info->version);
          CopyText(kSdkVersion, info->sdk_version, sizeof info->sdk_version);
          return V3_OK;
        },
    },
    {
        // get_class_info_utf16
        [](void*, int32_t index, v3_class_info_3* info) -> v3_result {
          bool isController = false;
          const VST3Variant* variant = VariantAt(index, isController);
          if (!variant || !info) return V3_INVALID_ARG;
          v3_class_info base;
          FillClassInfo(*variant, isController, base);
          std::memset(info, 0, sizeof *info);
          std::memcpy(info->class_id, base.class_id, sizeof(v3_tuid));
          info->cardinality = base.cardinality;
          std::memcpy(info->category, base.category, sizeof info->category);
          CopyToUtf16(variant->name, info->name, 64);
          const VST3Description& d = VST3DescriptionOfPlug();
          if (!isController)
            CopyText(d.subcategories, info->sub_categories, sizeof info->sub_categories);
          CopyToUtf16(d.vendor, info->vendor, 64);
          CopyToUtf16(d.version, info->version, 64);
          CopyToUtf16(kSdkVersion, info->sdk_version, 64);
          return V3_OK;
        },
        // set_host_context: nothing of the host's is needed before an instance exists
        [](void*, v3_funknown**) -> v3_result { return V3_OK; },
    }};

FactoryFace gFactory{&kFactoryVtbl};

}  // namespace

v3_plugin_factory** VST3Factory() {
  return reinterpret_cast<v3_plugin_factory**>(&gFactory);
}

int VST3LiveObjects() {
  return gLiveObjects.load(std::memory_order_acquire);
}

}  // namespace iplug

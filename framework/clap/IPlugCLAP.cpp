#include "framework/clap/IPlugCLAP.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "aax/interfaces/AAX_Types.h"
#include "framework/IPlugUtilities.h"
#include "framework/api/IPlugHostBridge.h"
#include "framework/clap/IPlugCLAP_RunLoop.h"
#include "framework/dsp/DenormalGuard.h"
#include "graphics/IGraphics.h"

namespace iplug {

namespace {

/** The state image is small; a stream that goes on beyond this is not one of ours. */
constexpr size_t kMaxStateBytes = 1 << 16;
/** Zooms a host may size the editor to, as in every other binding. */
constexpr float kMinZoom = 0.5f;
constexpr float kMaxZoom = 4.f;

// What the audio thread shares with the main thread never takes a lock.
static_assert(std::atomic<uint32_t>::is_always_lock_free);
static_assert(std::atomic<const char*>::is_always_lock_free);

bool IsParamValue(const clap_event_header_t& event) {
  return event.space_id == CLAP_CORE_EVENT_SPACE_ID && event.type == CLAP_EVENT_PARAM_VALUE &&
         event.size >= sizeof(clap_event_param_value_t);
}

}  // namespace

IPlugCLAP::IPlugCLAP(const PluginConfig& config)
    : IPlugAPIBase(config, kAPIKind), IPlugProcessor(config) {
  TraceHook("iplug::IPlugCLAP::IPlugCLAP", __LINE__, "");
}

IPlugCLAP::~IPlugCLAP() {
  if (GetUI()) CloseWindow();
  StopIdleTimer();
  ReleaseRunLoop();
}

bool IPlugCLAP::Attach(const clap_host_t* host, const CLAPVariant& variant) {
  if (!host || variant.channels < 1 || variant.channels > kMaxChannels ||
      variant.channels > NChannels(kInput) || variant.channels > NChannels(kOutput))
    return false;
  mHost = host;
  mVariant = variant;
  SetChannelsInUse(variant.channels);
  return true;
}

// ---- Thread rules --------------------------------------------------------------------------

void IPlugCLAP::Refuse(const char* call, const char* why) const {
  // Never on the audio thread: those refusals wait for the main thread (see RefuseOnAudio).
  std::fprintf(stderr, "%s (CLAP): %s refused: %s\n", mVariant.name.c_str(), call, why);
}

void IPlugCLAP::RefuseOnAudio(const char* call, const char* why) noexcept {
  // The audio thread writes nothing out: the main thread logs it on the host's callback.
  mAudioRefusalWhy.store(why, std::memory_order_relaxed);
  mAudioRefusalCall.store(call, std::memory_order_release);
  if (mHost && mHost->request_callback) mHost->request_callback(mHost);
}

bool IPlugCLAP::OnMain(const char* call) const {
  if (!mThreadCheck || !mThreadCheck->is_main_thread || mThreadCheck->is_main_thread(mHost))
    return true;
  Refuse(call, "not called on the main thread");
  return false;
}

bool IPlugCLAP::OnAudio(const char* call) const {
  if (!mThreadCheck || !mThreadCheck->is_audio_thread || mThreadCheck->is_audio_thread(mHost))
    return true;
  // Not the audio thread, so it may write.
  Refuse(call, "not called on the audio thread");
  return false;
}

// ---- The plug-in -----------------------------------------------------------------------------

bool IPlugCLAP::Init() {
  if (!OnMain("init")) return false;
  auto extension = [this](const char* id) {
    return mHost->get_extension ? mHost->get_extension(mHost, id) : nullptr;
  };
  mThreadCheck = static_cast<const clap_host_thread_check_t*>(extension(CLAP_EXT_THREAD_CHECK));
  mHostParams = static_cast<const clap_host_params_t*>(extension(CLAP_EXT_PARAMS));
  mHostLatency = static_cast<const clap_host_latency_t*>(extension(CLAP_EXT_LATENCY));
  mHostGui = static_cast<const clap_host_gui_t*>(extension(CLAP_EXT_GUI));
  mHostTimers = static_cast<const clap_host_timer_support_t*>(extension(CLAP_EXT_TIMER_SUPPORT));
  if (GetHost() == -1) SetHost(mHost->name ? mHost->name : "CLAP", 0);
  mToldLatency.store(Latency(), std::memory_order_release);
  return true;
}

bool IPlugCLAP::Activate(double sampleRate, uint32_t minFrames, uint32_t maxFrames) {
  if (!OnMain("activate")) return false;
  if (Active()) {
    Refuse("activate", "already active");
    return false;
  }
  if (!(sampleRate > 0.0) || !std::isfinite(sampleRate) || sampleRate > 1536000.0 ||
      maxFrames < 1 || maxFrames > static_cast<uint32_t>(INT_MAX) || minFrames > maxFrames) {
    Refuse("activate", "a sample rate or frame counts no processor can run at");
    return false;
  }
  try {
    SetSampleRate(sampleRate);
    mMaxFrames = static_cast<int>(maxFrames);
    ResizeChannelBuffers(mMaxFrames, mMaxFrames);
    // The variant's channels are the bus for the whole activation: connected once, here, not
    // for every piece of every block.
    const int channels = mVariant.channels;
    SetChannelsConnected(kInput, 0, channels, true);
    SetChannelsConnected(kInput, channels, NChannels(kInput) - channels, false);
    SetChannelsConnected(kOutput, 0, channels, true);
    SetChannelsConnected(kOutput, channels, NChannels(kOutput) - channels, false);
    mZeros.assign(static_cast<size_t>(std::max(GetBlockCapacity(), 1)), 0.f);
    SettleHostBypass(false);
    ResetProcessing();
    ReserveBypassDelayForReset(kMaxLatency);
    // The delay line starts empty, whether or not the reset changed the latency.
    SetLatencyInPlace(GetLatency());
  } catch (...) {
    Refuse("activate", "out of memory");
    return false;
  }
  mFirstBlock = true;
  // The host reads the latency after activating: that is what it has been told.
  mToldLatency.store(Latency(), std::memory_order_release);
  mActive.store(true, std::memory_order_release);
  return true;
}

void IPlugCLAP::Deactivate() {
  if (!OnMain("deactivate")) return;
  if (!Active()) {
    Refuse("deactivate", "not active");
    return;
  }
  // Hosts may deactivate without stopping processing first (Qtractor does at quit).
  mProcessing.store(false, std::memory_order_release);
  mActive.store(false, std::memory_order_release);
}

bool IPlugCLAP::StartProcessing() {
  if (!OnAudio("start_processing")) return false;
  if (!Active()) {
    RefuseOnAudio("start_processing", "not active");
    return false;
  }
  mProcessing.store(true, std::memory_order_release);
  return true;
}

void IPlugCLAP::StopProcessing() {
  if (!OnAudio("stop_processing")) return;
  mProcessing.store(false, std::memory_order_release);
}

void IPlugCLAP::Reset() {
  if (!OnAudio("reset")) return;
  if (!Active()) {
    RefuseOnAudio("reset", "not active");
    return;
  }
  // The processor's reset rebuilds the resamplers, which allocates, and the audio thread may
  // not: a switch still under way is completed at once, and the filters' history is left as it
  // is (a deactivation and activation clears it).
  mFirstBlock = true;
}

void IPlugCLAP::OnMainThread() {
  if (const char* call = mAudioRefusalCall.exchange(nullptr, std::memory_order_acquire))
    Refuse(call, mAudioRefusalWhy.load(std::memory_order_relaxed));
  if (!OnMain("on_main_thread")) return;
  NotifyLatencyIfChanged();
}

// ---- Processing ------------------------------------------------------------------------------

bool IPlugCLAP::ApplyEvent(const clap_event_header_t& header, int offset) noexcept {
  if (!IsParamValue(header)) return true;  // not a value: nothing here listens to it
  const auto& event = reinterpret_cast<const clap_event_param_value_t&>(header);
  if (event.param_id >= static_cast<clap_id>(NParams())) return false;
  const int index = static_cast<int>(event.param_id);
  IParam* param = GetParam(index);
  const std::optional<double> value = HostPlainValue(*param, event.value);
  if (!value) return false;
  if (*value == param->Value()) return true;
  param->SetValue(*value);
  // Inside processing the audio thread is the editor queue's one producer; outside it the
  // main thread, while nothing processes.
  SendParamValueToEditor(index, param->Value(), false);
  OnParamChange(index, kHost, offset);
  return true;
}

clap_process_status IPlugCLAP::Process(const clap_process_t& process) noexcept {
  if (!OnAudio("process")) return CLAP_PROCESS_ERROR;
  if (!Active() || !mProcessing.load(std::memory_order_acquire)) {
    RefuseOnAudio("process", "not active and processing");
    return CLAP_PROCESS_ERROR;
  }
  const int channels = mVariant.channels;
  const clap_audio_buffer_t* out =
      process.audio_outputs_count > 0 ? process.audio_outputs : nullptr;
  if (!out || !out->data32 || out->channel_count < static_cast<uint32_t>(channels)) {
    // 64-bit buffers are refused in the port info: a host that sends them anyway gets nothing.
    RefuseOnAudio("process", "no 32-bit output buffers for every channel");
    return CLAP_PROCESS_ERROR;
  }
  ScopedDenormalGuard denormals;
  const int frames = static_cast<int>(std::min<uint32_t>(process.frames_count, INT_MAX));
  const clap_input_events_t* in = process.in_events;
  const uint32_t count = in && in->size && in->get ? in->size(in) : 0;
  auto timeOf = [&](uint32_t i) -> int {
    const clap_event_header_t* e = in->get(in, i);
    return e ? static_cast<int>(std::min<uint32_t>(e->time, INT_MAX)) : 0;
  };
  auto apply = [&](uint32_t i, int at) {
    const clap_event_header_t* e = in->get(in, i);
    if (!e) return;
    // An event past the block's end is refused; one that comes after a later one (out of
    // order) is taken where the block has got to, since what is rendered stays rendered.
    if (frames > 0 && e->time >= static_cast<uint32_t>(frames)) {
      if (IsParamValue(*e)) RefuseOnAudio("process", "a parameter event beyond the block");
      return;
    }
    if (!ApplyEvent(*e, at)) RefuseOnAudio("process", "an unknown parameter or a value not finite");
  };

  uint32_t next = 0;
  int position = 0;
  // Events at the block's first sample come first: on the first block after an activation
  // they are the state processing starts in.
  while (next < count && timeOf(next) <= 0) apply(next++, 0);
  if (mFirstBlock) {
    mFirstBlock = false;
    SettleHostBypass(false);
    SettleAfterReset();
    ReportPendingLatency();
  }
  while (position < frames) {
    const int until = next < count ? std::min(timeOf(next), frames) : frames;
    if (until > position) RenderFrames(process, position, until - position);
    position = std::max(until, position);
    while (next < count && (timeOf(next) <= position || timeOf(next) >= frames))
      apply(next++, std::min(position, std::max(frames - 1, 0)));
  }
  while (next < count) apply(next++, std::max(frames - 1, 0));
  ReportPendingLatency();
  RequestRestartIfLatencyChanged();
  for (uint32_t b = 0; b < process.audio_outputs_count; ++b)
    process.audio_outputs[b].constant_mask = 0;
  PushEdits(process.out_events);
  return CLAP_PROCESS_CONTINUE;
}

void IPlugCLAP::RenderFrames(const clap_process_t& process, int offset, int n) noexcept {
  const int capacity = std::max(GetBlockCapacity(), 1);
  for (int done = 0; done < n; done += capacity)
    RenderPiece(process, offset + done, std::min(capacity, n - done));
}

void IPlugCLAP::RenderPiece(const clap_process_t& process, int offset, int n) noexcept {
  const int channels = mVariant.channels;
  float* in[kMaxChannels] = {};
  float* out[kMaxChannels] = {};
  const clap_audio_buffer_t* inBus =
      process.audio_inputs_count > 0 ? process.audio_inputs : nullptr;
  const clap_audio_buffer_t& outBus = process.audio_outputs[0];
  for (int c = 0; c < channels; ++c) {
    // A missing input channel is read as zeros.
    const bool present = inBus && inBus->data32 &&
                         static_cast<uint32_t>(c) < inBus->channel_count && inBus->data32[c];
    in[c] = present ? inBus->data32[c] + offset : mZeros.data();
    out[c] = outBus.data32[c] ? outBus.data32[c] + offset : nullptr;
  }
  // The inputs are copied before anything is written: hosts process in place.
  BindHostBuffers(kInput, 0, channels, in, n, 0);
  BindHostBuffers(kOutput, 0, channels, out, n, 0);
  RenderWithHostBypass(false, PluginHandlesBypass(), n, out, 0, channels, [] {});
}

// ---- Audio ports -----------------------------------------------------------------------------

uint32_t IPlugCLAP::AudioPortCount(bool) const {
  return OnMain("audio_ports.count") ? 1 : 0;
}

bool IPlugCLAP::AudioPortInfo(uint32_t index, bool isInput, clap_audio_port_info_t& info) const {
  if (!OnMain("audio_ports.get") || index != 0) return false;
  std::memset(&info, 0, sizeof info);
  info.id = 0;
  std::snprintf(info.name, sizeof info.name, "%s", isInput ? "Input" : "Output");
  // 32-bit only: no 64-bit flag.
  info.flags = CLAP_AUDIO_PORT_IS_MAIN;
  info.channel_count = static_cast<uint32_t>(mVariant.channels);
  info.port_type = mVariant.channels == 1 ? CLAP_PORT_MONO : CLAP_PORT_STEREO;
  // The input and the output may be the same buffers.
  info.in_place_pair = 0;
  return true;
}

// ---- Params ----------------------------------------------------------------------------------

uint32_t IPlugCLAP::ParamCount() const {
  return OnMain("params.count") ? static_cast<uint32_t>(NParams()) : 0;
}

bool IPlugCLAP::ParamInfo(uint32_t index, clap_param_info_t& info) const {
  if (!OnMain("params.get_info") || index >= static_cast<uint32_t>(NParams())) return false;
  const IParam& param = *GetParam(static_cast<int>(index));
  std::memset(&info, 0, sizeof info);
  // Ids are the parameters' indices: they never change, and sessions hold them.
  info.id = index;
  if (param.CanAutomate())
    info.flags |= CLAP_PARAM_IS_AUTOMATABLE;
  else
    // What hosts may not automate is what reconfigures processing (the oversampling switch
    // and the latency with it): it takes effect only in process().
    info.flags |= CLAP_PARAM_REQUIRES_PROCESS;
  if (param.Kind() == kKindBool || param.Kind() == kKindEnum || param.Kind() == kKindInt)
    info.flags |= CLAP_PARAM_IS_STEPPED;
  std::snprintf(info.name, sizeof info.name, "%s", param.Name());
  info.min_value = param.Min();
  info.max_value = param.Max();
  info.default_value = param.Default();
  return true;
}

bool IPlugCLAP::ParamValue(clap_id id, double& value) const {
  if (!OnMain("params.get_value") || id >= static_cast<clap_id>(NParams())) return false;
  value = GetParam(static_cast<int>(id))->Value();
  return true;
}

bool IPlugCLAP::ValueToText(clap_id id, double value, char* display, uint32_t size) const {
  if (!OnMain("params.value_to_text") || !display || size == 0 ||
      id >= static_cast<clap_id>(NParams()))
    return false;
  const IParam& param = *GetParam(static_cast<int>(id));
  const std::optional<double> plain = HostPlainValue(param, value);
  if (!plain) return false;
  const std::string text = HostValueText(param, *plain);
  std::snprintf(display, size, "%s", text.c_str());
  return true;
}

bool IPlugCLAP::TextToValue(clap_id id, const char* display, double& value) const {
  if (!OnMain("params.text_to_value") || !display || id >= static_cast<clap_id>(NParams()))
    return false;
  const IParam& param = *GetParam(static_cast<int>(id));
  const std::optional<double> typed = HostTextValue(param, display);
  if (!typed) return false;
  value = param.Conform(*typed);
  return true;
}

void IPlugCLAP::Flush(const clap_input_events_t* in, const clap_output_events_t* out) noexcept {
  const bool active = Active();
  if (active ? !OnAudio("params.flush") : !OnMain("params.flush")) return;
  const uint32_t count = in && in->size && in->get ? in->size(in) : 0;
  for (uint32_t i = 0; i < count; ++i) {
    const clap_event_header_t* event = in->get(in, i);
    if (!event || ApplyEvent(*event, active ? 0 : -1)) continue;
    if (active)
      RefuseOnAudio("params.flush", "an unknown parameter or a value not finite");
    else
      Refuse("params.flush", "an unknown parameter or a value not finite");
  }
  if (active)
    RequestRestartIfLatencyChanged();
  else
    NotifyLatencyIfChanged();
  PushEdits(out);
}

void IPlugCLAP::PushEdits(const clap_output_events_t* out) noexcept {
  if (!out || !out->try_push) return;
  Edit edit{};
  while (mEdits.Pop(edit)) {
    if (edit.type == CLAP_EVENT_PARAM_VALUE) {
      clap_event_param_value_t event{};
      event.header = {sizeof event, 0, CLAP_CORE_EVENT_SPACE_ID, edit.type, 0};
      event.param_id = edit.id;
      event.note_id = -1;
      event.port_index = -1;
      event.channel = -1;
      event.key = -1;
      event.value = edit.value;
      if (!out->try_push(out, &event.header)) return;
    } else {
      clap_event_param_gesture_t event{};
      event.header = {sizeof event, 0, CLAP_CORE_EVENT_SPACE_ID, edit.type, 0};
      event.param_id = edit.id;
      if (!out->try_push(out, &event.header)) return;
    }
  }
}

void IPlugCLAP::BeginParamGesture(int paramIdx) {
  mEdits.Push(Edit{CLAP_EVENT_PARAM_GESTURE_BEGIN, static_cast<clap_id>(paramIdx), 0.0});
  if (mHostParams && mHostParams->request_flush) mHostParams->request_flush(mHost);
}

void IPlugCLAP::EndParamGesture(int paramIdx) {
  mEdits.Push(Edit{CLAP_EVENT_PARAM_GESTURE_END, static_cast<clap_id>(paramIdx), 0.0});
  if (mHostParams && mHostParams->request_flush) mHostParams->request_flush(mHost);
}

void IPlugCLAP::InformHostOfParam(int paramIdx, double) {
  const IParam* param = GetParam(paramIdx);
  if (!param) return;
  // The parameter holds the edit already: the host is told its plain value.
  mEdits.Push(Edit{CLAP_EVENT_PARAM_VALUE, static_cast<clap_id>(paramIdx), param->Value()});
  if (mHostParams && mHostParams->request_flush) mHostParams->request_flush(mHost);
  // The oversampling switch is set from the editor on this thread: its latency is known now.
  NotifyLatencyIfChanged();
}

// ---- State -----------------------------------------------------------------------------------

bool IPlugCLAP::SaveState(const clap_ostream_t& stream) {
  if (!OnMain("state.save") || !stream.write) return false;
  const std::vector<uint8_t> image = StateImageOf(*this);
  // A stream may take fewer bytes per call than asked: the rest goes in further calls.
  size_t done = 0;
  while (done < image.size()) {
    const int64_t written = stream.write(&stream, image.data() + done, image.size() - done);
    if (written <= 0) {
      Refuse("state.save", "the stream took no more bytes");
      return false;
    }
    done += std::min(static_cast<size_t>(written), image.size() - done);
  }
  return true;
}

bool IPlugCLAP::LoadState(const clap_istream_t& stream) {
  if (!OnMain("state.load") || !stream.read) return false;
  std::vector<uint8_t> image;
  uint8_t buffer[256];
  // To the end of the stream, in as many calls as it takes: a host's stream may hand out a
  // byte at a time, and a longer image is a later version's.
  while (image.size() < kMaxStateBytes) {
    const int64_t read = stream.read(&stream, buffer, sizeof buffer);
    if (read < 0) {
      Refuse("state.load", "the stream failed; nothing changed");
      return false;
    }
    if (read == 0) break;
    image.insert(image.end(), buffer, buffer + std::min<int64_t>(read, sizeof buffer));
  }
  if (RestoreStateImage(*this, image) != EStateImage::kRestored) {
    Refuse("state.load", "a malformed image; nothing changed");
    return false;
  }
  NotifyLatencyIfChanged();
  return true;
}

// ---- Latency ---------------------------------------------------------------------------------

uint32_t IPlugCLAP::Latency() const {
  return static_cast<uint32_t>(std::max(ExpectedLatency(), 0));
}

void IPlugCLAP::NotifyLatencyIfChanged() {
  const uint32_t latency = Latency();
  if (mToldLatency.exchange(latency, std::memory_order_acq_rel) == latency) return;
  // While active the latency may only change through a restart; inactive, the host is told.
  if (Active()) {
    if (mHost->request_restart) mHost->request_restart(mHost);
  } else if (mHostLatency && mHostLatency->changed) {
    mHostLatency->changed(mHost);
  }
}

void IPlugCLAP::RequestRestartIfLatencyChanged() noexcept {
  const uint32_t latency = Latency();
  if (mToldLatency.exchange(latency, std::memory_order_acq_rel) == latency) return;
  // request_restart is the host's thread-safe call: it deactivates and activates again, and
  // reads the latency then.
  if (mHost->request_restart) mHost->request_restart(mHost);
}

// ---- Gui -------------------------------------------------------------------------------------

bool IPlugCLAP::GuiIsApiSupported(const char* api, bool floating) const {
  // Embedded in the host's X11 window only.
  return api && std::strcmp(api, CLAP_WINDOW_API_X11) == 0 && !floating;
}

bool IPlugCLAP::GuiCreate(const char* api, bool floating) {
  if (!OnMain("gui.create")) return false;
  if (mGuiCreated || !GuiIsApiSupported(api, floating) || !HasUI()) return false;
  // The window is made in set_parent, once there is a parent to make it in.
  mGuiCreated = true;
  return true;
}

void IPlugCLAP::GuiDestroy() {
  if (!OnMain("gui.destroy") || !mGuiCreated) return;
  // Audio may run on: the editor's queue is only ever written by it, and dropped when full.
  if (GetUI()) CloseWindow();
  StopIdleTimer();
  if (IRunLoop* runLoop = GetRunLoop(); runLoop && mLatencyTimer != IRunLoop::kInvalidId)
    runLoop->RemoveTimer(mLatencyTimer);
  mLatencyTimer = IRunLoop::kInvalidId;
  SetEditorParent(0, nullptr);
  ReleaseRunLoop();
  mParent = 0;
  mGuiCreated = false;
}

bool IPlugCLAP::GuiSetScale(double scale) {
  if (!OnMain("gui.set_scale") || !std::isfinite(scale) || scale <= 0.0) return false;
  // Screen scales are whole, as on every platform: 150 % shows at 2.
  mScreenScale = std::max(1.f, std::round(static_cast<float>(scale)));
  if (igraphics::IGraphics* ui = GetUI(); ui && ui->GetScreenScale() != mScreenScale)
    ui->SetScreenScale(mScreenScale);
  return true;
}

bool IPlugCLAP::GuiGetSize(uint32_t& width, uint32_t& height) const {
  if (!OnMain("gui.get_size") || !mGuiCreated) return false;
  if (const igraphics::IGraphics* ui = GetUI()) {
    const float s = ui->GetScreenScale();
    width = static_cast<uint32_t>(s * static_cast<int>(ui->Width() * ui->GetDrawScale()));
    height = static_cast<uint32_t>(s * static_cast<int>(ui->Height() * ui->GetDrawScale()));
  } else {
    const float s = std::max(mScreenScale, 1.f);
    width = static_cast<uint32_t>(s * GetEditorWidth());
    height = static_cast<uint32_t>(s * GetEditorHeight());
  }
  return true;
}

bool IPlugCLAP::GuiCanResize() const {
  // The host may size the window too: the editor follows at the zoom that fits, as its corner
  // handle would have it.
  return mGuiCreated;
}

bool IPlugCLAP::GuiResizeHints(clap_gui_resize_hints_t& hints) const {
  if (!OnMain("gui.get_resize_hints")) return false;
  hints.can_resize_horizontally = true;
  hints.can_resize_vertically = true;
  hints.preserve_aspect_ratio = true;
  hints.aspect_ratio_width = static_cast<uint32_t>(std::max(GetEditorWidth(), 1));
  hints.aspect_ratio_height = static_cast<uint32_t>(std::max(GetEditorHeight(), 1));
  return true;
}

bool IPlugCLAP::GuiAdjustSize(uint32_t& width, uint32_t& height) const {
  if (!OnMain("gui.adjust_size") || !mGuiCreated) return false;
  const igraphics::IGraphics* ui = GetUI();
  const float s = std::max(ui ? ui->GetScreenScale() : mScreenScale, 1.f);
  const float w = static_cast<float>(ui ? ui->Width() : GetEditorWidth());
  const float h = static_cast<float>(ui ? ui->Height() : GetEditorHeight());
  if (w <= 0.f || h <= 0.f) return false;
  float zoom = std::min(width / (s * w), height / (s * h));
  if (!std::isfinite(zoom)) zoom = 1.f;
  zoom = std::clamp(zoom, kMinZoom, kMaxZoom);
  // Sized as get_size reports it afterwards: the editor's points, zoomed, in whole pixels.
  width = static_cast<uint32_t>(s * static_cast<int>(w * zoom));
  height = static_cast<uint32_t>(s * static_cast<int>(h * zoom));
  return true;
}

bool IPlugCLAP::GuiSetSize(uint32_t width, uint32_t height) {
  if (!OnMain("gui.set_size") || !mGuiCreated) return false;
  igraphics::IGraphics* ui = GetUI();
  if (!ui) return true;  // applied when the window is made
  uint32_t ours = 0, oursH = 0;
  GuiGetSize(ours, oursH);
  if (std::abs(static_cast<int64_t>(width) - ours) <= 1 &&
      std::abs(static_cast<int64_t>(height) - oursH) <= 1)
    return true;
  const float s = std::max(ui->GetScreenScale(), 1.f);
  const float zoom = std::min(width / (s * ui->Width()), height / (s * ui->Height()));
  if (!std::isfinite(zoom) || zoom <= 0.f) return false;
  ui->Resize(ui->Width(), ui->Height(), std::clamp(zoom, kMinZoom, kMaxZoom), false);
  ui->FinishCornerResize();
  return true;
}

bool IPlugCLAP::GuiSetParent(const clap_window_t* window) {
  if (!OnMain("gui.set_parent")) return false;
  if (!mGuiCreated || EditorOpen() || !window || !window->api ||
      std::strcmp(window->api, CLAP_WINDOW_API_X11) != 0 || window->x11 == 0)
    return false;
  if (!HoldRunLoop()) {
    Refuse("gui.set_parent", "the host offers no timers to run the editor on");
    return false;
  }
  mParent = static_cast<uintptr_t>(window->x11);
  void* parent = reinterpret_cast<void*>(mParent);
  SetEditorParent(AAX_eViewContainer_Type_X11Window, parent);
  if (!OpenWindow(parent)) {
    SetEditorParent(0, nullptr);
    ReleaseRunLoop();
    mParent = 0;
    return false;
  }
  if (mScreenScale > 0.f) GetUI()->SetScreenScale(mScreenScale);
  CreateIdleTimer();
  // A latency the editor's switch changed reaches the host from its own thread.
  if (IRunLoop* runLoop = GetRunLoop())
    mLatencyTimer =
        runLoop->AddTimer(kIdleTimerMs, [this](IRunLoop::Id) { NotifyLatencyIfChanged(); });
  return true;
}

bool IPlugCLAP::GuiShow() {
  // Embedded: the window shows with its parent.
  return OnMain("gui.show") && EditorOpen();
}

bool IPlugCLAP::GuiHide() {
  return OnMain("gui.hide") && EditorOpen();
}

bool IPlugCLAP::EditorOpen() const {
  return GetUI() != nullptr;
}

bool IPlugCLAP::ResizeEditor(int width, int height) {
  if (!mHostGui || !mHostGui->request_resize || width <= 0 || height <= 0) return false;
  return mHostGui->request_resize(mHost, static_cast<uint32_t>(width),
                                  static_cast<uint32_t>(height));
}

void IPlugCLAP::OnTimer(clap_id timerId) {
  if (!OnMain("timer_support.on_timer")) return;
  CLAPRunLoop::TimerFired(this, timerId);
}

bool IPlugCLAP::HoldRunLoop() {
  if (mRunLoopHeld) return true;
  mRunLoopHeld = CLAPRunLoop::Acquire({this, mHost, mHostTimers}) != nullptr;
  return mRunLoopHeld;
}

void IPlugCLAP::ReleaseRunLoop() {
  if (!mRunLoopHeld) return;
  mRunLoopHeld = false;
  CLAPRunLoop::Release(this);
}

}  // namespace iplug

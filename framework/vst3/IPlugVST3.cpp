#include "framework/vst3/IPlugVST3.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "aax/interfaces/AAX_Types.h"
#include "framework/IPlugUtilities.h"
#include "framework/api/IPlugHostBridge.h"
#include "framework/dsp/DenormalGuard.h"
#include "framework/vst3/IPlugVST3_RunLoop.h"
#include "framework/vst3/IPlugVST3_Strings.h"
#include "graphics/IGraphics.h"

namespace iplug {

namespace {

constexpr v3_speaker_arrangement kStereo = V3_SPEAKER_L | V3_SPEAKER_R;
constexpr v3_speaker_arrangement kMono = V3_SPEAKER_M;

/** The state image is small; a stream that goes on beyond this is not one of ours. */
constexpr int32_t kMaxStateBytes = 1 << 16;

}  // namespace

IPlugVST3::IPlugVST3(const PluginConfig& config)
    : IPlugAPIBase(config, kAPIKind), IPlugProcessor(config) {
  mPoints.resize(kMaxPoints);
  TraceHook("iplug::IPlugVST3::IPlugVST3", __LINE__, "");
}

IPlugVST3::~IPlugVST3() {
  CloseEditor();
  SetHandler(nullptr);
}

bool IPlugVST3::SetVariant(const VST3Variant& variant) {
  if (variant.channels < 1 || variant.channels > kMaxChannels ||
      variant.channels > NChannels(kInput) || variant.channels > NChannels(kOutput))
    return false;
  mVariant = variant;
  // The bus arrangement is the variant's alone, so every activation connects this many.
  SetChannelsInUse(variant.channels);
  if (GetHost() == -1) SetHost("VST3", 0);
  CachePrograms();
  return true;
}

void IPlugVST3::CachePrograms() {
  mPrograms.clear();
  for (int i = 0; i < NPresets(); ++i) {
    const PresetSlot* slot = GetPreset(i);
    std::vector<double> values = PresetValues(i);
    if (slot && slot->initialized && !values.empty())
      mPrograms.push_back(Program{slot->name.data(), std::move(values)});
  }
}

int IPlugVST3::ProgramAt(double normalized) const {
  const int n = ProgramCount();
  if (n == 0 || !std::isfinite(normalized) || normalized < 0.0 || normalized > 1.0) return -1;
  if (n == 1) return 0;
  return std::clamp(static_cast<int>(std::lround(normalized * (n - 1))), 0, n - 1);
}

void IPlugVST3::ApplyProgramOnAudio(int program, int offset) noexcept {
  const Program& chosen = mPrograms[static_cast<size_t>(program)];
  for (size_t i = 0; i < chosen.values.size() && static_cast<int>(i) < NParams(); ++i) {
    const int index = static_cast<int>(i);
    IParam* param = GetParam(index);
    const double value = param->Conform(chosen.values[i]);
    if (value == param->Value()) continue;
    param->SetValue(value);
    SendParamValueToEditor(index, param->Value(), false);
    OnParamChange(index, kPresetRecall, offset);
  }
}

void IPlugVST3::ApplyProgramOnMain(int program) {
  const Program& chosen = mPrograms[static_cast<size_t>(program)];
  for (size_t i = 0; i < chosen.values.size() && static_cast<int>(i) < NParams(); ++i) {
    const int index = static_cast<int>(i);
    IParam* param = GetParam(index);
    const double value = param->Conform(chosen.values[i]);
    if (value == param->Value()) continue;
    param->SetValue(value);
    OnParamChange(index, kPresetRecall, -1);
    SendParamValueToControls(index, param->Value(), false);
  }
  // The host shows the values it holds for each parameter: it is told to read them again, and of
  // a latency the program changed, once its call is over (see FlushPendingRestarts). Told from
  // inside the call, Ardour deadlocks: it holds a lock of its own while it sets a program, and
  // its restartComponent waits for the same lock.
  mRestartPending |= kPendingValuesChanged | kPendingLatencyCheck;
}

void IPlugVST3::FlushPendingRestarts() {
  const int pending = mRestartPending;
  mRestartPending = 0;
  if ((pending & kPendingValuesChanged) && mHandler)
    v3_cpp_obj(mHandler)->restart_component(mHandler, V3_RESTART_PARAM_VALUES_CHANGED);
  NotifyLatencyIfChanged();
}

v3_result IPlugVST3::UnitInfo(int32_t index, v3_unit_info& info) const {
  if (index != 0) return V3_INVALID_ARG;
  std::memset(&info, 0, sizeof info);
  info.id = 0;
  info.parent_unit_id = -1;
  CopyToUtf16(GetPluginName(), info.name, 128);
  info.program_list_id = ProgramCount() > 0 ? kProgramListID : -1;
  return V3_OK;
}

v3_result IPlugVST3::ProgramListInfo(int32_t index, v3_program_list_info& info) const {
  if (index != 0 || ProgramCount() == 0) return V3_INVALID_ARG;
  std::memset(&info, 0, sizeof info);
  info.id = kProgramListID;
  CopyToUtf16("Factory Presets", info.name, 128);
  info.programCount = ProgramCount();
  return V3_OK;
}

v3_result IPlugVST3::ProgramName(int32_t listID, int32_t program, v3_str_128 name) const {
  if (listID != kProgramListID || program < 0 || program >= ProgramCount() || !name)
    return V3_INVALID_ARG;
  CopyToUtf16(mPrograms[static_cast<size_t>(program)].name, name, 128);
  return V3_OK;
}

// ---- Component -------------------------------------------------------------------------------

int32_t IPlugVST3::BusCount(int32_t mediaType, int32_t direction) const {
  if (mediaType != V3_AUDIO || (direction != V3_INPUT && direction != V3_OUTPUT)) return 0;
  return 1;
}

v3_result IPlugVST3::BusInfo(int32_t mediaType, int32_t direction, int32_t index,
                             v3_bus_info& info) const {
  if (mediaType != V3_AUDIO || (direction != V3_INPUT && direction != V3_OUTPUT) || index != 0)
    return V3_INVALID_ARG;
  std::memset(&info, 0, sizeof info);
  info.media_type = V3_AUDIO;
  info.direction = direction;
  info.channel_count = mVariant.channels;
  CopyToUtf16(direction == V3_INPUT ? "Input" : "Output", info.bus_name, 128);
  info.bus_type = V3_MAIN;
  info.flags = V3_DEFAULT_ACTIVE;
  return V3_OK;
}

v3_result IPlugVST3::ActivateBus(int32_t mediaType, int32_t direction, int32_t index, bool) {
  // The one bus each way is always active; asking for it is fine, for another one is not.
  if (mediaType != V3_AUDIO || (direction != V3_INPUT && direction != V3_OUTPUT) || index != 0)
    return V3_INVALID_ARG;
  return V3_OK;
}

v3_result IPlugVST3::SetActive(bool active) {
  if (active == Active()) return V3_OK;
  if (!active) {
    mActive.store(false, std::memory_order_release);
    return V3_OK;
  }
  try {
    if (GetBlockCapacity() <= 0) {
      ResizeChannelBuffers(mMaxBlock, mMaxBlock);
      ReserveBypassDelay(0);
      mZeros.assign(static_cast<size_t>(std::max(GetBlockCapacity(), 1)), 0.f);
    }
    SettleHostBypass(mBypassed.load(std::memory_order_acquire));
    ResetProcessing();
    ReserveBypassDelayForReset(kMaxLatency);
    // The delay line starts empty, whether or not the reset changed the latency.
    SetLatencyInPlace(GetLatency());
    mFirstBlock = true;
  } catch (...) {
    return V3_NOMEM;
  }
  mActive.store(true, std::memory_order_release);
  FlushPendingRestarts();
  return V3_OK;
}

v3_result IPlugVST3::WriteStateTo(v3_bstream** stream) const {
  if (!stream) return V3_INVALID_ARG;
  std::vector<uint8_t> image;
  try {
    image = StateImageOf(*this);
  } catch (...) {
    return V3_NOMEM;
  }
  // A stream may take fewer bytes per call than asked: the rest goes in further calls.
  size_t done = 0;
  while (done < image.size()) {
    int32_t written = 0;
    const v3_result result = v3_cpp_obj(stream)->write(
        stream, image.data() + done, static_cast<int32_t>(image.size() - done), &written);
    if (result != V3_OK || written <= 0) return V3_INTERNAL_ERR;
    done += static_cast<size_t>(written);
  }
  return V3_OK;
}

v3_result IPlugVST3::ReadStateFrom(v3_bstream** stream) {
  if (!stream) return V3_INVALID_ARG;
  std::vector<uint8_t> image;
  uint8_t buffer[256];
  // To the end of the stream, in as many calls as it takes: a host's stream may hand out a
  // byte at a time, and a longer image is a later version's.
  while (image.size() < static_cast<size_t>(kMaxStateBytes)) {
    int32_t read = 0;
    const v3_result result =
        v3_cpp_obj(stream)->read(stream, buffer, static_cast<int32_t>(sizeof buffer), &read);
    if (result != V3_OK || read <= 0) break;
    image.insert(image.end(), buffer, buffer + std::min<int32_t>(read, sizeof buffer));
  }
  if (RestoreStateImage(*this, image) != EStateImage::kRestored) return V3_INVALID_ARG;
  FlushPendingRestarts();
  return V3_OK;
}

// ---- Audio processor ---------------------------------------------------------------------

v3_result IPlugVST3::SetBusArrangements(const v3_speaker_arrangement* inputs, int32_t numInputs,
                                        const v3_speaker_arrangement* outputs, int32_t numOutputs) {
  const v3_speaker_arrangement ours = mVariant.channels == 1 ? kMono : kStereo;
  if (numInputs != 1 || numOutputs != 1 || !inputs || !outputs) return V3_FALSE;
  return inputs[0] == ours && outputs[0] == ours ? V3_OK : V3_FALSE;
}

v3_result IPlugVST3::BusArrangement(int32_t direction, int32_t index,
                                    v3_speaker_arrangement& arrangement) const {
  if ((direction != V3_INPUT && direction != V3_OUTPUT) || index != 0) return V3_INVALID_ARG;
  arrangement = mVariant.channels == 1 ? kMono : kStereo;
  return V3_OK;
}

v3_result IPlugVST3::CanProcessSampleSize(int32_t size) {
  return size == V3_SAMPLE_32 ? V3_OK : V3_FALSE;
}

uint32_t IPlugVST3::LatencySamples() const {
  return static_cast<uint32_t>(std::max(ExpectedLatency(), 0));
}

uint32_t IPlugVST3::TailSamples() const {
  // The resamplers' filters ring on for about the latency after the input ends.
  return LatencySamples();
}

v3_result IPlugVST3::SetupProcessing(const v3_process_setup& setup) {
  if (Active()) return V3_INVALID_ARG;
  if (setup.symbolic_sample_size != V3_SAMPLE_32) return V3_INVALID_ARG;
  if (!(setup.sample_rate > 0.0) || !std::isfinite(setup.sample_rate) ||
      setup.sample_rate > 1536000.0 || setup.max_block_size < 1)
    return V3_INVALID_ARG;
  try {
    SetSampleRate(setup.sample_rate);
    mMaxBlock = setup.max_block_size;
    ResizeChannelBuffers(mMaxBlock, mMaxBlock);
    // Room for the latency comes with activation, once the processor knows how much it needs.
    ReserveBypassDelay(0);
    mZeros.assign(static_cast<size_t>(std::max(GetBlockCapacity(), 1)), 0.f);
    SetHostRenderingOffline(*this, setup.process_mode == V3_OFFLINE);
  } catch (...) {
    return V3_NOMEM;
  }
  return V3_OK;
}

v3_result IPlugVST3::SetProcessing(bool) {
  return V3_OK;
}

int IPlugVST3::CollectPoints(v3_process_data& data) noexcept {
  v3_param_changes** changes = data.input_params;
  if (!changes) return 0;
  const int32_t frames = std::max(data.nframes, 0);
  int n = 0;
  const int32_t queues = v3_cpp_obj(changes)->get_param_count(changes);
  for (int32_t q = 0; q < queues; ++q) {
    v3_param_value_queue** queue = v3_cpp_obj(changes)->get_param_data(changes, q);
    if (!queue) continue;
    const v3_param_id id = v3_cpp_obj(queue)->get_param_id(queue);
    const int32_t points = v3_cpp_obj(queue)->get_point_count(queue);
    for (int32_t p = 0; p < points; ++p) {
      int32_t offset = 0;
      double value = 0.0;
      if (v3_cpp_obj(queue)->get_point(queue, p, &offset, &value) != V3_OK) continue;
      // A point outside the block is taken at its nearest end; one beyond the room at the end.
      const int32_t at = std::clamp(offset, 0, std::max(frames - 1, 0));
      if (n < kMaxPoints)
        mPoints[static_cast<size_t>(n++)] = Point{at, n, id, value};
      else
        mPoints[static_cast<size_t>(kMaxPoints - 1)] = Point{std::max(frames - 1, 0), n, id, value};
    }
  }
  // In time order, and in the host's order at one time; std::sort allocates nothing.
  std::sort(mPoints.begin(), mPoints.begin() + n, [](const Point& a, const Point& b) {
    return a.offset != b.offset ? a.offset < b.offset : a.order < b.order;
  });
  return n;
}

void IPlugVST3::ApplyPoint(const Point& point) noexcept {
  // Normalized values live in 0 … 1: anything else is refused, not clamped.
  if (!std::isfinite(point.value) || point.value < 0.0 || point.value > 1.0) return;
  if (point.id == kBypassParamID) {
    mBypassed.store(point.value >= 0.5, std::memory_order_release);
    return;
  }
  if (point.id == kProgramParamID) {
    const int program = ProgramAt(point.value);
    if (program < 0) return;
    mProgram.store(program, std::memory_order_release);
    ApplyProgramOnAudio(program, point.offset);
    return;
  }
  if (point.id >= static_cast<v3_param_id>(NParams())) return;
  const int index = static_cast<int>(point.id);
  IParam* param = GetParam(index);
  const std::optional<double> value = HostNormalizedValue(*param, point.value);
  if (!value || *value == param->Value()) return;
  param->SetValue(*value);
  // The audio thread is the editor queue's one producer in this binding.
  SendParamValueToEditor(index, param->Value(), false);
  OnParamChange(index, kHost, point.offset);
}

v3_result IPlugVST3::Process(v3_process_data& data) noexcept {
  ScopedDenormalGuard denormals;
  if (data.symbolic_sample_size != V3_SAMPLE_32) return V3_INVALID_ARG;
  const int frames = std::max(data.nframes, 0);
  const int n = CollectPoints(data);
  if (!Active()) {
    // Nothing plays before activation; a flush's values are taken all the same.
    for (int i = 0; i < n; ++i) ApplyPoint(mPoints[static_cast<size_t>(i)]);
    if (frames == 0) return V3_OK;
    for (int32_t b = 0; b < data.num_output_buses && data.outputs; ++b)
      for (int32_t c = 0; c < data.outputs[b].num_channels; ++c)
        if (data.outputs[b].channel_buffers_32 && data.outputs[b].channel_buffers_32[c])
          std::fill_n(data.outputs[b].channel_buffers_32[c], frames, 0.f);
    return V3_NOT_INITIALIZED;
  }
  // The rendering mode is the setup's. Ardour's export marks its blocks offline without a new
  // setup, and so without asking for the latency again: following the blocks' mode would
  // change the latency (and with it the alignment) under a render the host compensates for
  // the old one.

  int next = 0;
  int position = 0;
  // Points at the block's first sample come first: on the first block after an activation they
  // are the state processing starts in.
  while (next < n && mPoints[static_cast<size_t>(next)].offset <= 0)
    ApplyPoint(mPoints[static_cast<size_t>(next++)]);
  if (mFirstBlock) {
    mFirstBlock = false;
    SettleHostBypass(mBypassed.load(std::memory_order_acquire));
    SettleAfterReset();
    ReportPendingLatency();
  }
  while (position < frames) {
    const int until =
        next < n ? std::min(mPoints[static_cast<size_t>(next)].offset, frames) : frames;
    if (until > position) RenderFrames(data, position, until - position);
    position = std::max(until, position);
    while (next < n && mPoints[static_cast<size_t>(next)].offset <= position)
      ApplyPoint(mPoints[static_cast<size_t>(next++)]);
  }
  // A block of no frames only carries values (a flush), and any left over go in now.
  while (next < n) ApplyPoint(mPoints[static_cast<size_t>(next++)]);
  ReportPendingLatency();
  if (frames > 0) MarkSilentOutputs(data);
  return V3_OK;
}

void IPlugVST3::RenderFrames(v3_process_data& data, int offset, int n) noexcept {
  const int capacity = std::max(GetBlockCapacity(), 1);
  for (int done = 0; done < n; done += capacity)
    RenderPiece(data, offset + done, std::min(capacity, n - done));
}

void IPlugVST3::RenderPiece(v3_process_data& data, int offset, int n) noexcept {
  const int channels = mVariant.channels;
  float* in[kMaxChannels] = {};
  float* out[kMaxChannels] = {};
  const v3_audio_bus_buffers* inBus =
      data.num_input_buses > 0 && data.inputs ? &data.inputs[0] : nullptr;
  const v3_audio_bus_buffers* outBus =
      data.num_output_buses > 0 && data.outputs ? &data.outputs[0] : nullptr;
  if (!outBus || !outBus->channel_buffers_32) return;
  for (int c = 0; c < channels; ++c) {
    // A silent or missing input channel is read as zeros: its buffer need not hold them.
    const bool present = inBus && inBus->channel_buffers_32 && c < inBus->num_channels &&
                         inBus->channel_buffers_32[c] &&
                         !(inBus->channel_silence_bitset & (uint64_t{1} << c));
    in[c] = present ? inBus->channel_buffers_32[c] + offset : mZeros.data();
    out[c] = c < outBus->num_channels && outBus->channel_buffers_32[c]
                 ? outBus->channel_buffers_32[c] + offset
                 : nullptr;
  }
  SetChannelsConnected(kInput, 0, channels, true);
  SetChannelsConnected(kInput, channels, NChannels(kInput) - channels, false);
  SetChannelsConnected(kOutput, 0, channels, true);
  SetChannelsConnected(kOutput, channels, NChannels(kOutput) - channels, false);
  // The inputs are copied before anything is written: hosts process in place.
  BindHostBuffers(kInput, 0, channels, in, n, 0);
  BindHostBuffers(kOutput, 0, channels, out, n, 0);
  const bool bypass = mBypassed.load(std::memory_order_acquire);
  if (bypass != GetBypassed()) OnHostBypassChanged(bypass);
  RenderWithHostBypass(bypass, PluginHandlesBypass(), n, out, 0, channels, [] {});
}

void IPlugVST3::MarkSilentOutputs(v3_process_data& data) noexcept {
  const int frames = data.nframes;
  for (int32_t b = 0; b < data.num_output_buses && data.outputs; ++b) {
    v3_audio_bus_buffers& bus = data.outputs[b];
    uint64_t silent = 0;
    for (int32_t c = 0; c < bus.num_channels && c < 64; ++c) {
      const float* channel = bus.channel_buffers_32 ? bus.channel_buffers_32[c] : nullptr;
      if (channel && std::all_of(channel, channel + frames, [](float s) { return s == 0.f; }))
        silent |= uint64_t{1} << c;
    }
    bus.channel_silence_bitset = silent;
  }
}

// ---- Edit controller -------------------------------------------------------------------------

int32_t IPlugVST3::ParameterCount() const {
  return NParams() + 1 + (ProgramCount() > 0 ? 1 : 0);
}

v3_result IPlugVST3::ParameterInfo(int32_t index, v3_param_info& info) const {
  if (index < 0 || index >= ParameterCount()) return V3_INVALID_ARG;
  std::memset(&info, 0, sizeof info);
  info.unit_id = 0;
  if (index == NParams()) {
    info.param_id = kBypassParamID;
    CopyToUtf16("Bypass", info.title, 128);
    CopyToUtf16("Bypass", info.short_title, 128);
    info.step_count = 1;
    info.default_normalised_value = 0.0;
    info.flags = V3_PARAM_CAN_AUTOMATE | V3_PARAM_IS_BYPASS;
    return V3_OK;
  }
  if (index == NParams() + 1) {
    info.param_id = kProgramParamID;
    CopyToUtf16("Program", info.title, 128);
    CopyToUtf16("Program", info.short_title, 128);
    info.step_count = std::max(ProgramCount() - 1, 0);
    info.default_normalised_value = 0.0;
    info.flags = V3_PARAM_IS_LIST | V3_PARAM_PROGRAM_CHANGE;
    return V3_OK;
  }
  const IParam& param = *GetParam(index);
  info.param_id = static_cast<v3_param_id>(index);
  CopyToUtf16(param.Name(), info.title, 128);
  CopyToUtf16(param.Name(), info.short_title, 128);
  CopyToUtf16(param.Label(), info.units, 128);
  switch (param.Kind()) {
    case kKindBool:
      info.step_count = 1;
      break;
    case kKindEnum:
      info.step_count = std::max(param.ValueTextCount() - 1, 0);
      break;
    case kKindInt:
      info.step_count = static_cast<int32_t>(param.Max() - param.Min());
      break;
    default:
      info.step_count = 0;
  }
  info.default_normalised_value = HostNormalized(param, param.Default());
  info.flags = param.CanAutomate() ? V3_PARAM_CAN_AUTOMATE : 0;
  if (param.Kind() == kKindEnum) info.flags |= V3_PARAM_IS_LIST;
  return V3_OK;
}

v3_result IPlugVST3::StringForValue(v3_param_id id, double normalized, v3_str_128 out) const {
  if (!out || !std::isfinite(normalized) || normalized < 0.0 || normalized > 1.0)
    return V3_INVALID_ARG;
  if (id == kBypassParamID) {
    CopyToUtf16(normalized >= 0.5 ? "on" : "off", out, 128);
    return V3_OK;
  }
  if (id == kProgramParamID) {
    const int program = ProgramAt(normalized);
    if (program < 0) return V3_INVALID_ARG;
    CopyToUtf16(mPrograms[static_cast<size_t>(program)].name, out, 128);
    return V3_OK;
  }
  if (id >= static_cast<v3_param_id>(NParams())) return V3_INVALID_ARG;
  const IParam& param = *GetParam(static_cast<int>(id));
  CopyToUtf16(HostValueText(param, *HostNormalizedValue(param, normalized)), out, 128);
  return V3_OK;
}

v3_result IPlugVST3::ValueForString(v3_param_id id, const int16_t* text, double& normalized) const {
  if (!text) return V3_INVALID_ARG;
  const std::string typed = FromUtf16(text, 128);
  if (id == kBypassParamID) {
    if (typed != "on" && typed != "off") return V3_INVALID_ARG;
    normalized = typed == "on" ? 1.0 : 0.0;
    return V3_OK;
  }
  if (id == kProgramParamID) {
    for (int p = 0; p < ProgramCount(); ++p)
      if (mPrograms[static_cast<size_t>(p)].name == typed) {
        normalized = ProgramCount() > 1 ? static_cast<double>(p) / (ProgramCount() - 1) : 0.0;
        return V3_OK;
      }
    return V3_INVALID_ARG;
  }
  if (id >= static_cast<v3_param_id>(NParams())) return V3_INVALID_ARG;
  const IParam& param = *GetParam(static_cast<int>(id));
  const std::optional<double> value = HostTextValue(param, typed);
  if (!value) return V3_INVALID_ARG;
  normalized = HostNormalized(param, param.Conform(*value));
  return V3_OK;
}

double IPlugVST3::NormalizedToPlain(v3_param_id id, double normalized) const {
  if (id == kBypassParamID) return normalized >= 0.5 ? 1.0 : 0.0;
  if (id == kProgramParamID) return std::max(ProgramAt(normalized), 0);
  if (id >= static_cast<v3_param_id>(NParams())) return 0.0;
  const IParam& param = *GetParam(static_cast<int>(id));
  return HostNormalizedValue(param, normalized).value_or(param.Value());
}

double IPlugVST3::PlainToNormalized(v3_param_id id, double plain) const {
  if (id == kBypassParamID) return plain >= 0.5 ? 1.0 : 0.0;
  if (id == kProgramParamID)
    return ProgramCount() > 1 && std::isfinite(plain)
               ? std::clamp(std::round(plain), 0.0, ProgramCount() - 1.0) / (ProgramCount() - 1)
               : 0.0;
  if (id >= static_cast<v3_param_id>(NParams())) return 0.0;
  const IParam& param = *GetParam(static_cast<int>(id));
  const std::optional<double> value = HostPlainValue(param, plain);
  return HostNormalized(param, value.value_or(param.Value()));
}

double IPlugVST3::ParamNormalized(v3_param_id id) const {
  if (id == kBypassParamID) return mBypassed.load(std::memory_order_acquire) ? 1.0 : 0.0;
  if (id == kProgramParamID)
    return ProgramCount() > 1 ? static_cast<double>(mProgram.load(std::memory_order_acquire)) /
                                    (ProgramCount() - 1)
                              : 0.0;
  if (id >= static_cast<v3_param_id>(NParams())) return 0.0;
  return GetParam(static_cast<int>(id))->NormalizedValue();
}

v3_result IPlugVST3::SetParamNormalized(v3_param_id id, double normalized) {
  if (!std::isfinite(normalized) || normalized < 0.0 || normalized > 1.0) return V3_INVALID_ARG;
  if (id == kBypassParamID) {
    mBypassed.store(normalized >= 0.5, std::memory_order_release);
    return V3_OK;
  }
  if (id == kProgramParamID) {
    const int program = ProgramAt(normalized);
    if (program < 0) return V3_INVALID_ARG;
    mProgram.store(program, std::memory_order_release);
    ApplyProgramOnMain(program);
    return V3_OK;
  }
  if (id >= static_cast<v3_param_id>(NParams())) return V3_INVALID_ARG;
  ApplyMainThreadValue(static_cast<int>(id), normalized);
  NotifyLatencyIfChanged();
  return V3_OK;
}

void IPlugVST3::ApplyMainThreadValue(int paramIdx, double normalized) {
  IParam* param = GetParam(paramIdx);
  if (param->NormalizedValue() == normalized) return;  // the host's echo of our own value
  const std::optional<double> value = HostNormalizedValue(*param, normalized);
  if (!value || *value == param->Value()) return;
  param->SetValue(*value);
  OnParamChange(paramIdx, kHost, -1);
  SendParamValueToControls(paramIdx, param->Value(), false);
}

v3_result IPlugVST3::SetComponentState(v3_bstream** stream) {
  // The component is this object: its state is in force already, and the editor shows it.
  if (!stream) return V3_INVALID_ARG;
  for (int i = 0; i < NParams(); ++i)
    SendParamValueToControls(i, GetParam(i)->NormalizedValue(), true);
  return V3_OK;
}

void IPlugVST3::SetHandler(v3_component_handler** handler) {
  if (handler == mHandler) return;
  if (handler) v3_cpp_obj_ref(handler);
  if (mHandler) v3_cpp_obj_unref(mHandler);
  mHandler = handler;
}

void IPlugVST3::NotifyLatencyIfChanged() {
  const uint32_t latency = LatencySamples();
  if (latency == mReportedLatency) return;
  mReportedLatency = latency;
  if (mHandler) v3_cpp_obj(mHandler)->restart_component(mHandler, V3_RESTART_LATENCY_CHANGED);
}

void IPlugVST3::BeginParamGesture(int paramIdx) {
  if (mHandler) v3_cpp_obj(mHandler)->begin_edit(mHandler, static_cast<v3_param_id>(paramIdx));
}

void IPlugVST3::EndParamGesture(int paramIdx) {
  if (mHandler) v3_cpp_obj(mHandler)->end_edit(mHandler, static_cast<v3_param_id>(paramIdx));
}

void IPlugVST3::InformHostOfParam(int paramIdx, double normalized) {
  if (mHandler)
    v3_cpp_obj(mHandler)->perform_edit(mHandler, static_cast<v3_param_id>(paramIdx), normalized);
  // The oversampling switch is set from the editor on this thread: its latency is known now.
  NotifyLatencyIfChanged();
}

// ---- The editor --------------------------------------------------------------------------

bool IPlugVST3::OpenEditorIn(uintptr_t parentWindow, v3_run_loop** loop, v3_plugin_frame** frame,
                             v3_plugin_view** view) {
  if (EditorOpen() || !parentWindow) return false;
  if (!VST3RunLoop::Acquire(loop)) return false;
  mRunLoopHeld = true;
  mFrame = frame;
  mView = view;
  SetEditorParent(AAX_eViewContainer_Type_X11Window, reinterpret_cast<void*>(parentWindow));
  if (!OpenWindow(reinterpret_cast<void*>(parentWindow))) {
    CloseEditor();
    return false;
  }
  CreateIdleTimer();
  // The host is told of a latency change from its own thread, on the loop it lent.
  if (IRunLoop* runLoop = GetRunLoop())
    mLatencyTimer =
        runLoop->AddTimer(kIdleTimerMs, [this](IRunLoop::Id) { FlushPendingRestarts(); });
  return true;
}

void IPlugVST3::CloseEditor() {
  if (GetUI()) CloseWindow();
  StopIdleTimer();
  if (IRunLoop* runLoop = GetRunLoop(); runLoop && mLatencyTimer != IRunLoop::kInvalidId)
    runLoop->RemoveTimer(mLatencyTimer);
  mLatencyTimer = IRunLoop::kInvalidId;
  SetEditorParent(0, nullptr);
  mFrame = nullptr;
  mView = nullptr;
  if (mRunLoopHeld) {
    mRunLoopHeld = false;
    VST3RunLoop::Release();
  }
}

bool IPlugVST3::EditorOpen() const {
  return GetUI() != nullptr;
}

v3_view_rect IPlugVST3::EditorRect() const {
  v3_view_rect rect{0, 0, GetEditorWidth(), GetEditorHeight()};
  if (const igraphics::IGraphics* ui = GetUI()) {
    const float s = ui->GetScreenScale();
    rect.right = static_cast<int32_t>(s * static_cast<int>(ui->Width() * ui->GetDrawScale()));
    rect.bottom = static_cast<int32_t>(s * static_cast<int>(ui->Height() * ui->GetDrawScale()));
  }
  return rect;
}

v3_result IPlugVST3::EditorResizedByHost(const v3_view_rect& rect) {
  // The editor sizes itself (its corner handle); the host's window follows it. A host that
  // resizes on its own is shown the editor at the zoom that fits.
  igraphics::IGraphics* ui = GetUI();
  if (!ui) return V3_OK;
  const v3_view_rect ours = EditorRect();
  const int32_t w = rect.right - rect.left, h = rect.bottom - rect.top;
  if (std::abs(w - (ours.right - ours.left)) <= 1 && std::abs(h - (ours.bottom - ours.top)) <= 1)
    return V3_OK;
  const float s = std::max(ui->GetScreenScale(), 1.f);
  const float zoom = std::min(w / (s * ui->Width()), h / (s * ui->Height()));
  if (std::isfinite(zoom) && zoom > 0.f) {
    ui->Resize(ui->Width(), ui->Height(), std::clamp(zoom, 0.5f, 4.f), false);
    ui->FinishCornerResize();
  }
  return V3_OK;
}

void IPlugVST3::SetContentScale(float factor) {
  if (!std::isfinite(factor) || factor <= 0.f) return;
  // Screen scales are whole, as on every platform: 150 % shows at 2.
  const float scale = std::max(1.f, std::round(factor));
  if (igraphics::IGraphics* ui = GetUI(); ui && ui->GetScreenScale() != scale)
    ui->SetScreenScale(scale);
}

bool IPlugVST3::ResizeEditor(int width, int height) {
  if (!mFrame || !mView) return false;
  v3_view_rect rect{0, 0, width, height};
  return v3_cpp_obj(mFrame)->resize_view(mFrame, mView, &rect) == V3_OK;
}

}  // namespace iplug

#include "framework/lv2/IPlugLV2.h"

#include <lv2/atom/atom.h>
#include <lv2/buf-size/buf-size.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

#include "framework/IPlugStateChunk.h"
#include "framework/IPlugUtilities.h"
#include "framework/api/IPlugHostBridge.h"
#include "framework/dsp/DenormalGuard.h"

namespace iplug {

namespace {

// Whether [p, p + n) lies in mapped pages. Some hosts hand out a feature whose URI points
// nowhere (lv2file's fourth, past the ones it fills in); reading it would take the host down
// with us, so such an entry is passed over.
bool Mapped(const void* p, size_t n) {
  static const auto page = static_cast<uintptr_t>(::sysconf(_SC_PAGESIZE));
  const auto first = reinterpret_cast<uintptr_t>(p) & ~(page - 1);
  const auto last = (reinterpret_cast<uintptr_t>(p) + n - 1) & ~(page - 1);
  for (uintptr_t at = first;; at += page) {
    unsigned char resident = 0;
    if (::mincore(reinterpret_cast<void*>(at), page, &resident) != 0) return false;
    if (at == last) return true;
  }
}

const LV2_Feature* FindFeature(const LV2_Feature* const* features, const char* uri) {
  const size_t length = std::strlen(uri) + 1;
  for (const LV2_Feature* const* f = features; f && *f; ++f) {
    if (!Mapped(*f, sizeof(LV2_Feature)) || !(*f)->URI) continue;
    // Never more than the wanted URI's length is read, so those bytes are all that must exist.
    if (Mapped((*f)->URI, length) && std::strncmp((*f)->URI, uri, length) == 0) return *f;
  }
  return nullptr;
}

const void* FeatureData(const LV2_Feature* const* features, const char* uri) {
  const LV2_Feature* feature = FindFeature(features, uri);
  return feature ? feature->data : nullptr;
}

}  // namespace

double LV2PortValueOnGrid(const IParam& param, double value) {
  const double step = param.Step();
  if (!(step > 0.0)) return value;
  const double perUnit = std::round(1.0 / step);
  if (perUnit < 1.0 || std::fabs(perUnit * step - 1.0) > 1e-9) return value;
  const double minimum = param.Min() * perUnit;
  if (std::fabs(minimum - std::round(minimum)) > 1e-6) return value;  // a grid off zero
  return std::round(value * perUnit) / perUnit;
}

IPlugLV2::IPlugLV2(const PluginConfig& config)
    : IPlugAPIBase(config, kAPIKind), IPlugProcessor(config) {
  TraceHook("iplug::IPlugLV2::IPlugLV2", __LINE__, "");
}

IPlugLV2::~IPlugLV2() = default;

void IPlugLV2::MapURIDs(const LV2_URID_Map* map) {
  mMap = map;
  if (!map || !map->map) return;
  mURIDs.atomChunk = map->map(map->handle, LV2_ATOM__Chunk);
  mURIDs.atomInt = map->map(map->handle, LV2_ATOM__Int);
  mURIDs.nominalBlockLength = map->map(map->handle, LV2_BUF_SIZE__nominalBlockLength);
  mURIDs.maxBlockLength = map->map(map->handle, LV2_BUF_SIZE__maxBlockLength);
  mURIDs.stateKey = map->map(map->handle, LV2DescriptionOfPlug().stateKey.c_str());
}

void IPlugLV2::ReadOptions(const LV2_Options_Option* options) {
  if (!mMap) return;  // without URIDs no option can be recognised
  for (const LV2_Options_Option* o = options; o && o->key; ++o) {
    if (o->type != mURIDs.atomInt || o->size != sizeof(int32_t) || !o->value) continue;
    const int32_t value = *static_cast<const int32_t*>(o->value);
    if (value <= 0) continue;
    if (o->key == mURIDs.nominalBlockLength) mNominalBlock = value;
    if (o->key == mURIDs.maxBlockLength) mMaxBlock = value;
  }
}

bool IPlugLV2::Instantiate(const LV2Variant& variant, double sampleRate,
                           const LV2_Feature* const* features) noexcept {
  try {
    if (!(sampleRate > 0.0) || !std::isfinite(sampleRate)) return false;
    if (variant.channels < 1 || variant.channels > NChannels(kInput) ||
        variant.channels > NChannels(kOutput))
      return false;
    mVariant = variant;
    MapURIDs(static_cast<const LV2_URID_Map*>(FeatureData(features, LV2_URID__map)));
    ReadOptions(
        static_cast<const LV2_Options_Option*>(FeatureData(features, LV2_OPTIONS__options)));
    if (GetHost() == -1) SetHost("LV2", 0);
    mSchedule =
        static_cast<const LV2_Worker_Schedule*>(FeatureData(features, LV2_WORKER__schedule));
    if (mSchedule && !mSchedule->schedule_work) mSchedule = nullptr;
    if (mSchedule)
      SetDeferredWorkRequester(
          [](void* self) noexcept {
            const LV2_Worker_Schedule* schedule = static_cast<IPlugLV2*>(self)->mSchedule;
            // The work itself is the processor's to know; the host carries only a wake-up.
            const uint8_t wake = 0;
            return schedule->schedule_work(schedule->handle, sizeof wake, &wake) ==
                   LV2_WORKER_SUCCESS;
          },
          this);

    const int channels = variant.channels;
    SetChannelsInUse(channels);
    mAudioIn.assign(static_cast<size_t>(channels), nullptr);
    mAudioOut.assign(static_cast<size_t>(channels), nullptr);
    mNumControls = NParams();
    mControls = std::make_unique<std::atomic<const float*>[]>(static_cast<size_t>(mNumControls));
    mPortSeen = std::make_unique<std::atomic<float>[]>(static_cast<size_t>(mNumControls));
    for (int i = 0; i < mNumControls; ++i) {
      mControls[i].store(nullptr, std::memory_order_relaxed);
      mPortSeen[i].store(std::numeric_limits<float>::quiet_NaN(), std::memory_order_relaxed);
    }
    mMonitorOut.assign(LV2DescriptionOfPlug().monitors.size(), nullptr);

    SetSampleRate(sampleRate);
    SizeForTheHost();
    // Room for the latency comes with activation, once the processor knows how much it needs.
    ReserveBypassDelay(0);
    mIdleInterval = std::max<int64_t>(1, std::llround(sampleRate * kIdleTimerMs / 1000.0));
    return true;
  } catch (...) {
    return false;
  }
}

void IPlugLV2::SizeForTheHost() {
  // Everything run() touches is sized here: buffers for the longest block the host announces,
  // and never fewer than kMinBlockCapacity frames; longer blocks are played in pieces.
  const int nominal = mNominalBlock > 0 ? mNominalBlock
                      : mMaxBlock > 0   ? std::min(mMaxBlock, kDefaultBlockSize)
                                        : kDefaultBlockSize;
  ResizeChannelBuffers(nominal, mMaxBlock);
}

void IPlugLV2::ConnectPort(uint32_t port, void* data) noexcept {
  const int channels = static_cast<int>(mAudioIn.size());
  const int params = mNumControls;
  int index = static_cast<int>(port);
  if (index < channels) {
    mAudioIn[static_cast<size_t>(index)] = static_cast<const float*>(data);
    return;
  }
  index -= channels;
  if (index < channels) {
    mAudioOut[static_cast<size_t>(index)] = static_cast<float*>(data);
    return;
  }
  index -= channels;
  if (index < params) {
    mControls[index].store(static_cast<const float*>(data), std::memory_order_release);
    return;
  }
  switch (index - params) {
    case kPortEnabled:
      mEnabled = static_cast<const float*>(data);
      break;
    case kPortFreeWheeling:
      mFreeWheeling = static_cast<const float*>(data);
      break;
    case kPortLatency:
      mLatencyOut = static_cast<float*>(data);
      break;
    default:
      if (const size_t monitor = static_cast<size_t>(index - params - kNumExtraPorts);
          monitor < mMonitorOut.size())
        mMonitorOut[monitor] = static_cast<float*>(data);
      break;
  }
}

void IPlugLV2::Activate() noexcept {
  try {
    // Port values the host wrote while the plug-in was inactive are changes like any other:
    // the first run reads them, and a restore made meanwhile holds against the ports it saw.
    SizeForTheHost();  // the host may have announced other block lengths since
    SettleHostBypass(false);
    ResetProcessing();
    ReserveBypassDelayForReset(kMaxLatency);
    // The delay line starts empty, whether or not the reset changed the latency.
    SetLatencyInPlace(GetLatency());
    mFramesSinceIdle = 0;
    mFirstRunAfterActivation = true;
  } catch (...) {
    // A reset that cannot allocate leaves the processor silent (no buffers), never broken.
  }
}

double IPlugLV2::ValueFromPort(int paramIdx, float port) const {
  const IParam* param = GetParam(paramIdx);
  // A port shows the parameter's value rounded to float: that is no change, and taking it
  // would move a restored value's last bits.
  if (static_cast<float>(param->Value()) == port) return param->Value();
  return HostPlainValue(*param, LV2PortValueOnGrid(*param, static_cast<double>(port)))
      .value_or(param->Value());
}

bool IPlugLV2::UnseenPortValue(int paramIdx, float& value) const {
  if (!mControls || paramIdx < 0 || paramIdx >= mNumControls) return false;
  const float* port = mControls[paramIdx].load(std::memory_order_acquire);
  if (!port) return false;
  value = *port;
  // Hosts clamp nothing and may send anything; a NaN or an infinity is not a value.
  if (!std::isfinite(value)) return false;
  return value != mPortSeen[paramIdx].load(std::memory_order_acquire);
}

void IPlugLV2::ReadControlPorts() noexcept {
  for (int i = 0; i < mNumControls; ++i) {
    float value = 0.f;
    if (!UnseenPortValue(i, value)) continue;
    mPortSeen[i].store(value, std::memory_order_release);
    IParam* param = GetParam(i);
    const double before = param->Value();
    param->SetValue(ValueFromPort(i, value));
    if (param->Value() == before) continue;
    SendParamValueToEditor(i, param->Value(), false);
    // Read inside run(): a change at the block's start, on the audio thread.
    OnParamChange(i, kHost, 0);
  }
  if (mFreeWheeling && std::isfinite(*mFreeWheeling))
    SetHostRenderingOffline(*this, *mFreeWheeling > 0.5f);
}

void IPlugLV2::Run(uint32_t sampleCount) noexcept {
  // For the whole callback: copying the host's denormal floats in is a slow path too.
  ScopedDenormalGuard denormals;
  const int n = static_cast<int>(std::min<uint32_t>(sampleCount, INT32_MAX));
  ReadControlPorts();
  // LV2 processes at any value above 0; not connected (or not a number) is enabled too.
  const bool bypass = mEnabled && std::isfinite(*mEnabled) && *mEnabled <= 0.f;
  if (mFirstRunAfterActivation) {
    mFirstRunAfterActivation = false;
    SettleHostBypass(bypass);
    SettleAfterReset();
    ReportPendingLatency();
  }
  const int capacity = std::max(GetBlockCapacity(), 1);
  for (int offset = 0; offset < n; offset += capacity)
    RenderPiece(bypass, offset, std::min(capacity, n - offset));
  // The latency port describes the audio this run produced.
  ReportPendingLatency();

  mFramesSinceIdle += n;
  if (mFramesSinceIdle >= mIdleInterval) {
    mFramesSinceIdle %= mIdleInterval;
    OnIdleTimer();
  }
  if (mLatencyOut) *mLatencyOut = static_cast<float>(GetLatency());
  for (size_t m = 0; m < mMonitorOut.size(); ++m) {
    if (!mMonitorOut[m]) continue;
    const float level = MonitorLevel(static_cast<int>(m));
    *mMonitorOut[m] = std::isfinite(level) ? std::clamp(level, 0.f, 1.f) : 0.f;
  }
}

void IPlugLV2::RenderPiece(bool bypass, int offset, int n) noexcept {
  const int channels = static_cast<int>(mAudioIn.size());
  SetChannelsConnected(kInput, 0, channels, true);
  SetChannelsConnected(kInput, channels, NChannels(kInput) - channels, false);
  SetChannelsConnected(kOutput, 0, channels, true);
  SetChannelsConnected(kOutput, channels, NChannels(kOutput) - channels, false);
  // The inputs are copied before anything is written: the host may hand the same buffers out.
  BindHostBuffers(kInput, 0, channels, const_cast<float* const*>(mAudioIn.data()), n, offset);
  BindHostBuffers(kOutput, 0, channels, mAudioOut.data(), n, offset);
  if (bypass != GetBypassed()) OnHostBypassChanged(bypass);
  RenderWithHostBypass(bypass, PluginHandlesBypass(), n, mAudioOut.data(), offset, channels, [] {});
}

const void* IPlugLV2::ExtensionData(const char* uri) noexcept {
  static const LV2_State_Interface kState = {
      [](LV2_Handle instance, LV2_State_Store_Function store, LV2_State_Handle handle,
         uint32_t flags, const LV2_Feature* const* features) {
        return static_cast<IPlugLV2*>(instance)->SaveState(store, handle, flags, features);
      },
      [](LV2_Handle instance, LV2_State_Retrieve_Function retrieve, LV2_State_Handle handle,
         uint32_t flags, const LV2_Feature* const* features) {
        return static_cast<IPlugLV2*>(instance)->RestoreState(retrieve, handle, flags, features);
      }};
  static const LV2_Options_Interface kOptions = {
      [](LV2_Handle instance, LV2_Options_Option* options) {
        return static_cast<IPlugLV2*>(instance)->GetOptions(options);
      },
      [](LV2_Handle instance, const LV2_Options_Option* options) {
        return static_cast<IPlugLV2*>(instance)->SetOptions(options);
      }};
  static const LV2_Worker_Interface kWorker = {
      [](LV2_Handle instance, LV2_Worker_Respond_Function, LV2_Worker_Respond_Handle, uint32_t,
         const void*) {
        try {
          static_cast<IPlugLV2*>(instance)->DoDeferredWork();
          return LV2_WORKER_SUCCESS;
        } catch (...) {
          return LV2_WORKER_ERR_UNKNOWN;  // asked for again by a later block
        }
      },
      [](LV2_Handle, uint32_t, const void*) { return LV2_WORKER_SUCCESS; }, nullptr};
  if (!uri) return nullptr;
  if (std::strcmp(uri, LV2_WORKER__interface) == 0) return &kWorker;
  if (std::strcmp(uri, LV2_STATE__interface) == 0) return &kState;
  if (std::strcmp(uri, LV2_OPTIONS__interface) == 0) return &kOptions;
  return nullptr;
}

LV2_State_Status IPlugLV2::SaveState(LV2_State_Store_Function store, LV2_State_Handle handle,
                                     uint32_t, const LV2_Feature* const*) noexcept {
  if (!store || !mURIDs.stateKey || !mURIDs.atomChunk) return LV2_STATE_ERR_NO_FEATURE;
  try {
    // Values the host has put on the ports since the plug-in last saw them are the session's:
    // a host may save before it has run the plug-in at all. They are only read here; run()
    // takes them.
    std::vector<double> values(static_cast<size_t>(NParams()));
    for (int i = 0; i < NParams(); ++i) {
      float port = 0.f;
      values[static_cast<size_t>(i)] =
          UnseenPortValue(i, port) ? ValueFromPort(i, port) : GetParam(i)->Value();
    }
    IStateChunk chunk;
    if (!EncodeStateImage(values, chunk)) return LV2_STATE_ERR_UNKNOWN;
    return store(handle, mURIDs.stateKey, chunk.Data(), static_cast<size_t>(chunk.Size()),
                 mURIDs.atomChunk, LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE);
  } catch (...) {
    return LV2_STATE_ERR_UNKNOWN;
  }
}

LV2_State_Status IPlugLV2::RestoreState(LV2_State_Retrieve_Function retrieve,
                                        LV2_State_Handle handle, uint32_t,
                                        const LV2_Feature* const*) noexcept {
  if (!retrieve || !mURIDs.stateKey || !mURIDs.atomChunk) return LV2_STATE_ERR_NO_FEATURE;
  size_t size = 0;
  uint32_t type = 0;
  uint32_t flags = 0;
  const void* data = retrieve(handle, mURIDs.stateKey, &size, &type, &flags);
  if (!data) return LV2_STATE_ERR_NO_PROPERTY;
  // A foreign or damaged blob must not move a single parameter.
  if (type != mURIDs.atomChunk) return LV2_STATE_ERR_BAD_TYPE;
  try {
    if (RestoreStateImage(*this, std::span<const uint8_t>(static_cast<const uint8_t*>(data),
                                                          size)) != EStateImage::kRestored)
      return LV2_STATE_ERR_UNKNOWN;
    // The ports still hold what they held: only a value the host writes to one after this
    // counts. A port not connected yet counts from the value restored.
    for (int i = 0; i < mNumControls; ++i) {
      const float* port = mControls[i].load(std::memory_order_acquire);
      const float seen =
          port && std::isfinite(*port) ? *port : static_cast<float>(GetParam(i)->Value());
      mPortSeen[i].store(seen, std::memory_order_release);
    }
    return LV2_STATE_SUCCESS;
  } catch (...) {
    return LV2_STATE_ERR_UNKNOWN;
  }
}

void IPlugLV2::BeginParamGesture(int paramIdx) {
  if (mUIHostLink) mUIHostLink->ParamGesture(paramIdx, true);
}

void IPlugLV2::EndParamGesture(int paramIdx) {
  if (mUIHostLink) mUIHostLink->ParamGesture(paramIdx, false);
}

void IPlugLV2::InformHostOfParam(int paramIdx, double) {
  // The port carries the value in the parameter's units, as the description declares it.
  if (const IParam* param = GetParam(paramIdx); param && mUIHostLink)
    mUIHostLink->ParamValue(paramIdx, param->Value());
}

bool IPlugLV2::ResizeEditor(int width, int height) {
  return mUIHostLink && mUIHostLink->ResizeRequest(width, height);
}

uint32_t IPlugLV2::GetOptions(LV2_Options_Option*) const noexcept {
  return LV2_OPTIONS_ERR_UNKNOWN;
}

uint32_t IPlugLV2::SetOptions(const LV2_Options_Option* options) noexcept {
  // New block lengths take effect with the next activation, which sizes the buffers.
  ReadOptions(options);
  return LV2_OPTIONS_SUCCESS;
}

}  // namespace iplug

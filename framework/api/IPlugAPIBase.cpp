#include "framework/api/IPlugAPIBase.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "framework/IPlugConstants.h"
#include "framework/IPlugUtilities.h"
#include "graphics/IGraphics.h"

namespace iplug {

namespace {

struct HostRow {
  const char* substring;
  int32_t id;
};

// Searched top to bottom with the first match winning, so longer names come before their
// prefixes ("wavelab elements" before "wavelab") and catch-alls ("standalone", "www") come last.
constexpr HostRow kHostTable[] = {
    {"reaper", 1},         {"protools", 2},
    {"cubase", 3},         {"nuendo", 4},
    {"cakewalk", 5},       {"vegas", 6},
    {"fruity", 7},         {"samplitude", 8},
    {"live", 9},           {"tracktion", 10},
    {"ntracks", 11},       {"melodyne", 12},
    {"vstmanlib", 13},     {"aulab", 14},
    {"forte", 15},         {"chainer", 16},
    {"audition", 17},      {"orion", 18},
    {"bias", 19},          {"sawstudio", 20},
    {"logic", 21},         {"garageband", 22},
    {"digital", 23},       {"audiomulch", 25},
    {"presonus", 26},      {"vst3plugintesthost", 27},
    {"ardour", 28},        {"renoise", 29},
    {"openmpt", 30},       {"wavelab elements", 32},
    {"wavelab", 31},       {"twistedwave", 33},
    {"bitwig studio", 34}, {"reason", 36},
    {"gwvst", 37},         {"waveform", 38},
    {"audacity", 39},      {"acoustica", 40},
    {"plugindoctor", 41},  {"izotope rx", 42},
    {"savihost", 43},      {"blue cat's vst host", 44},
    {"mixbus", 45},        {"standalone", 24},
    {"www", 35},
};

std::string Truncated(const char* text) {
  if (!text) return {};
  return std::string(text, strnlen(text, kMaxConfigNameLen));
}

}  // namespace

IPlugAPIBase::IPlugAPIBase(const PluginConfig& config, int32_t apiKind)
    : IPluginBase(config.nParams, config.nPresets) {
  mPluginName = Truncated(config.pluginName);
  mProductName = Truncated(config.productName);
  mMfrName = Truncated(config.mfrName);
  mUniqueID = config.uniqueID;
  mMfrID = config.mfrID;
  mVersion = config.vendorVersion;
  mHasUI = config.plugHasUI;
  mHostResize = config.plugHostResize;
  SetEditorSize(config.plugWidth, config.plugHeight);
  SetSizeConstraints(std::min(config.plugMinWidth, config.plugMaxWidth),
                     std::max(config.plugMinWidth, config.plugMaxWidth),
                     std::min(config.plugMinHeight, config.plugMaxHeight),
                     std::max(config.plugMinHeight, config.plugMaxHeight));
  mStateChunks = config.plugDoesChunks;
  mBundleID = config.bundleID ? config.bundleID : "";
  mAppGroupID = config.appGroupID ? config.appGroupID : "";
  mAPI = apiKind;

  TraceHook("iplug::IPlugAPIBase::IPlugAPIBase", __LINE__, "%s:%s", mPluginName.c_str(),
            LocalTimeStamp(std::time(nullptr)).c_str());
}

IPlugAPIBase::~IPlugAPIBase() {
  // A tick after this point would reach a half-destroyed object.
  mIdleTimer.reset();
}

std::string IPlugAPIBase::LocalTimeStamp(std::time_t when) {
  std::tm local{};
  std::tm utc{};
  localtime_r(&when, &local);
  gmtime_r(&when, &utc);

  int offset = (local.tm_hour * 60 + local.tm_min) - (utc.tm_hour * 60 + utc.tm_min);
  const int dayDiff = local.tm_yday - utc.tm_yday;
  // The dates differ by at most one day; a larger gap is the turn of the year seen backwards.
  if (dayDiff == 1 || dayDiff < -1)
    offset += 1440;
  else if (dayDiff == -1 || dayDiff > 1)
    offset -= 1440;

  char text[64];
  const size_t length = std::strftime(text, sizeof text, "%Y%m%d %H:%M ", &local);
  const int absOffset = std::abs(offset);
  std::snprintf(text + length, sizeof text - length, "%c%02d%02d", offset < 0 ? '-' : '+',
                absOffset / 60, absOffset % 60);
  return text;
}

int32_t IPlugAPIBase::HostIdFromName(const char* name) {
  if (!name) return 0;
  char lower[256];
  size_t n = 0;
  // ASCII only: the host may have set a locale in which tolower maps 'I' elsewhere.
  for (; n < sizeof lower - 1 && name[n]; ++n)
    lower[n] =
        (name[n] >= 'A' && name[n] <= 'Z') ? static_cast<char>(name[n] - 'A' + 'a') : name[n];
  lower[n] = '\0';
  for (const HostRow& row : kHostTable)
    if (std::strstr(lower, row.substring)) return row.id;
  return 0;
}

std::string IPlugAPIBase::VersionText(int32_t packedVersion) {
  char text[32];
  std::snprintf(text, sizeof text, "v%d.%d.%d", packedVersion >> 16, (packedVersion >> 8) & 0xFF,
                packedVersion & 0xFF);
  return text;
}

void IPlugAPIBase::SetHost(const char* name, int32_t version) {
  mHostName = name ? name : "";
  mHostID = HostIdFromName(name);
  mHostVersion = version;
  TraceHook("iplug::IPlugAPIBase::SetHost", __LINE__, "host_%sknown:%s:%s",
            mHostID == 0 ? "un" : "", mHostName.c_str(), VersionText(version).c_str());
  HostSpecificInit();
  OnHostIdentified();
}

void IPlugAPIBase::CreateIdleTimer() {
  mIdleTimer.reset();
  mIdleTimer = Timer::Create([this](Timer&) { OnIdleTimer(); }, kIdleTimerMs);
}

void IPlugAPIBase::OnIdleTimer() {
  if (HasUI()) {
    ParamChange change;
    while (mParamChangeToEditor.Pop(change))
      SendParamValueToControls(change.paramIdx, change.value, false);
    MidiMessage midi;
    while (mMidiToEditor.Pop(midi)) SendMidiToEditor(midi);
    SysExRecord sysex;
    while (mSysExToEditor.Pop(sysex)) SendSysExToEditor(sysex);
  }
  OnIdleTick();
}

void IPlugAPIBase::SetParameterValueFromEditor(int paramIdx, double normalized) {
  IParam* param = GetParam(paramIdx);
  if (!param) return;
  param->SetNormalizedValue(normalized);
  InformHostOfParam(paramIdx, normalized);
  OnParamChange(paramIdx, kUI, -1);
}

bool IPlugAPIBase::StateMatches(std::span<const uint8_t> state, int startValue) const {
  if (startValue < 0) return false;
  const size_t first = static_cast<size_t>(startValue) * 8;
  const size_t needed = static_cast<size_t>(NParams()) * 8;
  if (first > state.size() || state.size() - first < needed) return false;
  for (int i = 0; i < NParams(); ++i) {
    uint64_t bits = 0;
    const uint8_t* bytes = state.data() + first + static_cast<size_t>(i) * 8;
    for (int b = 0; b < 8; ++b) bits |= static_cast<uint64_t>(bytes[b]) << (8 * b);
    double stored;
    std::memcpy(&stored, &bits, sizeof stored);
    // In float32, so that a state that went through a float32 host value still matches.
    const float difference = static_cast<float>(GetParam(i)->Value()) - static_cast<float>(stored);
    if (!(std::fabs(static_cast<double>(difference)) < 0.00001)) return false;
  }
  return true;
}

void IPlugAPIBase::AppendParamIndexList(int count, IStateChunk& chunk) const {
  if (count >= NParams()) return;
  for (int32_t i = 0; i < count; ++i) chunk.Put(i);
}

bool IPlugAPIBase::GetMidiNoteText(int noteNumber, std::string& text) const {
  text.clear();
  return false;
}

IPlugAAXView_Interface* IPlugAPIBase::GetAAXViewInterface() {
  return GetUI();
}

void IPlugAPIBase::SendParamValueToEditor(int paramIdx, double value, bool normalized) {
  const IParam* param = GetParam(paramIdx);
  if (!param) return;
  if (normalized) value = param->Denormalize(value);
  mParamChangeToEditor.Push(ParamChange{paramIdx, value});
}

void IPlugAPIBase::RefreshAllParamsFromEditor() {
  for (int i = 0; i < NParams(); ++i) InformHostOfParam(i, GetParam(i)->NormalizedValue());
}

bool IPlugAPIBase::RestorePresetFromEditor(int index) {
  const std::vector<double> values = PresetValues(index);
  if (values.empty()) return false;
  const int n = std::min(static_cast<int>(values.size()), NParams());
  for (int i = 0; i < n; ++i) BeginEditFromEditor(i);
  for (int i = 0; i < n; ++i) {
    const IParam* param = GetParam(i);
    const double normalized = param->Normalize(param->Conform(values[static_cast<size_t>(i)]));
    SetParamFromEditor(i, normalized);
    SendParamValueToControls(i, normalized, true);
  }
  for (int i = 0; i < n; ++i) EndEditFromEditor(i);
  return true;
}

void IPlugAPIBase::BeginEditFromEditor(int paramIdx) {
  BeginParamGesture(paramIdx);
}

void IPlugAPIBase::SetParamFromEditor(int paramIdx, double normalized) {
  SetParameterValueFromEditor(paramIdx, normalized);
  IGEditorDelegate::SetParamFromEditor(paramIdx, normalized);
}

void IPlugAPIBase::EndEditFromEditor(int paramIdx) {
  EndParamGesture(paramIdx);
}

bool IPlugAPIBase::RequestEditorResize(int width, int height, bool needsPlatformResize) {
  return needsPlatformResize ? ResizeEditor(width, height) : true;
}

void IPlugAPIBase::SendMidiFromEditor(const MidiMessage& message) {
  QueueMidiFromEditor(message);
}

void IPlugAPIBase::SendSysExFromEditor(const SysExRecord& message) {
  QueueSysExFromEditor(message);
}

void IPlugAPIBase::SendMessageFromEditor(int msgTag, int ctrlTag, int dataSize, const void* data) {
  OnEditorMessage(msgTag, ctrlTag, dataSize, data);
}

void IPlugAPIBase::QueueMidiFromEditor(const MidiMessage& message) {
  mMidiFromEditor.Push(message);
}

void IPlugAPIBase::QueueSysExFromEditor(const SysExRecord& message) {
  mSysExFromEditor.Push(message);
}

}  // namespace iplug

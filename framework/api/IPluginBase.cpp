#include "framework/api/IPluginBase.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>

#include "framework/IPlugUtilities.h"

namespace iplug {

namespace {

// The image is little-endian whatever the machine, since hosts move projects between machines.
void EncodeLittleEndian(double value, uint8_t (&bytes)[8]) {
  uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  for (int i = 0; i < 8; ++i) bytes[i] = static_cast<uint8_t>(bits >> (8 * i));
}

double DecodeLittleEndian(const uint8_t (&bytes)[8]) {
  uint64_t bits = 0;
  for (int i = 0; i < 8; ++i) bits |= static_cast<uint64_t>(bytes[i]) << (8 * i);
  double value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

}  // namespace

PresetSlot::PresetSlot() {
  std::strncpy(name.data(), "empty", name.size() - 1);
}

IPluginBase::IPluginBase(int nParams, int nPresets) : IGEditorDelegate(nParams) {
  for (int i = 0; i < nPresets; ++i) mPresets.push_back(std::make_unique<PresetSlot>());
}

IPluginBase::~IPluginBase() = default;

PresetSlot* IPluginBase::GetPreset(int index) {
  return (index >= 0 && index < NPresets()) ? mPresets[static_cast<size_t>(index)].get() : nullptr;
}

const PresetSlot* IPluginBase::GetPreset(int index) const {
  return (index >= 0 && index < NPresets()) ? mPresets[static_cast<size_t>(index)].get() : nullptr;
}

bool IPluginBase::MakeFactoryPreset(int index, const char* name, const char* description,
                                    std::span<const double> values) {
  PresetSlot* slot = GetPreset(index);
  if (!slot || !name || std::strlen(name) >= slot->name.size() ||
      values.size() > static_cast<size_t>(NParams()))
    return false;
  std::vector<double> conformed(values.size());
  for (size_t i = 0; i < values.size(); ++i) {
    if (!std::isfinite(values[i])) return false;
    conformed[i] = GetParam(static_cast<int>(i))->Conform(values[i]);
  }
  IStateChunk image;
  if (!EncodeStateImage(conformed, image)) return false;
  slot->name.fill('\0');
  std::memcpy(slot->name.data(), name, std::strlen(name));
  slot->description = description ? description : "";
  slot->chunk = std::move(image);
  slot->initialized = true;
  return true;
}

int IPluginBase::FindPreset(std::string_view name) const {
  auto lower = [](char c) {
    return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  };
  for (int i = 0; i < NPresets(); ++i) {
    const PresetSlot* slot = GetPreset(i);
    const std::string_view slotName(slot->name.data());
    if (slot->initialized && slotName.size() == name.size() &&
        std::equal(slotName.begin(), slotName.end(), name.begin(),
                   [&](char a, char b) { return lower(a) == lower(b); }))
      return i;
  }
  return -1;
}

std::vector<double> IPluginBase::PresetValues(int index) const {
  const PresetSlot* slot = GetPreset(index);
  if (!slot || !slot->initialized) return {};
  const std::span<const uint8_t> image(slot->chunk.Data(), static_cast<size_t>(slot->chunk.Size()));
  std::vector<double> values(static_cast<size_t>(NParams()));
  const int n = DecodeStateImage(image, values);
  if (n < 0) return {};
  values.resize(static_cast<size_t>(n));
  return values;
}

bool IPluginBase::RestorePreset(int index) {
  const std::vector<double> values = PresetValues(index);
  if (values.empty()) return false;
  ApplyStateValues(values);
  return true;
}

bool IPluginBase::WriteState(IStateChunk& chunk) const {
  return SerializeParams(chunk);
}

int IPluginBase::ReadState(const IStateChunk& chunk, int startPos) {
  return UnserializeParams(chunk, startPos);
}

bool IPluginBase::SerializeParams(IStateChunk& chunk) const {
  bool ok = true;
  for (int i = 0; i < NParams(); ++i) {
    const IParam* param = GetParam(i);
    const double value = param->Value();
    TraceHook("iplug::IPluginBase::SerializeParams", __LINE__, "%d %s %f", i, param->Name(), value);
    uint8_t bytes[8];
    EncodeLittleEndian(value, bytes);
    ok = chunk.PutBytes(bytes, 8) > 0 && ok;
  }
  return ok;
}

int IPluginBase::DecodeStateImage(std::span<const uint8_t> image, std::span<double> values) {
  const size_t count = std::min(image.size() / 8, values.size());
  for (size_t i = 0; i < count; ++i) {
    uint8_t bytes[8];
    std::memcpy(bytes, image.data() + 8 * i, 8);
    values[i] = DecodeLittleEndian(bytes);
    if (!std::isfinite(values[i])) return -1;
  }
  return static_cast<int>(count);
}

bool IPluginBase::EncodeStateImage(std::span<const double> values, IStateChunk& chunk) {
  bool ok = true;
  for (const double value : values) {
    uint8_t bytes[8];
    EncodeLittleEndian(value, bytes);
    ok = chunk.PutBytes(bytes, 8) > 0 && ok;
  }
  return ok;
}

void IPluginBase::ApplyStateValues(std::span<const double> values) {
  for (size_t i = 0; i < values.size() && static_cast<int>(i) < NParams(); ++i)
    GetParam(static_cast<int>(i))->SetValue(values[i]);
  OnParamsReset(kPresetRecall);
}

int IPluginBase::UnserializeParams(const IStateChunk& chunk, int startPos) {
  int pos = startPos;
  for (int i = 0; i < NParams() && pos >= 0; ++i) {
    uint8_t bytes[8];
    pos = chunk.GetBytes(bytes, 8, pos);
    if (pos < 0) break;
    IParam* param = GetParam(i);
    const double value = DecodeLittleEndian(bytes);
    TraceHook("iplug::IPluginBase::UnserializeParams", __LINE__, "%d %s %f", i, param->Name(),
              value);
    // A damaged or hostile image must not put a non-finite value on the audio path.
    if (std::isfinite(value)) param->SetValue(value);
  }
  OnParamsReset(kPresetRecall);
  return pos;
}

}  // namespace iplug

#include "framework/api/IPlugHostBridge.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "framework/IPlugStateChunk.h"

namespace iplug {

std::optional<double> HostPlainValue(const IParam& param, double plain) {
  if (!std::isfinite(plain)) return std::nullopt;
  return param.Conform(plain);
}

std::optional<double> HostNormalizedValue(const IParam& param, double normalized) {
  if (!std::isfinite(normalized)) return std::nullopt;
  return param.Denormalize(std::clamp(normalized, 0.0, 1.0));
}

double HostNormalized(const IParam& param, double plain) {
  return std::clamp(param.Normalize(plain), 0.0, 1.0);
}

bool ApplyHostValue(IPlugAPIBase& plug, int paramIdx, double plain) {
  IParam* param = plug.GetParam(paramIdx);
  if (!param) return false;
  const std::optional<double> value = HostPlainValue(*param, plain);
  if (!value || *value == param->Value()) return false;
  param->SetValue(*value);
  plug.SendParamValueToEditor(paramIdx, param->Value(), false);
  plug.OnParamChange(paramIdx, kHost, -1);
  return true;
}

bool ApplyHostNormalized(IPlugAPIBase& plug, int paramIdx, double normalized) {
  IParam* param = plug.GetParam(paramIdx);
  if (!param || !std::isfinite(normalized)) return false;
  const double before = param->Value();
  if (param->NormalizedValue() != normalized) {
    if (const std::optional<double> value = HostNormalizedValue(*param, normalized))
      param->SetValue(*value);
  }
  // Told even when it holds the value already: the host may expect its echo to be heard.
  plug.SendParamValueToEditor(paramIdx, param->Value(), false);
  plug.OnParamChange(paramIdx, kHost, -1);
  return param->Value() != before;
}

namespace {

bool HasValueTexts(const IParam& param) {
  return (param.Kind() == kKindBool || param.Kind() == kKindEnum) && param.ValueTextCount() > 0;
}

}  // namespace

std::string HostValueText(const IParam& param, double plain) {
  if (HasValueTexts(param)) {
    const char* text = param.ValueTextFor(std::trunc(param.Conform(plain)));
    return text ? text : "";
  }
  char number[64];
  const int decimals = param.Kind() == kKindInt ? 0 : 2;
  const double shown = param.Kind() == kKindInt ? std::floor(plain + 0.5) : plain;
  const int written = std::snprintf(number, sizeof number, "%.*f", decimals, shown);
  if (written < 0 || written >= static_cast<int>(sizeof number)) return "";
  // A small negative value rounds to "-0.00", which reads back as 0 and shows as "0.00": the
  // text and the value agree at once, and a round trip is stable.
  if (number[0] == '-' && std::strspn(number + 1, "0.") == std::strlen(number + 1))
    std::memmove(number, number + 1, std::strlen(number));
  return std::string(number) + param.Label();
}

std::optional<double> HostTextValue(const IParam& param, std::string_view text) {
  // As AAX parses: a switch's or list's text exactly; a number with blanks around it, the unit
  // directly at the end.
  if (HasValueTexts(param)) {
    for (int i = 0; i < param.ValueTextCount(); ++i) {
      double value = 0.0;
      const char* entry = param.ValueTextAt(i, &value);
      if (entry && text == entry) return value;
    }
    return std::nullopt;
  }
  std::string number(text);
  const std::string unit = param.Label();
  if (!unit.empty() && number.size() > unit.size() &&
      number.compare(number.size() - unit.size(), unit.size(), unit) == 0)
    number.resize(number.size() - unit.size());
  const char* begin = number.c_str();
  char* end = nullptr;
  errno = 0;
  const double value = std::strtod(begin, &end);
  if (end == begin || errno == ERANGE || !std::isfinite(value)) return std::nullopt;
  while (*end == ' ' || *end == '\t') ++end;
  if (*end != '\0') return std::nullopt;
  return param.Kind() == kKindInt ? std::floor(value + 0.5) : value;
}

EStateImage RestoreStateImage(IPluginBase& plug, std::span<const uint8_t> image) {
  std::vector<double> values(static_cast<size_t>(plug.NParams()));
  if (IPluginBase::DecodeStateImage(image, values) < 0) return EStateImage::kMalformed;
  // Through the plug-in's own reading of its state, which a product may extend.
  IStateChunk chunk;
  if (!image.empty())
    chunk.PutBytes(image.data(), static_cast<int32_t>(std::min<size_t>(image.size(), INT32_MAX)));
  plug.ReadState(chunk, 0);
  plug.OnStateRestored();
  return EStateImage::kRestored;
}

std::vector<uint8_t> StateImageOf(const IPluginBase& plug) {
  IStateChunk chunk;
  plug.WriteState(chunk);
  return std::vector<uint8_t>(chunk.Data(), chunk.Data() + chunk.Size());
}

bool SetHostRenderingOffline(IPlugProcessor& processor, bool offline) {
  if (offline == processor.GetRenderingOffline()) return false;
  processor.SetRenderingOffline(offline);
  processor.OnRenderingOfflineChanged();
  return true;
}

}  // namespace iplug

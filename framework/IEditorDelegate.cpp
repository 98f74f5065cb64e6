#include "framework/IEditorDelegate.h"

#include <algorithm>

#include "framework/IPlugUtilities.h"

namespace iplug {

IEditorDelegate::IEditorDelegate(int nParams) {
  for (int i = 0; i < nParams; ++i) mParams.push_back(std::make_unique<IParam>());
}

IEditorDelegate::~IEditorDelegate() = default;

IParam* IEditorDelegate::GetParam(int index) {
  return (index >= 0 && index < NParams()) ? mParams[static_cast<size_t>(index)].get() : nullptr;
}

const IParam* IEditorDelegate::GetParam(int index) const {
  return (index >= 0 && index < NParams()) ? mParams[static_cast<size_t>(index)].get() : nullptr;
}

void* IEditorDelegate::OpenWindow(void* /*parent*/) {
  OnEditorOpen();
  return nullptr;
}

void IEditorDelegate::CloseWindow() {
  OnEditorClose();
}

void IEditorDelegate::OnEditorOpen() {
  for (int i = 0; i < NParams(); ++i)
    SendParamValueToControls(i, mParams[static_cast<size_t>(i)]->NormalizedValue(), true);
}

void IEditorDelegate::OnStateRestored() {
  for (int i = 0; i < NParams(); ++i)
    SendParamValueToControls(i, mParams[static_cast<size_t>(i)]->NormalizedValue(), true);
}

void IEditorDelegate::OnParamChange(int paramIdx, EParamSource source, int /*sampleOffset*/) {
  TraceHook("iplug::IEditorDelegate::OnParamChange", __LINE__, "idx:%i src:%s\n", paramIdx,
            ParamSourceName(source));
  OnParamChange(paramIdx);
}

void IEditorDelegate::OnParamsReset(EParamSource source) {
  for (int i = 0; i < NParams(); ++i) {
    OnParamChange(i, source, -1);
    OnEditorParamChange(i, source);
  }
}

void IEditorDelegate::SendControlMessage(int ctrlTag, int msgTag, int dataSize, const void* data) {
  OnEditorMessage(msgTag, ctrlTag, dataSize, data);
}

void IEditorDelegate::SendEditorMessage(int msgTag, int dataSize, const void* data) {
  OnEditorMessage(msgTag, -1, dataSize, data);
}

void IEditorDelegate::SendMidiToEditor(const MidiMessage& message) {
  OnEditorMidi(message);
}

void IEditorDelegate::SendSysExToEditor(const SysExRecord& message) {
  OnEditorSysEx(message);
}

void IEditorDelegate::SendParamValueToControls(int paramIdx, double /*value*/,
                                               bool /*normalized*/) {
  OnEditorParamChange(paramIdx, kDelegate);
}

void IEditorDelegate::SetParamFromEditor(int paramIdx, double normalized) {
  if (IParam* param = GetParam(paramIdx)) param->SetNormalizedValue(normalized);
  OnEditorParamChange(paramIdx, kUI);
}

bool IEditorDelegate::ClampEditorSize(int& width, int& height) const {
  if (width >= mMinWidth && width <= mMaxWidth && height >= mMinHeight && height <= mMaxHeight)
    return true;
  width = std::min(mMaxWidth, std::max(width, mMinWidth));
  height = std::min(mMaxHeight, std::max(height, mMinHeight));
  return false;
}

}  // namespace iplug

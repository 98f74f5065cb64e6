#pragma once

#include <string>
#include <vector>

#include "framework/IPlugConfig.h"
#include "framework/api/IPlugAPIBase.h"

namespace apitest {

inline iplug::PluginConfig MakeConfig(int nParams = 12, bool hasUI = true) {
  iplug::PluginConfig config;
  config.nParams = nParams;
  config.nPresets = 1;
  config.pluginName = "Corvane";
  config.productName = "Corvane";
  config.mfrName = "Pellumar";
  config.vendorVersion = 0x00040100;
  config.uniqueID = 0x6A723030;
  config.mfrID = 0x506C6D72;
  config.plugHasUI = hasUI;
  config.plugWidth = 650;
  config.plugHeight = 400;
  // Deliberately given the wrong way round: the base sorts each pair.
  config.plugMinWidth = 1950;
  config.plugMaxWidth = 216;
  config.plugMinHeight = 1200;
  config.plugMaxHeight = 133;
  return config;
}

/** Records the hooks the base calls, in order. */
class TestPlugin : public iplug::IPlugAPIBase {
 public:
  explicit TestPlugin(const iplug::PluginConfig& config = MakeConfig()) : IPlugAPIBase(config, 4) {
    for (int i = 0; i < NParams(); ++i) {
      const std::string name = "Param " + std::to_string(i);
      if (i == 2)
        GetParam(i)->DefineDouble(name.c_str(), 1.0, 0.0, 10.0, 0.25, "", iplug::kFlagStepped);
      else if (i == 3)
        GetParam(i)->DefineInt(name.c_str(), 2, 0, 8);
      else
        GetParam(i)->DefineDouble(name.c_str(), 1.0, 0.0, 10.0, 0.01);
    }
  }

  struct Call {
    std::string what;
    int index = -1;
    double value = 0.0;
    bool operator==(const Call&) const = default;
  };
  std::vector<Call> calls;
  int idleTicks = 0;
  bool resizeResult = false;

  void Log(const char* what, int index = -1, double value = 0.0) {
    calls.push_back({what, index, value});
  }
  std::vector<Call> CallsNamed(const std::string& what) const {
    std::vector<Call> out;
    for (const Call& c : calls)
      if (c.what == what) out.push_back(c);
    return out;
  }

  using IPlugAPIBase::OnParamChange;
  void OnParamChange(int paramIdx, iplug::EParamSource source, int sampleOffset) override {
    Log("change", paramIdx, source);
    IPlugAPIBase::OnParamChange(paramIdx, source, sampleOffset);
  }
  void OnEditorParamChange(int paramIdx, iplug::EParamSource source) override {
    Log("editorChange", paramIdx, source);
  }
  void OnParamsReset(iplug::EParamSource source) override {
    Log("reset", -1, source);
    IPlugAPIBase::OnParamsReset(source);
  }
  void SendParamValueToControls(int paramIdx, double value, bool normalized) override {
    Log(normalized ? "controlsNormalized" : "controls", paramIdx, value);
  }
  void OnEditorMidi(const iplug::MidiMessage& message) override {
    Log("midi", message.offset, message.status);
  }
  void OnEditorSysEx(const iplug::SysExRecord& message) override {
    Log("sysex", message.offset, message.size);
  }
  bool OnEditorMessage(int msgTag, int ctrlTag, int dataSize, const void* data) override {
    Log("message", ctrlTag, msgTag * 1000 + dataSize);
    return false;
  }
  void OnIdleTick() override { ++idleTicks; }
  void HostSpecificInit() override { Log("hostInit"); }
  void OnHostIdentified() override { Log("hostIdentified"); }
  bool ResizeEditor(int width, int height) override {
    Log("resize", width, height);
    return resizeResult;
  }
  void BeginParamGesture(int paramIdx) override { Log("begin", paramIdx); }
  void EndParamGesture(int paramIdx) override { Log("end", paramIdx); }
  void InformHostOfParam(int paramIdx, double normalized) override {
    Log("inform", paramIdx, normalized);
  }
};

}  // namespace apitest

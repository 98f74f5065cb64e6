#include "tests/framework/aax/AaxBindingHarness.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <stdexcept>

#include "aax/interfaces/AAX_Context.h"
#include "plugin/Corvane.h"

namespace aaxtest {

std::function<iplug::IPlugAAX*()> gMakePlug = [] { return new corvane::Corvane; };

std::function<iplug::AAXEffectConfig()> gMakeEffectConfig = [] {
  iplug::AAXEffectConfig effect;
  effect.config = corvane::MakeCorvaneConfig();
  effect.nativeIDs = {AAX_FourCC("TMN1"), AAX_FourCC("TMN2")};
  effect.audioSuiteIDs = {AAX_FourCC("TMA1"), AAX_FourCC("TMA2")};
  return effect;
};

const aaxhost::Description& ProductDescription() {
  static aaxhost::Collection collection;
  static const bool described = [] {
    AAX_VCollection wrapper(collection.GetUnknown());
    return iplug::DescribeEffect(wrapper, gMakeEffectConfig()) == AAX_SUCCESS;
  }();
  EXPECT_TRUE(described);
  return collection.Dump();
}

const aaxhost::Component& ProductComponent(AAX_CTypeID nativeID) {
  const aaxhost::Component* component =
      ProductDescription().effects.at(0).FindComponentByNativeID(nativeID);
  if (!component) throw std::runtime_error("no component for that native ID");
  return *component;
}

Instance::Instance(iplug::IPlugAAX* plug, float sampleRate, int channels)
    : mPlug(plug), mChannels(channels) {
  aaxhost::Controller& controller = mHost.GetController();
  controller.SetSampleRate(sampleRate);
  const int32_t format = AAX_StemFormatForChannelCount(channels);
  controller.SetStemFormats(format, format);
  controller.SetDataPorts({{AAX_eFieldIndex_StateNumber, 8}});
  mHost.SetEffectParameters(UnknownOf(mPlug));
  EXPECT_EQ(mPlug->Initialize(&mHost), AAX_SUCCESS);
  const aaxhost::Component& component =
      ProductComponent(AAX_FourCC(channels == 1 ? "TMN1" : "TMN2"));
  mContext = std::make_unique<aaxhost::AlgorithmContext>(component, &mHost.GetTransport());
  mContext->SetSampleRate(sampleRate);
  EXPECT_EQ(mContext->ResetPrivateData(*mPlug), AAX_SUCCESS);
}

Instance::~Instance() {
  mContext.reset();
  mPlug->Uninitialize();
  mHost.SetEffectParameters(nullptr);
  mPlug->Release();
}

void Instance::EchoSetValueRequests() {
  mHost.GetAutomationDelegate().SetSetValueHandler([this](const std::string& id, double value) {
    mPlug->UpdateParameterNormalizedValue(id.c_str(), value, AAX_eUpdateSource_Parameter);
  });
}

void Instance::Process(std::vector<std::vector<float>>& in, std::vector<std::vector<float>>& out,
                       int frames, int offset) {
  Prepare(in, out, frames, offset);
  Render();
}

void Instance::Render() {
  mContext->Process(&iplug::AAX_CIPlugParameters::RenderCallback);
}

void Instance::Prepare(std::vector<std::vector<float>>& in, std::vector<std::vector<float>>& out,
                       int frames, int offset) {
  mContext->DeliverPackets(mHost.GetController());
  float* inputs[2] = {};
  float* outputs[2] = {};
  for (int c = 0; c < mChannels; ++c) {
    inputs[c] = in[static_cast<size_t>(c)].data() + offset;
    outputs[c] = out[static_cast<size_t>(c)].data() + offset;
  }
  mContext->SetAudio(inputs, outputs, frames);
}

void Instance::ProcessAll(std::vector<std::vector<float>>& in, std::vector<std::vector<float>>& out,
                          int blockSize) {
  const int total = static_cast<int>(in.at(0).size());
  for (int done = 0; done < total; done += blockSize)
    Process(in, out, std::min(blockSize, total - done), done);
}

std::vector<std::vector<float>> Signal(int channels, int frames, float value) {
  return std::vector<std::vector<float>>(static_cast<size_t>(channels),
                                         std::vector<float>(static_cast<size_t>(frames), value));
}

}  // namespace aaxtest

namespace iplug {

IPlugAAX* MakePlug() {
  return aaxtest::gMakePlug();
}

AAXEffectConfig MakeEffectConfig() {
  return aaxtest::gMakeEffectConfig();
}

}  // namespace iplug

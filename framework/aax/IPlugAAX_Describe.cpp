#include "framework/aax/IPlugAAX_Describe.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <mutex>
#include <vector>

#include "aax/interfaces/AAX_Context.h"
#include "aax/library/AAX_Assert.h"
#include "aax/library/AAX_Exception.h"
#include "aax/library/AAX_VCollection.h"
#include "aax/library/AAX_VComponentDescriptor.h"
#include "aax/library/AAX_VEffectDescriptor.h"
#include "aax/library/AAX_VPropertyMap.h"
#include "framework/IPlugProcessor.h"
#include "framework/aax/IPlugAAX.h"
#include "framework/aax/IPlugAAX_GUI.h"

namespace iplug {

const AAX_CTypeID kMeterIDs[5] = {AAX_FourCC("mtrI"), AAX_FourCC("mtrO"), AAX_FourCC("mtrI"),
                                  AAX_FourCC("mtrO"), AAX_FourCC("mtrG")};

namespace {

// Placeholders keep every context field at the index the render callback reads it from.
constexpr int32_t kPlaceholderBytes = 4;

struct MeterDescription {
  AAX_CTypeID id;
  const char* name;
  int32_t type;
};

constexpr MeterDescription kMeters[] = {
    {AAX_FourCC("mtrI"), "Input", AAX_eMeterType_Input},
    {AAX_FourCC("mtrO"), "Output", AAX_eMeterType_Output},
};

std::mutex& CreationMutex() {
  static std::mutex mutex;
  return mutex;
}

int32_t StemFormatOfBus(const std::vector<BusSpec>& buses, size_t bus) {
  return bus < buses.size() ? AAX_StemFormatForChannelCount(buses[bus].numChannels)
                            : AAX_eStemFormat_None;
}

void FillSetupInfo(AlgorithmSetupInfo& setupInfo, const AAXEffectConfig& effect,
                   const ChannelLayout& layout, size_t configuration,
                   const std::string& midiNodeName) {
  const PluginConfig& config = effect.config;
  setupInfo.mInputStemFormat = StemFormatOfBus(layout.inputBuses, 0);
  setupInfo.mOutputStemFormat = StemFormatOfBus(layout.outputBuses, 0);
  const size_t auxStems = layout.outputBuses.empty() ? 0 : layout.outputBuses.size() - 1;
  setupInfo.mNumAuxOutputStems = static_cast<int32_t>(auxStems);
  for (size_t i = 0; i < auxStems && i < static_cast<size_t>(kMaxAuxOutputStems); ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "Output %i", static_cast<int>(i + 2));
    setupInfo.mAuxOutputStemNames[i] = name;
    setupInfo.mAuxOutputStemFormats[i] = StemFormatOfBus(layout.outputBuses, i + 1);
  }
  setupInfo.mNeedsInputMIDI = config.plugDoesMidiIn;
  setupInfo.mInputMIDINodeName = midiNodeName.c_str();
  setupInfo.mInputMIDIChannelMask = 1;
  setupInfo.mNeedsOutputMIDI = config.plugDoesMidiOut;
  setupInfo.mOutputMIDINodeName = midiNodeName.c_str();
  setupInfo.mOutputMIDIChannelMask = 1;
  setupInfo.mNeedsTransport = true;
  setupInfo.mNumMeters = 2;
  setupInfo.mMeterIDs = kMeterIDs;
  setupInfo.mManufacturerID = static_cast<AAX_CTypeID>(config.mfrID);
  setupInfo.mProductID = static_cast<AAX_CTypeID>(config.uniqueID);
  setupInfo.mPluginID = effect.nativeIDs[configuration];
  setupInfo.mAudiosuiteID = effect.audioSuiteIDs[configuration];
  setupInfo.mProperty60 = true;
  setupInfo.mProperty56 = 0;
}

}  // namespace

void AlgorithmSetupInfo::Reset() {
  mNeedsGlobalMIDI = false;
  mGlobalMIDINodeName = "GlobalMIDI";
  mGlobalMIDIEventMask = 0xFFFF;
  mNeedsInputMIDI = false;
  mInputMIDINodeName = "InputMIDI";
  mInputMIDIChannelMask = 0xFFFF;
  mNumAdditionalInputMIDINodes = 0;
  mNeedsOutputMIDI = false;
  mOutputMIDINodeName = "OutputMIDI";
  mOutputMIDIChannelMask = 0xFFFF;
  mNeedsTransport = false;
  mTransportMIDINodeName = "Transport";
  mNumMeters = 0;
  mMeterIDs = nullptr;
  mNumAuxOutputStems = 0;
  for (std::string& name : mAuxOutputStemNames) name.clear();
  mAuxOutputStemFormats.fill(AAX_eStemFormat_Mono);
  mHybridInputStemFormat = AAX_eStemFormat_None;
  mHybridOutputStemFormat = AAX_eStemFormat_None;
  mInputStemFormat = AAX_eStemFormat_Mono;
  mOutputStemFormat = AAX_eStemFormat_Mono;
  mProperty151 = false;
  mProperty60 = true;
  mNeedsSideChain = false;
  mManufacturerID = kAAX_TypeID_None;
  mProductID = kAAX_TypeID_None;
  mPluginID = kAAX_TypeID_None;
  mAudiosuiteID = kAAX_TypeID_None;
  mProperty304 = true;
  mProperty56 = 0;
}

std::string EffectIDFor(const PluginConfig& config) {
  std::string id = "com.";
  const auto append = [&id](const char* text) {
    for (const char* c = text ? text : ""; *c; ++c) {
      const unsigned char ch = static_cast<unsigned char>(*c);
      if (std::isalnum(ch) || ch == '-' || ch == '_') id += static_cast<char>(std::tolower(ch));
    }
  };
  append(config.mfrName);
  id += ".aax.";
  append(config.productName);
  return id;
}

AAX_Result DescribeAlgorithmComponent(AAX_VEffectDescriptor& effect,
                                      const AlgorithmSetupInfo& setupInfo) {
  AAX_CheckedResult err;
  AAX_VComponentDescriptor* component = effect.NewComponentDescriptor();
  if (!component) err = AAX_ERROR_NULL_OBJECT;

  AAX_ASSERT(setupInfo.mNumAdditionalInputMIDINodes <= kMaxAdditionalMIDINodes);
  AAX_ASSERT(setupInfo.mNumAuxOutputStems <= kMaxAuxOutputStems);
  AAX_ASSERT((AAX_eStemFormat_None != setupInfo.mHybridInputStemFormat) ==
             (AAX_eStemFormat_None != setupInfo.mHybridOutputStemFormat));

  const auto midiNodeOrPlaceholder = [&](AAX_CFieldIndex field, bool needed, int32_t type,
                                         const char* name, uint32_t mask) {
    if (needed)
      err = component->AddMIDINode(field, type, name, mask);
    else
      err = component->AddPrivateData(field, kPlaceholderBytes);
  };
  midiNodeOrPlaceholder(AAX_eFieldIndex_GlobalMIDINode, setupInfo.mNeedsGlobalMIDI,
                        AAX_eMIDINodeType_Global, setupInfo.mGlobalMIDINodeName,
                        setupInfo.mGlobalMIDIEventMask);
  midiNodeOrPlaceholder(AAX_eFieldIndex_InputMIDINode, setupInfo.mNeedsInputMIDI,
                        AAX_eMIDINodeType_LocalInput, setupInfo.mInputMIDINodeName,
                        setupInfo.mInputMIDIChannelMask);
  midiNodeOrPlaceholder(AAX_eFieldIndex_OutputMIDINode, setupInfo.mNeedsOutputMIDI,
                        AAX_eMIDINodeType_LocalOutput, setupInfo.mOutputMIDINodeName,
                        setupInfo.mOutputMIDIChannelMask);
  midiNodeOrPlaceholder(AAX_eFieldIndex_TransportNode, setupInfo.mNeedsTransport,
                        AAX_eMIDINodeType_Transport, setupInfo.mTransportMIDINodeName, 0xFFFF);
  for (int32_t i = 0; i < kMaxAdditionalMIDINodes; ++i)
    midiNodeOrPlaceholder(AAX_eFieldIndex_AdditionalMIDINodeFirst + i,
                          i < setupInfo.mNumAdditionalInputMIDINodes, AAX_eMIDINodeType_LocalInput,
                          setupInfo.mInputMIDINodeName, setupInfo.mInputMIDIChannelMask);

  err = component->AddAudioIn(AAX_eFieldIndex_AudioIn);
  err = component->AddAudioOut(AAX_eFieldIndex_AudioOut);
  err = component->AddAudioBufferLength(AAX_eFieldIndex_BufferLength);
  err = component->AddSampleRate(AAX_eFieldIndex_SampleRate);
  if (setupInfo.mNumMeters > 0)
    err = component->AddMeters(AAX_eFieldIndex_Meters, setupInfo.mMeterIDs,
                               static_cast<uint32_t>(setupInfo.mNumMeters));
  else
    err = component->AddPrivateData(AAX_eFieldIndex_Meters, kPlaceholderBytes);
  if (setupInfo.mNeedsSideChain) err = component->AddSideChainIn(AAX_eFieldIndex_SideChainIn);
  const int32_t auxStems = std::min(setupInfo.mNumAuxOutputStems, kMaxAuxOutputStems);
  for (int32_t i = 0; i < auxStems; ++i)
    err =
        component->AddAuxOutputStem(AAX_eFieldIndex_AuxOutputStemFirst + i,
                                    setupInfo.mAuxOutputStemFormats[static_cast<size_t>(i)],
                                    setupInfo.mAuxOutputStemNames[static_cast<size_t>(i)].c_str());
  err = component->AddPrivateData(AAX_eFieldIndex_PrivateData, sizeof(AAX_SIPlugPrivateData));
  err = component->AddDataInPort(AAX_eFieldIndex_StateNumber, sizeof(int64_t),
                                 AAX_eDataInPortType_Buffered);

  AAX_VPropertyMap* properties = component->NewPropertyMap();
  if (!properties) err = AAX_ERROR_NULL_OBJECT;
  if (setupInfo.mProperty151) err = properties->AddProperty(AAX_eProperty_151, 1);
  if (setupInfo.mHybridInputStemFormat != AAX_eStemFormat_None &&
      setupInfo.mHybridOutputStemFormat != AAX_eStemFormat_None) {
    err = properties->AddProperty(AAX_eProperty_HybridInputStemFormat,
                                  setupInfo.mHybridInputStemFormat);
    err = properties->AddProperty(AAX_eProperty_HybridOutputStemFormat,
                                  setupInfo.mHybridOutputStemFormat);
  }
  if (setupInfo.mNeedsSideChain)
    err = properties->AddProperty(AAX_eProperty_SupportsSideChainInput, 1);
  err = properties->AddProperty(AAX_eProperty_56, setupInfo.mProperty56);
  err = properties->AddProperty(AAX_eProperty_InputStemFormat, setupInfo.mInputStemFormat);
  err = properties->AddProperty(AAX_eProperty_OutputStemFormat, setupInfo.mOutputStemFormat);
  err = properties->AddProperty(AAX_eProperty_60, setupInfo.mProperty60 ? 1 : 0);
  err = properties->AddProperty(AAX_eProperty_300, 1);
  if (setupInfo.mNeedsTransport) err = properties->AddProperty(AAX_eProperty_UsesTransport, 1);
  err = properties->AddProperty(AAX_eProperty_ManufacturerID,
                                static_cast<int32_t>(setupInfo.mManufacturerID));
  err =
      properties->AddProperty(AAX_eProperty_ProductID, static_cast<int32_t>(setupInfo.mProductID));
  err = properties->AddProperty(AAX_eProperty_PlugInID_Native,
                                static_cast<int32_t>(setupInfo.mPluginID));
  if (setupInfo.mAudiosuiteID != kAAX_TypeID_None)
    err = properties->AddProperty(AAX_eProperty_PlugInID_AudioSuite,
                                  static_cast<int32_t>(setupInfo.mAudiosuiteID));
  if (!setupInfo.mProperty304) err = properties->AddProperty(AAX_eProperty_304, 0);

  err = component->AddProcessProc_Native(AAX_CIPlugParameters::RenderCallback, properties);
  err = effect.AddComponent(component);
  return err;
}

AAX_Result DescribeEffect(AAX_VCollection& collection, const AAXEffectConfig& effect) {
  const PluginConfig& config = effect.config;
  AAX_VEffectDescriptor* descriptor = collection.NewDescriptor();
  if (!descriptor) return AAX_ERROR_NULL_OBJECT;

  AAX_Result err = AAX_SUCCESS;
  const std::string names = config.pluginName ? config.pluginName : "";
  for (size_t start = 0; start <= names.size();) {
    const size_t end = std::min(names.find('\n', start), names.size());
    const std::string line = names.substr(start, end - start);
    if (line.empty()) break;
    err |= descriptor->AddName(line.c_str());
    collection.AddPackageName(line.c_str());
    start = end + 1;
  }
  err |= descriptor->AddCategory(AAX_ePlugInCategory_Harmonic);

  std::vector<ChannelLayout> layouts;
  int maxIn = 0, maxOut = 0, maxInBuses = 0, maxOutBuses = 0;
  IPlugProcessor::ParseChannelIO(config.channelIOStr, layouts, maxIn, maxOut, maxInBuses,
                                 maxOutBuses);
  // Configurations with a side-chain bus need a description of their own; none is offered.
  if (maxInBuses < 2) {
    const std::string midiNodeName =
        std::string(config.pluginName ? config.pluginName : "") + " Midi";
    const size_t described =
        std::min(layouts.size(), static_cast<size_t>(kMaxChannelConfigurations));
    for (size_t i = 0; i < described; ++i) {
      AlgorithmSetupInfo setupInfo;
      setupInfo.Reset();
      FillSetupInfo(setupInfo, effect, layouts[i], i, midiNodeName);
      err |= DescribeAlgorithmComponent(*descriptor, setupInfo);
      AAX_ASSERT(err == AAX_SUCCESS);
    }
  }

  err |= descriptor->AddProcPtr(CreateEffectParameters, kAAX_ProcPtrID_Create_EffectParameters);
  err |= descriptor->AddProcPtr(CreateEffectGUI, kAAX_ProcPtrID_Create_EffectGUI);

  for (const MeterDescription& meter : kMeters) {
    AAX_VPropertyMap* properties = descriptor->NewPropertyMap();
    if (!properties) {
      err |= AAX_ERROR_NULL_OBJECT;
      continue;
    }
    properties->AddProperty(AAX_eProperty_Meter_Type, meter.type);
    properties->AddProperty(AAX_eProperty_Meter_Orientation, AAX_eMeterOrientation_Default);
    descriptor->AddMeterDescription(meter.id, meter.name, properties);
  }

  if (err == AAX_SUCCESS) err = collection.AddEffect(EffectIDFor(config).c_str(), descriptor);
  AAX_ASSERT(err == AAX_SUCCESS);

  collection.SetManufacturerName(config.mfrName);
  collection.SetPackageVersion(static_cast<uint32_t>(config.vendorVersion));
  return err;
}

IACFUnknown* CreateEffectParameters() {
  try {
    std::lock_guard<std::mutex> lock(CreationMutex());
    IPlugAAX* plug = MakePlug();
    if (!plug) return nullptr;
    return static_cast<IACFUnknown*>(static_cast<AAX_IEffectParametersV1*>(plug));
  } catch (...) {
    return nullptr;
  }
}

IACFUnknown* CreateEffectGUI() {
  return AAX_CEffectGUI_IPLUG::Create();
}

}  // namespace iplug

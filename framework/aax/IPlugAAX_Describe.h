#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "aax/interfaces/AAX_Types.h"
#include "framework/IPlugConfig.h"

class AAX_VCollection;
class AAX_VEffectDescriptor;

namespace iplug {

constexpr int32_t kMaxAdditionalMIDINodes = 15;
constexpr int32_t kMaxAuxOutputStems = 32;
/** Channel configurations the type-ID tables cover. */
constexpr int kMaxChannelConfigurations = 2;

/** What the module describes: the product's configuration and its AAX type IDs. */
struct AAXEffectConfig {
  PluginConfig config;
  /** Per channel configuration, in the order of the channel I/O text. */
  std::array<AAX_CTypeID, kMaxChannelConfigurations> nativeIDs{};
  std::array<AAX_CTypeID, kMaxChannelConfigurations> audioSuiteIDs{};
};

/**
 * Provided by the product. [main] What the effect is described from, when the host reads the
 * description (ACFRegisterPlugin).
 */
AAXEffectConfig MakeEffectConfig();

/**
 * Meter IDs a configuration declares from the front of: 'mtrI', 'mtrO', 'mtrI', 'mtrO', 'mtrG'.
 * The host reads the codes as int32 in this binary's byte order.
 */
extern const AAX_CTypeID kMeterIDs[5];

/**
 * Everything one algorithm component is described from. Reset() gives the values a component
 * starts from; the properties 56, 60, 151 and 304 have no meaning this binding knows beyond the
 * value it must give them.
 */
struct AlgorithmSetupInfo {
  bool mNeedsGlobalMIDI;
  const char* mGlobalMIDINodeName;
  uint32_t mGlobalMIDIEventMask;
  bool mNeedsInputMIDI;
  const char* mInputMIDINodeName;
  uint32_t mInputMIDIChannelMask;
  int32_t mNumAdditionalInputMIDINodes;
  bool mNeedsOutputMIDI;
  const char* mOutputMIDINodeName;
  uint32_t mOutputMIDIChannelMask;
  bool mNeedsTransport;
  const char* mTransportMIDINodeName;
  int32_t mNumMeters;
  const AAX_CTypeID* mMeterIDs;
  int32_t mNumAuxOutputStems;
  std::array<std::string, kMaxAuxOutputStems> mAuxOutputStemNames;
  std::array<int32_t, kMaxAuxOutputStems> mAuxOutputStemFormats;
  int32_t mHybridInputStemFormat;
  int32_t mHybridOutputStemFormat;
  int32_t mInputStemFormat;
  int32_t mOutputStemFormat;
  bool mProperty151;
  bool mProperty60;
  bool mNeedsSideChain;
  AAX_CTypeID mManufacturerID;
  AAX_CTypeID mProductID;
  AAX_CTypeID mPluginID;
  AAX_CTypeID mAudiosuiteID;
  bool mProperty304;
  int32_t mProperty56;

  AlgorithmSetupInfo() { Reset(); }
  void Reset();
};

/** "com.<maker>.aax.<product>", lower case, of the configuration's names. */
std::string EffectIDFor(const PluginConfig& config);

/**
 * [main] Describes one algorithm component on the effect descriptor. The first failing host
 * call throws AAX::Exception::ResultError with its code.
 */
AAX_Result DescribeAlgorithmComponent(AAX_VEffectDescriptor& effect,
                                      const AlgorithmSetupInfo& setupInfo);

/**
 * [main] Describes the effect: names, category, one component per channel configuration, the
 * creation procedures, the meters; then publishes it under EffectIDFor. Failures of the name,
 * category, procedure and meter steps are ORed into the result and do not stop the others; a
 * failure while describing a component throws AAX::Exception::ResultError.
 */
AAX_Result DescribeEffect(AAX_VCollection& collection, const AAXEffectConfig& effect);

/** The creation procedures handed to the host (IDs 0 and 1). */
IACFUnknown* CreateEffectParameters();
IACFUnknown* CreateEffectGUI();

}  // namespace iplug

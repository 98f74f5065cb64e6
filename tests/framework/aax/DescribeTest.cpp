#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "aax/interfaces/AAX_Context.h"
#include "aax/interfaces/AAX_Exports.h"
#include "aax/library/AAX_Assert.h"
#include "aax/library/AAX_Exception.h"
#include "aax/library/AAX_VCollection.h"
#include "aax/library/AAX_VEffectDescriptor.h"
#include "host/aaxhost/HostServices.h"
#include "tests/framework/aax/AaxBindingHarness.h"

using aaxhost::FieldKind;

namespace {

struct ExpectedField {
  AAX_CFieldIndex index;
  FieldKind kind;
  uint32_t dataSize;
};

std::vector<ExpectedField> ExpectedFields() {
  std::vector<ExpectedField> fields = {{6, FieldKind::kPrivateData, 4},
                                       {4, FieldKind::kPrivateData, 4},
                                       {5, FieldKind::kPrivateData, 4},
                                       {7, FieldKind::kMidiNode, 0}};
  for (AAX_CFieldIndex i = 8; i <= 22; ++i) fields.push_back({i, FieldKind::kPrivateData, 4});
  fields.insert(fields.end(), {{0, FieldKind::kAudioIn, 0},
                               {1, FieldKind::kAudioOut, 0},
                               {2, FieldKind::kAudioBufferLength, 0},
                               {3, FieldKind::kSampleRate, 0},
                               {24, FieldKind::kMeters, 0},
                               {23, FieldKind::kPrivateData, 8},
                               {25, FieldKind::kDataInPort, 8}});
  return fields;
}

std::vector<std::pair<int32_t, int32_t>> Properties(const std::vector<aaxhost::Property>& list) {
  std::vector<std::pair<int32_t, int32_t>> pairs;
  for (const aaxhost::Property& p : list) pairs.emplace_back(p.id, p.value);
  return pairs;
}

class ServicesScope {
 public:
  explicit ServicesScope(aaxhost::HostServices& services) { ACFStartup(&services); }
  ~ServicesScope() { ACFShutdown(); }
};

}  // namespace

TEST(AaxDescription, TheProductIsDescribedExactly) {
  aaxhost::Collection collection;
  IACFPluginDefinition* definition = nullptr;
  ASSERT_EQ(ACFRegisterPlugin(collection.GetUnknown(), &definition), AAX_SUCCESS);
  EXPECT_EQ(definition, collection.Definition());
  definition->Release();
  EXPECT_EQ(collection.OutstandingReferences(), 0);

  const aaxhost::Description& description = collection.Dump();
  EXPECT_EQ(description.manufacturerName, "Pellumar");
  EXPECT_EQ(description.packageNames, std::vector<std::string>{"Corvane"});
  EXPECT_EQ(description.packageVersion, 0x00040100u);
  ASSERT_EQ(description.effects.size(), 1u);
  const aaxhost::Effect& effect = description.effects[0];
  EXPECT_EQ(effect.effectID, "com.pellumar.aax.corvane");
  EXPECT_EQ(effect.names, std::vector<std::string>{"Corvane"});
  EXPECT_EQ(effect.categories, std::vector<uint32_t>{0x40});
  ASSERT_EQ(effect.procPtrs.size(), 2u);
  EXPECT_EQ(effect.procPtrs[0].id, 0);
  EXPECT_EQ(effect.procPtrs[0].proc, &iplug::CreateEffectParameters);
  EXPECT_EQ(effect.procPtrs[1].id, 1);
  EXPECT_EQ(effect.procPtrs[1].proc, &iplug::CreateEffectGUI);

  ASSERT_EQ(effect.meters.size(), 2u);
  EXPECT_EQ(effect.meters[0].id, AAX_FourCC("mtrI"));
  EXPECT_EQ(effect.meters[0].name, "Input");
  EXPECT_EQ(Properties(effect.meters[0].properties),
            (std::vector<std::pair<int32_t, int32_t>>{{200, 0}, {201, 0}}));
  EXPECT_EQ(effect.meters[1].id, AAX_FourCC("mtrO"));
  EXPECT_EQ(effect.meters[1].name, "Output");
  EXPECT_EQ(Properties(effect.meters[1].properties),
            (std::vector<std::pair<int32_t, int32_t>>{{200, 1}, {201, 0}}));

  ASSERT_EQ(effect.components.size(), 2u);
  const AAX_CTypeID native[] = {AAX_FourCC("TMN1"), AAX_FourCC("TMN2")};
  const AAX_CTypeID audioSuite[] = {AAX_FourCC("TMA1"), AAX_FourCC("TMA2")};
  const int32_t formats[] = {0x00000001, 0x00010002};
  const std::vector<ExpectedField> expected = ExpectedFields();
  for (size_t c = 0; c < 2; ++c) {
    SCOPED_TRACE(c);
    const aaxhost::Component& component = effect.components[c];
    ASSERT_EQ(component.fields.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
      EXPECT_EQ(component.fields[i].index, expected[i].index) << i;
      EXPECT_EQ(component.fields[i].kind, expected[i].kind) << i;
      EXPECT_EQ(component.fields[i].dataSize, expected[i].dataSize) << i;
    }
    const aaxhost::Field* transport = component.FindField(7);
    EXPECT_EQ(transport->nodeType, AAX_eMIDINodeType_Transport);
    EXPECT_EQ(transport->name, "Transport");
    EXPECT_EQ(transport->channelMask, 0xFFFFu);
    EXPECT_EQ(component.FindField(24)->meterIDs,
              (std::vector<AAX_CTypeID>{AAX_FourCC("mtrI"), AAX_FourCC("mtrO")}));
    EXPECT_EQ(component.FindField(25)->bufferingType, 1);
    EXPECT_EQ(component.FindField(26), nullptr);

    ASSERT_EQ(component.processProcs.size(), 1u);
    EXPECT_EQ(component.processProcs[0].proc, &iplug::AAX_CIPlugParameters::RenderCallback);
    EXPECT_EQ(component.processProcs[0].instanceInitProc, nullptr);
    EXPECT_EQ(component.processProcs[0].backgroundProc, nullptr);
    const std::vector<std::pair<int32_t, int32_t>> properties = {
        {56, 0},
        {51, formats[c]},
        {52, formats[c]},
        {60, 1},
        {300, 1},
        {306, 1},
        {11, static_cast<int32_t>(AAX_FourCC("Plmr"))},
        {12, static_cast<int32_t>(AAX_FourCC("jr00"))},
        {13, static_cast<int32_t>(native[c])},
        {14, static_cast<int32_t>(audioSuite[c])}};
    EXPECT_EQ(Properties(component.processProcs[0].properties), properties);
  }
}

TEST(AaxDescription, MeterTableReadsAsLittleEndianCodes) {
  char bytes[21] = {};
  std::memcpy(bytes, iplug::kMeterIDs, 20);
  EXPECT_STREQ(bytes, "IrtmOrtmIrtmOrtmGrtm");
}

TEST(AaxDescription, EveryLineOfTheNameUntilAnEmptyOneIsANameAndAPackageName) {
  const std::pair<const char*, std::vector<std::string>> cases[] = {
      {"Corvane\nCorv", {"Corvane", "Corv"}},
      {"Corvane\n\nLost", {"Corvane"}},
      {"\nCorvane", {}},
  };
  for (const auto& [name, lines] : cases) {
    iplug::AAXEffectConfig effect = aaxtest::gMakeEffectConfig();
    effect.config.pluginName = name;
    aaxhost::Collection collection;
    AAX_VCollection wrapper(collection.GetUnknown());
    iplug::DescribeEffect(wrapper, effect);
    EXPECT_EQ(collection.Dump().packageNames, lines) << name;
    if (!lines.empty()) {
      EXPECT_EQ(collection.Dump().effects.at(0).names, lines) << name;
    }
  }
}

TEST(AaxDescription, FailuresAreReportedToTheHost) {
  aaxhost::HostServices services;
  ServicesScope scope(services);

  // No channel configuration: no component, so the host refuses the effect.
  const auto product = aaxtest::gMakeEffectConfig;
  aaxtest::gMakeEffectConfig = [product] {
    iplug::AAXEffectConfig effect = product();
    effect.config.channelIOStr = "";
    return effect;
  };
  aaxhost::Collection collection;
  IACFPluginDefinition* definition = nullptr;
  EXPECT_EQ(ACFRegisterPlugin(collection.GetUnknown(), &definition), AAX_ERROR_NO_COMPONENTS);
  aaxtest::gMakeEffectConfig = product;
  EXPECT_EQ(definition, nullptr);
  EXPECT_TRUE(collection.Dump().effects.empty());
  ASSERT_EQ(services.Assertions().size(), 1u);
  EXPECT_EQ(services.Assertions()[0].note, "err == AAX_SUCCESS");
  EXPECT_EQ(services.Assertions()[0].flags, 1);

  // A host that offers no collection at all.
  aaxhost::Collection refusing;
  refusing.SetVersionLimit(0);
  EXPECT_EQ(ACFRegisterPlugin(refusing.GetUnknown(), &definition), AAX_ERROR_NULL_OBJECT);
  EXPECT_EQ(definition, nullptr);
}

TEST(AaxDescription, AComponentFailureEndsItWithTheHostsCode) {
  aaxhost::HostServices services;
  ServicesScope scope(services);
  aaxhost::Collection collection;
  AAX_VCollection wrapper(collection.GetUnknown());
  AAX_VEffectDescriptor* effect = wrapper.NewDescriptor();
  ASSERT_NE(effect, nullptr);

  iplug::AlgorithmSetupInfo setupInfo;
  const std::vector<AAX_CTypeID> tooMany(kAAX_MaxMeters + 1, AAX_FourCC("mtrI"));
  setupInfo.mNumMeters = static_cast<int32_t>(tooMany.size());
  setupInfo.mMeterIDs = tooMany.data();
  setupInfo.mNumAdditionalInputMIDINodes = 16;
  setupInfo.mHybridInputStemFormat = AAX_eStemFormat_Stereo;
  try {
    iplug::DescribeAlgorithmComponent(*effect, setupInfo);
    FAIL() << "no exception";
  } catch (const AAX::Exception::ResultError& error) {
    EXPECT_EQ(error.Code(), AAX_ERROR_INVALID_ARGUMENT);
  }
  std::vector<std::string> notes;
  for (const aaxhost::AssertionRecord& record : services.Assertions()) notes.push_back(record.note);
  EXPECT_EQ(notes, (std::vector<std::string>{
                       "setupInfo.mNumAdditionalInputMIDINodes <= kMaxAdditionalMIDINodes",
                       "(AAX_eStemFormat_None != setupInfo.mHybridInputStemFormat) == "
                       "(AAX_eStemFormat_None != setupInfo.mHybridOutputStemFormat)"}));
  ASSERT_FALSE(services.Traces().empty());
  EXPECT_EQ(services.Traces().back().message,
            "AAX_CheckedResult - throwing AAX_ERROR_INVALID_ARGUMENT (-20043)");
}

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "aax/library/AAX_CEffectGUI.h"
#include "aax/library/AAX_CEffectParameters.h"
#include "aax/library/AAX_CParameter.h"
#include "host/aaxhost/InstanceHost.h"
#include "host/aaxhost/ViewContainer.h"
#include "tests/aax/AaxTestSupport.h"

using Kind = aaxhost::AutomationEvent::Kind;

namespace {

class TestParameters final : public AAX_CEffectParameters {
 public:
  AAX_Result EffectInit() noexcept override {
    mParameterManager.AddParameter(new AAX_CParameter<double>(
        "1", "Input Gain\nIn Gain\nIG", 0.0, AAX_CLinearTaperDelegate<double>(-10.0, 10.0),
        AAX_CUnitDisplayDelegateDecorator<double>(AAX_CNumberDisplayDelegate<double>(), "dB"),
        true));
    mParameterManager.AddParameter(new AAX_CParameter<int32_t>(
        "2", "Mode", 0, AAX_CLinearTaperDelegate<int32_t>(0, 2),
        AAX_CStringDisplayDelegate<int32_t>({{0, "A"}, {1, "B"}}), true));
    mParameterManager.AddParameter(new AAX_CParameter<bool>(
        kMasterBypassID, "Master Bypass", false, AAX_CBinaryTaperDelegate<bool>(),
        AAX_CBinaryDisplayDelegate<bool>("bypass", "on"), true));
    mParameterManager.AddParameter(new AAX_CParameter<bool>(
        kPreviewParameterID, "Preview", false, AAX_CBinaryTaperDelegate<bool>(),
        AAX_CBinaryDisplayDelegate<bool>("off", "on")));
    return AAX_SUCCESS;
  }
  using AAX_CEffectParameters::mParameterManager;
};

// An instance as a host holds it: set-value requests come straight back as updates.
struct Instance {
  Instance() {
    parameters = new TestParameters;
    host.GetAutomationDelegate().SetSetValueHandler([this](const std::string& id, double value) {
      parameters->UpdateParameterNormalizedValue(id.c_str(), value, AAX_eUpdateSource_Parameter);
    });
    EXPECT_EQ(parameters->Initialize(&host), AAX_SUCCESS);
  }
  ~Instance() {
    parameters->Uninitialize();
    parameters->Release();
  }
  double Normalized(const char* id) {
    double value = -1.0;
    parameters->GetParameterNormalizedValue(id, &value);
    return value;
  }
  int32_t Changes() {
    int32_t changes = -1;
    parameters->GetNumberOfChanges(&changes);
    return changes;
  }

  aaxhost::InstanceHost host;
  TestParameters* parameters;
};

}  // namespace

TEST(AaxEffectParameters, InitializeHandsTheDelegateToEveryParameterAndUninitializeTakesItBack) {
  TestParameters* parameters = new TestParameters;
  aaxhost::InstanceHost host;
  ASSERT_EQ(parameters->Initialize(&host), AAX_SUCCESS);
  EXPECT_EQ(host.GetAutomationDelegate().RegisteredCount(), 4u);
  EXPECT_EQ(parameters->FilteredParameterIDs().count("MasterBypassID"), 1u);
  EXPECT_EQ(parameters->NumChunkedParameters(), 3);
  AAX_CString bypass;
  EXPECT_EQ(parameters->GetMasterBypassParameter(&bypass), AAX_SUCCESS);
  EXPECT_EQ(bypass.StdString(), "MasterBypassID");

  ASSERT_EQ(parameters->Uninitialize(), AAX_SUCCESS);
  EXPECT_EQ(host.GetAutomationDelegate().RegisteredCount(), 0u);
  EXPECT_EQ(host.OutstandingReferences(), 0);
  parameters->Release();
}

TEST(AaxEffectParameters, EveryIdOperationRefusesAnUnknownId) {
  Instance instance;
  AAX_CEffectParameters& p = *instance.parameters;
  AAX_CString text("x");
  AAX_CBoolean flag = 0;
  int32_t number = 0;
  double value = 0.0;
  AAX_IParameter* object = nullptr;
  const char* id = "13";
  const std::vector<std::function<AAX_Result()>> operations = {
      [&] { return p.GetParameterIsAutomatable(id, &flag); },
      [&] { return p.GetParameterNumberOfSteps(id, &number); },
      [&] { return p.GetParameterName(id, &text); },
      [&] { return p.GetParameterNameOfLength(id, &text, 8); },
      [&] { return p.GetParameterDefaultNormalizedValue(id, &value); },
      [&] { return p.SetParameterDefaultNormalizedValue(id, 0.5); },
      [&] { return p.GetParameterType(id, &number); },
      [&] { return p.GetParameterOrientation(id, &number); },
      [&] { return p.GetParameter(id, &object); },
      [&] { return p.GetParameterIndex(id, &number); },
      [&] { return p.GetParameterValueFromString(id, &value, &text); },
      [&] { return p.GetParameterStringFromValue(id, 0.5, &text, 8); },
      [&] { return p.GetParameterValueString(id, &text, 8); },
      [&] { return p.GetParameterNormalizedValue(id, &value); },
      [&] { return p.SetParameterNormalizedValue(id, 0.5); },
      [&] { return p.SetParameterNormalizedRelative(id, 0.1); },
      [&] { return p.TouchParameter(id); },
      [&] { return p.ReleaseParameter(id); },
      [&] { return p.UpdateParameterNormalizedValue(id, 0.5, 0); },
      [&] { return p.UpdateParameterNormalizedRelative(id, 0.1); },
  };
  for (size_t i = 0; i < operations.size(); ++i)
    EXPECT_EQ(operations[i](), AAX_ERROR_INVALID_PARAMETER_ID) << "operation " << i;
  EXPECT_EQ(number, -1);  // the index query reports -1
  EXPECT_EQ(object, nullptr);
  EXPECT_EQ(p.GetParameterIDFromIndex(4, &text), AAX_ERROR_INVALID_PARAMETER_ID);
  EXPECT_TRUE(text.Empty());
  EXPECT_EQ(instance.Changes(), 0);
}

TEST(AaxEffectParameters, NameOfLengthTakesTheLongestFittingLine) {
  Instance instance;
  AAX_CString name;
  ASSERT_EQ(instance.parameters->GetParameterNameOfLength("1", &name, 8), AAX_SUCCESS);
  EXPECT_EQ(name.StdString(), "In Gain");
  ASSERT_EQ(instance.parameters->GetParameterNameOfLength("2", &name, 3), AAX_SUCCESS);
  EXPECT_EQ(name.StdString(), "Mod");
  EXPECT_EQ(instance.parameters->GetParameterNameOfLength("1", nullptr, 8),
            AAX_ERROR_INVALID_STRING_CONVERSION);
  name = "stale";
  EXPECT_EQ(instance.parameters->GetParameterNameOfLength("zz", &name, 8),
            AAX_ERROR_INVALID_PARAMETER_ID);
  EXPECT_TRUE(name.Empty());
}

TEST(AaxEffectParameters, ChangeCounterGrowsOnlyWhenAValueChanges) {
  Instance instance;
  AAX_CEffectParameters& p = *instance.parameters;
  ASSERT_EQ(p.UpdateParameterNormalizedValue("1", 0.7, 0), AAX_SUCCESS);
  EXPECT_EQ(instance.Changes(), 1);
  ASSERT_EQ(p.UpdateParameterNormalizedValue("1", 0.7, 0), AAX_SUCCESS);
  EXPECT_EQ(instance.Changes(), 1);
  ASSERT_EQ(p.UpdateParameterNormalizedRelative("1", 0.5), AAX_SUCCESS);
  EXPECT_DOUBLE_EQ(instance.Normalized("1"), 1.0);
  EXPECT_EQ(instance.Changes(), 2);
  ASSERT_EQ(p.UpdateParameterNormalizedRelative("1", 0.5), AAX_SUCCESS);
  EXPECT_EQ(instance.Changes(), 2);
  ASSERT_EQ(p.UpdateParameterNormalizedRelative("1", -3.0), AAX_SUCCESS);
  EXPECT_DOUBLE_EQ(instance.Normalized("1"), 0.0);
  EXPECT_EQ(instance.Changes(), 3);
}

TEST(AaxEffectParameters, RelativeSetAsksTheHostForAClampedValue) {
  Instance instance;
  aaxhost::AutomationDelegate& automation = instance.host.GetAutomationDelegate();
  automation.ClearEvents();
  ASSERT_EQ(instance.parameters->SetParameterNormalizedRelative("1", 0.8), AAX_SUCCESS);
  ASSERT_EQ(instance.parameters->SetParameterNormalizedRelative("1", -5.0), AAX_SUCCESS);
  std::vector<double> requests;
  for (const auto& event : automation.Events()) {
    if (event.kind == Kind::kSetValueRequest) requests.push_back(event.value);
  }
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_DOUBLE_EQ(requests[0], 1.0);
  EXPECT_DOUBLE_EQ(requests[1], 0.0);
  EXPECT_DOUBLE_EQ(instance.Normalized("1"), 0.0);
}

TEST(AaxEffectParameters, StepsTextsPreviewAndFieldData) {
  Instance instance;
  AAX_CEffectParameters& p = *instance.parameters;
  int32_t steps = 0;
  instance.parameters->mParameterManager.GetParameterByID("2")->SetNumberOfSteps(0x80000000u);
  EXPECT_EQ(p.GetParameterNumberOfSteps("2", &steps), AAX_ERROR_SIGNED_INT_OVERFLOW);

  AAX_CString text;
  ASSERT_EQ(p.GetParameterStringFromValue("1", 0.25, &text, 32), AAX_SUCCESS);
  EXPECT_EQ(text.StdString(), "-5.00dB");
  EXPECT_EQ(p.GetParameterStringFromValue("2", 1.0, &text, 32),
            AAX_ERROR_INVALID_STRING_CONVERSION);
  double value = 0.0;
  const AAX_CString parsed("5.00dB");
  ASSERT_EQ(p.GetParameterValueFromString("1", &value, &parsed), AAX_SUCCESS);
  EXPECT_DOUBLE_EQ(value, 0.75);
  const AAX_CString junk("loud");
  EXPECT_EQ(p.GetParameterValueFromString("1", &value, &junk), AAX_ERROR_INVALID_STRING_CONVERSION);

  const int32_t previewOn = 1;
  ASSERT_EQ(p.NotificationReceived(AAX_FourCC("ASPv"), &previewOn, sizeof(previewOn)), AAX_SUCCESS);
  EXPECT_DOUBLE_EQ(instance.Normalized("PreviewID"), 1.0);

  uint8_t data[12];
  std::memset(data, 0xAB, sizeof(data));
  EXPECT_EQ(p.ResetFieldData(6, data, sizeof(data)), AAX_SUCCESS);
  for (uint8_t byte : data) EXPECT_EQ(byte, 0);
  EXPECT_EQ(p.GetParameterValueInfo("1", 0, &steps), AAX_ERROR_UNIMPLEMENTED);
}

namespace {

class RecordingGUI final : public AAX_CEffectGUI {
 public:
  std::vector<std::string> log;

  AAX_Result ParameterUpdated(AAX_CParamID id) noexcept override {
    log.push_back(std::string("updated ") + id);
    return AAX_SUCCESS;
  }

 protected:
  void CreateViewContainer() noexcept override { log.push_back("create"); }
  void DeleteViewContainer() noexcept override { log.push_back("delete"); }
};

}  // namespace

TEST(AaxEffectGUI, ViewContainerOpensAndClosesTheViewAndUpdatesEveryParameter) {
  Instance instance;
  instance.host.SetEffectParameters(static_cast<AAX_IEffectParametersV1*>(instance.parameters));
  auto* gui = new RecordingGUI;

  instance.host.GetController().SetVersionLimit(0);
  EXPECT_EQ(gui->Initialize(&instance.host), AAX_ERROR_NOT_INITIALIZED);
  instance.host.GetController().SetVersionLimit(3);
  ASSERT_EQ(gui->Initialize(&instance.host), AAX_SUCCESS);
  EXPECT_EQ(gui->GetEffectParameters(), static_cast<AAX_IEffectParametersV1*>(instance.parameters));

  aaxhost::ViewContainer container;
  ASSERT_EQ(gui->SetViewContainer(&container), AAX_SUCCESS);
  EXPECT_GT(container.References(), 0);
  ASSERT_EQ(gui->Uninitialize(), AAX_SUCCESS);
  EXPECT_EQ(gui->log,
            (std::vector<std::string>{"create", "updated 1", "updated 2", "updated MasterBypassID",
                                      "updated PreviewID", "delete"}));
  EXPECT_EQ(container.References(), 0);
  EXPECT_EQ(instance.parameters->GetRefCount(), 2);  // the test's and the host's
  gui->Release();
  instance.host.SetEffectParameters(nullptr);
}

#include <gtest/gtest.h>

#include "aax/interfaces/AAX_Exports.h"
#include "aax/interfaces/AAX_IEffectParameters.h"
#include "framework/IRunLoop.h"
#include "host/aaxhost/HostRunLoop.h"
#include "host/aaxhost/HostServices.h"
#include "tests/framework/aax/AaxBindingHarness.h"
#include "tests/framework/aax/TestPlugs.h"

// The exports called in-process; tests/plugin/module loads the built module.

TEST(AaxModule, EntryPointsWithoutAnythingToDoAnswerAsDescribed) {
  void* factory = &factory;
  EXPECT_EQ(ACFGetClassFactory(nullptr, nullptr, nullptr, &factory), AAX_ERROR_UNIMPLEMENTED);
  EXPECT_EQ(factory, nullptr);
  IACFUnknown* component = reinterpret_cast<IACFUnknown*>(&factory);
  EXPECT_EQ(ACFRegisterComponent(nullptr, 0, &component), ACF_OK);
  EXPECT_EQ(component, nullptr);
  uint64_t version = 0;
  EXPECT_EQ(ACFGetSDKVersion(&version), ACF_OK);
  EXPECT_EQ(version, 0x0000020601345598ull);
}

TEST(AaxModule, CanUnloadNowCountsEveryLiveObject) {
  const int32_t before = ACFCanUnloadNow();
  IACFUnknown* parameters = iplug::CreateEffectParameters();
  IACFUnknown* gui = iplug::CreateEffectGUI();
  ASSERT_NE(parameters, nullptr);
  ASSERT_NE(gui, nullptr);
  EXPECT_EQ(ACFCanUnloadNow(), before + 2);
  auto* v4 = AAX_QueryInterface<AAX_IEffectParametersV4>(parameters, IID_AAX_EffectParametersV4);
  ASSERT_NE(v4, nullptr);
  v4->Release();
  parameters->Release();
  EXPECT_EQ(ACFCanUnloadNow(), before + 1);
  gui->Release();
  EXPECT_EQ(ACFCanUnloadNow(), before);
}

TEST(AaxModule, StartupPutsTheIdleTimerOnTheHostsMainLoop) {
  aaxhost::HostRunLoop loop;
  aaxhost::HostServices services(&loop);
  ASSERT_EQ(ACFStartup(&services), ACF_OK);
  ASSERT_NE(iplug::GetRunLoop(), nullptr);

  // A second host is ignored while the first one's services are held.
  aaxhost::HostServices other;
  EXPECT_EQ(ACFStartup(&other), ACF_OK);
  EXPECT_EQ(other.References(), 0);

  const auto product = aaxtest::gMakePlug;
  aaxtest::gMakePlug = [] { return new aaxtest::RecordingCorvane; };
  IACFUnknown* unknown = iplug::CreateEffectParameters();
  aaxtest::gMakePlug = product;
  ASSERT_NE(unknown, nullptr);
  auto* plug = dynamic_cast<aaxtest::RecordingCorvane*>(unknown);
  ASSERT_NE(plug, nullptr);
  EXPECT_EQ(loop.TimerCount(), 1u);
  loop.Advance(100);
  EXPECT_EQ(plug->idleTicks, 5);

  unknown->Release();
  EXPECT_EQ(loop.TimerCount(), 0u);

  ASSERT_EQ(ACFShutdown(), ACF_OK);
  EXPECT_EQ(iplug::GetRunLoop(), nullptr);
  EXPECT_EQ(services.References(), 0);
  EXPECT_EQ(loop.References(), 0);
  EXPECT_EQ(ACFShutdown(), ACF_OK);  // nothing left to release
}

TEST(AaxModule, StartupWithoutAHostReleasesAndAForeignObjectFails) {
  aaxhost::HostServices services;
  ASSERT_EQ(ACFStartup(&services), ACF_OK);
  EXPECT_GT(services.References(), 0);
  EXPECT_EQ(iplug::GetRunLoop(), nullptr);  // this host offers no run loop
  ASSERT_EQ(ACFStartup(nullptr), ACF_OK);
  EXPECT_EQ(services.References(), 0);

  aaxhost::Collection notServices;
  EXPECT_EQ(ACFStartup(notServices.GetUnknown()), ACF_E_UNEXPECTED);
  EXPECT_EQ(notServices.OutstandingReferences(), 0);
  EXPECT_EQ(ACFShutdown(), ACF_OK);
}

TEST(AaxModule, APlugInMadeWithoutAHostHasNoRunningIdleTimer) {
  ASSERT_EQ(iplug::GetRunLoop(), nullptr);
  aaxtest::RecordingCorvane plug;
  plug.UpdateParameterNormalizedValue("1", 0.5, 1);  // no parameters yet: refused, harmless
  EXPECT_EQ(plug.idleTicks, 0);
}

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "aax/interfaces/AAX_Context.h"
#include "aax/interfaces/AAX_Exports.h"
#include "aax/interfaces/AAX_IEffectParameters.h"
#include "host/aaxhost/AlgorithmContext.h"
#include "host/aaxhost/DescriptionCollection.h"
#include "host/aaxhost/HostRunLoop.h"
#include "host/aaxhost/HostServices.h"
#include "host/aaxhost/InstanceHost.h"

namespace {

// Loaded once and never unloaded, so that the sanitizers can still name its code at exit.
void* Module() {
  static void* const handle = dlopen(CORVANE_MODULE_PATH, RTLD_NOW | RTLD_LOCAL);
  return handle;
}

template <typename Proc>
Proc Entry(const char* name) {
  return reinterpret_cast<Proc>(dlsym(Module(), name));
}

/** Names of the symbols the module defines in its dynamic symbol table. */
std::set<std::string> DefinedDynamicSymbols() {
  std::set<std::string> names;
  const std::string command = std::string("nm -D --defined-only '") + CORVANE_MODULE_PATH + "'";
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return names;
  char line[512];
  while (std::fgets(line, sizeof line, pipe)) {
    std::istringstream fields(line);
    std::vector<std::string> tokens;
    for (std::string token; fields >> token;) tokens.push_back(token);
    if (!tokens.empty()) names.insert(tokens.back());
  }
  EXPECT_EQ(pclose(pipe), 0);
  return names;
}

}  // namespace

TEST(AaxModuleFile, ExportsExactlyTheSevenEntryPoints) {
  ASSERT_NE(Module(), nullptr) << dlerror();
  const std::set<std::string> expected = {
      kAAX_ExportName_Startup,         kAAX_ExportName_Shutdown,
      kAAX_ExportName_RegisterPlugin,  kAAX_ExportName_RegisterComponent,
      kAAX_ExportName_GetClassFactory, kAAX_ExportName_CanUnloadNow,
      kAAX_ExportName_GetSDKVersion};
  EXPECT_EQ(DefinedDynamicSymbols(), expected);
  for (const std::string& name : expected)
    EXPECT_NE(dlsym(Module(), name.c_str()), nullptr) << name;
}

TEST(AaxModuleFile, AnswersTheSimpleQueries) {
  ASSERT_NE(Module(), nullptr) << dlerror();
  void* factory = &factory;
  EXPECT_EQ(Entry<AAX_ACFGetClassFactoryProc>(kAAX_ExportName_GetClassFactory)(nullptr, nullptr,
                                                                               nullptr, &factory),
            AAX_ERROR_UNIMPLEMENTED);
  EXPECT_EQ(factory, nullptr);
  uint64_t version = 0;
  EXPECT_EQ(Entry<AAX_ACFGetSDKVersionProc>(kAAX_ExportName_GetSDKVersion)(&version), ACF_OK);
  EXPECT_EQ(version, 0x0000020601345598ull);
}

TEST(AaxModuleFile, StartsDescribesRunsAnInstanceAndShutsDown) {
  ASSERT_NE(Module(), nullptr) << dlerror();
  const auto startup = Entry<AAX_ACFStartupProc>(kAAX_ExportName_Startup);
  const auto shutdown = Entry<AAX_ACFShutdownProc>(kAAX_ExportName_Shutdown);
  const auto registerPlugin = Entry<AAX_ACFRegisterPluginProc>(kAAX_ExportName_RegisterPlugin);
  const auto canUnloadNow = Entry<AAX_ACFCanUnloadNowProc>(kAAX_ExportName_CanUnloadNow);

  aaxhost::HostRunLoop loop;
  aaxhost::HostServices services(&loop);
  ASSERT_EQ(startup(&services), ACF_OK);

  aaxhost::Collection collection;
  IACFPluginDefinition* definition = nullptr;
  ASSERT_EQ(registerPlugin(collection.GetUnknown(), &definition), ACF_OK);
  EXPECT_EQ(definition, collection.Definition());
  definition->Release();
  ASSERT_EQ(collection.Dump().effects.size(), 1u);
  const aaxhost::Effect& effect = collection.Dump().effects[0];
  EXPECT_EQ(effect.effectID, "com.pellumar.aax.corvane");
  EXPECT_EQ(effect.components.size(), 2u);
  EXPECT_EQ(canUnloadNow(), 0);

  IACFUnknown* created = effect.FindProcPtr(kAAX_ProcPtrID_Create_EffectParameters)();
  ASSERT_NE(created, nullptr);
  EXPECT_EQ(canUnloadNow(), 1);
  auto* parameters =
      AAX_QueryInterface<AAX_IEffectParametersV1>(created, IID_AAX_EffectParametersV1);
  created->Release();
  ASSERT_NE(parameters, nullptr);
  EXPECT_EQ(loop.TimerCount(), 1u);  // the idle timer, on the host's loop

  aaxhost::InstanceHost host;
  host.GetController().SetSampleRate(44100.0f);
  host.GetController().SetStemFormats(AAX_eStemFormat_Stereo, AAX_eStemFormat_Stereo);
  ASSERT_EQ(parameters->Initialize(&host), AAX_SUCCESS);
  int32_t count = 0;
  parameters->GetNumberOfParameters(&count);
  EXPECT_EQ(count, 13);

  const aaxhost::Component* component = effect.FindComponentByNativeID(AAX_FourCC("TMN2"));
  ASSERT_NE(component, nullptr);
  {
    aaxhost::AlgorithmContext context(*component, &host.GetTransport());
    ASSERT_EQ(context.ResetPrivateData(*parameters), AAX_SUCCESS);
    std::vector<float> left(256, 0.25f), right(256, -0.25f), outLeft(256, 9.0f),
        outRight(256, 9.0f);
    float* inputs[] = {left.data(), right.data()};
    float* outputs[] = {outLeft.data(), outRight.data()};
    context.SetAudio(inputs, outputs, 256);
    context.Process(component->processProcs.at(0).proc);
    for (float sample : outLeft) ASSERT_TRUE(std::isfinite(sample) && std::fabs(sample) <= 1.0f);
    EXPECT_EQ(context.Meter(0), 0.25f);
  }

  parameters->Uninitialize();
  parameters->Release();
  EXPECT_EQ(canUnloadNow(), 0);
  EXPECT_EQ(loop.TimerCount(), 0u);
  EXPECT_EQ(host.OutstandingReferences(), 0);

  ASSERT_EQ(shutdown(), ACF_OK);
  EXPECT_EQ(services.References(), 0);
  EXPECT_EQ(loop.References(), 0);
}

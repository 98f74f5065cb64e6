#include <gtest/gtest.h>

#include "aax/library/AAX_CEffectGUI.h"
#include "aax/library/ACFUnknown.h"

namespace {

class CountedGUI final : public AAX_CEffectGUI {
 public:
  explicit CountedGUI(bool& destroyed) : mDestroyed(destroyed) {}
  ~CountedGUI() override { mDestroyed = true; }

 private:
  bool& mDestroyed;
};

}  // namespace

TEST(CACFUnknown, CountsReferencesAndDeletesItselfOnTheLastRelease) {
  const int32_t before = AAX_GetModuleObjectCount();
  bool destroyed = false;
  auto* gui = new CountedGUI(destroyed);
  EXPECT_EQ(AAX_GetModuleObjectCount(), before + 1);
  EXPECT_EQ(gui->GetRefCount(), 1);

  EXPECT_EQ(gui->AddRef(), 2u);
  EXPECT_EQ(gui->Release(), 1u);
  EXPECT_FALSE(destroyed);
  EXPECT_EQ(gui->Release(), 0u);
  EXPECT_TRUE(destroyed);
  EXPECT_EQ(AAX_GetModuleObjectCount(), before);
}

TEST(CACFUnknown, AnswersItsInterfacesAndOneIdentity) {
  bool destroyed = false;
  auto* gui = new CountedGUI(destroyed);
  IACFUnknown* asInterface = static_cast<AAX_IEffectGUIV1*>(gui);

  void* identity = nullptr;
  ASSERT_EQ(asInterface->QueryInterface(IID_IACFUnknown, &identity), ACF_OK);
  EXPECT_EQ(identity, gui->GetIdentity());
  EXPECT_NE(identity, static_cast<void*>(asInterface));

  // The identity answers the object's interfaces, and asking it again gives itself.
  void* viaIdentity = nullptr;
  ASSERT_EQ(gui->GetIdentity()->QueryInterface(IID_AAX_EffectGUIV1, &viaIdentity), ACF_OK);
  EXPECT_EQ(viaIdentity, static_cast<void*>(static_cast<AAX_IEffectGUIV1*>(gui)));
  void* identityAgain = nullptr;
  ASSERT_EQ(gui->GetIdentity()->QueryInterface(IID_IACFUnknown, &identityAgain), ACF_OK);
  EXPECT_EQ(identityAgain, identity);
  EXPECT_EQ(gui->GetRefCount(), 4);

  void* none = &destroyed;
  EXPECT_EQ(asInterface->QueryInterface(IID_AAX_EffectParametersV1, &none),
            static_cast<int32_t>(0x80000004u));
  EXPECT_EQ(none, nullptr);
  EXPECT_EQ(asInterface->QueryInterface(IID_AAX_EffectGUIV1, nullptr), ACF_E_POINTER);
  EXPECT_EQ(gui->GetRefCount(), 4);

  static_cast<IACFUnknown*>(identity)->Release();
  static_cast<IACFUnknown*>(identityAgain)->Release();
  static_cast<AAX_IEffectGUIV1*>(viaIdentity)->Release();
  EXPECT_FALSE(destroyed);
  asInterface->Release();
  EXPECT_TRUE(destroyed);
}

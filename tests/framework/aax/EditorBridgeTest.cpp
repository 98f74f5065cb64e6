#include <gtest/gtest.h>

#include <tuple>
#include <vector>

#include "aax/interfaces/AAX_Exports.h"
#include "aax/interfaces/AAX_IEffectGUI.h"
#include "aax/library/AAX_VViewContainer.h"
#include "framework/aax/IPlugAAX_GUI.h"
#include "host/aaxhost/ViewContainer.h"
#include "plugin/Corvane.h"
#include "tests/framework/aax/AaxBindingHarness.h"
#include "tests/graphics/GraphicsTestSupport.h"

using aaxtest::Instance;

namespace {

/** A window-less editor that records the host's highlight requests. */
class HighlightGraphics : public graphics_test::RecordingGraphics {
 public:
  using RecordingGraphics::RecordingGraphics;
  void SetHostParameterHighlight(int paramIdx, bool isHighlighted, int color) override {
    highlights.emplace_back(paramIdx, isHighlighted, color);
  }
  std::vector<std::tuple<int, bool, int>> highlights;
};

class EditorCorvane : public corvane::Corvane {
 public:
  EditorCorvane() {
    SetGraphicsFactory([this] { return new HighlightGraphics(*this, 650, 400, 1.f); });
  }
  HighlightGraphics* Graphics() { return static_cast<HighlightGraphics*>(GetUI()); }
};

/** The effect-GUI object of an instance, initialized with the instance's host objects. */
class Gui {
 public:
  explicit Gui(Instance& instance) {
    IACFUnknown* unknown = iplug::CreateEffectGUI();
    mGui = AAX_QueryInterface<AAX_IEffectGUIV1>(unknown, IID_AAX_EffectGUIV1);
    unknown->Release();
    EXPECT_EQ(mGui->Initialize(&instance.Host()), AAX_SUCCESS);
  }
  ~Gui() {
    mGui->Uninitialize();
    mGui->Release();
  }
  AAX_IEffectGUIV1* operator->() { return mGui; }

 private:
  AAX_IEffectGUIV1* mGui = nullptr;
};

}  // namespace

TEST(AaxEditorBridge, TheViewSizeIsTheEditorSizeBeforeAnyContainer) {
  Instance instance(new corvane::Corvane);
  Gui gui(instance);
  AAX_Point size{0.0f, 0.0f};
  ASSERT_EQ(gui->GetViewSize(&size), AAX_SUCCESS);
  EXPECT_EQ(size.vert, 400.0f);
  EXPECT_EQ(size.horz, 650.0f);
  EXPECT_EQ(gui->SetControlHighlightInfo("3", 1, 0), AAX_ERROR_INVALID_PARAMETER_ID);  // no view

  // A window the platform cannot open (no display here, no such window) yields no view and no
  // failure.
  aaxhost::ViewContainer container;
  int window = 0;
  container.SetNativeView(AAX_eViewContainer_Type_X11Window, &window);
  EXPECT_EQ(gui->SetViewContainer(static_cast<AAX_IViewContainerV1*>(&container)), AAX_SUCCESS);
  EXPECT_EQ(instance.Plug().GetUI(), nullptr);
  EXPECT_EQ(gui->SetViewContainer(nullptr), AAX_SUCCESS);
  EXPECT_EQ(container.References(), 0);
}

TEST(AaxEditorBridge, AContainerWithAWindowOpensTheEditorAndClearingItClosesIt) {
  Instance instance(new EditorCorvane);
  auto& plug = instance.PlugAs<EditorCorvane>();
  Gui gui(instance);
  aaxhost::ViewContainer container;

  // No native window: nothing opens.
  EXPECT_EQ(gui->SetViewContainer(static_cast<AAX_IViewContainerV1*>(&container)), AAX_SUCCESS);
  EXPECT_EQ(plug.GetUI(), nullptr);

  int window = 0;
  container.SetNativeView(AAX_eViewContainer_Type_X11Window, &window);
  ASSERT_EQ(gui->SetViewContainer(static_cast<AAX_IViewContainerV1*>(&container)), AAX_SUCCESS);
  ASSERT_NE(plug.Graphics(), nullptr);
  ASSERT_NE(iplug::ViewContainerOf(*plug.Graphics()), nullptr);

  EXPECT_EQ(gui->SetControlHighlightInfo("3", 1, 2), AAX_SUCCESS);
  EXPECT_EQ(gui->SetControlHighlightInfo("0", 1, 2), AAX_SUCCESS);
  EXPECT_EQ(gui->SetControlHighlightInfo("MasterBypassID", 1, 2), AAX_SUCCESS);
  EXPECT_EQ(plug.Graphics()->highlights, (std::vector<std::tuple<int, bool, int>>{{2, true, 2}}));

  // The plug-in asks the host to resize, once per new size.
  EXPECT_TRUE(plug.ResizeEditor(700, 450));
  EXPECT_TRUE(plug.ResizeEditor(700, 450));
  ASSERT_EQ(container.SizeRequests().size(), 1u);
  EXPECT_EQ(container.SizeRequests()[0].vert, 450.0f);
  EXPECT_EQ(container.SizeRequests()[0].horz, 700.0f);
  AAX_Point size{0.0f, 0.0f};
  gui->GetViewSize(&size);
  EXPECT_EQ(size.horz, 700.0f);

  EXPECT_EQ(gui->SetViewContainer(nullptr), AAX_SUCCESS);
  EXPECT_EQ(plug.GetUI(), nullptr);
  EXPECT_EQ(container.References(), 0);
}

TEST(AaxEditorBridge, TheHostLearnsTheSizeTheEditorOpensAt) {
  // On a screen of twice the density the editor opens at twice its size, before it knows the
  // container it could tell: the bridge tells the host afterwards.
  class DenseCorvane : public corvane::Corvane {
   public:
    DenseCorvane() {
      SetGraphicsFactory([this] {
        auto* g = new HighlightGraphics(*this, 650, 400, 1.f);
        g->screenScaleOnOpen = 2.f;
        return g;
      });
    }
  };
  Instance instance(new DenseCorvane);
  Gui gui(instance);
  aaxhost::ViewContainer container;
  int window = 0;
  container.SetNativeView(AAX_eViewContainer_Type_X11Window, &window);
  ASSERT_EQ(gui->SetViewContainer(static_cast<AAX_IViewContainerV1*>(&container)), AAX_SUCCESS);
  ASSERT_EQ(container.SizeRequests().size(), 1u);
  EXPECT_EQ(container.SizeRequests()[0].vert, 800.0f);
  EXPECT_EQ(container.SizeRequests()[0].horz, 1300.0f);
  AAX_Point size{0.0f, 0.0f};
  gui->GetViewSize(&size);
  EXPECT_EQ(size.horz, 1300.0f);
  EXPECT_EQ(gui->SetViewContainer(nullptr), AAX_SUCCESS);

  // Opening at the size the host already knows tells it nothing more.
  container.SetNativeView(AAX_eViewContainer_Type_X11Window, &window);
  ASSERT_EQ(gui->SetViewContainer(static_cast<AAX_IViewContainerV1*>(&container)), AAX_SUCCESS);
  EXPECT_EQ(container.SizeRequests().size(), 1u);
  EXPECT_EQ(gui->SetViewContainer(nullptr), AAX_SUCCESS);
}

TEST(AaxEditorBridge, UninitializingTheGuiClosesAnOpenEditor) {
  Instance instance(new EditorCorvane);
  auto& plug = instance.PlugAs<EditorCorvane>();
  aaxhost::ViewContainer container;
  int window = 0;
  container.SetNativeView(AAX_eViewContainer_Type_X11Window, &window);
  const int32_t objects = ACFCanUnloadNow();
  {
    Gui gui(instance);
    EXPECT_EQ(ACFCanUnloadNow(), objects + 1);
    gui->SetViewContainer(static_cast<AAX_IViewContainerV1*>(&container));
    ASSERT_NE(plug.GetUI(), nullptr);
  }
  EXPECT_EQ(plug.GetUI(), nullptr);
  EXPECT_EQ(container.References(), 0);
  EXPECT_EQ(ACFCanUnloadNow(), objects);
}

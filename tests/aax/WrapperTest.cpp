#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "aax/library/AAX_CString.h"
#include "aax/library/AAX_VController.h"
#include "aax/library/AAX_VTransport.h"
#include "host/aaxhost/Controller.h"
#include "host/aaxhost/Transport.h"

namespace {

// A host unknown that answers each interface ID from a chosen object, so that different
// versions of one interface may come from different implementations.
class Router final : public IACFUnknown {
 public:
  void Route(const acfIID& iid, IACFUnknown* object) { mRoutes.emplace_back(iid, object); }

  ACFRESULT QueryInterface(const acfIID& iid, void** out) noexcept override {
    *out = nullptr;
    for (const auto& [routed, object] : mRoutes) {
      if (routed == iid) return object->QueryInterface(iid, out);
    }
    return ACF_E_NOINTERFACE;
  }
  uint32_t AddRef() noexcept override { return 1; }
  uint32_t Release() noexcept override { return 1; }

 private:
  std::vector<std::pair<acfIID, IACFUnknown*>> mRoutes;
};

}  // namespace

TEST(AaxWrappers, CallsGoToTheNewestVersionThatHasTheOperation) {
  aaxhost::Controller oldest;
  aaxhost::Controller newest;
  oldest.SetSampleRate(44100.0f);
  newest.SetSampleRate(96000.0f);
  newest.SetHostName("newest");
  Router host;
  host.Route(IID_AAX_ControllerV1, &oldest);
  host.Route(IID_AAX_ControllerV3, &newest);
  {
    AAX_VController controller(&host);
    AAX_CSampleRate rate = 0.0f;
    ASSERT_EQ(controller.GetSampleRate(&rate), AAX_SUCCESS);
    EXPECT_EQ(rate, 96000.0f);  // a version-1 operation, answered through version 3
    AAX_CString name;
    ASSERT_EQ(controller.GetHostName(&name), AAX_SUCCESS);
    EXPECT_EQ(name.StdString(), "newest");
    EXPECT_EQ(oldest.References(), 1);
    EXPECT_EQ(newest.References(), 1);
  }
  EXPECT_EQ(oldest.References(), 0);
  EXPECT_EQ(newest.References(), 0);
}

TEST(AaxWrappers, MissingVersionsFailWithoutReachingTheHost) {
  aaxhost::Controller controller;
  controller.SetVersionLimit(1);
  {
    AAX_VController wrapper(&controller);
    AAX_CSampleRate rate = 0.0f;
    EXPECT_EQ(wrapper.GetSampleRate(&rate), AAX_SUCCESS);
    EXPECT_EQ(wrapper.SendNotification(AAX_FourCC("test"), nullptr, 0), AAX_ERROR_UNIMPLEMENTED);
    AAX_CString name("untouched");
    EXPECT_EQ(wrapper.GetHostName(&name), AAX_ERROR_UNIMPLEMENTED);
    EXPECT_EQ(name.StdString(), "untouched");
  }
  EXPECT_TRUE(controller.Notifications().empty());

  AAX_VController nothing(nullptr);
  AAX_CSampleRate rate = 0.0f;
  EXPECT_FALSE(nothing.IsValid());
  EXPECT_EQ(nothing.GetSampleRate(&rate), AAX_ERROR_NULL_OBJECT);
}

TEST(AaxWrappers, TransportConvertsHostBooleans) {
  aaxhost::Transport transport;
  aaxhost::TransportState state;
  state.playing = true;
  state.looping = true;
  state.loopStartTicks = 960000;
  state.loopEndTicks = 4 * 960000;
  transport.SetState(state);
  AAX_VTransport wrapper(&transport);
  bool playing = false;
  bool looping = false;
  int64_t start = 0;
  int64_t end = 0;
  ASSERT_EQ(wrapper.IsTransportPlaying(&playing), AAX_SUCCESS);
  ASSERT_EQ(wrapper.GetCurrentLoopPosition(&looping, &start, &end), AAX_SUCCESS);
  EXPECT_TRUE(playing);
  EXPECT_TRUE(looping);
  EXPECT_EQ(start, 960000);
  EXPECT_EQ(end, 3840000);
}

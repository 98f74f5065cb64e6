// The orders real LV2 hosts call things in: activation before or after the ports are set, a
// state restored before or after activation and before or after the host writes its port
// values, a save with no run() since the last port change. One rule holds in every order: the
// later action wins, and a save holds what the plug-in will sound like.

#include <gtest/gtest.h>
#include <lv2/atom/atom.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "tests/plugin/lv2/LilvHost.h"

using lv2test::Features;
using lv2test::Instance;
using lv2test::kStereoURI;
using lv2test::Restore;
using lv2test::Save;
using lv2test::Start;
using lv2test::StateBlob;
using lv2test::World;

namespace {

using Signal = std::vector<std::vector<float>>;
using Values = std::map<std::string, float>;

Signal Sine(int frames, double step, float level = 0.8f) {
  Signal signal(2, std::vector<float>(static_cast<size_t>(frames)));
  for (int c = 0; c < 2; ++c)
    for (int i = 0; i < frames; ++i)
      signal[static_cast<size_t>(c)][static_cast<size_t>(i)] =
          level * static_cast<float>(std::sin(step * i + c));
  return signal;
}

void SetPorts(Instance& instance, const Values& values) {
  for (const auto& [symbol, value] : values) instance.Control(symbol) = value;
}

/** Runs the whole signal in blocks; returns the output. */
Signal RunAll(Instance& instance, const Signal& in, int block) {
  const int total = static_cast<int>(in.front().size());
  Signal out;
  for (int done = 0; done < total; done += block)
    instance.Run(in, out, std::min(block, total - done), done);
  return out;
}

// Two settings far enough apart that either is heard.
const Values kStateValues = {{"gain", 18.0f}, {"threshold", -12.0f}, {"knee", 3.0f}};
const Values kPortValues = {{"gain", 6.0f}, {"threshold", -3.0f}, {"knee", 1.0f}};

class HostOrder : public ::testing::Test {
 protected:
  /** The image a plug-in set to these values saves. */
  StateBlob ImageOf(const Values& values) {
    Instance source(mWorld, kStereoURI, kRate);
    SetPorts(source, values);
    StateBlob image = Save(source);
    EXPECT_EQ(image.status, LV2_STATE_SUCCESS);
    return image;
  }

  /** What a plug-in set to these values through its ports plays. */
  Signal SoundOf(const Values& values) {
    Instance reference(mWorld, kStereoURI, kRate);
    SetPorts(reference, values);
    return RunAll(reference, mInput, 256);
  }

  /** The instance saves and sounds like `values`, whichever order brought them. */
  void ExpectSettled(Instance& instance, const Values& values) {
    EXPECT_EQ(Save(instance).bytes, ImageOf(values).bytes) << "the saved state";
    EXPECT_EQ(RunAll(instance, mInput, 256), SoundOf(values)) << "the sound";
    EXPECT_EQ(Save(instance).bytes, ImageOf(values).bytes) << "the state after a run";
  }

  static constexpr double kRate = 48000.0;
  World mWorld;
  const Signal mInput = Sine(1024, 0.031);
};

// Each order, step by step, and whose values must be in force at the end.
struct Order {
  const char* name;
  std::vector<std::string> steps;
  const Values* winner;
};

TEST_F(HostOrder, TheLaterOfARestoreAndAPortWriteWinsInEveryOrder) {
  const StateBlob image = ImageOf(kStateValues);
  const Signal silence(2, std::vector<float>(64, 0.f));
  const std::vector<Order> orders = {
      {"restore while inactive, ports untouched", {"restore", "activate"}, &kStateValues},
      {"restore while inactive, then the ports", {"restore", "ports", "activate"}, &kPortValues},
      {"the ports, then a restore while inactive", {"ports", "restore", "activate"}, &kStateValues},
      {"the ports run, then a restore while active",
       {"activate", "ports", "run", "restore"},
       &kStateValues},
      {"a restore while active, then the ports",
       {"activate", "run", "restore", "ports"},
       &kPortValues},
      {"the ports unread, then a restore while active",
       {"activate", "ports", "restore"},
       &kStateValues},
      {"a restore while active survives a reactivation",
       {"activate", "restore", "run", "deactivate", "activate"},
       &kStateValues},
      {"the ports while inactive after a restore while active",
       {"activate", "restore", "run", "deactivate", "ports", "activate"},
       &kPortValues},
  };
  for (const Order& order : orders) {
    SCOPED_TRACE(order.name);
    Instance instance(mWorld, kStereoURI, kRate, Features::kMapAndOptions, 512, 8192,
                      Start::kInactive);
    ASSERT_TRUE(instance.Valid());
    for (const std::string& step : order.steps) {
      if (step == "restore") {
        ASSERT_EQ(Restore(instance, image), LV2_STATE_SUCCESS);
      } else if (step == "ports") {
        SetPorts(instance, kPortValues);
      } else if (step == "activate") {
        instance.Activate();
      } else if (step == "deactivate") {
        instance.Deactivate();
      } else if (step == "run") {
        Signal out;
        instance.Run(silence, out, 64);
      }
    }
    instance.Activate();
    ExpectSettled(instance, *order.winner);
  }
}

// A host may save before run() has seen the values it wrote (Ardour does): the state holds what
// the plug-in will sound like, and saving changes nothing on the instance.
TEST_F(HostOrder, ASaveWithNoRunSinceThePortsChangedHoldsThePortValues) {
  for (const bool active : {false, true}) {
    SCOPED_TRACE(active ? "active" : "inactive");
    Instance instance(mWorld, kStereoURI, kRate, Features::kMapAndOptions, 512, 8192,
                      active ? Start::kActive : Start::kInactive);
    SetPorts(instance, kStateValues);
    if (active) RunAll(instance, mInput, 256);
    SetPorts(instance, kPortValues);
    const StateBlob saved = Save(instance);
    ASSERT_EQ(saved.status, LV2_STATE_SUCCESS);
    EXPECT_EQ(saved.bytes, ImageOf(kPortValues).bytes);
    EXPECT_EQ(Save(instance).bytes, saved.bytes) << "a second save";

    // The saved state in a new instance whose ports still show what the first one's did: it
    // plays the values the host had set.
    Instance reloaded(mWorld, kStereoURI, kRate, Features::kMapAndOptions, 512, 8192,
                      Start::kInactive);
    ASSERT_EQ(Restore(reloaded, saved), LV2_STATE_SUCCESS);
    reloaded.Activate();
    ExpectSettled(reloaded, kPortValues);
    instance.Activate();
    ExpectSettled(instance, kPortValues);
  }
  // After a restore the restored values are what a save holds, run or no run.
  Instance instance(mWorld, kStereoURI, kRate);
  SetPorts(instance, kPortValues);
  ASSERT_EQ(Restore(instance, ImageOf(kStateValues)), LV2_STATE_SUCCESS);
  EXPECT_EQ(Save(instance).bytes, ImageOf(kStateValues).bytes);
}

void SetPortValue(const char* symbol, void* user, const void* value, uint32_t size, uint32_t type) {
  if (size == sizeof(float))
    static_cast<Instance*>(user)->Control(symbol) = *static_cast<const float*>(value);
}

const void* GetPortValue(const char* symbol, void* user, uint32_t* size, uint32_t* type) {
  auto* host = static_cast<std::pair<Instance*, LV2_URID>*>(user);
  *size = sizeof(float);
  *type = host->second;
  return &host->first->Control(symbol);
}

// lilv's own snapshot and restore, as most Linux hosts call them: with the port values (which
// lilv sets after the plug-in's restore) and without them (the host keeps its own).
TEST_F(HostOrder, LilvsStateRestoreWithAndWithoutThePortValues) {
  Instance source(mWorld, kStereoURI, kRate);
  SetPorts(source, kStateValues);
  std::pair<Instance*, LV2_URID> getter{&source, mWorld.Urids().Map(LV2_ATOM__Float)};
  LilvState* state = lilv_state_new_from_instance(
      mWorld.Plugin(kStereoURI), source.Get(), mWorld.Urids().MapFeatureData(), nullptr, nullptr,
      nullptr, nullptr, GetPortValue, &getter, 0, nullptr);
  ASSERT_NE(state, nullptr);
  for (const bool withPorts : {true, false}) {
    for (const bool active : {true, false}) {
      SCOPED_TRACE(std::string(withPorts ? "with" : "without") + " port values, " +
                   (active ? "active" : "inactive"));
      Instance target(mWorld, kStereoURI, kRate, Features::kMapAndOptions, 512, 8192,
                      active ? Start::kActive : Start::kInactive);
      SetPorts(target, kPortValues);
      if (active) RunAll(target, mInput, 256);
      lilv_state_restore(state, target.Get(), withPorts ? SetPortValue : nullptr, &target, 0,
                         nullptr);
      target.Activate();
      ExpectSettled(target, kStateValues);
    }
  }
  lilv_state_free(state);
}

// Whatever the ports say when run() first sees them after activate() is where the plug-in
// starts: no oversampling switch, no bypass crossfade, the latency right from the first run,
// and the same output at every activation.
TEST_F(HostOrder, EveryActivationStartsInTheStateThePortsDescribe) {
  struct Case {
    const char* name;
    Values ports;
    float latency;
  };
  const Values everyStage = {{"mod_a", 50.f}, {"threshold", -20.f}, {"gain", 12.f}, {"knee", 3.f}};
  auto with = [&](Values extra) {
    Values v = everyStage;
    for (const auto& [k, x] : extra) v[k] = x;
    return v;
  };
  const std::vector<Case> cases = {
      {"oversampling on", with({{"oversampling", 1.f}}), 326.f},
      {"free-wheeling", with({{"freewheel", 1.f}}), 549.f},
      {"bypassed", with({{"enabled", 0.f}}), 0.f},
      {"bypassed and oversampled", with({{"enabled", 0.f}, {"oversampling", 1.f}}), 326.f},
  };
  const Signal input = Sine(6000, 0.013);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Instance instance(mWorld, kStereoURI, kRate, Features::kMapAndOptions, 512, 8192,
                      Start::kInactive);
    SetPorts(instance, c.ports);
    std::vector<Signal> takes;
    for (int activation = 0; activation < 3; ++activation) {
      instance.Activate();
      Signal out;
      instance.Run(input, out, 256, 0);
      EXPECT_EQ(instance.Control("latency"), c.latency) << "activation " << activation;
      for (int done = 256; done < 6000; done += 256)
        instance.Run(input, out, std::min(256, 6000 - done), done);
      takes.push_back(out);
      instance.Deactivate();
    }
    EXPECT_EQ(takes[1], takes[0]) << "the second activation sounds unlike the first";
    EXPECT_EQ(takes[2], takes[0]);

    const Signal& out = takes[0];
    const bool bypassed = c.ports.count("enabled") != 0;
    const int latency = static_cast<int>(c.latency);
    if (bypassed) {
      // The input delayed by the latency from the first sample: no fade from the processed side.
      for (int i = 0; i < 6000; ++i)
        ASSERT_EQ(out[0][static_cast<size_t>(i)],
                  i < latency ? 0.f : input[0][static_cast<size_t>(i - latency)])
            << i;
    } else {
      // New resamplers are flushed with silence before they are heard, as after a reset; the
      // plain path's fade a live switch would start with never plays.
      for (int i = 0; i < 1024 + latency; ++i) ASSERT_EQ(out[0][static_cast<size_t>(i)], 0.f) << i;
      float peak = 0.f;
      for (int i = 1024 + latency; i < 6000; ++i)
        peak = std::max(peak, std::fabs(out[0][static_cast<size_t>(i)]));
      EXPECT_GT(peak, 0.3f);
    }
  }
}

}  // namespace

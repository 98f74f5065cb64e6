// What the product gives the LV2 module: its objects and what hosts are told about them.

#include "plugin/lv2/CorvaneLV2.h"

#include "framework/lv2/IPlugLV2.h"
#include "plugin/dsp/SaturationEngine.h"

namespace corvane {

float CorvaneLV2::MonitorLevel(int monitor) const noexcept {
  if (monitor < 0 || monitor >= kNumMeters) return 0.f;
  const int meter = Variant().channels == 1 ? monitor - monitor % 2 : monitor;
  return static_cast<float>(Engine().MeterLevel(meter));
}

}  // namespace corvane

namespace iplug {

IPlugLV2* MakePlugLV2() {
  return new corvane::CorvaneLV2;
}

const LV2Description& LV2DescriptionOfPlug() {
  static const LV2Description description = [] {
    LV2Description d;
    d.project = "http://pellumar.com/plugins/corvane";
    // The channel configurations of "1-1 2-2".
    d.variants = {{"http://pellumar.com/plugins/corvane#stereo", "Corvane", 2},
                  {"http://pellumar.com/plugins/corvane#mono", "Corvane Mono", 1}};
    d.paramSymbols = {"threshold", "t_assym", "nonlinearity", "n_assym", "knee",   "k_assym",
                      "mod_a",     "mod_b",   "gain",         "mix",     "output", "oversampling"};
    d.pluginClass = "DistortionPlugin";
    d.expensiveParams = {corvane::kOversampling};
    // In EMeter order, each to the editor control its records are addressed to.
    d.monitors = {
        {"meter_in_l", "Input Level Left", corvane::kMeterTags[corvane::kMeterInputLeft]},
        {"meter_in_r", "Input Level Right", corvane::kMeterTags[corvane::kMeterInputRight]},
        {"meter_out_l", "Output Level Left", corvane::kMeterTags[corvane::kMeterOutputLeft]},
        {"meter_out_r", "Output Level Right", corvane::kMeterTags[corvane::kMeterOutputRight]}};
    d.stateKey = "http://pellumar.com/plugins/corvane#parameters";
    d.binary = "corvane.so";
    d.ttl = "corvane.ttl";
    d.uiUri = "http://pellumar.com/plugins/corvane#ui";
    d.uiBinary = "corvane_ui.so";
    return d;
  }();
  return description;
}

}  // namespace iplug

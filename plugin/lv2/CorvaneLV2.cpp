// What the product gives the LV2 module: its objects and what hosts are told about them.

#include "framework/lv2/IPlugLV2.h"
#include "plugin/Corvane.h"

namespace iplug {

IPlugLV2* MakePlugLV2() {
  return new corvane::Corvane;
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
    d.stateKey = "http://pellumar.com/plugins/corvane#parameters";
    d.binary = "corvane.so";
    d.ttl = "corvane.ttl";
    return d;
  }();
  return description;
}

}  // namespace iplug

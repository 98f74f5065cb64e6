#include "plugin/CorvaneAAX.h"

#include "plugin/Corvane.h"

namespace corvane {

iplug::AAXEffectConfig MakeCorvaneEffectConfig() {
  iplug::AAXEffectConfig effect;
  effect.config = MakeCorvaneConfig();
  // One per channel configuration of "1-1 2-2".
  effect.nativeIDs = {AAX_FourCC("TMN1"), AAX_FourCC("TMN2")};
  effect.audioSuiteIDs = {AAX_FourCC("TMA1"), AAX_FourCC("TMA2")};
  return effect;
}

}  // namespace corvane

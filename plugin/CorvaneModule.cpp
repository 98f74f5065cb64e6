// What the product gives the AAX module: its objects and what the host is told about them.

#include "framework/aax/IPlugAAX.h"
#include "framework/aax/IPlugAAX_Describe.h"
#include "plugin/Corvane.h"

namespace iplug {

IPlugAAX* MakePlug() {
  return new corvane::Corvane;
}

AAXEffectConfig MakeEffectConfig() {
  AAXEffectConfig effect;
  effect.config = corvane::MakeCorvaneConfig();
  // One per channel configuration of "1-1 2-2".
  effect.nativeIDs = {AAX_FourCC("TMN1"), AAX_FourCC("TMN2")};
  effect.audioSuiteIDs = {AAX_FourCC("TMA1"), AAX_FourCC("TMA2")};
  return effect;
}

}  // namespace iplug

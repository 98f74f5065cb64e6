// What the product gives the AAX module: its objects and what the host is told about them.

#include "framework/aax/IPlugAAX.h"
#include "framework/aax/IPlugAAX_Describe.h"
#include "plugin/Corvane.h"
#include "plugin/CorvaneAAX.h"

namespace iplug {

IPlugAAX* MakePlug() {
  return new corvane::Corvane;
}

AAXEffectConfig MakeEffectConfig() {
  return corvane::MakeCorvaneEffectConfig();
}

}  // namespace iplug

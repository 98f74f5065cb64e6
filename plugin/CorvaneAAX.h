#pragma once

#include "framework/aax/IPlugAAX_Describe.h"

namespace corvane {

/** What the AAX module describes: the construction record and the effect's type IDs. */
iplug::AAXEffectConfig MakeCorvaneEffectConfig();

}  // namespace corvane

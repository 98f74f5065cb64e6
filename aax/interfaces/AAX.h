#pragma once

/** Every host-interface header. */

#include "aax/interfaces/AAX_ACF.h"
#include "aax/interfaces/AAX_Context.h"
#include "aax/interfaces/AAX_Errors.h"
#include "aax/interfaces/AAX_Exports.h"
#include "aax/interfaces/AAX_IAutomationDelegate.h"
#include "aax/interfaces/AAX_IController.h"
#include "aax/interfaces/AAX_IDescription.h"
#include "aax/interfaces/AAX_IEffectGUI.h"
#include "aax/interfaces/AAX_IEffectParameters.h"
#include "aax/interfaces/AAX_IHostServices.h"
#include "aax/interfaces/AAX_IMidiNode.h"
#include "aax/interfaces/AAX_IPageTable.h"
#include "aax/interfaces/AAX_IString.h"
#include "aax/interfaces/AAX_ITransport.h"
#include "aax/interfaces/AAX_IViewContainer.h"
#include "aax/interfaces/AAX_Types.h"

#pragma once

#include "aax/interfaces/AAX_Errors.h"

/**
 * The name of a result code ("AAX_ERROR_NULL_OBJECT"); "plug-in defined error" for
 * -21000 ... -20600 and "<unknown error code>" for any other code without a name.
 */
const char* AAX_ResultName(int32_t result) noexcept;

#pragma once

#include <vector>

#include "host/validate/Validator.h"

namespace corvane::host::validate {

/** The tests of a VST3 module, in the order they run. */
const std::vector<TestCase>& Vst3Registry();

}  // namespace corvane::host::validate

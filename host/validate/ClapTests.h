#pragma once

#include <vector>

#include "host/validate/Validator.h"

namespace corvane::host::validate {

/** The tests of a CLAP bundle, in the order they run. */
const std::vector<TestCase>& ClapRegistry();

}  // namespace corvane::host::validate

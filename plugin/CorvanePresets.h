#pragma once

#include <optional>
#include <span>

#include "plugin/CorvaneParams.h"

namespace corvane {

/**
 * A factory preset: the eleven values that shape the sound, in parameter order, and the
 * oversampling switch only when the preset needs it; a preset without one leaves the switch as
 * the user set it.
 */
struct FactoryPreset {
  const char* name;
  const char* description;
  double values[kOversampling];
  std::optional<bool> oversampling;
};

/** The factory presets, in the order the menus list them. */
std::span<const FactoryPreset> FactoryPresets();

}  // namespace corvane

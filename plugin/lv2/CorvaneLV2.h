#pragma once

#include "plugin/Corvane.h"

namespace corvane {

/** Corvane as an LV2 plug-in: the meters' levels go out on the monitor ports as well. */
class CorvaneLV2 : public Corvane {
 public:
  /** [audio] The monitors are the engine's meters in EMeter order; a mono variant has one
   * channel, which both ports of a pair show. */
  float MonitorLevel(int monitor) const noexcept override;
};

}  // namespace corvane

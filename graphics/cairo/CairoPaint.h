#pragma once

#include <cairo.h>

#include "graphics/IGraphicsStructs.h"

namespace iplug::igraphics::cairo_backend {

/** The blend's weight as an alpha: clamp(trunc(weight × 255), 0, 255) / 255; 1 without one. */
double WeightAlpha(const IBlendSpec* blend);

/** A channel's alpha times the blend's weight, truncated and limited to 0..255. */
int WeightedAlpha(int alpha, const IBlendSpec* blend);

/** The Porter-Duff operator of the blend; an unknown kind clears. */
cairo_operator_t Operator(const IBlendSpec* blend);

/**
 * Cairo lets these operators clear the destination outside what is drawn; the graphics context
 * expects every blend to leave pixels outside the shape alone, so they are drawn through a clip
 * or a mask instead.
 */
bool IsUnbounded(cairo_operator_t op);

/**
 * Makes the pattern the source of cr, in cr's current user space. Gradients run from the
 * inverted pattern transform's images of (0, 0) and (0, 1); stop alphas are weighted by the
 * blend. False when the pattern cannot be made (a singular transform): draw nothing then.
 */
bool SetPaintSource(cairo_t* cr, const IPaint& paint, const IBlendSpec* blend);

}  // namespace iplug::igraphics::cairo_backend

#pragma once

#include <cstdint>
#include <vector>

#include "host/aaxhost/OffscreenViewContainer.h"

namespace corvane::host {

/**
 * A presented frame as a PNG file's bytes: 8-bit RGBA, not premultiplied (the alpha of the
 * editor's own pixels, 255 wherever its artwork covers the window), at the frame's pixel size.
 * Throws HostError (failure status) when the encoder fails.
 */
std::vector<uint8_t> EncodePng(const aaxhost::OffscreenFrame& frame);

}  // namespace corvane::host

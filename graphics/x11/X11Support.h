#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace iplug::igraphics::x11 {

/**
 * The screen scale an X desktop asks for through its resources (the text of the root window's
 * RESOURCE_MANAGER property): Xft.dpi / 96 rounded to a whole number, halves away from zero,
 * kept within 1 … 4. 1 when the resource is missing or not a number.
 */
float ScreenScaleFromResources(std::string_view resources);

/**
 * The Windows virtual-key code the graphics context's key events carry for an X keysym, or 0
 * for a keysym that has none. Letters give their upper-case code in either case.
 */
int32_t VirtualKeyFromKeysym(uint32_t keysym);

/** Milliseconds between display ticks: 1000 / fps, or 15 where that would be below 20. */
int DisplayTickIntervalMs(int fps);

/**
 * How many rows of width pixels (4 bytes each) one PutImage request may carry when requests
 * are limited to maxRequestBytes; at least 1.
 */
int RowsPerPutImage(size_t maxRequestBytes, int width);

}  // namespace iplug::igraphics::x11

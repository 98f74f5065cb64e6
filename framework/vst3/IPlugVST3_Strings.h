#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace iplug {

/**
 * UTF-8 into a VST3 string field of `size` UTF-16 units, cut at a whole character and always
 * terminated. Malformed UTF-8 becomes U+FFFD.
 */
void CopyToUtf16(const std::string& text, int16_t* out, size_t size);
/** A terminated UTF-16 field of at most `size` units, as UTF-8; lone surrogates become U+FFFD. */
std::string FromUtf16(const int16_t* text, size_t size);

}  // namespace iplug

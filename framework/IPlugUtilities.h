#pragma once

#include <cmath>
#include <cstdint>

namespace iplug {

/** Four-character code, first character in the most significant byte. */
constexpr int32_t FourCC(const char (&code)[5]) {
  return static_cast<int32_t>((static_cast<uint32_t>(static_cast<uint8_t>(code[0])) << 24) |
                              (static_cast<uint32_t>(static_cast<uint8_t>(code[1])) << 16) |
                              (static_cast<uint32_t>(static_cast<uint8_t>(code[2])) << 8) |
                              static_cast<uint32_t>(static_cast<uint8_t>(code[3])));
}

/** Rounds halves away from zero (2.5 -> 3, -2.5 -> -3). */
inline double RoundHalfAway(double v) {
  return std::round(v);
}

/** Larger of two values; returns p when p > q, otherwise q (so a NaN q wins). */
template <typename T>
constexpr T Larger(T p, T q) {
  return p > q ? p : q;
}

/** Smaller of two values; returns p when p < q, otherwise q. */
template <typename T>
constexpr T Smaller(T p, T q) {
  return p < q ? p : q;
}

/**
 * Diagnostic hook called by framework functions with their qualified name, a line number and a
 * printf-style message. It does nothing in shipped builds; keeping the calls documents what a
 * tracing build would log without costing anything.
 */
inline void TraceHook(const char* /*function*/, int /*line*/, const char* /*format*/, ...) {}

#define IPLUG_TRACE(...) ::iplug::TraceHook(__func__, __LINE__, __VA_ARGS__)

}  // namespace iplug

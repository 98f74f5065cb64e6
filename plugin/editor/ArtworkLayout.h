#pragma once

// Where the artwork puts what the editor's controls draw on: the meters' LEDs and the curve's
// glass. Read by the editor, by the artwork generator, which prints them, and by the tests that
// hold the two together. Only plain types, so that the generator needs nothing of the editor.

#include <array>

namespace corvane {

inline constexpr int kLEDsPerArc = 16;
/** The top-left corner of one LED's 16 x 16 glow, in editor points; the LED sits at its centre. */
using LEDSpot = std::array<int, 2>;
using LEDArc = std::array<LEDSpot, kLEDsPerArc>;

/** Lowest level first, the clip LED last. The input meter's two arcs (outer, then inner) rise
 * left to right; the output meter's mirror them, so both fill towards the editor's centre. */
inline constexpr std::array<LEDArc, 4> kLEDArcs = {{
    {{{28, 49},
      {36, 45},
      {44, 41},
      {51, 38},
      {59, 35},
      {68, 33},
      {76, 31},
      {84, 29},
      {92, 28},
      {101, 27},
      {109, 26},
      {117, 26},
      {126, 26},
      {134, 26},
      {143, 27},
      {151, 28}}},
    {{{37, 64},
      {44, 61},
      {51, 58},
      {58, 55},
      {65, 52},
      {72, 50},
      {80, 48},
      {87, 46},
      {95, 45},
      {102, 44},
      {110, 43},
      {118, 43},
      {125, 43},
      {133, 44},
      {141, 44},
      {148, 45}}},
    {{{605, 49},
      {597, 45},
      {589, 41},
      {582, 38},
      {574, 35},
      {565, 33},
      {557, 31},
      {549, 29},
      {541, 28},
      {532, 27},
      {524, 26},
      {516, 26},
      {507, 26},
      {499, 26},
      {490, 27},
      {482, 28}}},
    {{{596, 64},
      {589, 61},
      {582, 58},
      {575, 55},
      {568, 52},
      {561, 50},
      {553, 48},
      {546, 46},
      {538, 45},
      {531, 44},
      {523, 43},
      {515, 43},
      {508, 43},
      {500, 44},
      {492, 44},
      {485, 45}}},
}};

/** The square the curve control draws its polyline in, in editor points. */
inline constexpr double kCurveLeft = 239, kCurveTop = 58, kCurveSize = 172;

/** The curve screen's glass: a superellipse |x - cx|^n + |y - cy|^n = h^n round the curve's
 * square, reaching into its corners so that every point of the curve lies on glass. */
inline constexpr double kGlassCentreX = kCurveLeft + kCurveSize / 2;
inline constexpr double kGlassCentreY = kCurveTop + kCurveSize / 2;
inline constexpr double kGlassHalf = 93.5;
inline constexpr double kGlassPower = 10;

}  // namespace corvane

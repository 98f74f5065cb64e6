#include "plugin/CorvanePresets.h"

namespace corvane {

namespace {

// Each was shaped on the curve and then measured with sines from -21 to -3 dBFS: the output
// level is matched to the input's at -15 dBFS within a decibel or two (the heavy ones sit a
// few decibels above it, as distortion does), and the asymmetric ones keep their DC offset
// below 0.05 of full scale. Values are on every parameter's step.
//   Threshold, T Assym, Nonlinearity, N Assym, Knee, K Assym, Mod A, Mod B, Gain, Mix, Output
constexpr FactoryPreset kPresets[] = {
    {"Gentle Warmth",
     "A touch of sine saturation: clean at normal levels, rounding off the peaks.",
     {-4.0, 1.0, 1.06, 0.01, 6.0, 0.0, 0.0, 30.0, 3.0, 100.0, -3.5},
     {}},
    {"Tape Push",
     "Soft polynomial compression leaning slightly to one side: dense and warm, like hot tape.",
     {-8.0, 2.0, 1.10, 0.01, 8.0, 2.0, 25.0, 0.0, 7.0, 100.0, -7.5},
     {}},
    {"Tube Drive",
     "A driven, asymmetric stage: second and third harmonics, as from a pushed triode.",
     {-9.0, -5.0, 1.12, 0.04, 4.0, 2.0, 0.0, 45.0, 12.0, 100.0, -10.0},
     {}},
    {"Asymmetric Fuzz",
     "Hard, uneven clipping through a folding sine: a fuzz box for guitars and synths.",
     {-10.0, 4.0, 1.13, 0.04, 1.0, 0.0, 0.0, 70.0, 26.0, 100.0, -5.0},
     {}},
    {"Bass Grit",
     "Odd-harmonic grit blended with the dry signal, so the low end stays whole.",
     {-6.0, 0.0, 1.10, 0.0, 3.0, 0.0, 35.0, 0.0, 10.0, 60.0, -7.5},
     {}},
    {"Parallel Crunch",
     "Heavy drive mixed in at a third: drums and loops gain bite and keep their transients.",
     {-8.0, 0.0, 1.13, 0.0, 1.5, 0.0, 0.0, 50.0, 24.0, 35.0, -5.5},
     {}},
    {"Mastering Glue",
     "Barely there, for a mix bus: a little density on the peaks, oversampled against aliasing.",
     {-3.0, 0.0, 1.05, 0.0, 6.0, 0.0, 10.0, 0.0, 2.0, 100.0, -2.5},
     true},
    {"Broken Speaker",
     "Folding, sputtering distortion, like a cone torn at its edge.",
     {-10.0, 4.0, 1.13, -0.05, 1.0, 3.0, 45.0, 60.0, 24.0, 100.0, -10.0},
     {}},
};

}  // namespace

std::span<const FactoryPreset> FactoryPresets() {
  return kPresets;
}

}  // namespace corvane

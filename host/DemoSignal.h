#pragma once

#include <string>
#include <vector>

namespace corvane::host {

constexpr double kDemoSeconds = 8.0;
constexpr int kDemoChannels = 2;
/** Peak level the demo is normalized to. */
constexpr double kDemoPeakDb = -3.0;

/**
 * The signal rendered when no input file is given: four bars at 120 BPM of plucked
 * (Karplus-Strong) chords over a bass line with kick and hi-hat, so that both sustained tones
 * and sharp transients go through the curve. Interleaved stereo, kDemoSeconds long, the same
 * samples on every run for a given rate.
 */
std::vector<float> MakeDemoSignal(int sampleRate);

/** "NAME=VALUE" settings the demo is rendered with before any --set: enough drive to hear the
 * saturation on the peaks while the quiet tail of each note stays nearly clean. */
const std::vector<std::string>& DemoDriveSettings();

}  // namespace corvane::host

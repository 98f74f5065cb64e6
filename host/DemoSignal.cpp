#include "host/DemoSignal.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>

namespace corvane::host {

namespace {

constexpr double kBeatsPerSecond = 2.0;  // 120 BPM
constexpr int kBeatsPerBar = 4;
constexpr int kBars = 4;

/** Deterministic noise: the same stream on every platform, unlike std::rand. */
class Noise {
 public:
  explicit Noise(uint32_t seed) : mState(seed * 2654435761u + 1u) {}
  double Next() {
    mState ^= mState << 13;
    mState ^= mState >> 17;
    mState ^= mState << 5;
    return static_cast<double>(mState) / 2147483648.0 - 1.0;
  }

 private:
  uint32_t mState;
};

double MidiToHz(int note) {
  return 440.0 * std::pow(2.0, (note - 69) / 12.0);
}

struct Stereo {
  std::vector<double> left;
  std::vector<double> right;
  size_t frames() const { return left.size(); }
  void Add(size_t i, double value, double pan) {
    // Equal-power pan, pan in -1 .. 1.
    const double angle = (pan + 1.0) * std::numbers::pi / 4.0;
    left[i] += value * std::cos(angle);
    right[i] += value * std::sin(angle);
  }
};

/** Karplus-Strong string; the one-pole-averaged loop is tuned exactly by a first-order
 * allpass, so high notes at low rates are not audibly flat. */
void Pluck(Stereo& out, double rate, size_t start, size_t end, double hz, double velocity,
           double pan, uint32_t seed) {
  const double period = rate / hz;
  const int length = std::max(2, static_cast<int>(std::floor(period - 0.5 - 0.1)));
  const double fraction = period - 0.5 - length;
  const double c = (1.0 - fraction) / (1.0 + fraction);

  // A softer pluck has a darker excitation.
  std::vector<double> line(static_cast<size_t>(length));
  Noise noise(seed);
  const double smoothing = 0.75 - 0.5 * velocity;
  double state = 0.0;
  double mean = 0.0;
  for (double& v : line) {
    state += (1.0 - smoothing) * (noise.Next() - state);
    v = state;
    mean += v;
  }
  mean /= length;
  for (double& v : line) v = (v - mean) * velocity;

  const double loopGain = 0.9985;
  const size_t fade = static_cast<size_t>(0.005 * rate);
  end = std::min(end, out.frames());
  double previous = 0.0, apIn = 0.0, apOut = 0.0;
  size_t p = 0;
  for (size_t i = start; i < end; ++i) {
    const double y = line[p];
    const double average = 0.5 * (y + previous);
    previous = y;
    const double shifted = c * average + apIn - c * apOut;
    apIn = average;
    apOut = shifted;
    line[p] = loopGain * shifted;
    if (++p == line.size()) p = 0;
    // A re-plucked string is damped first; the short fade keeps that from clicking.
    const double gain = end - i < fade ? static_cast<double>(end - i) / fade : 1.0;
    out.Add(i, y * gain, pan);
  }
}

/** Picked bass: a few harmonics with a fast decay, a pitch that settles from slightly sharp,
 * and a short noise click at the pick. */
void BassNote(Stereo& out, double rate, size_t start, size_t end, double hz, double velocity,
              uint32_t seed) {
  end = std::min(end, out.frames());
  Noise noise(seed);
  double phase = 0.0;
  const size_t release = static_cast<size_t>(0.01 * rate);
  for (size_t i = start; i < end; ++i) {
    const double t = (i - start) / rate;
    const double bend = 1.0 + 0.03 * std::exp(-t / 0.015);
    phase += 2.0 * std::numbers::pi * hz * bend / rate;
    const double tone =
        std::sin(phase) + 0.35 * std::sin(2.0 * phase) + 0.12 * std::sin(3.0 * phase);
    const double attack = std::min(1.0, t / 0.002);
    const double gate = end - i < release ? static_cast<double>(end - i) / release : 1.0;
    const double body = tone * attack * std::exp(-t / 0.35) * gate;
    const double click = noise.Next() * std::exp(-t / 0.002) * 0.4;
    out.Add(i, velocity * (body + click), 0.0);
  }
}

void Kick(Stereo& out, double rate, size_t start, double velocity) {
  const size_t end = std::min(out.frames(), start + static_cast<size_t>(0.4 * rate));
  double phase = 0.0;
  for (size_t i = start; i < end; ++i) {
    const double t = (i - start) / rate;
    const double hz = 45.0 + 110.0 * std::exp(-t / 0.03);
    phase += 2.0 * std::numbers::pi * hz / rate;
    out.Add(i, velocity * std::sin(phase) * std::exp(-t / 0.12), 0.0);
  }
}

void HiHat(Stereo& out, double rate, size_t start, double velocity, uint32_t seed) {
  const size_t end = std::min(out.frames(), start + static_cast<size_t>(0.08 * rate));
  Noise noise(seed);
  double last = 0.0;
  for (size_t i = start; i < end; ++i) {
    const double t = (i - start) / rate;
    const double n = noise.Next();
    // The first difference tilts the noise towards the top octaves.
    out.Add(i, velocity * 0.5 * (n - last) * std::exp(-t / 0.02), 0.35);
    last = n;
  }
}

}  // namespace

std::vector<float> MakeDemoSignal(int sampleRate) {
  const double rate = sampleRate;
  const auto frames = static_cast<size_t>(std::llround(kDemoSeconds * rate));
  Stereo mix{std::vector<double>(frames, 0.0), std::vector<double>(frames, 0.0)};
  auto at = [&](double beat) {
    return static_cast<size_t>(std::llround(beat / kBeatsPerSecond * rate));
  };

  // Am - F - C - G, one bar each.
  static constexpr int kChords[kBars][4] = {
      {57, 60, 64, 69}, {53, 57, 60, 65}, {55, 60, 64, 67}, {55, 59, 62, 67}};
  static constexpr int kRoots[kBars] = {33, 29, 36, 31};
  struct Hit {
    double beat;
    double velocity;
    bool down;
  };
  static constexpr Hit kStrums[] = {
      {0.0, 0.95, true}, {1.5, 0.55, false}, {2.0, 0.8, true}, {3.0, 0.6, false}, {3.5, 0.7, true}};
  static constexpr Hit kBassHits[] = {
      {0.0, 1.0, true}, {1.0, 0.7, true}, {1.5, 0.8, false}, {2.5, 0.75, true}, {3.0, 0.9, true}};
  static constexpr double kStrumSpread = 0.012;  // seconds between neighbouring strings
  static constexpr double kPans[4] = {-0.6, -0.2, 0.2, 0.6};

  uint32_t seed = 1;
  const size_t strums = std::size(kStrums);
  for (int bar = 0; bar < kBars; ++bar) {
    for (size_t h = 0; h < strums; ++h) {
      const Hit& hit = kStrums[h];
      const double beat = bar * kBeatsPerBar + hit.beat;
      const bool lastHit = bar == kBars - 1 && h + 1 == strums;
      const double nextBeat = lastHit          ? kBars * kBeatsPerBar
                              : h + 1 < strums ? bar * kBeatsPerBar + kStrums[h + 1].beat
                                               : (bar + 1) * kBeatsPerBar;
      for (int s = 0; s < 4; ++s) {
        const int order = hit.down ? s : 3 - s;
        const size_t start = at(beat) + static_cast<size_t>(order * kStrumSpread * rate);
        const size_t end = at(nextBeat) + static_cast<size_t>(order * kStrumSpread * rate);
        Pluck(mix, rate, start, end, MidiToHz(kChords[bar][s]), hit.velocity * (1.0 - 0.1 * order),
              kPans[s], seed++);
      }
    }
    for (size_t h = 0; h < std::size(kBassHits); ++h) {
      const Hit& hit = kBassHits[h];
      const double beat = bar * kBeatsPerBar + hit.beat;
      const double next = h + 1 < std::size(kBassHits) ? bar * kBeatsPerBar + kBassHits[h + 1].beat
                                                       : (bar + 1) * kBeatsPerBar;
      // The off-beat note jumps an octave.
      const int note = kRoots[bar] + (hit.down ? 0 : 12);
      BassNote(mix, rate, at(beat), at(next), MidiToHz(note), 0.9 * hit.velocity, seed++);
    }
    for (double beat : {0.0, 2.0, 2.75}) Kick(mix, rate, at(bar * kBeatsPerBar + beat), 1.1);
    for (int eighth = 0; eighth < 8; ++eighth)
      HiHat(mix, rate, at(bar * kBeatsPerBar + eighth * 0.5), eighth % 2 ? 0.35 : 0.2, seed++);
  }

  // The last chord is cut at the end of the file; fade it rather than click.
  const auto fade = std::min(frames, static_cast<size_t>(0.25 * rate));
  for (size_t i = 0; i < fade; ++i) {
    const double gain = static_cast<double>(i) / fade;
    mix.left[frames - 1 - i] *= gain;
    mix.right[frames - 1 - i] *= gain;
  }

  double peak = 0.0;
  for (size_t i = 0; i < frames; ++i)
    peak = std::max({peak, std::fabs(mix.left[i]), std::fabs(mix.right[i])});
  const double scale = peak > 0.0 ? std::pow(10.0, kDemoPeakDb / 20.0) / peak : 0.0;
  std::vector<float> interleaved(frames * kDemoChannels);
  for (size_t i = 0; i < frames; ++i) {
    interleaved[2 * i] = static_cast<float>(mix.left[i] * scale);
    interleaved[2 * i + 1] = static_cast<float>(mix.right[i] * scale);
  }
  return interleaved;
}

const std::vector<std::string>& DemoDriveSettings() {
  static const std::vector<std::string> kSettings = {
      "Gain=12",  "Threshold=-12", "Knee=3",   "Nonlinearity=1.05",
      "Mod A=30", "Mix=100",       "Output=-6"};
  return kSettings;
}

}  // namespace corvane::host

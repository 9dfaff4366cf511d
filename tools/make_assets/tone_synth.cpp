// The cue synthesiser. Each tone keeps its own phase so that a gliding pitch stays smooth;
// square waves are summed from their odd harmonics up to kSquareTop Hz, which keeps buzzers
// soft and free of aliasing at 22050 Hz. The mix is clipped to full scale last.
#include "tone_synth.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <numbers>

namespace {

constexpr double kRelease = 0.012;
constexpr double kCueFadeIn = 0.003;
constexpr double kCueFadeOut = 0.015;
constexpr double kSquareTop = 4500;

double Sample(Waveform wave, double phase, double freq, double t) {
  switch (wave) {
    case Waveform::kSine:
      return std::sin(phase);
    case Waveform::kChime:
      return (std::sin(phase) + 0.35 * std::exp(-7 * t) * std::sin(2 * phase) +
              0.15 * std::exp(-12 * t) * std::sin(3 * phase)) /
             1.5;
    case Waveform::kSquare: {
      double sum = 0;
      for (int k = 1; k * freq < kSquareTop; k += 2) sum += std::sin(k * phase) / k;
      return sum * 4 / std::numbers::pi / 1.2;
    }
  }
  return 0;
}

// Linear ramp 0..1 over the first `rise` and 1..0 over the last `fall` of a span of `span`.
double Ramp(double t, double span, double rise, double fall) {
  double gain = 1;
  if (rise > 0 && t < rise) gain = t / rise;
  if (fall > 0 && span - t < fall) gain = std::min(gain, std::max(0.0, (span - t) / fall));
  return gain;
}

}  // namespace

std::vector<int16_t> RenderTones(const std::vector<Tone>& tones, double length, int sample_rate) {
  const size_t count = static_cast<size_t>(std::lround(length * sample_rate));
  std::vector<double> mix(count, 0.0);
  for (const Tone& tone : tones) {
    assert(tone.start + tone.length <= length + 1e-9 && "a tone must end within its cue");
    const size_t first = static_cast<size_t>(std::lround(tone.start * sample_rate));
    const size_t span = static_cast<size_t>(std::lround(tone.length * sample_rate));
    const double freq_to = tone.freq_to > 0 ? tone.freq_to : tone.freq_from;
    double phase = 0;
    for (size_t i = 0; i < span && first + i < count; ++i) {
      const double t = static_cast<double>(i) / sample_rate;
      const double freq = tone.freq_from + (freq_to - tone.freq_from) * t / tone.length;
      const double envelope =
          tone.level * std::exp(-tone.decay * t) * Ramp(t, tone.length, tone.attack, kRelease);
      mix[first + i] += envelope * Sample(tone.wave, phase, freq, t);
      phase += 2 * std::numbers::pi * freq / sample_rate;
    }
  }
  std::vector<int16_t> samples(count);
  for (size_t i = 0; i < count; ++i) {
    const double t = static_cast<double>(i) / sample_rate;
    const double value = std::clamp(mix[i] * Ramp(t, length, kCueFadeIn, kCueFadeOut), -1.0, 1.0);
    samples[i] = static_cast<int16_t>(std::lround(value * 32767));
  }
  return samples;
}

// A tiny additive synthesiser for the sound cues: a cue is a list of tones mixed together.
#pragma once

#include <cstdint>
#include <vector>

enum class Waveform {
  kSine,    // a pure tone
  kChime,   // a sine with two overtones that die away faster than the fundamental
  kSquare,  // a band-limited square wave (odd harmonics only), for buzzers
};

// One tone of a cue. Times are in seconds from the start of the cue.
struct Tone {
  double start = 0;
  double length = 0.1;
  double freq_from = 440;  // pitch at the start, Hz
  double freq_to = 0;      // pitch at the end, Hz; 0 keeps freq_from throughout
  Waveform wave = Waveform::kSine;
  double level = 0.3;     // peak amplitude as a fraction of full scale
  double decay = 0;       // exponential decay rate, 1/s; 0 holds the level
  double attack = 0.004;  // rise time, s
};

// Mixes tones into length seconds of 16-bit samples at sample_rate Hz. Every tone rises over
// its attack time and falls to zero over its last 12 ms, and the whole cue fades in over
// 3 ms and out over 15 ms, so no cue starts or ends with a click.
// REQUIRES: every tone ends within length.
std::vector<int16_t> RenderTones(const std::vector<Tone>& tones, double length, int sample_rate);

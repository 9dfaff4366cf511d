// The nine sound cues, numbered as the game plays them, each described as a few tones and
// written as oto/<name>.wav (16-bit mono, 22050 Hz). Levels stay at or below a third of full
// scale so the cues sit quietly under whatever else is playing; every cue lasts 0.1 to 1.2 s.
#include <QString>
#include <initializer_list>
#include <vector>

#include "make_assets.h"
#include "tone_synth.h"
#include "wave_file.h"

namespace {

constexpr int kSampleRate = 22050;

// Equal-tempered pitches used below, Hz.
constexpr double kG4 = 392.00, kC5 = 523.25, kE5 = 659.26, kG5 = 783.99, kC6 = 1046.50,
                 kE6 = 1318.51, kG6 = 1567.98, kA6 = 1760.00, kC7 = 2093.00, kE4 = 329.63;

struct Cue {
  const char* file;
  double length;  // seconds
  std::vector<Tone> tones;
};

// A quick rising run of chime notes spaced `step` apart, the last one left to ring for
// `ring` seconds.
std::vector<Tone> Arpeggio(std::initializer_list<double> notes, double step, double ring,
                           double level) {
  std::vector<Tone> tones;
  double at = 0;
  for (auto it = notes.begin(); it != notes.end(); ++it, at += step) {
    const bool last = it + 1 == notes.end();
    tones.push_back({.start = at,
                     .length = last ? ring : 0.22,
                     .freq_from = *it,
                     .wave = Waveform::kChime,
                     .level = level,
                     .decay = last ? 3.5 : 9});
  }
  return tones;
}

std::vector<Cue> Cues() {
  std::vector<Cue> cues;
  // 1: "pi-po", two quick high tones.
  cues.push_back({"pipo.wav",
                  0.25,
                  {{.start = 0, .length = 0.09, .freq_from = kA6, .level = 0.28},
                   {.start = 0.11, .length = 0.12, .freq_from = kE6, .level = 0.28, .decay = 6}}});
  // 2: a soft "poon" that sinks a little as it fades.
  cues.push_back({"poon.wav",
                  0.5,
                  {{.start = 0,
                    .length = 0.5,
                    .freq_from = kC5,
                    .freq_to = 494,
                    .level = 0.33,
                    .decay = 5,
                    .attack = 0.02}}});
  // 3: a buzzer, "bu-buu".
  cues.push_back(
      {"bubuu.wav",
       0.62,
       {{.start = 0, .length = 0.12, .freq_from = 140, .wave = Waveform::kSquare, .level = 0.17},
        {.start = 0.17,
         .length = 0.45,
         .freq_from = 140,
         .wave = Waveform::kSquare,
         .level = 0.17,
         .decay = 1}}});
  // 4: a two-note chime, "pin-pon".
  cues.push_back({"pinpon.wav",
                  1.0,
                  {{.start = 0,
                    .length = 0.45,
                    .freq_from = kE6,
                    .wave = Waveform::kChime,
                    .level = 0.3,
                    .decay = 4},
                   {.start = 0.38,
                    .length = 0.62,
                    .freq_from = kC6,
                    .wave = Waveform::kChime,
                    .level = 0.3,
                    .decay = 3.5}}});
  // 5: a rising fanfare, "cha-ra-ra-ra-ran".
  cues.push_back(
      {"charararan.wav", 1.15, Arpeggio({kC5, kE5, kG5, kC6, kE6, kG6, kC7}, 0.07, 0.73, 0.2)});
  // 6: a low, short buzz.
  cues.push_back({"bun.wav",
                  0.24,
                  {{.start = 0,
                    .length = 0.22,
                    .freq_from = 98,
                    .wave = Waveform::kSquare,
                    .level = 0.2,
                    .decay = 3}}});
  // 7: a short arpeggio, "cha-ra-ran".
  cues.push_back({"chararan.wav", 0.6, Arpeggio({kG5, kC6, kE6, kG6}, 0.07, 0.39, 0.22)});
  // 8: "po", one short low tone.
  cues.push_back({"po.wav",
                  0.14,
                  {{.start = 0, .length = 0.13, .freq_from = kG4, .level = 0.33, .decay = 8}}});
  // 9: "po-po", two low tones.
  cues.push_back({"popo.wav",
                  0.27,
                  {{.start = 0, .length = 0.1, .freq_from = kG4, .level = 0.33, .decay = 8},
                   {.start = 0.14, .length = 0.12, .freq_from = kE4, .level = 0.33, .decay = 8}}});
  return cues;
}

}  // namespace

bool WriteSoundCues(const QString& out_dir) {
  const QString oto = MakeSubFolder(out_dir, "oto");
  for (const Cue& cue : Cues()) {
    if (!WriteWaveFile(oto + cue.file, RenderTones(cue.tones, cue.length, kSampleRate),
                       kSampleRate)) {
      return false;
    }
  }
  return true;
}

// Asynchronous wave playback by path on one channel: a new sound cuts off the one playing.
// A missing file plays the default sound (a beep); without an audio device nothing sounds.
#pragma once

#include <QString>
#include <memory>

class QSoundEffect;

namespace pebrio::ui {

class TSoundPlayer {
 public:
  TSoundPlayer();
  ~TSoundPlayer();
  // Starts the wave file at path (relative paths resolve against the current directory) and
  // returns at once.
  void PlayAsync(const QString& path);

 private:
  std::unique_ptr<QSoundEffect> effect_;
  bool hasDevice_ = false;
};

}  // namespace pebrio::ui

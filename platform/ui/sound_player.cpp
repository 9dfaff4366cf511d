// One QSoundEffect serves as the single channel; setting a new source stops the old sound.
#include "platform/ui/sound_player.h"

#include <QApplication>
#include <QAudioDevice>
#include <QDir>
#include <QFileInfo>
#include <QMediaDevices>
#include <QSoundEffect>
#include <QUrl>

namespace pebrio::ui {

TSoundPlayer::TSoundPlayer() : hasDevice_(!QMediaDevices::audioOutputs().isEmpty()) {
  if (hasDevice_) effect_ = std::make_unique<QSoundEffect>();
}

TSoundPlayer::~TSoundPlayer() = default;

void TSoundPlayer::PlayAsync(const QString& path) {
  if (!hasDevice_) return;
  const QFileInfo file(QDir::current(), QString(path).replace('\\', '/'));
  if (!file.exists()) {
    QApplication::beep();
    return;
  }
  effect_->stop();
  effect_->setSource(QUrl::fromLocalFile(file.absoluteFilePath()));
  effect_->play();
}

}  // namespace pebrio::ui

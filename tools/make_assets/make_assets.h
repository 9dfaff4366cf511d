// The asset generator's entry points, one per kind of asset. Each writes its files under the
// output folder given (creating the subfolders it needs) and returns false, after printing the
// reason to stderr, when a file cannot be written.
#pragma once

#include <QString>

// aicon/st{B,W}{,G,R}.ico: 28 x 28 stone pictures; drag/{black,white}.png: the drag images.
bool WriteStonePictures(const QString& out_dir);

// pebrio.png: the 32 x 32 window icon.
bool WriteWindowIcon(const QString& out_dir);

// oto/*.wav: the nine sound cues.
bool WriteSoundCues(const QString& out_dir);

// Creates out_dir/sub if missing and returns out_dir/sub/ with a trailing slash.
// REQUIRES: sub is not empty.
QString MakeSubFolder(const QString& out_dir, const QString& sub);

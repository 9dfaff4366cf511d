// Writes 16-bit mono PCM wave files.
#pragma once

#include <QString>
#include <cstdint>
#include <vector>

// Writes samples as a mono 16-bit PCM wave file at sample_rate Hz. Returns false, after
// printing the reason to stderr, when the file cannot be written.
bool WriteWaveFile(const QString& path, const std::vector<int16_t>& samples, int sample_rate);

// The wave file writer. The header is assembled byte by byte so the file is little-endian
// whatever the host's byte order. Layout of the 44-byte header and the data that follows:
//
//   offset  size  value
//   ------  ----  -----------------------------------------------
//        0     4  "RIFF"
//        4     4  file size - 8
//        8     4  "WAVE"
//       12     4  "fmt "
//       16     4  16, size of the format chunk
//       20     2  1, PCM
//       22     2  1, channels
//       24     4  sample rate
//       28     4  byte rate = sample rate * 2
//       32     2  2, bytes per sample frame
//       34     2  16, bits per sample
//       36     4  "data"
//       40     4  data size in bytes = samples * 2
//       44     -  the samples, signed 16-bit little-endian
#include "wave_file.h"

#include <QByteArray>
#include <QFile>
#include <cstdio>

namespace {

constexpr uint32_t kHeaderSize = 44;
constexpr uint16_t kBytesPerSample = 2;

void PutTag(QByteArray& out, const char (&tag)[5]) {
  out.append(tag, 4);
}

void PutU16(QByteArray& out, uint16_t value) {
  out.append(static_cast<char>(value & 0xFF));
  out.append(static_cast<char>((value >> 8) & 0xFF));
}

void PutU32(QByteArray& out, uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) {
    out.append(static_cast<char>((value >> shift) & 0xFF));
  }
}

}  // namespace

bool WriteWaveFile(const QString& path, const std::vector<int16_t>& samples, int sample_rate) {
  const uint32_t data_size = static_cast<uint32_t>(samples.size()) * kBytesPerSample;
  const uint32_t rate = static_cast<uint32_t>(sample_rate);
  QByteArray out;
  out.reserve(static_cast<qsizetype>(kHeaderSize + data_size));
  PutTag(out, "RIFF");
  PutU32(out, kHeaderSize - 8 + data_size);
  PutTag(out, "WAVE");
  PutTag(out, "fmt ");
  PutU32(out, 16);
  PutU16(out, 1);
  PutU16(out, 1);
  PutU32(out, rate);
  PutU32(out, rate * kBytesPerSample);
  PutU16(out, kBytesPerSample);
  PutU16(out, 16);
  PutTag(out, "data");
  PutU32(out, data_size);
  for (int16_t sample : samples) PutU16(out, static_cast<uint16_t>(sample));

  QFile file(path);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(out) != out.size()) {
    std::fprintf(stderr, "make_assets: cannot write %s\n", qPrintable(path));
    return false;
  }
  return true;
}

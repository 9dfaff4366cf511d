// The copy loop shared by TFileList::CopyToFile and TFileList::CopyFromFile.
#include "db/storage/files/file_copy.h"

#include <cerrno>
#include <memory>

#include "db/engine/errors/engine_error_codes.h"
#include "platform/os/os_error.h"

int CopyFileContent(TAbstractFile& source, uint32_t sourceId, TAbstractFile& dest, uint32_t destId,
                    uint16_t progressStep, TProgressCallback progress, void* userData) {
  const int64_t size = source.Seek(sourceId, kSeekFromEnd, 0);
  if (size < 0 || source.Seek(sourceId, kSeekFromStart, 0) != 0) return -VUZODE_READERR;
  if (dest.Seek(destId, kSeekFromStart, 0) != 0) return -VUZODE_WRITEERR;

  const auto buffer = std::make_unique<uint8_t[]>(kCopyChunkSize);
  int64_t total = 0;
  int last_reported = 0;
  for (;;) {
    const int64_t got = source.Read(sourceId, buffer.get(), kCopyChunkSize);
    if (got < 0) return -VUZODE_READERR;
    if (got > 0) {
      platform::SetLastOsError(0);
      const int64_t put = dest.Write(destId, buffer.get(), static_cast<uint32_t>(got));
      if (put != got) return -VUZODE_WRITEERR;
      total += got;
      // Only a chunk that moved bytes reports: the empty read that ends a copy of whole chunks
      // must not repeat the last percentage.
      if (progress != nullptr && size > 0) {
        // A source that grew while it was copied must not report more than 100.
        const int percent = total >= size ? 100 : static_cast<int>(total * 100 / size);
        if (percent >= last_reported + progressStep) {
          last_reported = percent;
          progress(userData, percent);
        }
      }
    }
    if (got < kCopyChunkSize) break;
  }
  if (total != size) {
    // A copy of another length than the source had is not a copy; report it as failed.
    platform::SetLastOsError(0);
    return -VUZODE_READERR;
  }
  if (dest.Write(destId, nullptr, 0) != 0) return -VUZODE_WRITEERR;
  return 0;
}

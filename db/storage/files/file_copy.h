// Copying the whole content of one shared file into another, with progress reports.
#pragma once

#include <cstdint>

#include "db/storage/files/abstract_file.h"

// Receives the whole percentage (0 to 100) of a copy done so far.
using TProgressCallback = void (*)(void* userData, int percent);

// The size of one transfer of a copy.
inline constexpr uint32_t kCopyChunkSize = 65536;

// Copies source (handle sourceId, from its start) over dest (handle destId, from its start),
// then cuts dest at the copied length, so no byte of an older, longer content survives.
// After each 64 KB chunk, when progress is given, reports the percentage done when it has grown
// by at least progressStep since the last report (never for an empty source).
// Returns 0, -VUZODE_READERR when a read fails or the source does not yield exactly the size it
// had at the start, or -VUZODE_WRITEERR when a write or the final cut fails or writes short; the
// OS last-error value is then that of the failing call (0 for a source that changed length).
// An exception from progress passes through.
// REQUIRES: the caller holds both files' guards.
int CopyFileContent(TAbstractFile& source, uint32_t sourceId, TAbstractFile& dest, uint32_t destId,
                    uint16_t progressStep, TProgressCallback progress, void* userData);
